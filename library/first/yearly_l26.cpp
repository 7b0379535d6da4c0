#include "library/first/yearly_l26.h"

#include <array>
#include <string>
#include <string_view>

#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"
#include "library/step_io.h"
#include "library/first/split_ledgers.h"

namespace livrana {
namespace {

// Every L26 record: 600 characters, the kind at offset 10; the year from the source's name,
// the leading number from its fourth character on.
constexpr std::string_view kL26Target = "%s\\L26%04d.DAT";
constexpr std::size_t kYearInName = 3;

std::string Piece(const std::string& record, std::size_t offset, std::size_t width) {
  return record.substr(offset, width);
}

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
constexpr std::size_t kL03Record = 549;
constexpr std::size_t kL03YesNo = 90, kL03Kind = 115, kL03Mark = 105;

bool L03Record(RecordFile& source, std::string& out) {
  std::string r;
  if (!ReadPiece(source, kL03Record, r)) return false;
  if (r.back() == '+') return true;
  if (r[kL03YesNo] != ' ') r[kL03YesNo] = (r[kL03YesNo] == 'S' || r[kL03YesNo] == 's') ? '1' : '0';
  r[kL03Kind] = r[kL03Kind] == '0' ? '0' : '1';
  out += Format("%-10s%c", Piece(r, 0, 10), r[kL03Kind]);
  out += Format("%-19s", Piece(r, 10, 19));
  out += Format("%-4s", Piece(r, 33, 3));
  out += Format("%-12s", Piece(r, 36, 12));
  out += Format("%-15s", Piece(r, 58, 15));
  out += Format("%-17s", Piece(r, 89, 16));
  out += Format("%-3c%-159s", r[kL03Mark], Piece(r, 125, 24));
  out += Format("%-41s%-77s%-72s%-18s%-18s%-18s%-18s%-98s", Piece(r, 189, 41), Piece(r, 231, 77),
                Piece(r, 309, 69), Piece(r, 379, 15), Piece(r, 395, 15), Piece(r, 411, 15),
                Piece(r, 427, 15), Piece(r, 443, 5));
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
struct L17Pieces {
  static constexpr std::size_t kDate = 10, kCode = 20, kText = 122, kBase = 18, kRate = 5;
  static constexpr std::size_t kTail = 52, kCodeKept = 6, kTextKept = 40, kAmount = 18;
};
constexpr std::string_view kL17Kind = "2";

bool L17Record(RecordFile& source, std::string& out) {
  using P = L17Pieces;
  std::string date;
  if (!ReadPiece(source, P::kDate, date)) return false;
  std::string code = NextPiece(source, P::kCode);
  std::string text = NextPiece(source, P::kText);
  std::string base = NextPiece(source, P::kBase);
  std::string rate = NextPiece(source, P::kRate);
  std::string tail = NextPiece(source, P::kTail);
  std::string amount = ValueToText(TextToValue(base) * TextToValue(rate) * 0.01, 2);
  out += Format("%-10s%-26s", date, kL17Kind);
  out += Format("%-45s", code.substr(0, P::kCodeKept));
  out += Format("%-159s", text.substr(0, P::kTextKept));
  out += Format("%-18s%-18s", base, base);
  out += Format("%-5s", rate);
  out += Format("%-18s", CutText(amount, P::kAmount));
  out += Format("%301s", tail);
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
constexpr std::size_t kL12Record = 329;
constexpr char kL12Kind = '3';
struct Overlay {
  std::size_t from, width, to;
};
constexpr std::array<Overlay, 4> kL12Overlays = {{
    {207, 3, 105},
    {210, 3, 23},
    {213, 10, 125},
    {223, 6, 58},
}};

bool L12Record(RecordFile& source, std::string& out) {
  std::string r;
  if (!ReadPiece(source, kL12Record, r)) return false;
  if (r.back() == '+') return true;
  for (const Overlay& o : kL12Overlays) r.replace(o.to, o.width, r, o.from, o.width);
  out += Format("%-10s%c", Piece(r, 0, 10), kL12Kind);
  out += Format("%-19s", Piece(r, 10, 19));
  out += Format("%-4s", Piece(r, 33, 3));
  out += Format("%-12s", Piece(r, 36, 12));
  out += Format("%-15s", Piece(r, 58, 15));
  out += Format("%-17s", Piece(r, 89, 16));
  out += Format("%-3s%-159s", Piece(r, 105, 3), Piece(r, 125, 24));
  out += Format("%-360s", Piece(r, 189, 18));
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
// empty text with the format given.
// ---------------------------------------------------------------------------------------
constexpr std::string_view kMonthlyPattern = "%s\\L%d*.DAT";
constexpr std::size_t kMonth = 2, kColumn = 20, kColumns = 17, kSlot = 18, kMonthlyTail = 300;
struct Slot {
  int column;  // 0: spaces
  std::string_view format;
};
struct MonthlyTable {
  int number;
  char kind, second_kind;
  bool joined_4_5;  // columns 4 and 5 read as one piece of 40
  std::array<Slot, 16> slots;
  std::size_t slot_count;
};
constexpr std::array<MonthlyTable, 2> kMonthlyTables = {{
    {10,
     'A',
     'a',
     true,
     {{{1, "%-18s"},
       {2, "%-18s"},
       {3, "%-18s"},
       {0, "%-36s"},  // slots 4-5
       {6, "%-18s"},
       {7, "%-18s"},
       {8, "%-18s"},
       {0, "%-54s"},  // slots 9-11
       {10, "%-18s"},
       {14, "%-18s"},
       {15, "%-18s"},
       {16, "%-18s"},
       {17, "%-18s"}}},
     13},
    {11,
     'B',
     'b',
     false,
     {{{1, "%-18s"},
       {2, "%-18s"},
       {3, "%-18s"},
       {4, "%-18s"},
       {0, "%-18s"},
       {6, "%-18s"},
       {7, "%-18s"},
       {8, "%-18s"},
       {9, "%-18s"},
       {10, "%-18s"},
       {0, "%-18s"},
       {12, "%-18s"},
       {14, "%-18s"},
       {15, "%-18s"},
       {16, "%-18s"},
       {17, "%-18s"}}},
     16},
}};

bool MonthlyRecords(const MonthlyTable& table, int year, RecordFile& source, std::string& out) {
  std::string month;
  if (!ReadPiece(source, kMonth, month)) return false;
  std::array<std::string, kColumns + 1> columns;  // columns[j], j from 1
  for (std::size_t j = 1; j <= kColumns; ++j) {
    if (table.joined_4_5 && j == 4) {
      std::string both = NextPiece(source, 2 * kColumn);
      columns[4] = both.substr(0, kColumn);
      columns[5] = both.substr(kColumn);
      ++j;
      continue;
    }
    columns[j] = NextPiece(source, kColumn);
  }
  std::string tail = NextPiece(source, kMonthlyTail);
  // A month number of two characters lies in -9 to 99.
  auto m = static_cast<std::int8_t>(LeadingNumber(month));
  auto days = static_cast<std::int8_t>(DaysInMonth(year, m));
  std::string first = DateToText(DateRec{year, 1, m});
  std::string last = DateToText(DateRec{year, days, m});
  out += Format("%-10s%c%-13s", last, table.kind, first);
  for (std::size_t s = 0; s < table.slot_count; ++s) {
    const Slot& slot = table.slots[s];
    std::string text = slot.column == 0 ? std::string() : columns[slot.column].substr(0, kSlot);
    out += Format(slot.format, text);
  }
  out += Format("%-288s", "");
  out += Format("%-10s%c%-13s", last, table.second_kind, first);
  out += Format("%-576s", tail);
  return true;
}

bool Fill(Context& ctx, const std::string& code, std::string_view pattern,
          const YearlyConverter& convert) {
  return ConvertYearlyFiles(ctx, code, pattern, kYearInName, kL26Target, convert);
}

}  // namespace

bool FillYearlyL26(Context& ctx, const std::string& code) {
  auto ignore_year = [](bool (*record)(RecordFile&, std::string&)) {
    return [record](RecordFile& source, std::string& out, int) { return record(source, out); };
  };
  if (!Fill(ctx, code, Format(kL03Pattern, code), ignore_year(L03Record)) ||
      !Fill(ctx, code, Format(kL17Pattern, code), ignore_year(L17Record)) ||
      !Fill(ctx, code, Format(kL12Pattern, code), ignore_year(L12Record))) {
    return false;
  }
  for (const MonthlyTable& table : kMonthlyTables) {
    if (!Fill(ctx, code, Format(kMonthlyPattern, code, table.number),
              [&table](RecordFile& source, std::string& out, int year) {
                return MonthlyRecords(table, year, source, out);
              })) {
      return false;
    }
  }
  return true;
}

}  // namespace livrana
