#include "run/conversion_log.h"

#include <gtest/gtest.h>

#include "platform/fault_file_system.h"
#include "platform/memory_file_system.h"
#include "run/history.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

using test::ReadFile;
using test::WriteFile;

class ConversionLogTest : public ::testing::Test {
 protected:
  std::string Log() { return ReadFile(fs, "CONV.DAT").value_or("<missing>"); }
  platform::MemoryFileSystem fs;
};

TEST_F(ConversionLogTest, MarksATagOnceAndFindsItAfterwards) {
  EXPECT_FALSE(ConvFind(fs, "364"));
  EXPECT_FALSE(ConvTestAndMark(fs, "364"));
  EXPECT_EQ(Log(), "364\r\n");
  EXPECT_TRUE(ConvTestAndMark(fs, "364"));
  EXPECT_EQ(Log(), "364\r\n");
  EXPECT_FALSE(ConvTestAndMark(fs, "373"));
  EXPECT_EQ(Log(), "364\r\n373\r\n");
  EXPECT_TRUE(ConvFind(fs, "364"));
  EXPECT_FALSE(ConvFind(fs, "301"));
}

TEST_F(ConversionLogTest, PiecesOfNineCharactersAreComparedByTheirBeginning) {
  WriteFile(fs, "CONV.DAT", "abc\r\n3640\r\nABCDEFGHI301\r\nABCDEFGH320\r\nxy\n362");
  EXPECT_TRUE(ConvFind(fs, "ABC"));   // case of a to z ignored
  EXPECT_TRUE(ConvFind(fs, "364"));   // 3640 begins with it
  EXPECT_TRUE(ConvFind(fs, "301"));   // the second piece of a long line
  EXPECT_FALSE(ConvFind(fs, "320"));  // split across pieces: ABCDEFGH3 and 20
  EXPECT_TRUE(ConvFind(fs, "362"));   // a piece ends after a line feed
  EXPECT_FALSE(ConvFind(fs, "bc"));
}

TEST_F(ConversionLogTest, AppendsToAReadOnlyLogAndEndsAnUnfinishedLine) {
  WriteFile(fs, "CONV.DAT", "301");
  fs.SetReadOnly("CONV.DAT", true);
  EXPECT_FALSE(ConvTestAndMark(fs, "364"));
  EXPECT_EQ(Log(), "301\r\n364\r\n");
  EXPECT_TRUE(ConvFind(fs, "364"));
}

TEST_F(ConversionLogTest, ALogThatCannotBeWrittenMarksNothing) {
  fs.MakeFolder("CONV.DAT");
  EXPECT_FALSE(ConvTestAndMark(fs, "364"));
  EXPECT_FALSE(ConvTestAndMark(fs, "364"));
}

// The history shares the log's way of writing: every line is there whole or not at all.
TEST_F(ConversionLogTest, HistoryLinesAreFixedWidthAndSurviveAStopWholeOrNotAtAll) {
  HistoryEntry done = HistoryEntryNow("upgrade", "company-folders", {}, "Vuk-20261209-061129");
  ASSERT_TRUE(AppendHistory(fs, done));
  const std::string one = ReadFile(fs, kHistoryFile).value();
  ASSERT_EQ(one.size(), 178u);
  EXPECT_EQ(one.substr(0, 10), done.date);
  EXPECT_EQ(one.substr(20, 28), "upgrade  company-folders    ");
  EXPECT_EQ(one.substr(48, 13), "feita        ");
  EXPECT_TRUE(one.ends_with(std::string(78, ' ') + "\r\n"));

  Outcome failed = Outcome::Failed(Operation::kWrite, "R00\\0001\\L50A1990.DAT", Cause::kDiskFull)
                       .WithDetail("linha 1\r\nlinha 2");
  HistoryEntry stop = HistoryEntryNow("run", std::string(30, 's'), failed);
  for (long long k = 1;; ++k) {
    platform::FaultFileSystem faults(fs);
    faults.StopAt(platform::FaultOp::kWrite, k);
    (void)AppendHistory(faults, stop);
    std::string text = ReadFile(fs, kHistoryFile).value();
    ASSERT_TRUE(text == one || (text.size() == 2 * one.size() && text.starts_with(one))) << k;
    if (!faults.Stopped()) break;
    EXPECT_EQ(text, one);
  }
  auto entries = ReadHistory(fs);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].run, "Vuk-20261209-061129");
  EXPECT_EQ(entries[1].step, std::string(18, 's'));  // cut to its width
  EXPECT_EQ(entries[1].result, "falhou");
  EXPECT_TRUE(entries[1].text.starts_with("não foi possível gravar R00\\0001\\L50A1990.DAT"))
      << entries[1].text;
  EXPECT_EQ(ReadHistory(fs, 1).size(), 1u);
  EXPECT_EQ(ReadHistory(fs, 1)[0].command, "run");
  EXPECT_EQ(ResultOf(Outcome::Failed(Operation::kRun, "", Cause::kInterrupted)), "interrompida");
}

}  // namespace
}  // namespace livrana
