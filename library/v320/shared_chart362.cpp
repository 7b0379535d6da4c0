#include "library/v320/shared_chart362.h"

#include <string>

#include "library/record_merge.h"
#include "library/v320/text_tables.h"
#include "records/counters.h"
#include "records/format.h"
#include "records/layouts/ledgers.h"
#include "records/layouts/register.h"
#include "records/record_file.h"
#include "records/values.h"

namespace livrana {
namespace {

// ---------------------------------------------------------------------------------------
// L23<year>.DAT: 300-character records with three account codes of 5 characters at 167,
// 182 and 197 (read together, 45 characters from 167). A field whose first character is
// a space holds no code.
// ---------------------------------------------------------------------------------------
constexpr auto kLedgerRecord = static_cast<std::size_t>(kLedger23RecordLength);
constexpr std::size_t kCodesAt = Ledger23Layout::kAccount;
constexpr std::size_t kCodesSpan = Ledger23Layout::kAccounts * Ledger23Layout::kAccountWidth;
constexpr std::size_t kCodeFields[] = {0, Ledger23Layout::kAccountWidth,
                                       2 * Ledger23Layout::kAccountWidth};  // within the span
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
constexpr auto kChartRecord = static_cast<std::size_t>(kChartRecordLength);
constexpr std::size_t kTextAt = ChartLayout::kText, kTextWidth = 121;
constexpr std::size_t kDeletedAt = ChartLayout::kDeleted;
constexpr std::size_t kMergedFlagWidth = 3, kCompanyWidth = 30, kNewCodeWidth = 11;

// ---------------------------------------------------------------------------------------
// Field fix of F20R0.DAT: 68-186 read; 68-102 receive "%-35s" of the 11 characters at
// 176-186 when 176 holds "1", else "0"; 173-207 receive what 68-102 held.
// ---------------------------------------------------------------------------------------
constexpr std::size_t kFixFrom = ChartLayout::kMarker;
constexpr std::size_t kFixRead = 119;
constexpr std::size_t kMarkerAt = ChartLayout::kMerged - kFixFrom, kMarkerWidth = 11;
constexpr std::size_t kFixTo = ChartLayout::kMoved;
constexpr std::size_t kFixWidth = ChartLayout::kMarkerWidth;

// A shifted code and a moved text stay inside their records, a carriage return written before
// a line feed included.
static_assert(kCodesAt + kCodesSpan + 1 <= kLedgerRecord);
static_assert(kFixTo + kFixWidth + 1 <= kChartRecord);

// Raises the codes of one ledger record by base; false when the codes cannot be read, which
// ends the ledger's walk.
bool ShiftCodes(Context& ctx, const std::string& path, std::int64_t r, TextRecord& record,
                std::int32_t base, std::string& codes) {
  if (!record.ReadAt(kCodesAt, kCodesSpan, codes)) return false;
  for (std::size_t at : kCodeFields) {
    if (at >= codes.size() || codes[at] == ' ') continue;
    std::string old = Piece(codes, at, kCodeWidth);
    std::int64_t shifted = std::int64_t{LeadingNumber(old)} + base;
    std::string text = Format("%05ld", shifted);
    if (text.size() > kCodeWidth) {
      // The field has room for five digits only; writing more would overwrite the next
      // field of the ledger record.
      ctx.sink.Note(
          Format("%s, registro %ld: a conta %s deslocada para %ld não cabe no "
                 "campo de 5 dígitos e ficou como estava.",
                 path, r, old, shifted));
      continue;
    }
    record.WriteInside(kCodesAt + at, text);
  }
  return true;
}

// Appends the live accounts of the company's chart to the shared chart and lists the move of
// the company's chart to its safety copy.
Outcome AppendAccounts(Context& ctx, Conversion& conversion, std::string_view co,
                       const std::string& chart, std::int32_t base) {
  TableSource in;
  if (Outcome opened = in.Open(ctx.fs, chart); !opened) return Missing(opened) ? Outcome() : opened;
  Outcome why;
  FileHandle out = AppendTarget(ctx.fs, conversion, kSharedChartFile, why);
  if (!out) return why;
  out->SetRecordLength(static_cast<std::uint32_t>(kChartRecord));
  std::string company(co);
  CutText(company, kCompanyWidth);
  std::string record;
  while (in.Read(kChartRecord, record)) {
    if (At(record, kDeletedAt) == '+' || OnlyLineEnds(record)) continue;
    std::string code =
        Format("%05ld", std::int64_t{LeadingNumber(Piece(record, 0, kCodeWidth))} + base);
    if (!out->Write(OneLine(Format("%-11s%-165s%-3s%-30s", CutText(code, kNewCodeWidth),
                                   Piece(record, kTextAt, kTextWidth), "1", company))))
      break;
  }
  Outcome done = CloseFile(out);
  done.Also(in.Close());
  if (done) conversion.MoveToSafetyAtCommit(chart);
  return done;
}

}  // namespace

ChartMerge MergeChartOfAccounts(Context& ctx, Conversion& conversion, std::string_view co,
                                std::int32_t base) {
  ChartMerge result;
  std::string folder = Format("%s\\%s", kCompanyRoot, co);
  std::string codes;
  Outcome listed;
  for (const platform::DirEntry& entry : ctx.fs.Find(folder + "\\L23*.DAT", 0, listed)) {
    std::string path = folder + "\\" + entry.name;
    Outcome done = RewriteRecords(ctx.fs, conversion, path, kLedgerRecord,
                                  [&](std::int64_t r, TextRecord& record) {
                                    return ShiftCodes(ctx, path, r, record, base, codes);
                                  });
    if (!done && !Missing(done)) {
      result.outcome = std::move(done);
      return result;
    }
  }
  if (!listed) {
    result.outcome = std::move(listed);
    return result;
  }
  result.outcome = AppendAccounts(ctx, conversion, co, folder + "\\G20R0.DAT", base);
  if (!result.ok()) return result;
  result.base = NextRecordNumber(ctx.fs, kSharedChartFile, kChartRecord);
  // The counter is set in the same conversion: a stopped run gives F34.DAT back its length,
  // and setting a counter again to the same value changes nothing.
  if (Outcome noted = conversion.Note(kCountersFile); !noted) {
    result.outcome = std::move(noted);
    return result;
  }
  Outcome why;
  if (!SetCounter(ctx, "", kAccountCounter, result.base, &why)) result.outcome = std::move(why);
  return result;
}

Outcome FixSharedChartFields(Context& ctx, Conversion& conversion) {
  std::string span;
  Outcome done = RewriteRecords(
      ctx.fs, conversion, kSharedChartFile, kChartRecord, [&](std::int64_t, TextRecord& record) {
        if (!record.ReadAt(kFixFrom, kFixRead, span)) return false;
        // Both fields are rewritten or neither: a record cut short keeps its text.
        if (kFixTo + kFixWidth > record.size()) return true;
        std::string marker =
            At(span, kMarkerAt) == '1' ? Piece(span, kMarkerAt, kMarkerWidth) : "0";
        std::string moved = Piece(span, 0, kFixWidth);
        record.WriteInside(kFixFrom, Format("%-35s", marker));
        record.WriteInside(kFixTo, Format("%-35s", moved));
        return true;
      });
  return Missing(done) ? Outcome() : done;
}

}  // namespace livrana
