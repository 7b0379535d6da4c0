#include "records/file_stamps.h"

#include "records/format.h"

namespace livrana {
namespace {

struct FileStamp {
  DateRec date;
  TimeRec time;
  std::int64_t size = 0;
};

// The stamp of the first entry that the directory search finds for path, every kind of
// entry included; the all-zero stamp when it finds none.
FileStamp StampOf(platform::FileSystem& fs, std::string_view path) {
  constexpr std::uint32_t kEveryEntry = platform::kReadOnly | platform::kHidden |
                                        platform::kSystem | platform::kDirectory |
                                        platform::kArchive;
  FileStamp stamp;
  auto found = fs.Find(path, kEveryEntry);
  if (found.empty()) return stamp;
  DecodeFileStamp(found.front().fat_date, stamp.date, found.front().fat_time, stamp.time);
  stamp.size = static_cast<std::int64_t>(found.front().size);
  return stamp;
}

}  // namespace

void DecodeFileStamp(std::uint16_t fat_date, DateRec& date, std::uint16_t fat_time, TimeRec& time) {
  date.day = static_cast<std::int8_t>(fat_date & 0x1F);
  date.month = static_cast<std::int8_t>((fat_date >> 5) & 0x0F);
  date.year = (fat_date >> 9) + 1980;
  if (date.day == 0 && date.month == 0 && date.year == 1980) date.year = 0;
  time.minute = static_cast<std::uint8_t>((fat_time >> 5) & 0x3F);
  time.hour = static_cast<std::uint8_t>(fat_time >> 11);
  time.second = static_cast<std::uint8_t>((fat_time & 0x1F) * 2);
  time.hundredths = 0;
}

int CompareFiles(platform::FileSystem& fs, std::string_view a, std::string_view b) {
  FileStamp sa = StampOf(fs, a);
  FileStamp sb = StampOf(fs, b);
  if (int c = CompareDate(sa.date, sb.date)) return c;
  if (int c = CompareTime(sa.time, sb.time)) return c;
  return sa.size < sb.size ? -1 : (sa.size > sb.size ? 1 : 0);
}

bool CopyIfUnchanged(Context& ctx, std::string_view source, bool delete_source,
                     std::string_view target, std::string_view reference, bool delete_reference) {
  bool copied = false;
  bool failed = false;
  if (CompareFiles(ctx.fs, target, reference) == 0) {
    copied = ctx.fs.Copy(source, target, true).ok();
    failed = !copied;
  }
  if (delete_source) {
    if (failed && ctx.fs.Attributes(source))
      ctx.sink.Note(Format("%s não foi copiado sobre %s e foi mantido.", source, target));
    else
      ctx.fs.Remove(source);
  }
  if (delete_reference) ctx.fs.Remove(reference);
  return copied;
}

}  // namespace livrana
