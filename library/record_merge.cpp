#include "library/record_merge.h"

#include <algorithm>
#include <limits>

#include "library/v320/text_tables.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

// ---------------------------------------------------------------------------------------
// Widened record (260 characters, "%-260s") from a 227-character source record:
//
//   target  width  source
//        0     66  0-65
//       66      1  66, or the fill character when the source has a space there
//       67     66  67-132
//      133      5  138-142
//      138      5  148-152
//      143    117  spaces
//
// Source 133-137, 143-147 and 153-226 are dropped; 226 is the deletion mark.
// ---------------------------------------------------------------------------------------
struct WideLayout {
  static constexpr std::size_t kFlag = 66;
  static constexpr std::size_t kFirstMoved = 138, kFirstTarget = 133;
  static constexpr std::size_t kSecondMoved = 148, kSecondTarget = 138;
  static constexpr std::size_t kMovedWidth = 5;
  static constexpr std::size_t kKept = 143;  // the record ends after offset 142
  static constexpr std::size_t kDeleted = kNarrowRecord - 1;
};

std::string WidenRecord(std::string record, char fill) {
  using L = WideLayout;
  // A record cut short by the end of the file gives only its own characters.
  record.resize(kNarrowRecord, ' ');
  if (record[L::kFlag] == ' ') record[L::kFlag] = fill;
  record.replace(L::kFirstTarget, L::kMovedWidth, record, L::kFirstMoved, L::kMovedWidth);
  record.replace(L::kSecondTarget, L::kMovedWidth, record, L::kSecondMoved, L::kMovedWidth);
  record.resize(L::kKept);
  return Format("%-260s", record);
}

constexpr std::size_t kNumberWidth = 9;

}  // namespace

Outcome AppendWidenedRecords(Context& ctx, std::string_view source, std::string_view target,
                             char fill) {
  TableSource in;
  if (Outcome opened = in.Open(ctx.fs, source); !opened)
    return Missing(opened) ? Outcome() : opened;
  Conversion conversion(ctx);
  Outcome why;
  FileHandle out = AppendTarget(ctx.fs, conversion, target, why);
  if (!out) return why;
  out->SetRecordLength(static_cast<std::uint32_t>(kWideRecord));
  std::string record;
  while (in.Read(kNarrowRecord, record)) {
    if (At(record, WideLayout::kDeleted) == '+' || OnlyLineEnds(record)) continue;
    if (!out->Write(OneLine(WidenRecord(std::move(record), fill)))) break;
  }
  Outcome done = CloseFile(out);
  done.Also(in.Close());
  if (!done) return done;
  conversion.MoveToSafetyAtCommit(source);
  return conversion.Commit();
}

std::int32_t NextRecordNumber(platform::FileSystem& fs, std::string_view path, std::int64_t width) {
  std::int32_t greatest = 0;
  FileHandle file = OpenRead(fs, path, FileMode::kText);
  if (!file || width <= 0) return 1;
  std::string number, mark;
  for (std::int64_t k = 0; ReadField(file.get(), number, kNumberWidth); ++k) {
    bool deleted = ReadAt(*file, k * width + width - 1, 1, mark) && mark == "+";
    if (!deleted) greatest = std::max(greatest, LeadingNumber(number));
    if (!SeekInside(file.get(), (k + 1) * width)) break;
  }
  CloseFile(file);
  // The largest number a record can hold still leaves a next one.
  return std::min(greatest, std::numeric_limits<std::int32_t>::max() - 1) + 1;
}

}  // namespace livrana
