#include "library/record_merge.h"

#include <gtest/gtest.h>

#include "platform/fault_file_system.h"
#include "records/layouts/charts.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

class RecordMergeTest : public test::StepTest {};

// A source record with every piece of the layout told apart.
std::string Narrow(std::string_view flag, char deleted = ' ') {
  return Record(227, {{0, "head"},
                      {65, "h"},
                      {66, flag},
                      {67, "middle"},
                      {132, "m"},
                      {133, "drop1"},
                      {138, "AAAAA"},
                      {143, "drop2"},
                      {148, "BBBBB"},
                      {153, "dropped tail"},
                      {226, std::string(1, deleted)}});
}
std::string Wide(std::string_view flag) {
  return Record(260, {{0, "head"},
                      {65, "h"},
                      {66, flag},
                      {67, "middle"},
                      {132, "m"},
                      {133, "AAAAA"},
                      {138, "BBBBB"}});
}

TEST_F(RecordMergeTest, WidensLiveRecordsAndMarksBlankFlagsWithTheFillCharacter) {
  // The CR LF that many tools leave at the end of a file is no record.
  Put("0001\\G18.DAT", Narrow(" ") + Narrow("X") + Narrow(" ", '+') + "\r\n");
  Put("0001\\G19.DAT", Narrow(" "));
  EXPECT_TRUE(AppendWidenedRecords(ctx, "0001\\G18.DAT", "0001\\G32.DAT", '0'));
  EXPECT_TRUE(AppendWidenedRecords(ctx, "0001\\G19.DAT", "0001\\G32.DAT", '1'));

  EXPECT_EQ(File("0001\\G32.DAT"), Wide("0") + Wide("X") + Wide("1"));
  // Each source went to its safety copy.
  EXPECT_FALSE(fs.Attributes("0001\\G18.DAT"));
  EXPECT_FALSE(fs.Attributes("0001\\G19.DAT"));
  EXPECT_TRUE(Saved("0001\\G18.DAT"));
}

TEST_F(RecordMergeTest, AShortLastRecordGivesOnlyItsOwnCharacters) {
  Put("G18.DAT", Narrow("Y").substr(0, 100));
  EXPECT_TRUE(AppendWidenedRecords(ctx, "G18.DAT", "G32.DAT", '0'));
  EXPECT_EQ(File("G32.DAT"), Record(260, {{0, "head"}, {65, "h"}, {66, "Y"}, {67, "middle"}}));
}

TEST_F(RecordMergeTest, ATargetThatCannotBeWrittenKeepsTheSource) {
  platform::FaultFileSystem faulty(fs);
  Context faulty_ctx{faulty, sink, ""};
  Put("G18.DAT", Narrow(" "));
  faulty.FullDiskAt(1);
  Outcome failed = AppendWidenedRecords(faulty_ctx, "G18.DAT", "G32.DAT", '0');
  EXPECT_EQ(failed.cause(), Cause::kDiskFull);
  EXPECT_EQ(File("G18.DAT"), Narrow(" "));
  EXPECT_FALSE(Exists("G32.DAT"));

  // A missing source does nothing and creates no target.
  EXPECT_TRUE(AppendWidenedRecords(ctx, "G19.DAT", "G33.DAT", '1'));
  EXPECT_FALSE(fs.Attributes("G33.DAT"));
}

TEST_F(RecordMergeTest, NextRecordNumberPassesOverDeletedAndNonNumericRecords) {
  Put(kSharedChartFile, Record(kChartRecordLength, {{ChartLayout::kNumber, "000000007"}}) +
                            Record(kChartRecordLength, {{ChartLayout::kNumber, "000000012"},
                                                        {ChartLayout::kDeleted, "+"}}) +
                            Record(kChartRecordLength, {{ChartLayout::kNumber, "000000009"}}));
  EXPECT_EQ(NextRecordNumber(fs, kSharedChartFile, kChartRecordLength), 10);

  Put(kSharedChartFile, Record(kChartRecordLength, {{ChartLayout::kNumber, "-00000005"}}) +
                            Record(kChartRecordLength, {}));
  EXPECT_EQ(NextRecordNumber(fs, kSharedChartFile, kChartRecordLength), 1);
  EXPECT_EQ(NextRecordNumber(fs, "MISSING.DAT", kChartRecordLength), 1);
  Put(kSharedChartFile, "");
  EXPECT_EQ(NextRecordNumber(fs, kSharedChartFile, kChartRecordLength), 1);
}

}  // namespace
}  // namespace livrana
