#include "library/v320/versions320_362.h"

#include <gtest/gtest.h>

#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

class Versions320To362Test : public test::StepTest {
 protected:
  void SetUp() override { fs.SetCurrentYear(2016); }
  void Run() { EXPECT_TRUE(ConvertVersions320To362(ctx)); }
};

std::string Company(std::string_view code, std::string_view rate, std::string_view selector,
                    bool deleted = false) {
  return Record(1000, {{0, code}, {631, rate}, {680, selector}, {999, deleted ? "+" : " "}});
}
std::string G06(std::string_view kind, std::string_view name, char deleted = ' ') {
  return Record(
      142,
      {{0, kind}, {3, "dropped"}, {11, name}, {31, "dropped"}, {141, std::string(1, deleted)}});
}
std::string F19(std::string_view number, std::string_view kind, std::string_view co,
                std::string_view name) {
  return Record(501, {{0, number}, {11, "ECF"}, {87, kind}, {90, co}, {101, name}});
}
std::string Account(std::string_view code, std::string_view text) {
  return Record(209, {{0, code}, {11, text}});
}
// A shared account after the merge and the field fix.
std::string SharedAccount(std::string_view code, std::string_view text, std::string_view co) {
  return Record(209, {{0, code}, {11, text}, {68, std::string("1  ") + std::string(co)}});
}

TEST_F(Versions320To362Test, RecodesTheRegisterMovesTheFoldersAndMergesTheSelectedCharts) {
  Put("F00R0.DAT", Company("0001", "1", "1") + Company("0002", "3", " ") +
                       Company("0003", "99", "0") + Company("0009", "1", "1", true));
  Put("0001\\G06.DAT", G06("001", "CAIXA UM") + G06("XXX", "APAGADO", '+') +
                           G06("002", "CAIXA DOIS") + G06("003", "CAIXA TRES"));
  Put("0001\\G20R0.DAT", Account("00001", "NAO JUNTA"));
  Put("0001\\G15.DAT", Record(719, {{0, "UM"}}));
  Put("0002\\G06.DAT", G06("004", "QUATRO") + G06("005", "CINCO"));
  Put("0002\\G20R0.DAT", Account("00001", "CAIXA") + Account("00002", "BANCO"));
  Put("0002\\L232016.DAT", Record(300, {{167, "00002"}}));
  Put("0002\\L262016.DAT", Record(600, {{10, "0"}, {61, "1"}}));
  Put("0002\\G15.DAT", Record(719, {{0, "DOIS"}}));
  Run();

  // Field 42 of 0001 was "1" and is now "0": its chart stays its own.
  EXPECT_EQ(File("F00R0.DAT"), Company("0001", "10", "0") + Company("0002", "21", "1") +
                                   Company("0003", "  ", "1") + Company("0009", "1", "1", true));
  EXPECT_EQ(File("R00\\0001\\G20R0.DAT"), Account("00001", "NAO JUNTA"));
  EXPECT_EQ(File("F20R0.DAT"),
            SharedAccount("00002", "CAIXA", "0002") + SharedAccount("00003", "BANCO", "0002"));
  EXPECT_EQ(File("R00\\0002\\L232016.DAT"), Record(300, {{167, "00003"}}));
  EXPECT_EQ(File("F34.DAT"), Record(30, {{10, "20"}, {20, "4"}}));
  EXPECT_EQ(File("R00\\0002\\L262016.DAT"), Record(600, {{10, "0"}, {61, "0"}}));
  // One sequence over both companies.
  EXPECT_EQ(File("F19.DAT"),
            F19("00001", "001", "0001", "CAIXA UM") + F19("00002", "002", "0001", "CAIXA DOIS") +
                F19("00003", "003", "0001", "CAIXA TRES") + F19("00004", "004", "0002", "QUATRO") +
                F19("00005", "005", "0002", "CINCO"));
  EXPECT_TRUE(Saved("R00\\0001\\G06.DAT"));
  // Both companies' yearly table is of the same year.
  EXPECT_EQ(File("R00\\0001\\L152016.DAT").substr(0, 4), "UM  ");
  EXPECT_EQ(File("R00\\0002\\L152016.DAT").substr(0, 4), "DOIS");
  EXPECT_FALSE(Exists("0001"));
  EXPECT_FALSE(Exists("0002"));
  EXPECT_EQ(File("CONV.DAT"), "320\r\n360\r\n362\r\n");

  // A second call changes nothing that a mark governs; a G06.DAT that turns up is still
  // converted, numbered from 1 again.
  auto before = fs.Snapshot();
  Run();
  EXPECT_EQ(fs.Snapshot(), before);
  Put("R00\\0001\\G06.DAT", G06("006", "SEIS"));
  Run();
  EXPECT_EQ(File("F19.DAT"), before["F19.DAT"] + F19("00001", "006", "0001", "SEIS"));
}

TEST_F(Versions320To362Test, WithEveryMarkSetOnlyTheUnguardedPartsConvert) {
  Put("CONV.DAT", "320\r\n360\r\n362\r\n");
  std::string reg = Company("0001", "1", " ") + Company("0002", "2", " ");
  Put("F00R0.DAT", reg);
  std::string narrow = Record(227, {{0, "MOVIMENTO"}});
  std::string wide0 = Record(260, {{0, "MOVIMENTO"}, {66, "0"}});
  Put("0001\\G24.DAT", Record(200, {{0, "CLIENTE"}}));
  Put("0001\\G18.DAT", narrow);
  Put("0001\\G19.DAT", narrow);
  Put("0001\\L082016.DAT", narrow);
  Put("0001\\L092016.DAT", narrow);
  std::string l26 = Record(600, {{10, "0"}, {61, "1"}});
  std::string chart = Account("00001", "CAIXA");
  Put("0001\\L262016.DAT", l26);
  Put("0001\\G20R0.DAT", chart);
  Put("F20R0.DAT", chart);
  Put("0002\\G24.DAT", "g24");
  Put("0002\\G07.DAT", Record(200, {{0, "JA EXISTE"}}));
  Run();

  EXPECT_EQ(File("F00R0.DAT"), reg);
  EXPECT_EQ(File("R00\\0001\\L262016.DAT"), l26);
  EXPECT_EQ(File("R00\\0001\\G20R0.DAT"), chart);
  EXPECT_EQ(File("F20R0.DAT"), chart);
  std::string wide1 = Record(260, {{0, "MOVIMENTO"}, {66, "1"}});
  EXPECT_EQ(File("R00\\0001\\G32.DAT"), wide0 + wide1);
  EXPECT_EQ(File("R00\\0001\\L332016.DAT"), wide0 + wide1);
  EXPECT_EQ(File("R00\\0001\\G07R0.DAT"), Record(809, {{0, "CLIENTE"}}));
  EXPECT_EQ(File("R00\\0002\\G24.DAT"), "g24");
  EXPECT_EQ(File("R00\\0002\\G07R0.DAT"), Record(809, {{0, "JA EXISTE"}}));
  EXPECT_EQ(File("CONV.DAT"), "320\r\n360\r\n362\r\n");
}

TEST_F(Versions320To362Test, OldCountersMoveIntoTheCountersFileWhenThatWasMissing) {
  // The chart merge of 0001 creates F34.DAT with the counter "20" first.
  Put("F00R0.DAT", Company("0001", "", " "));
  Put("CONFIGA.DAT", "         12         34          0     000056");
  Run();
  EXPECT_EQ(File("F34.DAT"),
            Record(30, {{10, "20"}, {20, "1"}}) + Record(30, {{10, "0"}, {20, "12"}}) +
                Record(30, {{10, "1"}, {20, "34"}}) + Record(30, {{10, "8"}, {20, "56"}}));
  EXPECT_FALSE(Exists("CONFIGA.DAT"));

  Put("CONFIGA.DAT", "         99");
  Run();
  EXPECT_EQ(File("CONFIGA.DAT"), "         99");
  EXPECT_EQ(File("F34.DAT").size(), 120u);
}

TEST_F(Versions320To362Test, FoldersLeftBehindMoveOnlyWhenTheyArePlainFolders) {
  Put("F00R0.DAT", Company("0001", "", ""));
  for (std::string_view folder : {"0001", "0002", "0003", "0004", "Backup", "7"})
    fs.MakeFolder(folder);
  fs.SetAttributes("0003", platform::kHidden);
  fs.SetReadOnly("0004", true);
  Put("1234.DAT", "a file");
  // 0002 is left out by the filter, and still moves.
  ctx.company_filter = "0001";
  Run();
  EXPECT_TRUE(Exists("R00\\0001"));
  EXPECT_TRUE(Exists("R00\\0002"));
  EXPECT_TRUE(Exists("R00\\7"));
  EXPECT_TRUE(Exists("0003"));
  EXPECT_TRUE(Exists("0004"));
  EXPECT_TRUE(Exists("Backup"));
  EXPECT_TRUE(Exists("1234.DAT"));
}

}  // namespace
}  // namespace livrana
