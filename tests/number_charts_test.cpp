#include "library/v301/number_charts.h"

#include <gtest/gtest.h>

#include "library/registry.h"
#include "records/layouts/charts.h"
#include "records/layouts/ledgers.h"
#include "records/layouts/register.h"
#include "tests/step_fixture.h"
#include "tools/sample.h"

namespace livrana {
namespace {

using test::Record;
using C = ChartLayout;
using O = OldChartLayout;
using L23 = Ledger23Layout;

class NumberChartsTest : public test::StepTest {
 protected:
  void Run() { EXPECT_TRUE(NumberChartsOfAccounts(ctx)); }
};

// A chart record of F20/G20 (kind 0, the rest at 65) or F21/G21 (kind 1, the rest at 68).
std::string Account(int kind, std::string_view code, std::string_view text, bool flagged,
                    char deleted = ' ') {
  return Record(kChartRecordLength, {{O::kCode, code},
                                     {O::kText, text},
                                     {O::kPosted, flagged ? "1" : "0"},
                                     {kind == 0 ? O::kRest20 : O::kRest21,
                                      kind == 0 ? "REST OF THE ACCOUNT DATA" : "R3x"},
                                     {O::kDeleted, std::string(1, deleted)}});
}
std::string Numbered(std::string_view number, int kind, std::string_view code,
                     std::string_view text, bool flagged) {
  return Record(kChartRecordLength, {{C::kNumber, number},
                                     {C::kText, text},
                                     {C::kFlag, flagged ? "1" : "0"},
                                     {C::kKind, kind == 0 ? "0" : "1"},
                                     {C::kOldCode, code},
                                     {C::kRest, kind == 0 ? "REST OF THE ACCOUNT DATA" : "R3x"}});
}
std::string Ledger(std::string_view a, std::string_view b, std::string_view c) {
  return Record(kLedger23RecordLength, {{L23::kDate, "lancamento"},
                                        {L23::kAccount, a},
                                        {L23::kSecondAccount, b},
                                        {L23::kThirdAccount, c}});
}

TEST_F(NumberChartsTest, ChartsAreNumberedOverBothSourcesAndLedgersRewrittenFromThem) {
  Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"},
                                                      {RegisterLayout::kMergesChart, "1"}}) +
                            Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0002"}}));
  Put("F20.DAT", Account(0, "1.01", "CAIXA", true) + Account(0, "9.99", "APAGADA", true, '+') +
                     Account(0, "1.02", "BANCO", false) + Account(0, "a.07", "OUTRA", true));
  Put("F21.DAT", Account(1, "1.01", "CAIXA RESUMO", true));
  Put("0001\\G20.DAT", Account(0, "1.01", "PROPRIA", true));
  Put("0002\\G20.DAT", Account(0, "1.01", "CAIXA 2", true));
  // Kinds 0 and 1 of the same code; a code not flagged; letter case; a field whose first
  // three characters are blank.
  Put("0001\\L232016.DAT", Ledger("1.01", "1.01", "1.02") + Ledger("A.07", "   1.01", "a.07"));
  Put("0002\\L232016.DAT", Ledger("1.01", "1.01", ""));
  Run();

  EXPECT_EQ(File(kSharedChartFile), Numbered("00001", 0, "1.01", "CAIXA", true) +
                                        Numbered("00002", 0, "1.02", "BANCO", false) +
                                        Numbered("00003", 0, "a.07", "OUTRA", true) +
                                        Numbered("00004", 1, "1.01", "CAIXA RESUMO", true));
  EXPECT_EQ(File("0002\\G20R0.DAT"), Numbered("00001", 0, "1.01", "CAIXA 2", true));
  EXPECT_FALSE(Exists("F20.DAT"));
  EXPECT_FALSE(Exists("F21.DAT"));
  EXPECT_FALSE(Exists("0002\\G20.DAT"));

  // 0001 takes the shared chart although it has a chart of its own.
  EXPECT_EQ(File("0001\\L232016.DAT"),
            Ledger("00001", "00004", "1.02") + Ledger("00003", "   1.01", "a.07"));
  EXPECT_EQ(File("0002\\L232016.DAT"), Ledger("00001", "1.01", ""));
  EXPECT_EQ(fs.SnapshotOutside()["/tmp\\Vuk\\0001\\L232016.DAT"],
            Ledger("1.01", "1.01", "1.02") + Ledger("A.07", "   1.01", "a.07"));
  EXPECT_EQ(sink.statuses, (std::vector<std::string>{"0001\\L232016.DAT", "0002\\L232016.DAT"}));
}

TEST_F(NumberChartsTest, LedgersAreRewrittenOnlyInTheCallThatNumberedTheirChart) {
  Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"},
                                                      {RegisterLayout::kMergesChart, "1"}}) +
                            Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0002"}}));
  Put("F20.DAT", Account(0, "1.01", "CAIXA", true));
  Put("0001\\L232016.DAT", Ledger("1.01", "", ""));
  Run();
  ASSERT_EQ(File("0001\\L232016.DAT"), Ledger("00001", "", ""));

  // Nothing missing: nothing changes.
  Put(kSharedChartFile, Numbered("00042", 0, "00001", "NUMERO VELHO", true));
  Run();
  EXPECT_EQ(File("0001\\L232016.DAT"), Ledger("00001", "", ""));

  // A chart numbered later for another company leaves the ledgers of 0001, which refer
  // to numbers already, alone.
  Put("0002\\G20.DAT", Account(0, "1.01", "CAIXA 2", true));
  Run();
  EXPECT_TRUE(Exists("0002\\G20R0.DAT"));
  EXPECT_EQ(File("0001\\L232016.DAT"), Ledger("00001", "", ""));
}

// The sources are read in text mode: a piece of only line ends is no account, and a Ctrl-Z
// ends the source; a ledger's walk ends at a record whose first byte is a Ctrl-Z.
TEST_F(NumberChartsTest, LineEndsAndCtrlZEndTheirFiles) {
  Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"},
                                                      {RegisterLayout::kMergesChart, "1"}}));
  Put("F20.DAT", Account(0, "1.01", "CAIXA", true) + "\r\n");
  std::string cut = Account(1, "2.01", "CORTADA", true);
  cut[100] = 0x1A;
  Put("F21.DAT", Account(1, "1.01", "RESUMO", true) + cut + Account(1, "3.01", "DEPOIS", true));
  std::string stop = Ledger("1.01", "", "");
  stop[0] = 0x1A;
  Put("0001\\L232016.DAT", Ledger("1.01", "", "") + stop + Ledger("1.01", "", ""));
  Run();
  EXPECT_EQ(File(kSharedChartFile), Numbered("00001", 0, "1.01", "CAIXA", true) +
                                        Numbered("00002", 1, "1.01", "RESUMO", true) +
                                        Numbered("00003", 1, "2.01", "CORTADA", true));
  EXPECT_EQ(File("0001\\L232016.DAT"), Ledger("00001", "", "") + stop + Ledger("1.01", "", ""));
}

// A run stopped at any write, rename, close, flush or copy, or short of disk room from any
// write on, is finished by the next run: no chart numbered without its ledgers rewritten,
// no ledger rewritten twice, the charts' sources gone.
TEST_F(NumberChartsTest, EveryStopAndFullDiskIsFinishedByTheNextRun) {
  const LibraryStep& step = *FindLibraryStep("number-charts");
  auto build = [](platform::MemoryFileSystem& folder) {
    SampleOptions options;
    options.companies = 2;
    options.records = 3;
    options.first_year = 2015;  // few ledgers: fewer fault points
    options.last_year = 2016;
    options.before = "number-charts";
    ASSERT_TRUE(WriteSampleFolder(folder, options).ok);
  };
  ExpectEveryFaultFinishedByRerun(build, [&](Context& c) { return RunLibraryStep(step, c); });

  // The guard: it refuses the folder it leaves and those of the later layouts, changing
  // nothing; it takes a folder where only a company's chart is still to number.
  EXPECT_FALSE(NumberChartsHasInput(fs));
  for (std::string_view later : {"versions-320-362", ""}) {
    platform::MemoryFileSystem folder;
    SampleOptions options;
    options.companies = 2;
    options.records = 3;
    options.before = later;
    ASSERT_TRUE(WriteSampleFolder(folder, options).ok);
    EXPECT_FALSE(NumberChartsHasInput(folder)) << later;
    const auto before = folder.Snapshot();
    Context other{folder, sink, ""};
    EXPECT_EQ(RunLibraryStep(step, other).cause(), Cause::kLayout);
    EXPECT_EQ(folder.Snapshot(), before) << later;
  }
  Put("0002\\G21.DAT", Account(1, "1.01", "NOVA", true));
  ASSERT_TRUE(fs.Remove("0002\\G20R0.DAT"));
  EXPECT_TRUE(NumberChartsHasInput(fs));
}

TEST(AccountLookupTest, TheFirstEntryAddedWinsLetterCaseIgnored) {
  auto key = [](std::string_view code) { return Record(1 + C::kOldCodeWidth, {{0, code}}); };
  AccountLookup lookup;
  lookup.Add(key("0abc") + "00007     ");
  lookup.Add(key("0ABC") + "00009     ");
  ASSERT_NE(lookup.Find(key("0Abc")), nullptr);
  EXPECT_EQ(*lookup.Find(key("0ABC")), key("0abc") + "00007     ");
  EXPECT_EQ(lookup.Find(key("1abc")), nullptr);
  EXPECT_EQ(lookup.Find(key("0abcd")), nullptr);
  lookup.Clear();
  EXPECT_EQ(lookup.Find(key("0abc")), nullptr);
}

}  // namespace
}  // namespace livrana
