#include "library/v301/number_charts.h"

#include <gtest/gtest.h>

#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

class NumberChartsTest : public test::StepTest {
 protected:
  void Run() { EXPECT_TRUE(NumberChartsOfAccounts(ctx)); }
};

// A chart record of F20/G20 (kind 0, the rest at 65) or F21/G21 (kind 1, the rest at 68).
std::string Account(int kind, std::string_view code, std::string_view text, bool flagged,
                    char deleted = ' ') {
  return Record(209, {{0, code},
                      {20, text},
                      {60, flagged ? "1" : "0"},
                      {kind == 0 ? 65u : 68u, kind == 0 ? "REST OF THE ACCOUNT DATA" : "R3x"},
                      {208, std::string(1, deleted)}});
}
std::string Numbered(std::string_view number, int kind, std::string_view code,
                     std::string_view text, bool flagged) {
  return Record(209, {{0, number},
                      {11, text},
                      {51, flagged ? "1" : "0"},
                      {52, kind == 0 ? "0" : "1"},
                      {53, code},
                      {68, kind == 0 ? "REST OF THE ACCOUNT DATA" : "R3x"}});
}
std::string Ledger(std::string_view a, std::string_view b, std::string_view c) {
  return Record(300, {{0, "lancamento"}, {167, a}, {182, b}, {197, c}});
}

TEST_F(NumberChartsTest, ChartsAreNumberedOverBothSourcesAndLedgersRewrittenFromThem) {
  Put("F00R0.DAT", Record(1000, {{0, "0001"}, {680, "1"}}) + Record(1000, {{0, "0002"}}));
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

  EXPECT_EQ(File("F20R0.DAT"), Numbered("00001", 0, "1.01", "CAIXA", true) +
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
  Put("F00R0.DAT", Record(1000, {{0, "0001"}, {680, "1"}}) + Record(1000, {{0, "0002"}}));
  Put("F20.DAT", Account(0, "1.01", "CAIXA", true));
  Put("0001\\L232016.DAT", Ledger("1.01", "", ""));
  Run();
  ASSERT_EQ(File("0001\\L232016.DAT"), Ledger("00001", "", ""));

  // Nothing missing: nothing changes.
  Put("F20R0.DAT", Numbered("00042", 0, "00001", "NUMERO VELHO", true));
  Run();
  EXPECT_EQ(File("0001\\L232016.DAT"), Ledger("00001", "", ""));

  // A chart numbered later for another company leaves the ledgers of 0001, which refer
  // to numbers already, alone.
  Put("0002\\G20.DAT", Account(0, "1.01", "CAIXA 2", true));
  Run();
  EXPECT_TRUE(Exists("0002\\G20R0.DAT"));
  EXPECT_EQ(File("0001\\L232016.DAT"), Ledger("00001", "", ""));
}

TEST(AccountLookupTest, TheFirstEntryAddedWinsLetterCaseIgnored) {
  auto key = [](std::string_view code) { return Record(16, {{0, code}}); };
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
