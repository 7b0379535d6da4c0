#include "library/first/yearly_l26.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Fill;
using test::Record;

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
    return Record(549, {{0, "01/02/1998"},    {10, Fill(19, 'a')},  {33, "bcd"},
                        {36, Fill(12, 'e')},  {58, Fill(15, 'f')},  {89, "g"},
                        {90, yes_no},         {91, Fill(14, 'h')},  {105, "M"},
                        {115, kind},          {125, Fill(24, 'i')}, {189, Fill(41, 'j')},
                        {231, Fill(77, 'k')}, {309, Fill(69, 'l')}, {379, Fill(15, 'n')},
                        {395, Fill(15, 'o')}, {411, Fill(15, 'p')}, {427, Fill(15, 'q')},
                        {443, "rrrrr"},       {548, last}},
                  '#');
  };
  auto l26 = [](std::string_view yes_no, std::string_view kind) {
    return Record(600, {{0, "01/02/1998"},
                        {10, kind},
                        {11, Fill(19, 'a')},
                        {30, "bcd"},
                        {34, Fill(12, 'e')},
                        {46, Fill(15, 'f')},
                        {61, "g"},
                        {62, yes_no},
                        {63, Fill(14, 'h')},
                        {78, "M"},
                        {81, Fill(24, 'i')},
                        {240, Fill(41, 'j')},
                        {281, Fill(77, 'k')},
                        {358, Fill(69, 'l')},
                        {430, Fill(15, 'n')},
                        {448, Fill(15, 'o')},
                        {466, Fill(15, 'p')},
                        {484, Fill(15, 'q')},
                        {502, "rrrrr"}});
  };
  Put("L031998.DAT",
      l03("s", "7") + l03(" ", "0") + l03("N", "0", "+") + l03("S", "A") + l03("x", " "));
  Run();
  EXPECT_EQ(Table("L261998.DAT"), l26("1", "1") + l26(" ", "0") + l26("1", "1") + l26("0", "1"));
}

TEST_F(YearlyL26Test, L17RecordsCarryTheAmountOfBaseAndRate) {
  auto l17 = [](std::string_view base) {
    return Record(227,
                  {{0, "03/03/1999"},
                   {10, "CODE12"},
                   {30, Fill(40, 't')},
                   {152, base},
                   {170, "2,5"},
                   {175, Fill(51, 'u') + "*"}},
                  '#');
  };
  // The base and the rate are carried as stored, blanks of the field included.
  auto l26 = [](std::string_view base, std::string_view amount) {
    std::string field = Record(18, {{0, base}}, '#');
    return Record(600, {{0, "03/03/1999"},
                        {10, "2"},
                        {36, "CODE12"},
                        {81, Fill(40, 't')},
                        {240, field + field + "2,5##"},
                        {281, amount},
                        {548, Fill(51, 'u') + "*"}});
  };
  Put("L171999.DAT", l17("1.000,00") + l17("-1.000,00"));
  Run();
  EXPECT_EQ(Table("L261999.DAT"), l26("1.000,00", "25,00") + l26("-1.000,00", "-25,00"));
}

TEST_F(YearlyL26Test, L12RecordsAfterTheirPiecesAreCopiedOver) {
  auto l12 = [](std::string_view last) {
    return Record(329,
                  {{0, "04/04/2000"},
                   {10, Fill(19, 'a')},
                   {33, "bcd"},
                   {36, Fill(12, 'e')},
                   {58, Fill(15, 'f')},
                   {89, Fill(16, 'g')},
                   {125, Fill(24, 'i')},
                   {189, Fill(18, 'j')},
                   {207, "MRKXYZTENCHARSXXOVER58"},
                   {328, last}},
                  '#');
  };
  Put("L122000.DAT", l12("*") + l12("+"));
  Run();
  EXPECT_EQ(Table("L262000.DAT"), Record(600, {{0, "04/04/2000"},
                                               {10, "3"},
                                               {11, Fill(13, 'a') + "XYZ" + Fill(3, 'a')},
                                               {30, "bcd"},
                                               {34, Fill(12, 'e')},
                                               {46, "OVER58" + Fill(9, 'f')},
                                               {61, Fill(16, 'g')},
                                               {78, "MRK"},
                                               {81, "TENCHARSXX" + Fill(14, 'i')},
                                               {240, Fill(18, 'j')}}));
}

// Column j of a monthly record holds 18 times the letter a + j - 1, then "##".
std::string Monthly(std::string_view month, std::size_t length = 642) {
  std::string record(month);
  for (int j = 1; j <= 17; ++j) record += Fill(18, static_cast<char>('a' + j - 1)) + "##";
  record += Fill(299, 'T') + "*";
  return record.substr(0, length);
}

// The first record's slots, by slot number, as the columns they hold.
std::string FirstRecord(std::string_view last, char kind, std::string_view first,
                        const std::map<int, int>& slots) {
  std::string rec = Record(600, {{0, last}, {10, std::string(1, kind)}, {11, first}});
  for (const auto& [slot, column] : slots) {
    rec.replace(24 + 18 * (slot - 1), 18, Fill(18, static_cast<char>('a' + column - 1)));
  }
  return rec;
}

std::string SecondRecord(std::string_view last, char kind, std::string_view first) {
  return Record(600,
                {{0, last}, {10, std::string(1, kind)}, {11, first}, {24, Fill(299, 'T') + "*"}});
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
  EXPECT_EQ(Table("L262004.DAT"),
            FirstRecord("29/02/2004", 'A', "01/02/2004", l10_slots) +
                SecondRecord("29/02/2004", 'a', "01/02/2004") +
                FirstRecord("31/13/2004", 'A', "01/13/2004", l10_slots) +
                SecondRecord("31/13/2004", 'a', "01/13/2004") + cut +
                Record(600, {{0, "31/01/2004"}, {10, "a"}, {11, "01/01/2004"}}));
  EXPECT_EQ(Table("L262003.DAT"), FirstRecord("28/02/2003", 'B', "01/02/2003", l11_slots) +
                                      SecondRecord("28/02/2003", 'b', "01/02/2003"));
  // A file without a year in its name stays.
  EXPECT_EQ(Table("L10.DAT"), Monthly("02"));
}

}  // namespace
}  // namespace livrana
