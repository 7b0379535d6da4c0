#include "library/first/yearly_l26.h"

#include <gtest/gtest.h>

#include <map>

#include "records/layouts/invoice_ledgers.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Fill;
using test::Record;
using L = InvoiceLedgerLayout;
using L03 = L03Layout;

class YearlyL26Test : public test::StepTest {
 protected:
  void SetUp() override { fs.MakeFolder("0001"); }
  void Run() {
    Conversion conversion(ctx, "split-ledgers");
    AppendTargets targets(conversion, fs);
    EXPECT_TRUE(FillYearlyL26(ctx, targets, conversion, "0001"));
    EXPECT_TRUE(targets.Close());
    EXPECT_TRUE(conversion.Commit());
  }
  void Put(std::string_view name, std::string_view data) {
    StepTest::Put("0001\\" + std::string(name), data);
  }
  std::string Table(std::string_view name) { return File("0001\\" + std::string(name)); }
};

// Dropped source positions hold "#", so that any of them reaching the target shows.
TEST_F(YearlyL26Test, L03RecordsWithTheirTwoFlagsNormalised) {
  auto l03 = [](std::string_view yes_no, std::string_view kind, std::string_view last = "*") {
    return Record(kL03Record,
                  {{L03::kDate, "01/02/1998"},
                   {L03::kIssued, Fill(19, 'a')},
                   {L03::kSeries, "bcd"},
                   {L03::kNumberLead, Fill(12, 'e')},
                   {L03::kDocument, Fill(15, 'f')},
                   {L03::kState, "g"},
                   {L03::kOrigin, yes_no},
                   {L03::kIssuer, Fill(14, 'h')},
                   {L03::kClass, "M"},
                   {L03::kKind, kind},
                   {L03::kText, Fill(24, 'i')},
                   {L03::kTotal, Fill(41, 'j')},
                   {L03::kTax1, Fill(77, 'k')},
                   {L03::kTax2, Fill(69, 'l')},
                   {L03::kOther, Fill(15, 'n')},
                   {L03::kItem1, Fill(15, 'o')},
                   {L03::kItem2, Fill(15, 'p')},
                   {L03::kItem3, Fill(15, 'q')},
                   {L03::kItem7, "rrrrr"},
                   {L03::kDeleted, last}},
                  '#');
  };
  auto l26 = [](std::string_view yes_no, std::string_view kind) {
    return Record(kInvoiceLedgerRecord, {{L::kFirstDate, "01/02/1998"},
                                         {L::kKind, kind},
                                         {L::kSecondDate, Fill(19, 'a')},
                                         {L::kSeries, "bcd"},
                                         {34, Fill(12, 'e')},
                                         {L::kDocument, Fill(15, 'f')},
                                         {L::kState, "g"},
                                         {L::kOrigin, yes_no},
                                         {L::kIssuer, Fill(14, 'h')},
                                         {L::kClass, "M"},
                                         {L::kText, Fill(24, 'i')},
                                         {L::kAmount, Fill(41, 'j')},
                                         {L::kTax1, Fill(77, 'k')},
                                         {L::kTax2, Fill(69, 'l')},
                                         {L::kOther, Fill(15, 'n')},
                                         {kInvoiceLedgerPositions[1], Fill(15, 'o')},
                                         {kInvoiceLedgerPositions[2], Fill(15, 'p')},
                                         {kInvoiceLedgerPositions[3], Fill(15, 'q')},
                                         {kInvoiceLedgerPositions[7], "rrrrr"}});
  };
  Put("L031998.DAT",
      l03("s", "7") + l03(" ", "0") + l03("N", "0", "+") + l03("S", "A") + l03("x", " "));
  Run();
  EXPECT_EQ(Table("L261998.DAT"), l26("1", "1") + l26(" ", "0") + l26("1", "1") + l26("0", "1"));
}

TEST_F(YearlyL26Test, L17RecordsCarryTheAmountOfBaseAndRate) {
  auto l17 = [](std::string_view base) {
    return Record(kL17Record,
                  {{L17Layout::kDate, "03/03/1999"},
                   {L17Layout::kService, "CODE12"},
                   {L17Layout::kText, Fill(40, 't')},
                   {L17Layout::kBase, base},
                   {L17Layout::kRate, "2,5"},
                   {L17Layout::kCustomer, Fill(51, 'u') + "*"}},
                  '#');
  };
  // The base and the rate are carried as stored, blanks of the field included.
  auto l26 = [](std::string_view base, std::string_view amount) {
    std::string field = Record(18, {{0, base}}, '#');
    return Record(kInvoiceLedgerRecord, {{L::kFirstDate, "03/03/1999"},
                                         {L::kKind, "2"},
                                         {L::kNumber, "CODE12"},
                                         {L::kText, Fill(40, 't')},
                                         {L::kAmount, field + field + "2,5##"},
                                         {L::kTax1, amount},
                                         {548, Fill(51, 'u') + "*"}});
  };
  Put("L171999.DAT", l17("1.000,00") + l17("-1.000,00"));
  Run();
  EXPECT_EQ(Table("L261999.DAT"), l26("1.000,00", "25,00") + l26("-1.000,00", "-25,00"));
}

TEST_F(YearlyL26Test, L12RecordsAfterTheirPiecesAreCopiedOver) {
  auto l12 = [](std::string_view last) {
    return Record(kL12Record,
                  {{L03::kDate, "04/04/2000"},
                   {L03::kIssued, Fill(19, 'a')},
                   {L03::kSeries, "bcd"},
                   {L03::kNumberLead, Fill(12, 'e')},
                   {L03::kDocument, Fill(15, 'f')},
                   {L03::kState, Fill(16, 'g')},
                   {L03::kText, Fill(24, 'i')},
                   {L03::kTotal, Fill(18, 'j')},
                   {L12Layout::kCode, "MRKXYZTENCHARSXXOVER58"},
                   {L12Layout::kDeleted, last}},
                  '#');
  };
  Put("L122000.DAT", l12("*") + l12("+"));
  Run();
  EXPECT_EQ(Table("L262000.DAT"),
            Record(kInvoiceLedgerRecord, {{L::kFirstDate, "04/04/2000"},
                                          {L::kKind, "3"},
                                          {L::kSecondDate, Fill(13, 'a') + "XYZ" + Fill(3, 'a')},
                                          {L::kSeries, "bcd"},
                                          {34, Fill(12, 'e')},
                                          {L::kDocument, "OVER58" + Fill(9, 'f')},
                                          {L::kState, Fill(16, 'g')},
                                          {L::kClass, "MRK"},
                                          {L::kText, "TENCHARSXX" + Fill(14, 'i')},
                                          {L::kAmount, Fill(18, 'j')}}));
}

// Column j of a monthly record holds 18 times the letter a + j - 1, then "##".
std::string Monthly(std::string_view month, std::size_t length = kMonthlyRecord) {
  std::string record(month);
  for (std::size_t j = 1; j <= MonthlyLayout::kColumns; ++j)
    record += Fill(L::kAmountWidth, static_cast<char>('a' + j - 1)) + "##";
  record += Fill(MonthlyLayout::kTailWidth - 1, 'T') + "*";
  return record.substr(0, length);
}

// The first record's slots, by slot number, as the columns they hold.
std::string FirstRecord(std::string_view last, char kind, std::string_view first,
                        const std::map<int, int>& slots) {
  std::string rec =
      Record(kInvoiceLedgerRecord,
             {{L::kFirstDate, last}, {L::kKind, std::string(1, kind)}, {L::kSecondDate, first}});
  for (const auto& [slot, column] : slots) {
    rec.replace(24 + 18 * (slot - 1), 18, Fill(18, static_cast<char>('a' + column - 1)));
  }
  return rec;
}

std::string SecondRecord(std::string_view last, char kind, std::string_view first) {
  return Record(kInvoiceLedgerRecord, {{L::kFirstDate, last},
                                       {L::kKind, std::string(1, kind)},
                                       {L::kSecondDate, first},
                                       {24, Fill(299, 'T') + "*"}});
}

TEST_F(YearlyL26Test, L10AndL11RecordsGiveTwoRecordsForTheirMonth) {
  const std::map<int, int> l10_slots = {{1, 1},   {2, 2},   {3, 3},   {6, 6},   {7, 7},  {8, 8},
                                        {12, 10}, {13, 14}, {14, 15}, {15, 16}, {16, 17}};
  const std::map<int, int> l11_slots = {{1, 1},   {2, 2},   {3, 3},   {4, 4},   {6, 6},
                                        {7, 7},   {8, 8},   {9, 9},   {10, 10}, {12, 12},
                                        {13, 14}, {14, 15}, {15, 16}, {16, 17}};
  // February of a leap year, the closing period 13, and a trailing record cut short, which
  // converts as if padded with spaces.
  Put("L102004.DAT", Monthly("02") + Monthly("13") + Monthly("01", 100));
  Put("L112003.DAT", Monthly("02"));
  Put("L10.DAT", Monthly("02"));

  Run();
  std::string cut = FirstRecord("31/01/2004", 'A', "01/01/2004", {{1, 1}, {2, 2}, {3, 3}});
  EXPECT_EQ(
      Table("L262004.DAT"),
      FirstRecord("29/02/2004", 'A', "01/02/2004", l10_slots) +
          SecondRecord("29/02/2004", 'a', "01/02/2004") +
          FirstRecord("31/13/2004", 'A', "01/13/2004", l10_slots) +
          SecondRecord("31/13/2004", 'a', "01/13/2004") + cut +
          Record(kInvoiceLedgerRecord,
                 {{L::kFirstDate, "31/01/2004"}, {L::kKind, "a"}, {L::kSecondDate, "01/01/2004"}}));
  EXPECT_EQ(Table("L262003.DAT"), FirstRecord("28/02/2003", 'B', "01/02/2003", l11_slots) +
                                      SecondRecord("28/02/2003", 'b', "01/02/2003"));
  // A file without a year in its name stays.
  EXPECT_EQ(Table("L10.DAT"), Monthly("02"));
}

}  // namespace
}  // namespace livrana
