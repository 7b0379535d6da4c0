#include "library/first/split_ledgers.h"

#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "library/first/text_io.h"
#include "library/first/yearly_l26.h"
#include "library/step_io.h"
#include "records/company.h"
#include "records/format.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/ledgers.h"
#include "records/layouts/old_ledgers.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/layouts.h"
#include "run/safety.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

constexpr std::string_view kStep = "split-ledgers";
constexpr std::string_view kCaption = "SplitLedgersByYear";
constexpr int kFirstYear = 1, kLastYear = 9999;

bool UsableYear(int year) { return year >= kFirstYear && year <= kLastYear; }

// The characters of a record read in pieces of these widths.
template <std::size_t N>
constexpr std::size_t Span(const std::array<std::size_t, N>& pieces) {
  std::size_t span = 0;
  for (std::size_t width : pieces) span += width;
  return span;
}

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
    {1, kL01Record},
    {3, kL03Record},
    {7, kL07Record},
    {8, kL08Record},
    {9, kL08Record},
}};
constexpr std::string_view kSplitSource = "%s\\L0%d.DAT";
constexpr std::string_view kSplitTarget = "%s\\L0%d%04d.DAT";

// Where the year starts in the names of the yearly files.
constexpr std::size_t kYearInName = 3;     // "L01<year>.DAT"
constexpr std::size_t kYearInL14Name = 4;  // "L14B<year>.DAT"

// "C" for an amount above zero, "D" for any other; the magnitude is written with two
// decimals, cut to 18 characters.
char Side(double amount) { return amount > 0 ? 'C' : 'D'; }
std::string Magnitude(double amount) {
  std::string text = ValueToText(std::fabs(amount), 2);
  return CutText(text, Ledger23Layout::kAmountWidth);
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
  std::array<std::size_t, 5> pieces;  // date, the piece after it, amount, dropped, last
  char kind;
  std::size_t year_from;
};
using L13 = L13Layout;
using L14 = L14BLayout;
constexpr std::array<BalanceTable, 2> kBalanceTables = {{
    {13,
     {L13::kDateWidth, L13::kReferenceWidth, L13::kAmountWidth, L13::kTextWidth, 1},
     'A',
     kYearInName},
    {14,
     {L14::kDateWidth, L14::kReferenceWidth, L14::kAmountWidth, L14::kTextWidth, 1},
     'E',
     kYearInL14Name},
}};
static_assert(Span(kBalanceTables[0].pieces) == kL13Record);
static_assert(Span(kBalanceTables[1].pieces) == kL14BRecord);
constexpr std::string_view kBalancePattern = "%s\\L%02d*.DAT";
constexpr std::string_view kOpeningBalance = "SALDO INICIAL";
constexpr std::size_t kL14Reference = 15;

bool BalanceRecord(const BalanceTable& table, TextSource& source, std::string& out) {
  auto p = source.Record(table.pieces);
  if (p.empty()) return false;
  std::string_view date = p[0], second = p[1], last = p[4];
  double amount = TextToValue(p[2]);
  bool from_l13 = table.number == 13;
  AppendFormat(out, "%-10s%c", date, table.kind);
  AppendFormat(out, "%c", Side(amount));
  AppendFormat(out, "%-30s%-120s", Magnitude(amount), kOpeningBalance);
  AppendFormat(out, "%-20s", from_l13 ? second : std::string_view());
  AppendFormat(out, "%-30s", from_l13 ? std::string_view() : second.substr(0, kL14Reference));
  AppendFormat(out, "%88s", last);
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
constexpr std::uint64_t kLedgerRecord = kL01Record;
// The pieces after the date, in the order read.
enum LedgerPiece : std::size_t {
  kFlag,
  kAccount,
  kDocument,
  kHistory,
  kSubtrahend,
  kMinuend,
  kCounterpart,
  kBranch,
  kCostCentre,
  kLot,
  kLedgerTail,
};
using L01 = L01Layout;
constexpr std::array<std::size_t, 11> kLedgerPieces = {
    L01::kFlagWidth,       L01::kAccountWidth, L01::kDocumentWidth,    L01::kHistoryWidth,
    L01::kAmountWidth,     L01::kAmountWidth,  L01::kCounterpartWidth, L01::kBranchWidth,
    L01::kCostCentreWidth, L01::kLotWidth,     L01::kTailWidth,
};
static_assert(L01::kDateWidth + Span(kLedgerPieces) == kL01Record);
constexpr std::size_t kAccountKept = 7, kHistoryKept = 100;

// Called with the source at the start of record k; leaves it at the start of record k + 1,
// where a position past the end makes the next read give nothing. A Ctrl-Z byte that a
// read meets ends the file, as it does for every text-mode source: the walk stops there
// and does not resume at the next record's position.
bool LedgerRecord(TextSource& source, std::string& out) {
  std::uint64_t start = source.Tell();
  std::string date;
  if (source.Piece(L01::kDateWidth, date) == 0) return false;
  if (date[OldLedgerDate::kSlash] == '/') {
    auto p = source.Rest(kLedgerPieces);
    double amount = TextToValue(p[kMinuend]) - TextToValue(p[kSubtrahend]);
    AppendFormat(out, "%-10sB", date);
    AppendFormat(out, "%c", Side(amount));
    AppendFormat(out, "%-18s", Magnitude(amount));
    AppendFormat(out, "%-2s%-10s%-100s%-10s%-10s", p[kBranch], p[kAccount].substr(0, kAccountKept),
                 p[kHistory].substr(0, kHistoryKept), p[kDocument], p[kCounterpart]);
    AppendFormat(out, "%-5s%-15s%-30s%1s", p[kLot], p[kCostCentre], "", p[kFlag]);
    AppendFormat(out, "%87s", p[kLedgerTail]);
  }
  if (!source.ended()) source.Seek(start + kLedgerRecord);
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
enum MovementPiece : std::size_t {
  kMovementDate,
  kDropped1,
  kMovementDocument,
  kMovementAccount,
  kDropped2,
  kMovementCounterpart,
  kDropped3,
  kMovementHistory,
  kMovementAmount,
  kMovementTail,
};
using L07 = L07Layout;
constexpr std::array<std::size_t, 10> kMovementPieces = {
    L07::kDateWidth,     L07::kDropped1Width,    L07::kDocumentWidth, L07::kAccountWidth,
    L07::kDropped2Width, L07::kCounterpartWidth, L07::kDropped3Width, L07::kHistoryWidth,
    L07::kAmountWidth,   L07::kTailWidth,
};
static_assert(Span(kMovementPieces) == kL07Record);
constexpr std::size_t kDocumentKept = 6;

bool MovementRecord(TextSource& source, std::string& out) {
  auto p = source.Record(kMovementPieces);
  if (p.empty()) return false;
  AppendFormat(out, "%-10sF%c", p[kMovementDate], ' ');
  AppendFormat(out, "%-20s%-10s%-140s%-15s%-15s", p[kMovementAmount],
               p[kMovementDocument].substr(0, kDocumentKept), p[kMovementHistory],
               p[kMovementAccount], p[kMovementCounterpart]);
  AppendFormat(out, "%88s", p[kMovementTail]);
  return true;
}

// Sub-step A for one company: the yearly files appended to and each source moved to its
// safety copy at the commit.
Outcome SplitByYear(Context& ctx, Conversion& conversion, const std::string& code) {
  for (const SplitTable& table : kSplitTables) {
    std::string source_path = Format(kSplitSource, code, table.number);
    Outcome why;
    auto source = TextSource::Open(ctx.fs, source_path, &why);
    if (!source) {
      if (PassedOver(why)) continue;
      return why;
    }
    AppendTargets targets(conversion, ctx.fs);
    Outcome done;
    bool placed = true;  // a record whose file cannot be opened is dropped, as one without a year
    const std::array<std::size_t, 1> whole = {table.record};
    for (auto p = source->Record(whole); !p.empty(); p = source->Record(whole)) {
      std::string_view record = p[0];
      if (record.back() == '+') continue;
      int year = LeadingNumber(record.substr(OldLedgerDate::kYear, OldLedgerDate::kYearWidth));
      if (!UsableYear(year)) continue;
      done = targets.Append(Format(kSplitTarget, code, table.number, year), record, placed);
      if (!done) break;
    }
    done.Also(targets.Close());
    done.Also(source->failure());
    if (!done) return done;
    conversion.MoveToSafetyAtCommit(source_path);
  }
  return {};
}

Outcome FillYearlyL23(Context& ctx, AppendTargets& targets, Conversion& conversion,
                      const std::string& code) {
  for (const BalanceTable& table : kBalanceTables) {
    if (Outcome done = ConvertYearlyFiles(ctx, targets, conversion, code,
                                          Format(kBalancePattern, code, table.number),
                                          table.year_from, kLedger23File,
                                          [&table](TextSource& source, std::string& out, int) {
                                            return BalanceRecord(table, source, out);
                                          });
        !done) {
      return done;
    }
  }
  if (Outcome done = ConvertYearlyFiles(
          ctx, targets, conversion, code, Format(kLedgerPattern, code), kYearInName, kLedger23File,
          [](TextSource& source, std::string& out, int) { return LedgerRecord(source, out); });
      !done) {
    return done;
  }
  return ConvertYearlyFiles(
      ctx, targets, conversion, code, Format(kMovementPattern, code), kYearInName, kLedger23File,
      [](TextSource& source, std::string& out, int) { return MovementRecord(source, out); });
}

// The tables the routine splits or gathers, as patterns in a company folder.
constexpr std::array<std::string_view, 11> kInputPatterns = {
    "L01*.DAT", "L03*.DAT", "L07*.DAT", "L08.DAT",  "L09.DAT",  "L13*.DAT",
    "L14*.DAT", "L17*.DAT", "L12*.DAT", "L10*.DAT", "L11*.DAT",
};

// Whether a name found by one of the patterns is a file the routine converts: a table of
// sub-step A, or a yearly file whose name carries a year in 1-9999.
bool Converted(std::string_view name) {
  for (const SplitTable& table : kSplitTables) {
    if (platform::SameName(name, Format("L0%d.DAT", table.number))) return true;
  }
  bool l14 = name.size() > kYearInL14Name - 1 && platform::SameName(name.substr(0, 3), "L14");
  std::size_t from = l14 ? kYearInL14Name : kYearInName;
  return name.size() > from && UsableYear(LeadingNumber(name.substr(from)));
}

}  // namespace

Outcome ConvertYearlyFiles(Context& ctx, AppendTargets& targets, Conversion& conversion,
                           const std::string& code, std::string_view pattern, std::size_t year_from,
                           std::string_view target, const YearlyConverter& convert) {
  std::string records;
  Outcome listed;
  for (const std::string& name : FindOrdinaryFiles(ctx.fs, pattern, &listed)) {
    int year =
        name.size() > year_from ? LeadingNumber(std::string_view(name).substr(year_from)) : 0;
    if (!UsableYear(year)) continue;
    std::string source_path = Format("%s\\%s", code, name);
    Outcome why;
    auto source = TextSource::Open(ctx.fs, source_path, &why);
    if (!source) {
      if (PassedOver(why)) continue;
      return why;
    }
    RecordFile* out = nullptr;
    if (Outcome opened = targets.Open(Format(target, code, year), out); !opened) return opened;
    if (out == nullptr) continue;  // the target cannot be opened: the source stays
    while (convert(*source, records, year)) {
      if (!records.empty() && !WriteRecord(*out, records)) return out->failure();
      records.clear();
    }
    if (Outcome read = source->failure(); !read) return read;
    conversion.MoveToSafetyAtCommit(source_path);
  }
  return listed;
}

bool SplitLedgersHasInput(platform::FileSystem& fs) {
  if (!OrdinaryFileExists(fs, kCompanyRegister)) return false;
  for (const std::string& folder : FoldersOf(fs, "")) {
    for (const std::string& name : FindOrdinaryFiles(fs, Format("%s\\L*.DAT", folder))) {
      for (std::string_view pattern : kInputPatterns) {
        if (platform::MatchPattern(pattern, name) && Converted(name)) return true;
      }
    }
  }
  return false;
}

Outcome SplitLedgersByYear(Context& ctx) {
  Outcome failure;
  ForEachCompanyUnopened(
      ctx, OnlyUsableFolders(ctx, OncePerFolder(ctx, [&](std::int64_t, const std::string& code) {
                               if (!failure) return;
                               // The whole company in one conversion: the yearly files of sub-step
                               // A are sources of the later sub-steps, and everything is consumed
                               // at the commit.
                               Conversion conversion(ctx, kStep);
                               failure = SplitByYear(ctx, conversion, code);
                               AppendTargets yearly(conversion, ctx.fs);  // the L23 and L26 files
                               if (failure) failure = FillYearlyL23(ctx, yearly, conversion, code);
                               if (failure) failure = FillYearlyL26(ctx, yearly, conversion, code);
                               failure.Also(yearly.Close());
                               if (failure) failure = conversion.Commit();
                             })));
  ctx.sink.Repaint();
  return failure ? failure : ReportFailure(ctx, kCaption, std::move(failure));
}

}  // namespace livrana
