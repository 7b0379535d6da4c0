#include "library/first/rebuild_registers.h"

#include <gtest/gtest.h>

#include "records/layouts/charts.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/old_ledgers.h"
#include "records/layouts/phone_tables.h"
#include "records/layouts/rate_tables.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Fill;
using test::Record;

// An "F00.DAT" record with every piece filled, the code at 545-546 and the mark at 699.
std::string OldCompany(std::string_view code, std::string_view mark = " ") {
  return Record(700, {{0, Fill(290, 'A')},
                      {290, Fill(30, 'B')},
                      {320, Fill(30, 'C')},
                      {350, Fill(50, 'D')},
                      {400, "KK" + Fill(28, 'k')},
                      {430, Fill(15, 'E') + Fill(100, 'e')},
                      {545, code},
                      {547, Fill(152, 'G')},
                      {699, mark}});
}

std::string Company(std::string_view code, std::string_view mark = " ") {
  return Record(kCompanyRecordLength, {{RegisterLayout::kCode, Fill(290, 'A')},
                                       {PhoneFields::kPhone1, Fill(30, 'B')},
                                       {PhoneFields::kPhone2, Fill(30, 'C')},
                                       {372, Fill(50, 'D')},
                                       {613, Fill(15, 'E')},
                                       {RegisterLayout::kRateCode, code},
                                       {633, "KK"},
                                       {RegisterLayout::kDeleted, mark}});
}

class RebuildRegistersTest : public test::StepTest {
 protected:
  bool Run(std::string filter = "") {
    return RunStep(RebuildRegisterFiles, std::move(filter)).ok();
  }
};

TEST_F(RebuildRegistersTest, TheDataFolderTablesAreRenamedAndRebuilt) {
  Put("F0.DAT", OldCompany("03") + OldCompany("20") + OldCompany("05") + OldCompany("00") +
                    OldCompany("  ") + OldCompany("-2") + OldCompany("1 ") + OldCompany("04", "+"));
  Put("F1R0.DAT", "table 1");
  std::string live = Record(815, {{0, "live"}, {814, "*"}});
  Put("F2R0.DAT", live + Record(815, {{0, "deleted"}, {814, "+"}}) + live);

  EXPECT_TRUE(Run());
  // Deleted companies stay, deleted through their last character.
  EXPECT_EQ(File(kCompanyRegister), Company("06") + Company("20") + Company("01") + Company("01") +
                                        Company("01") + Company("04") + Company("02") +
                                        Company("07", "+"));
  EXPECT_EQ(File(kTable01), "table 1");
  std::string widened = Record(kTable02RecordLength, {{PhoneFields::kCode, "live"}, {814, "*"}});
  EXPECT_EQ(File(kTable02), widened + widened);
  EXPECT_FALSE(Exists("F0.DAT"));
  EXPECT_FALSE(Exists("F00.DAT"));
  EXPECT_FALSE(Exists("F2R0.DAT"));
  EXPECT_TRUE(Saved("F00.DAT"));
  EXPECT_TRUE(Saved("F2R0.DAT"));

  auto before = fs.Snapshot();
  EXPECT_TRUE(Run());
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(RebuildRegistersTest, AnExistingRegisterLeavesTheOlderOneWhereItIs) {
  Put("F00.DAT", OldCompany("01"));
  Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"}}));
  EXPECT_TRUE(Run());
  EXPECT_EQ(File("F00.DAT"), OldCompany("01"));
  EXPECT_EQ(File(kCompanyRegister),
            Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"}}));
}

class CompanyTablesTest : public RebuildRegistersTest {
 protected:
  void SetUp() override {
    StepTest::Put(kCompanyRegister,
                  Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"}}));
  }
  void Put(std::string_view name, std::string_view data) {
    StepTest::Put("0001\\" + std::string(name), data);
  }
  std::string Table(std::string_view name) { return File("0001\\" + std::string(name)); }
};

TEST_F(CompanyTablesTest, TablesAreDroppedRenamedAndRebuilt) {
  Put("L06.DAT", "dropped");
  Put("G02.dat", "dropped");
  Put("L04.dat", "four");
  Put("L05.dat", "five");
  Put("L16.dat", "sixteen");
  // L15: the character at 303 decides the kind; letters are A-Z and a-z only.
  auto l15 = [](std::string_view kind) {
    return Record(506, {{0, Fill(11, 'a')},
                        {11, Fill(96, 'b')},
                        {107, Fill(196, 'c')},
                        {303, kind},
                        {307, Fill(199, 'd')}});
  };
  auto l15b = [](std::string_view kind) {
    return Record(kG15Record, {{0, Fill(11, 'a')},
                               {20, Fill(96, 'b')},
                               {119, Fill(196, 'c')},
                               {315, kind},
                               {319, Fill(199, 'd')}});
  };
  Put("L15.DAT", l15("X!yz") + l15("12zz") + l15("\xC9\xE7zz"));
  // G01 (200) becomes G20 (209), copied to G21.
  Put("G01.DAT", Record(200, {{0, Fill(11, 'k')}, {11, Fill(189, 'r')}}));
  // L14 (136) becomes L14B (146); a file already named L14B is passed over.
  Put("L142001.DAT", Record(kL13Record, {{L13Layout::kDate, Fill(20, 'h')},
                                         {L13Layout::kAmount, Fill(116, 't')}}));
  Put("L14B2002.DAT", "made before");

  EXPECT_TRUE(Run());
  EXPECT_FALSE(Exists("0001\\L06.DAT"));
  EXPECT_FALSE(Exists("0001\\G02.dat"));
  EXPECT_EQ(Table("G18.dat"), "four");
  EXPECT_EQ(Table("G19.dat"), "five");
  EXPECT_EQ(Table("G16.dat"), "sixteen");
  // The rebuilt L15B is then renamed to G15.
  EXPECT_FALSE(Exists("0001\\L15.DAT"));
  EXPECT_FALSE(Exists("0001\\L15B.DAT"));
  EXPECT_EQ(Table("G15.dat"), l15b("  X ") + l15b("12T ") + l15b("\xC9\xE7T "));
  std::string g20 = Record(kChartRecordLength, {{OldChartLayout::kCode, Fill(11, 'k')},
                                                {OldChartLayout::kText, Fill(189, 'r')}});
  EXPECT_EQ(Table("G20.DAT"), g20);
  EXPECT_EQ(Table("G21.DAT"), g20);
  EXPECT_TRUE(Saved("0001\\G01.DAT"));
  EXPECT_EQ(Table("L14B2001.DAT"), Record(kL14BRecord, {{L14BLayout::kDate, Fill(20, 'h')},
                                                        {L14BLayout::kAmount, Fill(116, 't')}}));
  EXPECT_FALSE(Exists("0001\\L142001.DAT"));
  EXPECT_EQ(Table("L14B2002.DAT"), "made before");

  auto before = fs.Snapshot();
  EXPECT_TRUE(Run());
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(CompanyTablesTest, L02RecordsJoinL03WithoutDeletedOnes) {
  std::string existing = Record(kL03Record, {{0, "already in L03"}});
  Put("L03.dat", existing);
  std::string l02 = Record(
      kL03Record,
      {{L03Layout::kDate, "01/02/1999"}, {L03Layout::kKind, "7"}, {L03Layout::kDeleted, "*"}});
  Put("L02.DAT",
      l02 + Record(kL03Record, {{L03Layout::kDate, "deleted"}, {L03Layout::kDeleted, "+"}}) + l02);
  Put("L021999.DAT", l02);

  EXPECT_TRUE(Run());
  std::string moved = Record(
      kL03Record,
      {{L03Layout::kDate, "01/02/1999"}, {L03Layout::kKind, "0"}, {L03Layout::kDeleted, "*"}});
  EXPECT_EQ(Table("L03.dat"), existing + moved + moved);
  EXPECT_EQ(Table("L031999.DAT"), moved);
  EXPECT_FALSE(Exists("0001\\L02.DAT"));
  EXPECT_TRUE(Saved("0001\\L021999.DAT"));
}

TEST_F(CompanyTablesTest, AnExistingL15BLeavesL15AsItIs) {
  Put("L15.DAT", "old");
  Put("L15B.DAT", "rebuilt before");
  EXPECT_TRUE(Run());
  EXPECT_EQ(Table("L15.DAT"), "old");
  EXPECT_EQ(Table("G15.dat"), "rebuilt before");
}

TEST_F(CompanyTablesTest, ADeletedCompanyMatchingTheFilterIsVisited) {
  StepTest::Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"},
                                                                {RegisterLayout::kDeleted, "+"}}));
  Put("L06.DAT", "dropped");
  EXPECT_TRUE(Run("0001"));
  EXPECT_FALSE(Exists("0001\\L06.DAT"));
}

}  // namespace
}  // namespace livrana
