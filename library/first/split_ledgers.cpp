#include "library/first/split_ledgers.h"

#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "library/first/yearly_l26.h"
#include "library/step_io.h"
#include "records/company.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::string_view kCaption = "SplitLedgersByYear";
constexpr int kFirstYear = 1, kLastYear = 9999;

bool UsableYear(int year) { return year >= kFirstYear && year <= kLastYear; }

// ---------------------------------------------------------------------------------------
// Sub-step A: tables split by the year of each record's date (dd/mm/yyyy at 0-9, the year
// at 6-9). A live record goes unchanged to "%s\L0%d%04d.DAT" (code, table, year); a deleted
// one ("+" last) and one without a year in 1-9999 are dropped (the source keeps them in its
// safety copy).
// ---------------------------------------------------------------------------------------
struct SplitTable {
  int number;
  std::size_t record;
};
constexpr std::array<SplitTable, 5> kSplitTables = {{
    {1, 227},
    {3, 549},
    {7, 250},
    {8, 227},
    {9, 227},
}};
constexpr std::string_view kSplitSource = "%s\\L0%d.DAT";
constexpr std::string_view kSplitTarget = "%s\\L0%d%04d.DAT";
constexpr std::size_t kDateYear = 6, kDateYearWidth = 4;

// The yearly L23 file (300) that sub-steps B to D fill.
constexpr std::string_view kL23Target = "%s\\L23%04d.DAT";
constexpr std::size_t kYearInName = 3;     // "L01<year>.DAT"
constexpr std::size_t kYearInL14Name = 4;  // "L14B<year>.DAT"

// "C" for an amount above zero, "D" for any other; the magnitude is written with two
// decimals, cut to 18 characters.
char Side(double amount) { return amount > 0 ? 'C' : 'D'; }
std::string Magnitude(double amount) {
  std::string text = ValueToText(std::fabs(amount), 2);
  return CutText(text, 18);
}

// ---------------------------------------------------------------------------------------
// Sub-step B: an L13 record (136, kind "A") or an L14 record (146, kind "E") gives the
// opening balance of an L23 record. Read in pieces: date 10, then 10 (L13) or 20 (L14),
// amount 16, 99 dropped, the last character 1.
//
//   target  width  format          content
//      0     10    "%-10s%c"       date
//     10      1    (same)          "A" or "E"
//     11      1    "%c"            "C" or "D"
//     12     30    "%-30s%-120s"   the amount's magnitude, cut to 18
//     42    120    (same)          "SALDO INICIAL"
//    162     20    "%-20s"         L13: source 10-19; L14: spaces
//    182     30    "%-30s"         L14: source 10-24 (first 15 of 10-29); L13: spaces
//    212     88    "%88s"          87 spaces, then the source's last character
// ---------------------------------------------------------------------------------------
struct BalanceTable {
  int number;
  std::size_t second;  // width of the piece after the date
  char kind;
  std::size_t year_from;
};
constexpr std::array<BalanceTable, 2> kBalanceTables = {{
    {13, 10, 'A', kYearInName},
    {14, 20, 'E', kYearInL14Name},
}};
constexpr std::string_view kBalancePattern = "%s\\L%02d*.DAT";
constexpr std::size_t kDate = 10, kAmount = 16, kBalanceDropped = 99;
constexpr std::string_view kOpeningBalance = "SALDO INICIAL";
constexpr std::size_t kL14Reference = 15;

bool BalanceRecord(const BalanceTable& table, RecordFile& source, std::string& out) {
  std::string date;
  if (!ReadPiece(source, kDate, date)) return false;
  std::string second = NextPiece(source, table.second);
  double amount = TextToValue(NextPiece(source, kAmount));
  NextPiece(source, kBalanceDropped);
  std::string last = NextPiece(source, 1);
  bool from_l13 = table.number == 13;
  out += Format("%-10s%c", date, table.kind);
  out += Format("%c", Side(amount));
  out += Format("%-30s%-120s", Magnitude(amount), kOpeningBalance);
  out += Format("%-20s", from_l13 ? second : std::string());
  out += Format("%-30s", from_l13 ? std::string() : second.substr(0, kL14Reference));
  out += Format("%88s", last);
  return true;
}

// ---------------------------------------------------------------------------------------
// Sub-step C: an L01 record (227, kind "B") whose date has "/" at offset 2. The source is
// walked by position: record k is read at k * 227. Pieces after the date:
//
//   source    read  target  width  format
//     0-9       10     0     10    "%-10sB"
//    10          1   212      1    "%-5s%-15s%-30s%1s", fourth part
//    11-21      11    32     10    first 7 characters; "%-2s%-10s%-100s%-10s%-10s", 2nd
//    22-31      10   142     10    (same), fourth part
//    32-132    101    42    100    first 100 characters; (same), third part
//   133-148     16     -      -    an amount, subtracted
//   149-164     16     -      -    an amount; 11 "C"/"D" and 12 "%-18s" of 149-164 less 133-148
//   165-173      9   152     10    (same), fifth part
//   174-175      2    30      2    (same), first part
//   176-185     10   167     15    "%-5s%-15s%-30s%1s", second part (182-211 spaces)
//   186-190      5   162      5    (same), first part
//   191-226     36   213     87    "%87s": 51 spaces, then the 36 characters
// ---------------------------------------------------------------------------------------
constexpr std::string_view kLedgerPattern = "%s\\L01*.DAT";
constexpr std::uint64_t kLedgerRecord = 227;
constexpr std::size_t kDateSlash = 2;
struct LedgerPieces {
  static constexpr std::size_t kFlag = 1, kAccount = 11, kDocument = 10, kHistory = 101;
  static constexpr std::size_t kSubtrahend = 16, kMinuend = 16, kCounterpart = 9, kBranch = 2;
  static constexpr std::size_t kCostCentre = 10, kLot = 5, kTail = 36;
  static constexpr std::size_t kAccountKept = 7, kHistoryKept = 100;
};

// Called with the source at the start of record k; leaves it at the start of record k + 1,
// where a position past the end makes the next read give nothing.
bool LedgerRecord(RecordFile& source, std::string& out) {
  using P = LedgerPieces;
  std::uint64_t start = source.Tell();
  std::string date;
  if (!ReadPiece(source, kDate, date)) return false;
  if (date[kDateSlash] == '/') {
    std::string flag = NextPiece(source, P::kFlag);
    std::string account = NextPiece(source, P::kAccount);
    std::string document = NextPiece(source, P::kDocument);
    std::string history = NextPiece(source, P::kHistory);
    double subtrahend = TextToValue(NextPiece(source, P::kSubtrahend));
    double minuend = TextToValue(NextPiece(source, P::kMinuend));
    std::string counterpart = NextPiece(source, P::kCounterpart);
    std::string branch = NextPiece(source, P::kBranch);
    std::string cost_centre = NextPiece(source, P::kCostCentre);
    std::string lot = NextPiece(source, P::kLot);
    std::string tail = NextPiece(source, P::kTail);
    double amount = minuend - subtrahend;
    out += Format("%-10sB", date);
    out += Format("%c", Side(amount));
    out += Format("%-18s", Magnitude(amount));
    out += Format("%-2s%-10s%-100s%-10s%-10s", branch, account.substr(0, P::kAccountKept),
                  history.substr(0, P::kHistoryKept), document, counterpart);
    out += Format("%-5s%-15s%-30s%1s", lot, cost_centre, "", flag);
    out += Format("%87s", tail);
  }
  source.Seek(start + kLedgerRecord);
  return true;
}

// ---------------------------------------------------------------------------------------
// Sub-step D: an L07 record (250, kind "F"). Pieces: date 10, 6, 10, 14, 11, 14, 11, 100,
// 16, 58.
//
//   target  width  format                           content
//      0     10    "%-10sF%c"                       date
//     10      1    (same)                           "F"
//     11      1    (same)                           a space
//     12     20    "%-20s%-10s%-140s%-15s%-15s"     source 176-191, the amount text as stored
//     32     10    (same)                           source 16-21 (first 6 of 16-25)
//     42    140    (same)                           source 76-175
//    182     15    (same)                           source 26-39
//    197     15    (same)                           source 51-64
//    212     88    "%88s"                           30 spaces, then source 192-249
//
// Source 10-15, 22-25, 40-50 and 65-75 are dropped.
// ---------------------------------------------------------------------------------------
constexpr std::string_view kMovementPattern = "%s\\L07*.DAT";
struct MovementPieces {
  static constexpr std::size_t kDropped1 = 6, kDocument = 10, kAccount = 14, kDropped2 = 11;
  static constexpr std::size_t kCounterpart = 14, kDropped3 = 11, kHistory = 100;
  static constexpr std::size_t kAmount = 16, kTail = 58, kDocumentKept = 6;
};

bool MovementRecord(RecordFile& source, std::string& out) {
  using P = MovementPieces;
  std::string date;
  if (!ReadPiece(source, kDate, date)) return false;
  NextPiece(source, P::kDropped1);
  std::string document = NextPiece(source, P::kDocument);
  std::string account = NextPiece(source, P::kAccount);
  NextPiece(source, P::kDropped2);
  std::string counterpart = NextPiece(source, P::kCounterpart);
  NextPiece(source, P::kDropped3);
  std::string history = NextPiece(source, P::kHistory);
  std::string amount = NextPiece(source, P::kAmount);
  std::string tail = NextPiece(source, P::kTail);
  out += Format("%-10sF%c", date, ' ');
  out += Format("%-20s%-10s%-140s%-15s%-15s", amount, document.substr(0, P::kDocumentKept), history,
                account, counterpart);
  out += Format("%88s", tail);
  return true;
}

// Sub-step A for one company. False when a write failed.
bool SplitByYear(Context& ctx, const std::string& code) {
  for (const SplitTable& table : kSplitTables) {
    std::string source_path = Format(kSplitSource, code, table.number);
    FileHandle source = OpenSource(ctx.fs, source_path);
    if (!source) continue;
    Targets targets(ctx.fs);
    std::string record;
    while (ReadPiece(*source, table.record, record)) {
      if (record.back() == '+') continue;
      int year = LeadingNumber(std::string_view(record).substr(kDateYear, kDateYearWidth));
      if (!UsableYear(year)) continue;
      std::string target = Format(kSplitTarget, code, table.number, year);
      FileHandle out = targets.Append(target);
      if (!out) continue;
      out->Write(record);
      if (!CloseFile(out)) {
        CloseFile(source);
        targets.Undo();
        ReportWriteFailure(ctx, kCaption, target);
        return false;
      }
    }
    CloseFile(source);
    MoveToSafety(ctx, source_path);
  }
  return true;
}

bool FillYearlyL23(Context& ctx, const std::string& code) {
  for (const BalanceTable& table : kBalanceTables) {
    if (!ConvertYearlyFiles(ctx, code, Format(kBalancePattern, code, table.number), table.year_from,
                            kL23Target, [&table](RecordFile& source, std::string& out, int) {
                              return BalanceRecord(table, source, out);
                            })) {
      return false;
    }
  }
  if (!ConvertYearlyFiles(
          ctx, code, Format(kLedgerPattern, code), kYearInName, kL23Target,
          [](RecordFile& source, std::string& out, int) { return LedgerRecord(source, out); })) {
    return false;
  }
  return ConvertYearlyFiles(
      ctx, code, Format(kMovementPattern, code), kYearInName, kL23Target,
      [](RecordFile& source, std::string& out, int) { return MovementRecord(source, out); });
}

}  // namespace

bool ConvertYearlyFiles(Context& ctx, const std::string& code, std::string_view pattern,
                        std::size_t year_from, std::string_view target,
                        const YearlyConverter& convert) {
  for (const std::string& name : FindOrdinaryFiles(ctx.fs, pattern)) {
    int year =
        name.size() > year_from ? LeadingNumber(std::string_view(name).substr(year_from)) : 0;
    if (!UsableYear(year)) continue;
    std::string source = Format("%s\\%s", code, name);
    std::string target_path = Format(target, code, year);
    switch (ConvertFile(
        ctx.fs, source, target_path, true,
        [&convert, year](RecordFile& in, std::string& out) { return convert(in, out, year); })) {
      case FileConversion::kDone:
        MoveToSafety(ctx, source);
        break;
      case FileConversion::kNotOpened:
        break;
      case FileConversion::kWriteFailed:
        ReportWriteFailure(ctx, kCaption, target_path);
        return false;
    }
  }
  return true;
}

bool SplitLedgersByYear(Context& ctx) {
  bool ok = true;
  ForEachCompanyUnopened(ctx, OnlyUsableFolders(ctx, [&](std::int64_t, const std::string& code) {
                           ok = ok && SplitByYear(ctx, code) && FillYearlyL23(ctx, code) &&
                                FillYearlyL26(ctx, code);
                         }));
  ctx.sink.Repaint();
  return ok;
}

}  // namespace livrana
