#include "library/first/yearly_l26.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "library/first/split_ledgers.h"
#include "library/first/text_io.h"
#include "library/step_io.h"
#include "records/format.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/record_file.h"
#include "records/values.h"

namespace livrana {
namespace {

// Every L26 record (records/layouts/invoice_ledgers.h): 600 characters, the kind at offset 10;
// the year from the source's name, the leading number from its fourth character on.
constexpr std::string_view kL26Target = kInvoiceLedgerFile;
constexpr std::size_t kYearInName = 3;

// ---------------------------------------------------------------------------------------
// Sub-step E: an L03 record (549) gives one L26 record; a deleted one ("+" at 548) is
// skipped. First offset 90, when not a space, becomes "1" for S or s and "0" otherwise, and
// offset 115 becomes "0" for "0" and "1" otherwise.
//
//   target  width  format                                     source
//      0     10    "%-10s%c"                                  0-9, the date
//     10      1    (same)                                     115, normalised
//     11     19    "%-19s"                                    10-28
//     30      4    "%-4s"                                     33-35
//     34     12    "%-12s"                                    36-47
//     46     15    "%-15s"                                    58-72
//     61     17    "%-17s"                                    89-104 (90 normalised)
//     78      3    "%-3c%-159s"                               105, then two spaces
//     81    159    (same)                                     125-148
//    240     41    "%-41s%-77s%-72s%-18s%-18s%-18s%-18s%-98s"  189-229
//    281     77    (same)                                     231-307
//    358     72    (same)                                     309-377
//    430     18    (same)                                     379-393
//    448     18    (same)                                     395-409
//    466     18    (same)                                     411-425
//    484     18    (same)                                     427-441
//    502     98    (same)                                     443-447
// ---------------------------------------------------------------------------------------
constexpr std::string_view kL03Pattern = "%s\\L03*.DAT";
using L03 = L03Layout;
constexpr std::array<std::size_t, 1> kL03Pieces = {kL03Record};

// The stretches of a source record that a target record is made of, in the order of the
// target, written with one format (one conversion for each stretch).
struct Stretch {
  std::size_t from, width;
};
template <std::size_t N>
struct Moves {
  std::string_view format;
  std::array<Stretch, N> stretches;
};
template <std::size_t N>
void AppendMoves(std::string& out, std::string_view record, const Moves<N>& moves) {
  std::array<FormatArg, N> args = [&]<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<FormatArg, N>{
        FormatArg(record.substr(moves.stretches[I].from, moves.stretches[I].width))...};
  }
  (std::make_index_sequence<N>());
  AppendFormatArgs(out, moves.format, args);
}

// The table above in the layout's formats ("%-10s%c", "%-19s", ..., "%-3c%-159s", "%-41s..."),
// the characters at 115 and 105 written as texts of one character, the same bytes as "%c"
// and "%-3c".
constexpr Moves<17> kL03Moves = {
    "%-10s%-1s%-19s%-4s%-12s%-15s%-17s%-3s%-159s%-41s%-77s%-72s%-18s%-18s%-18s%-18s%-98s",
    {{{L03::kDate, L03::kDateWidth},
      {L03::kKind, 1},
      {L03::kIssued, 19},
      {L03::kSeries, L03::kSeriesWidth},
      {L03::kNumberLead, 12},
      {L03::kDocument, 15},
      {L03::kState, 16},
      {L03::kClass, 1},
      {L03::kText, L03::kTextWidth},
      {L03::kTotal, 41},
      {L03::kTax1, 77},
      {L03::kTax2, 69},
      {L03::kOther, L03::kShortAmountWidth},
      {L03::kItem1, L03::kShortAmountWidth},
      {L03::kItem2, L03::kShortAmountWidth},
      {L03::kItem3, L03::kShortAmountWidth},
      {L03::kItem7, L03::kItem7Width}}}};

bool L03Record(TextSource& source, std::string& out) {
  auto p = source.Record(kL03Pieces);
  if (p.empty()) return false;
  if (p[0][L03::kDeleted] == '+') return true;
  std::string r(p[0]);
  char& yes_no = r[L03::kOrigin];
  if (yes_no != ' ') yes_no = (yes_no == 'S' || yes_no == 's') ? '1' : '0';
  r[L03::kKind] = r[L03::kKind] == '0' ? '0' : '1';
  AppendMoves(out, r, kL03Moves);
  return true;
}

// ---------------------------------------------------------------------------------------
// Sub-step F: an L17 record (227) gives one L26 record, no deletion test. Read in pieces:
// date 10, 20, 122, base amount 18, rate 5, 52.
//
//   target  width  format          content
//      0     10    "%-10s%-26s"    the date
//     10     26    (same)          "2", then 25 spaces
//     36     45    "%-45s"         source 10-15 (first 6 of 10-29)
//     81    159    "%-159s"        source 30-69 (first 40 of 30-151)
//    240     18    "%-18s%-18s"    source 152-169, the base amount
//    258     18    (same)          the base amount again
//    276      5    "%-5s"          source 170-174, the rate
//    281     18    "%-18s"         base x rate x 0.01 with two decimals, cut to 18, signed
//    299    301    "%301s"         249 spaces, then source 175-226
// ---------------------------------------------------------------------------------------
constexpr std::string_view kL17Pattern = "%s\\L17*.DAT";
enum L17Piece : std::size_t { kL17Date, kL17Code, kL17Text, kL17Base, kL17Rate, kL17Tail };
using L17 = L17Layout;
constexpr std::array<std::size_t, 6> kL17Pieces = {L17::kDateWidth, L17::kServiceWidth,
                                                   L17::kTextWidth, L17::kBaseWidth,
                                                   L17::kRateWidth, kL17Record - L17::kCustomer};
constexpr std::size_t kL17CodeKept = 6, kL17TextKept = 40, kL17Amount = 18;
constexpr std::string_view kL17Kind = "2";

bool L17Record(TextSource& source, std::string& out) {
  auto p = source.Record(kL17Pieces);
  if (p.empty()) return false;
  std::string_view base = p[kL17Base], rate = p[kL17Rate];
  std::string amount = ValueToText(TextToValue(base) * TextToValue(rate) * 0.01, 2);
  AppendFormat(out, "%-10s%-26s", p[kL17Date], kL17Kind);
  AppendFormat(out, "%-45s", p[kL17Code].substr(0, kL17CodeKept));
  AppendFormat(out, "%-159s", p[kL17Text].substr(0, kL17TextKept));
  AppendFormat(out, "%-18s%-18s", base, base);
  AppendFormat(out, "%-5s", rate);
  AppendFormat(out, "%-18s", CutText(amount, kL17Amount));
  AppendFormat(out, "%301s", p[kL17Tail]);
  return true;
}

// ---------------------------------------------------------------------------------------
// Sub-step G: an L12 record (329) gives one L26 record; a deleted one ("+" at 328) is
// skipped. First four pieces are copied over other places of the record: 207-209 over
// 105-107, 210-212 over 23-25, 213-222 over 125-134, 223-228 over 58-63.
//
//   target  width  format          source
//      0     10    "%-10s%c"       0-9, the date
//     10      1    (same)          "3"
//     11     19    "%-19s"         10-28
//     30      4    "%-4s"          33-35
//     34     12    "%-12s"         36-47
//     46     15    "%-15s"         58-72
//     61     17    "%-17s"         89-104
//     78      3    "%-3s%-159s"    105-107
//     81    159    (same)          125-148
//    240    360    "%-360s"        189-206
// ---------------------------------------------------------------------------------------
constexpr std::string_view kL12Pattern = "%s\\L12*.DAT";
constexpr std::array<std::size_t, 1> kL12Pieces = {kL12Record};
constexpr char kL12Kind = '3';
struct Overlay {
  std::size_t from, width, to;
};
constexpr std::array<Overlay, 4> kL12Overlays = {{
    {L12Layout::kCode, L12Layout::kCodeWidth, L03::kClass},
    {L12Layout::kSubseries, L12Layout::kSubseriesWidth, L03::kSubseries},
    {L12Layout::kReference, L12Layout::kReferenceWidth, L03::kText},
    {L12Layout::kDocument, L12Layout::kDocumentWidth, L03::kDocument},
}};

// The table above, after the kind.
constexpr Moves<8> kL12Moves = {"%-19s%-4s%-12s%-15s%-17s%-3s%-159s%-360s",
                                {{{L03::kIssued, 19},
                                  {L03::kSeries, L03::kSeriesWidth},
                                  {L03::kNumberLead, 12},
                                  {L03::kDocument, 15},
                                  {L03::kState, 16},
                                  {L03::kClass, 3},
                                  {L03::kText, L03::kTextWidth},
                                  {L12Layout::kTotal, L03::kAmountWidth}}}};
constexpr std::size_t kL12Date = L03::kDateWidth;

bool L12Record(TextSource& source, std::string& out) {
  auto p = source.Record(kL12Pieces);
  if (p.empty()) return false;
  if (p[0][L12Layout::kDeleted] == '+') return true;
  std::string r(p[0]);
  for (const Overlay& o : kL12Overlays) r.replace(o.to, o.width, r, o.from, o.width);
  AppendFormat(out, "%-10s%c", std::string_view(r).substr(0, kL12Date), kL12Kind);
  AppendMoves(out, r, kL12Moves);
  return true;
}

// ---------------------------------------------------------------------------------------
// Sub-step H: an L10 or L11 record (642) gives two L26 records, no deletion test. Source:
// 0-1 the month, 2-341 seventeen columns of 20 (column j at 2 + 20 (j - 1)), 342-641 a tail
// of 300. Both records begin "%-10s%c%-13s": the month's last date, the kind, its first date
// (dates of the file's year).
//
//   target  width  first record ("A" L10, "B" L11)     second record ("a", "b")
//      0     10    the last date                        the last date
//     10      1    the kind                             the kind
//     11     13    the first date, three spaces         the first date, three spaces
//     24    288    sixteen slots of 18 (below)          the tail, "%-576s" (24-599)
//    312    288    "%-288s" of an empty text            (the tail)
//
// A slot holds the first 18 characters of a column ("%-18s"), or spaces written as an
// empty text with its format (slots_format: one format for each entry of the slot list).
// ---------------------------------------------------------------------------------------
constexpr std::string_view kMonthlyPattern = "%s\\L%d*.DAT";
constexpr std::size_t kMonth = MonthlyLayout::kMonthWidth, kColumn = MonthlyLayout::kColumnWidth;
constexpr std::size_t kColumns = MonthlyLayout::kColumns, kMonthlyTail = MonthlyLayout::kTailWidth;
constexpr std::size_t kSlot = InvoiceLedgerLayout::kAmountWidth;
struct Slot {
  int column;  // 0: spaces
};
struct MonthlyTable {
  int number;
  char kind, second_kind;
  bool joined_4_5;  // columns 4 and 5 read as one piece of 40
  std::array<Slot, 16> slots;
  std::size_t slot_count;
  std::string_view slots_format;  // the slots' formats one after the other
};
// The pieces read: the month, the columns (L10 reads 4 and 5 as one), the tail.
constexpr std::array<std::size_t, 18> kL10Pieces = {
    kMonth,  kColumn, kColumn, kColumn, 2 * kColumn, kColumn, kColumn, kColumn, kColumn,
    kColumn, kColumn, kColumn, kColumn, kColumn,     kColumn, kColumn, kColumn, kMonthlyTail};
constexpr std::array<std::size_t, 19> kL11Pieces = {
    kMonth,  kColumn, kColumn, kColumn, kColumn, kColumn, kColumn, kColumn, kColumn,     kColumn,
    kColumn, kColumn, kColumn, kColumn, kColumn, kColumn, kColumn, kColumn, kMonthlyTail};
constexpr std::array<MonthlyTable, 2> kMonthlyTables = {{
    {10,
     'A',
     'a',
     true,
     {{{1},
       {2},
       {3},
       {0},  // slots 4-5
       {6},
       {7},
       {8},
       {0},  // slots 9-11
       {10},
       {14},
       {15},
       {16},
       {17}}},
     13,
     "%-18s%-18s%-18s%-36s%-18s%-18s%-18s%-54s%-18s%-18s%-18s%-18s%-18s"},
    {11,
     'B',
     'b',
     false,
     {{{1}, {2}, {3}, {4}, {0}, {6}, {7}, {8}, {9}, {10}, {0}, {12}, {14}, {15}, {16}, {17}}},
     16,
     "%-18s%-18s%-18s%-18s%-18s%-18s%-18s%-18s%-18s%-18s%-18s%-18s%-18s%-18s%-18s%-18s"},
}};

bool MonthlyRecords(const MonthlyTable& table, int year, TextSource& source, std::string& out) {
  auto p = table.joined_4_5 ? source.Record(kL10Pieces) : source.Record(kL11Pieces);
  if (p.empty()) return false;
  std::array<std::string_view, kColumns + 1> columns;  // columns[j], j from 1
  for (std::size_t j = 1, at = 1; j <= kColumns; ++j, ++at) {
    if (table.joined_4_5 && j == 4) {
      columns[4] = p[at].substr(0, kColumn);
      columns[5] = p[at].substr(kColumn);
      ++j;
      continue;
    }
    columns[j] = p[at];
  }
  std::string_view tail = p.back();
  // A month number of two characters lies in -9 to 99.
  auto m = static_cast<std::int8_t>(LeadingNumber(p[0]));
  auto days = static_cast<std::int8_t>(DaysInMonth(year, m));
  std::string first = DateToText(DateRec{year, 1, m});
  std::string last = DateToText(DateRec{year, days, m});
  AppendFormat(out, "%-10s%c%-13s", last, table.kind, first);
  std::array<FormatArg, 16> slots = {
      FormatArg(""), "", "", "", "", "", "", "", "", "", "", "", "", "", "", ""};
  for (std::size_t s = 0; s < table.slot_count; ++s) {
    const Slot& slot = table.slots[s];
    if (slot.column != 0) slots[s] = FormatArg(columns[slot.column].substr(0, kSlot));
  }
  AppendFormatArgs(out, table.slots_format, std::span(slots).first(table.slot_count));
  AppendFormat(out, "%-288s", "");
  AppendFormat(out, "%-10s%c%-13s", last, table.second_kind, first);
  AppendFormat(out, "%-576s", tail);
  return true;
}

Outcome Fill(Context& ctx, AppendTargets& targets, Conversion& conversion, const std::string& code,
             std::string_view pattern, const YearlyConverter& convert) {
  return ConvertYearlyFiles(ctx, targets, conversion, code, pattern, kYearInName, kL26Target,
                            convert);
}

}  // namespace

Outcome FillYearlyL26(Context& ctx, AppendTargets& targets, Conversion& conversion,
                      const std::string& code) {
  auto ignore_year = [](bool (*record)(TextSource&, std::string&)) {
    return [record](TextSource& source, std::string& out, int) { return record(source, out); };
  };
  if (Outcome done =
          Fill(ctx, targets, conversion, code, Format(kL03Pattern, code), ignore_year(L03Record));
      !done) {
    return done;
  }
  if (Outcome done =
          Fill(ctx, targets, conversion, code, Format(kL17Pattern, code), ignore_year(L17Record));
      !done) {
    return done;
  }
  if (Outcome done =
          Fill(ctx, targets, conversion, code, Format(kL12Pattern, code), ignore_year(L12Record));
      !done) {
    return done;
  }
  for (const MonthlyTable& table : kMonthlyTables) {
    if (Outcome done =
            Fill(ctx, targets, conversion, code, Format(kMonthlyPattern, code, table.number),
                 [&table](TextSource& source, std::string& out, int year) {
                   return MonthlyRecords(table, year, source, out);
                 });
        !done) {
      return done;
    }
  }
  return {};
}

}  // namespace livrana
