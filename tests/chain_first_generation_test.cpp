// A data folder of the oldest layout taken through the four steps of the first generations
// in order: it ends in the company-folder layout with the yearly L23 and L26 files.
#include <gtest/gtest.h>

#include "library/first/company_folders.h"
#include "library/first/import_old_files.h"
#include "library/first/rebuild_registers.h"
#include "library/first/split_ledgers.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

// The kind character (offset 10) of every record of a yearly file.
std::string Kinds(const std::string& data, std::size_t width) {
  std::string kinds;
  for (std::size_t at = 0; at + width <= data.size(); at += width) kinds += data[at + 10];
  return data.size() % width == 0 ? kinds : "<torn>";
}

using ChainFirstGenerationTest = test::StepTest;

TEST_F(ChainFirstGenerationTest, TheOldestLayoutEndsInCompanyFoldersWithYearlyFiles) {
  Put("F0.DAT", Record(700, {{0, "0001"}, {11, "Livraria Central"}, {545, "03"}}));
  Put("f1.dat", Record(700, {{0, "cliente"}}));
  Put("f2.dat", Record(700, {{0, "fornecedor"}}));
  Put("f0dp.dat", Record(51, {{0, "departamento"}, {41, "0001"}}));
  Put("f3.dat", Record(142, {{0, "0001"}, {11, "tabela"}}));
  Put("group00.dat", Record(52, {{0, "grupo"}}));
  for (std::string_view folder :
       {"G01", "G04", "G06", "L01", "L02", "L03", "data", "daen2", "dasa2", "L07", "L10"}) {
    fs.MakeFolder(folder);
  }
  std::string ledger = Record(227, {{0, "10/04/1998"}, {133, "10,00"}, {149, "25,00"}});
  Put("data\\0001.dat", ledger + ledger);
  Put("daen2\\00012.dat", Record(549, {{0, "05/05/1998"}, {115, "5"}}));
  Put("dasa2\\00012.dat", Record(549, {{0, "06/06/1998"}, {115, "0"}}));
  Put("L07\\0001.dat", Record(250, {{0, "07/07/1998"}, {176, "99,00"}}));
  std::string month = Record(642, {{0, "02"}, {2, "coluna 1"}});
  Put("L10\\0001A2004.dat", month);

  EXPECT_TRUE(ImportOldFileSet(ctx));
  EXPECT_TRUE(MoveToCompanyFolders(ctx));
  EXPECT_TRUE(RebuildRegisterFiles(ctx));
  EXPECT_TRUE(SplitLedgersByYear(ctx));

  std::vector<std::string> names;
  for (const auto& [name, data] : fs.Snapshot()) names.push_back(name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"0001\\", "0001\\G04.dat", "0001\\G06.dat", "0001\\G20.DAT",
                                      "0001\\G21.DAT", "0001\\L231998.DAT", "0001\\L261998.DAT",
                                      "0001\\L262004.DAT", "F00R0.DAT", "F01R0.DAT", "F02R1.DAT"}));
  EXPECT_EQ(sink.messages.size(), 0u);

  EXPECT_EQ(File("F00R0.DAT"), Record(1000, {{0, "0001"}, {11, "Livraria Central"}, {631, "06"}}));
  EXPECT_EQ(File("F01R0.DAT"), Record(814, {{0, "cliente"}}));
  EXPECT_EQ(File("F02R1.DAT"), Record(1000, {{0, "fornecedor"}}));
  EXPECT_EQ(File("0001\\G04.dat"), Record(220, {{0, "departamento"}}));
  EXPECT_EQ(File("0001\\G06.dat"), Record(142, {{0, "tabela"}}));
  // The group record, widened to 209 on its way from G01 to G20 and G21.
  std::string group = Record(209, {{0, "grupo"}, {60, "0"}});
  EXPECT_EQ(File("0001\\G20.DAT"), group);
  EXPECT_EQ(File("0001\\G21.DAT"), group);
  // Two ledger records ("B"), then the movement ("F"); L03 itself ("0") and the L02 record
  // that joined it ("0" after the join); both months of L10 ("A", "a").
  std::string l23 = File("0001\\L231998.DAT");
  EXPECT_EQ(Kinds(l23, 300), "BBF");
  EXPECT_EQ(l23.substr(11, 19), Record(19, {{0, "C15,00"}}));
  EXPECT_EQ(Kinds(File("0001\\L261998.DAT"), 600), "00");
  EXPECT_EQ(File("0001\\L262004.DAT"),
            Record(600, {{0, "29/02/2004A01/02/2004"}, {24, "coluna 1"}}) +
                Record(600, {{0, "29/02/2004a01/02/2004"}}));

  // The whole chain again changes nothing.
  auto before = fs.Snapshot();
  auto saved = fs.SnapshotOutside();
  EXPECT_TRUE(ImportOldFileSet(ctx));
  EXPECT_TRUE(MoveToCompanyFolders(ctx));
  EXPECT_TRUE(RebuildRegisterFiles(ctx));
  EXPECT_TRUE(SplitLedgersByYear(ctx));
  EXPECT_EQ(fs.Snapshot(), before);
  EXPECT_EQ(fs.SnapshotOutside(), saved);
}

}  // namespace
}  // namespace livrana
