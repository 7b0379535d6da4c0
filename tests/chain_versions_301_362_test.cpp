// The version steps one after another, as a data folder goes through them: from the
// company-folder layout that the first-generation steps leave (one folder per company in
// the data folder, charts not numbered yet) through 3.01, the chart numbering and 3.20 to
// 3.62, to the layout below R00.
#include <gtest/gtest.h>

#include "library/v301/number_charts.h"
#include "library/v301/version301.h"
#include "library/v320/versions320_362.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

class ChainVersions301To362Test : public test::StepTest {
 protected:
  void SetUp() override {
    fs.SetCurrentYear(2016);
    // 0001 keeps its accounts in the shared chart, 0002 in a chart of its own.
    Put("F00R0.DAT", Record(1000, {{0, "0001"}, {91, "RUA A"}, {631, "1"}, {680, "1"}}) +
                         Record(1000, {{0, "0002"}, {91, "RUA B"}, {631, "6"}, {680, " "}}));
    Put("F01R0.DAT", Record(814, {{0, "CLIENTE"}, {91, "RUA DAS FLORES"}, {131, "120"}}));
    Put("F02R1.DAT", Record(1000, {{0, "FORNECEDOR"}, {91, "AV"}, {592, "150,00"}}));
    Put("F20.DAT", Account(0, "1.01", "CAIXA GERAL") + Account(0, "1.02", "BANCOS"));
    Put("F21.DAT", Account(1, "1.01", "CAIXA RESUMO"));
    Put("CONFIGA.DAT", "         12         34         56         78");
    for (std::string_view co : {"0001", "0002"}) {
      std::string folder(co);
      Put(folder + "\\G04.DAT", Record(220, {{0, "PARAMETROS " + folder}}));
      Put(folder + "\\G06.DAT", Record(142, {{0, "001"}, {11, "CAIXA " + folder}}));
      Put(folder + "\\G15.DAT", Record(719, {{0, "PRODUTO " + folder}, {315, "01"}}));
      Put(folder + "\\G16.DAT", Record(320, {{0, "7,5"}, {7, "12"}}));
      Put(folder + "\\G18.DAT", Record(227, {{0, "G18 " + folder}}));
      Put(folder + "\\G19.DAT", Record(227, {{0, "G19 " + folder}}));
      Put(folder + "\\G24.DAT", Record(200, {{0, "G24 " + folder}}));
      Put(folder + "\\L082016.DAT", Record(227, {{0, "L08 " + folder}}));
      Put(folder + "\\L262016.DAT", Record(600, {{10, "3"}, {78, "AB"}}));
    }
    Put("0001\\L232016.DAT", Record(300, {{167, "1.01"}, {182, "1.01"}, {197, "1.02"}}));
    Put("0002\\G20.DAT", Account(0, "2.01", "FORNECEDORES") + Account(0, "2.02", "SALARIOS"));
    Put("0002\\L232016.DAT", Record(300, {{167, "2.02"}}) + Record(300, {{167, "2.01"}}));
  }

  static std::string Account(int kind, std::string_view code, std::string_view text) {
    return Record(209, {{0, code}, {20, text}, {60, "1"}, {kind == 0 ? 65u : 68u, "DADOS"}});
  }
};

TEST_F(ChainVersions301To362Test, TheCompanyFolderLayoutBecomesTheR00Layout) {
  EXPECT_TRUE(ConvertVersion301(ctx));
  EXPECT_TRUE(NumberChartsOfAccounts(ctx));
  EXPECT_TRUE(ConvertVersions320To362(ctx));

  std::vector<std::string> files,
      expected = {"CONV.DAT",  "F00R0.BAK", "F00R0.DAT", "F01R0.BAK", "F01R0.DAT", "F02R1.BAK",
                  "F02R1.DAT", "F19.DAT",   "F20R0.DAT", "F34.DAT",   "R00\\"};
  for (const auto& [path, data] : fs.Snapshot()) files.push_back(path);
  for (std::string co : {"R00\\0001\\", "R00\\0002\\"}) {
    expected.push_back(co);
    for (std::string_view table :
         {"G04R0", "G07R0", "G32", "L152016", "L232016", "L262016", "L332016"})
      expected.push_back(co + std::string(table) + ".DAT");
  }
  EXPECT_EQ(files, expected);
  EXPECT_EQ(File("CONV.DAT"), "301\r\n320\r\n360\r\n362\r\n");

  // The register: address block folded by 3.01 (nothing to fold here), rate code and
  // chart selector recoded by 3.20.
  EXPECT_EQ(File("F00R0.DAT"),
            Record(1000, {{0, "0001"}, {91, "RUA A"}, {631, "10"}, {680, "0"}}) +
                Record(1000, {{0, "0002"}, {91, "RUA B"}, {631, "30"}, {680, "1"}}));
  EXPECT_EQ(File("F01R0.DAT"), Record(814, {{0, "CLIENTE"}, {91, "RUA DAS FLORES 120"}}));
  EXPECT_EQ(File("F02R1.DAT"), Record(1000, {{0, "FORNECEDOR"}, {91, "AV"}, {268, "150,00"}}));

  // The shared chart: numbered from F20/F21, then 0002's own chart merged above it, then
  // every record's fields rearranged.
  auto numbered = [](std::string_view n, int kind, std::string_view code, std::string_view text) {
    return Record(209, {{0, n},
                        {11, text},
                        {51, "1"},
                        {52, kind ? "1" : "0"},
                        {53, code},
                        {68, "0"},
                        {173, kind ? "DAD" : "DADOS"}});
  };
  auto merged = [](std::string_view n, std::string_view code, std::string_view text) {
    return Record(
        209,
        {{0, n}, {11, text}, {51, "1"}, {52, "0"}, {53, code}, {68, "1  0002"}, {173, "DADOS"}});
  };
  EXPECT_EQ(File("F20R0.DAT"),
            numbered("00001", 0, "1.01", "CAIXA GERAL") + numbered("00002", 0, "1.02", "BANCOS") +
                numbered("00003", 1, "1.01", "CAIXA RESUMO") +
                merged("00005", "2.01", "FORNECEDORES") + merged("00006", "2.02", "SALARIOS"));
  // The next free code, and the old counters migrated beside it.
  EXPECT_EQ(File("F34.DAT"),
            Record(30, {{10, "20"}, {20, "7"}}) + Record(30, {{10, "0"}, {20, "12"}}) +
                Record(30, {{10, "1"}, {20, "34"}}) + Record(30, {{10, "2"}, {20, "56"}}) +
                Record(30, {{10, "8"}, {20, "78"}}));
  EXPECT_EQ(
      File("F19.DAT"),
      Record(501, {{0, "00001"}, {11, "ECF"}, {87, "001"}, {90, "0001"}, {101, "CAIXA 0001"}}) +
          Record(501, {{0, "00002"}, {11, "ECF"}, {87, "001"}, {90, "0002"}, {101, "CAIXA 0002"}}));
  // 0001 refers to the shared numbers; 0002's ledger went from its old codes to its own
  // numbers and then to the merged codes of the same accounts.
  EXPECT_EQ(File("R00\\0001\\L232016.DAT"),
            Record(300, {{167, "00001"}, {182, "00003"}, {197, "1.02"}}));
  EXPECT_EQ(File("R00\\0002\\L232016.DAT"),
            Record(300, {{167, "00006"}}) + Record(300, {{167, "00005"}}));
  EXPECT_EQ(File("R00\\0001\\L262016.DAT"), Record(600, {{10, "3"}, {58, "AB"}}));
  EXPECT_EQ(File("R00\\0001\\L332016.DAT"), Record(260, {{0, "L08 0001"}, {66, "0"}}));

  // The chain run again finds its marks and its targets: nothing changes.
  auto before = fs.Snapshot();
  EXPECT_TRUE(ConvertVersion301(ctx));
  EXPECT_TRUE(NumberChartsOfAccounts(ctx));
  EXPECT_TRUE(ConvertVersions320To362(ctx));
  EXPECT_EQ(fs.Snapshot(), before);
}

}  // namespace
}  // namespace livrana
