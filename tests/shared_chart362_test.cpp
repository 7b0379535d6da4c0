#include "library/v320/shared_chart362.h"

#include <gtest/gtest.h>

#include "records/layouts/charts.h"
#include "records/layouts/ledgers.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;
using C = ChartLayout;
using L23 = Ledger23Layout;

class SharedChart362Test : public test::StepTest {
 protected:
  // A company chart of three accounts and a ledger that refers to them.
  void Company(std::string_view co) {
    std::string folder = "R00\\" + std::string(co);
    Put(folder + "\\G20R0.DAT",
        Record(kChartRecordLength, {{C::kNumber, "00001"}, {C::kText, "CAIXA"}}) +
            Record(kChartRecordLength, {{C::kNumber, "00002"}, {C::kText, "BANCO"}}) +
            Record(kChartRecordLength,
                   {{C::kNumber, "00009"}, {C::kText, "APAGADA"}, {C::kDeleted, "+"}}) +
            Record(kChartRecordLength, {{C::kNumber, "00003"}, {C::kText, "CLIENTES"}}));
    Put(folder + "\\L232016.DAT",
        Record(kLedger23RecordLength, {{L23::kDate, "entry"},
                                       {L23::kAccount, "00001"},
                                       {L23::kThirdAccount, "00003"},
                                       {kLedger23RecordLength - 1, "+"}}));
  }
  ChartMerge Merge(std::string_view co, std::int32_t base) {
    Conversion conversion(ctx);
    ChartMerge merge = MergeChartOfAccounts(ctx, conversion, co, base);
    EXPECT_TRUE(merge.ok()) << Describe(merge.outcome);
    EXPECT_TRUE(conversion.Commit());
    return merge;
  }
  std::string Merged(std::string_view code, std::string_view text, std::string_view co) {
    return Record(
        kChartRecordLength,
        {{C::kNumber, code}, {C::kText, text}, {C::kMerged, "1"}, {C::kMergedCompany, co}});
  }
};

TEST_F(SharedChart362Test, EachMergedCompanyStartsAboveEveryCodeAlreadyShared) {
  Company("A");
  Company("B");
  ChartMerge a = Merge("A", 1);
  EXPECT_EQ(a.base, 5);
  ChartMerge b = Merge("B", a.base);
  EXPECT_EQ(b.base, 9);

  EXPECT_EQ(File(kSharedChartFile),
            Merged("00002", "CAIXA", "A") + Merged("00003", "BANCO", "A") +
                Merged("00004", "CLIENTES", "A") + Merged("00006", "CAIXA", "B") +
                Merged("00007", "BANCO", "B") + Merged("00008", "CLIENTES", "B"));
  EXPECT_EQ(File("F34.DAT"), Record(30, {{10, "20"}, {20, "9"}}));
  // Deleted ledger records are shifted too; the blank field at 182 stays blank.
  EXPECT_EQ(File("R00\\A\\L232016.DAT"),
            Record(kLedger23RecordLength, {{L23::kDate, "entry"},
                                           {L23::kAccount, "00002"},
                                           {L23::kThirdAccount, "00004"},
                                           {kLedger23RecordLength - 1, "+"}}));
  EXPECT_EQ(File("R00\\B\\L232016.DAT"),
            Record(kLedger23RecordLength, {{L23::kDate, "entry"},
                                           {L23::kAccount, "00006"},
                                           {L23::kThirdAccount, "00008"},
                                           {kLedger23RecordLength - 1, "+"}}));
  EXPECT_FALSE(fs.Attributes("R00\\A\\G20R0.DAT"));
  EXPECT_TRUE(Saved("R00\\B\\G20R0.DAT"));
}

TEST_F(SharedChart362Test, ACodeThatWouldOutgrowItsFieldKeepsItsOldCode) {
  fs.MakeFolder("R00");
  std::string ledger = Record(
      kLedger23RecordLength,
      {{L23::kAccount, "99990"}, {L23::kSecondAccount, "00010"}, {L23::kThirdAccount, "ABCDE"}});
  Put("R00\\A\\L232016.DAT", ledger);
  ChartMerge merge = Merge("A", 20);
  // 99990 + 20 needs six digits; a code without digits counts as 0.
  EXPECT_EQ(File("R00\\A\\L232016.DAT"),
            Record(kLedger23RecordLength, {{L23::kAccount, "99990"},
                                           {L23::kSecondAccount, "00030"},
                                           {L23::kThirdAccount, "00020"}}));
  ASSERT_EQ(sink.notes.size(), 1u);
  EXPECT_NE(sink.notes[0].find("100010"), std::string::npos);
  // Nothing merged: the counter holds the next code of the shared chart, 1.
  EXPECT_EQ(merge.base, 1);
  EXPECT_EQ(File("F34.DAT"), Record(30, {{10, "20"}, {20, "1"}}));
}

TEST_F(SharedChart362Test, FieldFixMovesTheTextAndWritesTheCompanyMarker) {
  std::string text(121, 'x');
  text.replace(57, 5, "MOVED");  // the account text at 68
  Put(kSharedChartFile, Merged("00002", text, "A") +
                            Record(kChartRecordLength,
                                   {{C::kNumber, "00001"}, {C::kRest, "OLD"}, {C::kMerged, "2"}}) +
                            Record(kChartRecordLength, {{C::kNumber, "00005"}}).substr(0, 150));
  Conversion conversion(ctx);
  EXPECT_TRUE(FixSharedChartFields(ctx, conversion));
  EXPECT_TRUE(conversion.Commit());
  std::string fixed = Merged("00002", text, "A");
  fixed.replace(C::kMarker, C::kMarkerWidth, Record(C::kMarkerWidth, {{0, "1  A"}}));
  fixed.replace(
      C::kMoved, C::kMarkerWidth,
      Record(C::kMarkerWidth, {{0, text.substr(C::kMarker - C::kText, C::kMarkerWidth)}}));
  EXPECT_EQ(File(kSharedChartFile),
            fixed +
                Record(kChartRecordLength,
                       {{C::kNumber, "00001"}, {C::kMarker, "0"}, {C::kMoved, "OLD"}}) +
                Record(kChartRecordLength, {{C::kNumber, "00005"}}).substr(0, 150));
}

}  // namespace
}  // namespace livrana
