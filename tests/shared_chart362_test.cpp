#include "library/v320/shared_chart362.h"

#include <gtest/gtest.h>

#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

class SharedChart362Test : public test::StepTest {
 protected:
  // A company chart of three accounts and a ledger that refers to them.
  void Company(std::string_view co) {
    std::string folder = "R00\\" + std::string(co);
    Put(folder + "\\G20R0.DAT", Record(209, {{0, "00001"}, {11, "CAIXA"}}) +
                                    Record(209, {{0, "00002"}, {11, "BANCO"}}) +
                                    Record(209, {{0, "00009"}, {11, "APAGADA"}, {208, "+"}}) +
                                    Record(209, {{0, "00003"}, {11, "CLIENTES"}}));
    Put(folder + "\\L232016.DAT",
        Record(300, {{0, "entry"}, {167, "00001"}, {197, "00003"}, {299, "+"}}));
  }
  ChartMerge Merge(std::string_view co, std::int32_t base) {
    Conversion conversion(ctx);
    ChartMerge merge = MergeChartOfAccounts(ctx, conversion, co, base);
    EXPECT_TRUE(merge.ok()) << Describe(merge.outcome);
    EXPECT_TRUE(conversion.Commit());
    return merge;
  }
  std::string Merged(std::string_view code, std::string_view text, std::string_view co) {
    return Record(209, {{0, code}, {11, text}, {176, "1"}, {179, co}});
  }
};

TEST_F(SharedChart362Test, EachMergedCompanyStartsAboveEveryCodeAlreadyShared) {
  Company("A");
  Company("B");
  ChartMerge a = Merge("A", 1);
  EXPECT_EQ(a.base, 5);
  ChartMerge b = Merge("B", a.base);
  EXPECT_EQ(b.base, 9);

  EXPECT_EQ(File("F20R0.DAT"), Merged("00002", "CAIXA", "A") + Merged("00003", "BANCO", "A") +
                                   Merged("00004", "CLIENTES", "A") +
                                   Merged("00006", "CAIXA", "B") + Merged("00007", "BANCO", "B") +
                                   Merged("00008", "CLIENTES", "B"));
  EXPECT_EQ(File("F34.DAT"), Record(30, {{10, "20"}, {20, "9"}}));
  // Deleted ledger records are shifted too; the blank field at 182 stays blank.
  EXPECT_EQ(File("R00\\A\\L232016.DAT"),
            Record(300, {{0, "entry"}, {167, "00002"}, {197, "00004"}, {299, "+"}}));
  EXPECT_EQ(File("R00\\B\\L232016.DAT"),
            Record(300, {{0, "entry"}, {167, "00006"}, {197, "00008"}, {299, "+"}}));
  EXPECT_FALSE(fs.Attributes("R00\\A\\G20R0.DAT"));
  EXPECT_TRUE(Saved("R00\\B\\G20R0.DAT"));
}

TEST_F(SharedChart362Test, ACodeThatWouldOutgrowItsFieldKeepsItsOldCode) {
  fs.MakeFolder("R00");
  std::string ledger = Record(300, {{167, "99990"}, {182, "00010"}, {197, "ABCDE"}});
  Put("R00\\A\\L232016.DAT", ledger);
  ChartMerge merge = Merge("A", 20);
  // 99990 + 20 needs six digits; a code without digits counts as 0.
  EXPECT_EQ(File("R00\\A\\L232016.DAT"),
            Record(300, {{167, "99990"}, {182, "00030"}, {197, "00020"}}));
  ASSERT_EQ(sink.notes.size(), 1u);
  EXPECT_NE(sink.notes[0].find("100010"), std::string::npos);
  // Nothing merged: the counter holds the next code of the shared chart, 1.
  EXPECT_EQ(merge.base, 1);
  EXPECT_EQ(File("F34.DAT"), Record(30, {{10, "20"}, {20, "1"}}));
}

TEST_F(SharedChart362Test, FieldFixMovesTheTextAndWritesTheCompanyMarker) {
  std::string text(121, 'x');
  text.replace(57, 5, "MOVED");  // the account text at 68
  Put("F20R0.DAT", Merged("00002", text, "A") +
                       Record(209, {{0, "00001"}, {68, "OLD"}, {176, "2"}}) +
                       Record(209, {{0, "00005"}}).substr(0, 150));
  Conversion conversion(ctx);
  EXPECT_TRUE(FixSharedChartFields(ctx, conversion));
  EXPECT_TRUE(conversion.Commit());
  std::string fixed = Merged("00002", text, "A");
  fixed.replace(68, 35, Record(35, {{0, "1  A"}}));
  fixed.replace(173, 35, Record(35, {{0, text.substr(57, 35)}}));
  EXPECT_EQ(File("F20R0.DAT"), fixed + Record(209, {{0, "00001"}, {68, "0"}, {173, "OLD"}}) +
                                   Record(209, {{0, "00005"}}).substr(0, 150));
}

}  // namespace
}  // namespace livrana
