#include "library/v364/chart_r1.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fault_file_system.h"
#include "records/layouts/charts.h"
#include "records/layouts/phone_tables.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

std::string OldAccount(std::string_view group, std::string_view code, bool deleted = false) {
  return Record(kChartRecordLength, {{ChartLayout::kNumber, "00001      ACCOUNT NAME"},
                                     {ChartLayout::kFlag, "S"},
                                     {52, "SHORT NAME 16CHR"},
                                     {ChartLayout::kMarker, "D"},
                                     {69, "XX"},
                                     {71, "REF0000001"},
                                     {81, "NOT CARRIED"},
                                     {103, "TEN CHARS!"},
                                     {113, code},
                                     {132, "NOT CARRIED EITHER"},
                                     {172, group},
                                     {ChartLayout::kMoved, "ABC"},
                                     {176, "FIFTEEN CHARS 1"},
                                     {191, "1"},
                                     {192, "FIFTEEN CHARS 2"},
                                     {207, "2"},
                                     {ChartLayout::kDeleted, deleted ? "+" : " "}});
}

class ChartR1Test : public test::StepTest {
 protected:
  ChartR1Result Run(platform::FileSystem* over = nullptr) {
    return RunStep(ConvertChart20R1, "", over);
  }
};

TEST_F(ChartR1Test, RebuildsTheChartAndDropsDeletedAccounts) {
  Put(kSharedChartFile,
      OldAccount("4", "1.1.01.001") + OldAccount("5", "x", true) + OldAccount("7", "1.01.001"));
  auto result = Run();
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.accounts, 2);
  auto chart = File("F20R1.DAT");
  ASSERT_EQ(chart.size(), 1200u);
  const std::string common_head = "00001      ACCOUNT NAME";
  // Dots at characters 2 and 4: the fields at 291, 371 and 411.
  EXPECT_EQ(chart.substr(0, 600), Record(600, {{0, common_head},
                                               {51, "REF0000001"},
                                               {61, "D"},
                                               {62, "SHORT NAME 16CHR"},
                                               {87, "TEN CHARS!"},
                                               {107, "S"},
                                               {109, "35ABC"},
                                               {229, "FIFTEEN CHARS 1"},
                                               {249, "1FIFTEEN CHARS 2"},
                                               {270, "2"},
                                               {291, "1.1.01.001"},
                                               {371, "1.1.01.001"},
                                               {411, "1.1.01.001"}}));
  // Group 7 maps to nothing; dots at characters 2 and 5 fill the six other fields.
  std::string second = Record(600, {{0, common_head},
                                    {51, "REF0000001"},
                                    {61, "D"},
                                    {62, "SHORT NAME 16CHR"},
                                    {87, "TEN CHARS!"},
                                    {107, "S"},
                                    {111, "ABC"},
                                    {229, "FIFTEEN CHARS 1"},
                                    {249, "1FIFTEEN CHARS 2"},
                                    {270, "2"}});
  for (std::size_t at : {271, 311, 331, 351, 391, 431}) second.replace(at, 8, "1.01.001");
  EXPECT_EQ(chart.substr(600), second);

  // The old chart goes to F20R0.BAK; a second run only renames and widens.
  EXPECT_FALSE(Exists(kSharedChartFile));
  EXPECT_TRUE(Exists("F20R0.BAK"));
  auto before = fs.Snapshot();
  result = Run();
  EXPECT_FALSE(result.copied);
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(ChartR1Test, GroupCodeMap) {
  const std::pair<std::string_view, std::string_view> map[] = {
      {"1", "10"}, {"2", "20"}, {"3", "30"}, {"4", "35"}, {"5", "40"},
      {"6", "50"}, {"9", "90"}, {"7", "  "}, {"0", "  "}, {" ", "  "}};
  std::string old;
  for (const auto& [from, to] : map) old += OldAccount(from, "");
  Put(kSharedChartFile, old);
  Run();
  auto chart = File("F20R1.DAT");
  ASSERT_EQ(chart.size(), 600u * std::size(map));
  for (std::size_t i = 0; i < std::size(map); ++i)
    EXPECT_EQ(chart.substr(i * 600 + 109, 2), map[i].second) << map[i].first;
}

// A Ctrl-Z ends the old chart as the end of the file would: the account it cuts is the last.
TEST_F(ChartR1Test, ACtrlZEndsTheOldChart) {
  std::string cut = OldAccount("1", "");
  cut[50] = '\x1A';
  Put(kSharedChartFile, OldAccount("1", "") + cut + OldAccount("1", ""));
  EXPECT_EQ(Run().accounts, 2);
  EXPECT_EQ(File("F20R1.DAT").size(), 1200u);
}

TEST_F(ChartR1Test, ExistingBackupSendsTheOldChartToTheSafetyFolder) {
  Put(kSharedChartFile, OldAccount("1", ""));
  Put("F20R0.BAK", "older");
  Put("F08.DAT", "table 08");
  Run();
  EXPECT_FALSE(Exists(kSharedChartFile));
  EXPECT_EQ(File("F20R0.BAK"), "older");
  EXPECT_EQ(File(kTable08), "table 08");
  auto outside = fs.SnapshotOutside();
  EXPECT_TRUE(std::any_of(outside.begin(), outside.end(),
                          [](const auto& entry) { return entry.first.ends_with("F20R0.DAT"); }));
}

TEST_F(ChartR1Test, AChartThatCannotBeWrittenKeepsTheOldOne) {
  Put(kSharedChartFile, OldAccount("1", ""));
  platform::FaultFileSystem full(fs);
  full.FullDiskAt(1);
  EXPECT_FALSE(Run(&full).ok());
  EXPECT_FALSE(Exists("F20R1.DAT"));
  EXPECT_EQ(File(kSharedChartFile), OldAccount("1", ""));
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].kind, "fail");
}

TEST_F(ChartR1Test, WidensThreeCharacterCodes) {
  Put("F25R0.DAT", Record(557, {{0, "123"}, {10, "rest"}}) + Record(557, {{0, "12"}}) +
                       Record(557, {{0, "1234"}}) + Record(557, {{0, " 12"}}));
  auto result = Run();
  EXPECT_EQ(result.codes_widened, 2);
  EXPECT_EQ(File("F25R0.DAT"), Record(557, {{0, "00123"}, {10, "rest"}}) +
                                   Record(557, {{0, "12"}}) + Record(557, {{0, "1234"}}) +
                                   Record(557, {{0, "00 12"}}));
  EXPECT_FALSE(Exists("F20R1.DAT"));  // no old chart: nothing to copy, nothing created
  // Widened codes have 5 characters: a second run leaves them.
  Run();
  EXPECT_EQ(File("F25R0.DAT").substr(0, 10), "00123     ");
}

}  // namespace
}  // namespace livrana
