#include "records/counters.h"

#include <string>

#include "records/format.h"
#include "records/guarded_open.h"
#include "records/record_file.h"
#include "records/search.h"
#include "records/values.h"

namespace livrana {
namespace {

// The layout of a counter record.
constexpr std::int32_t kKeyOffset = 0;
constexpr std::int32_t kKeyWidth = 20;  // group and key together
constexpr std::int32_t kValueOffset = 20;
constexpr std::size_t kValueWidth = 10;
constexpr std::size_t kNameWidth = 10;  // group, key

// The 20-character text that a counter is searched by. Group and key are held to their
// field widths, so that the value always lies at its own offset.
std::string SearchText(std::string_view group, std::string_view key) {
  return Format("%-10s%-10s", group.substr(0, kNameWidth), key.substr(0, kNameWidth));
}

}  // namespace

bool MacroCodeCad(Context& ctx, std::string_view group, std::string_view key, std::int32_t& value,
                  int digits, CounterMode mode, Outcome* why) {
  std::string search = SearchText(group, key);
  std::int32_t record = -1;
  bool found = FindRecordByKey(ctx, nullptr, kCountersFile, kCounterRecordLength, record, search,
                               kKeyOffset, kKeyWidth);

  if (mode == CounterMode::kRead || mode == CounterMode::kNext) {
    value = 0;
    if (found) {
      Outcome opened;
      FileHandle file = OpenRead(ctx.fs, kCountersFile, FileMode::kBinary, &opened);
      if (!file) {
        if (why != nullptr) *why = std::move(opened);
        return false;
      }
      std::string field;
      bool read =
          SeekInside(file.get(), std::int64_t{record} * kCounterRecordLength + kValueOffset) &&
          ReadField(file.get(), field, kValueWidth);
      Outcome closed = CloseFile(file);
      if (!read || !closed) {
        ctx.sink.Fail("MacroCodeCad", "Erro ao abrir ou posicionar arquivo de contadores.");
        // A read that failed, else a record that lies beyond the end of the file.
        if (why != nullptr) {
          *why = !closed ? std::move(closed)
                         : Outcome::Failed(Operation::kRead, kCountersFile, Cause::kNoRecord);
        }
        return false;
      }
      std::int32_t stored = LeadingNumber(field);
      value = stored < 0 || stored > kLargestCounter ? 0 : stored;
    }
    if (mode == CounterMode::kRead) return true;
    if (digits < 1 || digits > 9) digits = 6;
    value = static_cast<std::int32_t>(NextCounter(static_cast<std::uint32_t>(value), digits));
  }

  std::string text =
      Format("%-10s%-10s%-10ld", group.substr(0, kNameWidth), key.substr(0, kNameWidth), value);
  CutText(text, static_cast<std::size_t>(kCounterRecordLength));
  CleanText(text);
  FileHandle file =
      FOpen2(ctx, kCountersFile, kCounterRecordLength, record, !found, Reuse::kNone, why);
  if (!file) return false;
  bool written = file->Write(Format("%-30s", text));
  // A write refused is the file's failure, which closing gives.
  Outcome closed = CloseFile(file);
  if (!closed || !written) {
    if (why != nullptr) {
      *why = closed.ok() ? Outcome::Failed(Operation::kWrite, kCountersFile, Cause::kPermission)
                         : closed;
    }
    ctx.sink.Note(
        Format("%s: o contador \"%s\" \"%s\" não foi gravado.", kCountersFile, group, key));
    return false;
  }
  return true;
}

bool ReadCounter(Context& ctx, std::string_view group, std::string_view key, std::int32_t& value) {
  return MacroCodeCad(ctx, group, key, value, 0, CounterMode::kRead);
}

bool BumpCounter(Context& ctx, std::string_view group, std::string_view key, std::int32_t& value,
                 int digits) {
  return MacroCodeCad(ctx, group, key, value, digits, CounterMode::kNext);
}

bool SetCounter(Context& ctx, std::string_view group, std::string_view key, std::int32_t value,
                Outcome* why) {
  return MacroCodeCad(ctx, group, key, value, 0, CounterMode::kSet, why);
}

}  // namespace livrana
