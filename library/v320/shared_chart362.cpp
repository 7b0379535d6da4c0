#include "library/v320/shared_chart362.h"

#include <string>

#include "library/record_merge.h"
#include "records/counters.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/safety.h"

namespace livrana {
namespace {


// ---------------------------------------------------------------------------------------
// L23<year>.DAT: 300-character records with three account codes of 5 characters at 167,
// 182 and 197 (read together, 45 characters from 167). A field whose first character is
// a space holds no code.
// ---------------------------------------------------------------------------------------
constexpr std::int64_t kLedgerRecord = 300;
constexpr std::int64_t kCodesAt = 167;
constexpr std::size_t kCodesSpan = 45;
constexpr std::size_t kCodeFields[] = {0, 15, 30};  // within the span
constexpr std::size_t kCodeWidth = 5;

// ---------------------------------------------------------------------------------------
// G20R0.DAT (209 characters, "+" at 208 when deleted): code at 0-4, text at 11-131.
// Merged record of F20R0.DAT, "%-11s%-165s%-3s%-30s":
//
//   offset width
//        0    11   "%05ld" of (G20R0 code + base)
//       11   165   G20R0 characters 11-131
//      176     3   "1"
//      179    30   company code (208 is the deletion mark)
// ---------------------------------------------------------------------------------------
constexpr std::size_t kTextAt = 11, kTextWidth = 121;
constexpr std::size_t kDeletedAt = kChartRecord - 1;
constexpr std::size_t kMergedFlagWidth = 3, kCompanyWidth = 30, kNewCodeWidth = 11;

// ---------------------------------------------------------------------------------------
// Field fix of F20R0.DAT: 68-186 read; 68-102 receive "%-35s" of the 11 characters at
// 176-186 when 176 holds "1", else "0"; 173-207 receive what 68-102 held.
// ---------------------------------------------------------------------------------------
constexpr std::int64_t kFixFrom = 68;
constexpr std::size_t kFixRead = 119;
constexpr std::size_t kMarkerAt = 176 - 68, kMarkerWidth = 11;
constexpr std::int64_t kFixTo = 173;
constexpr std::size_t kFixWidth = 35;

// Raises the codes of one ledger by base; gives false when the ledger could not be written.
bool ShiftLedger(Context& ctx, const std::string& path, std::int32_t base) {
  FileHandle file = OpenUpdate(ctx.fs, path, FileMode::kText);
  if (!file) return true;
  file->SetRecordLength(static_cast<std::uint32_t>(kLedgerRecord));
  std::string codes;
  for (std::int64_t r = 0; ReadAt(*file, r * kLedgerRecord + kCodesAt, kCodesSpan, codes); ++r) {
    for (std::size_t at : kCodeFields) {
      if (at >= codes.size() || codes[at] == ' ') continue;
      std::string old = Piece(codes, at, kCodeWidth);
      std::int64_t shifted = std::int64_t{LeadingNumber(old)} + base;
      std::string text = Format("%05ld", shifted);
      std::int64_t pos = r * kLedgerRecord + kCodesAt + static_cast<std::int64_t>(at);
      if (text.size() > kCodeWidth) {
        // The field has room for five digits only; writing more would overwrite the next
        // field of the ledger record.
        ctx.sink.Note(
            Format("%s, registro %ld: a conta %s deslocada para %ld não cabe no "
                   "campo de 5 dígitos e ficou como estava.",
                   path, r, old, shifted));
        continue;
      }
      WriteInside(*file, pos, text);
    }
  }
  return CloseFile(file).ok();
}

// Appends the live accounts of the company's chart to the shared chart; gives false when
// the shared chart could not be written.
bool AppendAccounts(Context& ctx, std::string_view co, const std::string& chart,
                    std::int32_t base) {
  FileHandle in = OpenRead(ctx.fs, chart, FileMode::kText);
  if (!in) return true;
  FileHandle out = OpenAppend(ctx.fs, kSharedChart, FileMode::kText);
  if (!out) return true;
  out->SetRecordLength(static_cast<std::uint32_t>(kChartRecord));
  std::string company(co);
  CutText(company, kCompanyWidth);
  bool ok = AppendLiveRecords(
      *in, *out, static_cast<std::size_t>(kChartRecord), kDeletedAt,
      [&](const std::string& record) {
        std::string code =
            Format("%05ld", std::int64_t{LeadingNumber(Piece(record, 0, kCodeWidth))} + base);
        return Format("%-11s%-165s%-3s%-30s", CutText(code, kNewCodeWidth),
                      Piece(record, kTextAt, kTextWidth), "1", company);
      });
  ok = CloseFile(out).ok() && ok;
  CloseFile(in);
  if (ok) MoveToSafety(ctx, chart);
  return ok;
}

}  // namespace

ChartMerge MergeChartOfAccounts(Context& ctx, std::string_view co, std::int32_t base) {
  ChartMerge result;
  std::string folder = Format("R00\\%s", co);
  for (const platform::DirEntry& entry : ctx.fs.Find(folder + "\\L23*.DAT", 0)) {
    std::string path = folder + "\\" + entry.name;
    if (!ShiftLedger(ctx, path, base)) {
      result.failure = path;
      return result;
    }
  }
  if (!AppendAccounts(ctx, co, folder + "\\G20R0.DAT", base)) {
    result.failure = std::string(kSharedChart);
    return result;
  }
  result.base = NextRecordNumber(ctx.fs, kSharedChart, kChartRecord);
  // A counter that cannot be stored has been shown to the user by the counters file; the
  // next merge stores it again.
  SetCounter(ctx, "", kAccountCounter, result.base);
  return result;
}

FailedFile FixSharedChartFields(Context& ctx) {
  FileHandle file = OpenUpdate(ctx.fs, kSharedChart, FileMode::kText);
  if (!file) return std::nullopt;
  file->SetRecordLength(static_cast<std::uint32_t>(kChartRecord));
  std::string span;
  for (std::int64_t r = 0; ReadAt(*file, r * kChartRecord + kFixFrom, kFixRead, span); ++r) {
    std::int64_t start = r * kChartRecord;
    // Both fields are rewritten or neither: a record cut short keeps its text.
    if (!Inside(*file, start + kFixTo, kFixWidth)) continue;
    std::string marker =
        At(span, kMarkerAt) == '1' ? Piece(span, kMarkerAt, kMarkerWidth) : "0";
    std::string moved = Piece(span, 0, kFixWidth);
    WriteInside(*file, start + kFixFrom, Format("%-35s", marker));
    WriteInside(*file, start + kFixTo, Format("%-35s", moved));
  }
  if (!CloseFile(file)) return std::string(kSharedChart);
  return std::nullopt;
}

}  // namespace livrana
