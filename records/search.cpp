#include "records/search.h"

#include <string>

#include "records/values.h"

namespace livrana {
namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

bool FindRecordByKey(Context& ctx, RecordFile* file, std::string_view path, std::int32_t w,
                     std::int32_t& record, std::string_view key, std::int32_t offset,
                     std::int32_t width) {
  record = -1;
  // Without a record length every record would lie at the same place: nothing to scan.
  if (!HasText(key) || w <= 0 || offset < 0) return false;
  FileHandle opened;
  if (file == nullptr) {
    opened = OpenRead(ctx.fs, path);
    file = opened.get();
    if (file == nullptr) return false;
    file->SetRecordLength(static_cast<std::uint32_t>(w));
  }
  if (width > kMaxKeyWidth) width = kMaxKeyWidth;
  if (width < 0) width = 0;
  std::string prepared(key);
  PadText(prepared, static_cast<std::size_t>(width));

  WaitCursor wait(ctx.sink);
  bool found = false;
  std::string field;
  for (std::int64_t r = 0; r <= INT32_MAX; ++r) {
    if (!SeekInside(file, r * w + offset)) break;
    if (!ReadField(file, field, static_cast<std::size_t>(width))) break;
    if (!IsDeleted(file, r, w) && SameKey(field, prepared)) {
      record = static_cast<std::int32_t>(r);
      found = true;
      break;
    }
  }
  if (opened) CloseFile(opened);
  return found;
}

}  // namespace livrana
