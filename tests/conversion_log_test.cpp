#include "run/conversion_log.h"

#include <gtest/gtest.h>

#include "platform/memory_file_system.h"
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

}  // namespace
}  // namespace livrana
