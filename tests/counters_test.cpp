#include "records/counters.h"

#include <gtest/gtest.h>

#include "platform/memory_file_system.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

using test::ReadFile;
using test::Record;
using test::WriteFile;

class CountersTest : public ::testing::Test {
 protected:
  std::string Counters() { return ReadFile(fs, "F34.DAT").value_or("<missing>"); }
  std::int32_t Read(std::string_view group, std::string_view key) {
    std::int32_t value = -1;
    EXPECT_TRUE(ReadCounter(ctx, group, key, value));
    return value;
  }

  platform::MemoryFileSystem fs;
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};
};

TEST_F(CountersTest, SetWritesOneThirtyCharacterRecordAndRewritesItInPlace) {
  EXPECT_EQ(Read("", "20"), 0);  // no file yet
  EXPECT_EQ(Counters(), "<missing>");
  ASSERT_TRUE(SetCounter(ctx, "", "20", 154));
  EXPECT_EQ(Counters(), "          20        154       ");
  ASSERT_TRUE(SetCounter(ctx, "G", "k", 7));
  ASSERT_TRUE(SetCounter(ctx, "", "20", 155));
  EXPECT_EQ(Counters(),
            Record(30, {{10, "20"}, {20, "155"}}) + Record(30, {{0, "G"}, {10, "k"}, {20, "7"}}));
  EXPECT_EQ(Read("g", "K"), 7);  // found without regard to case
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(CountersTest, BumpCountsWithinItsDigits) {
  std::int32_t value = 0;
  ASSERT_TRUE(BumpCounter(ctx, "", "A", value, 3));
  EXPECT_EQ(value, 1);  // a missing counter starts at 1
  ASSERT_TRUE(SetCounter(ctx, "", "A", 998));
  ASSERT_TRUE(BumpCounter(ctx, "", "A", value, 3));
  EXPECT_EQ(value, 999);
  ASSERT_TRUE(BumpCounter(ctx, "", "A", value, 3));
  EXPECT_EQ(value, 1);
  EXPECT_EQ(Counters().size(), 30u);
  for (int digits : {0, 12, -1}) {
    ASSERT_TRUE(SetCounter(ctx, "", "A", 999999));
    ASSERT_TRUE(BumpCounter(ctx, "", "A", value, digits));
    EXPECT_EQ(value, 1) << digits;  // counted with 6 digits
  }
}

TEST_F(CountersTest, ValuesAcrossTheNineDigitBound) {
  std::int32_t value = 0;
  ASSERT_TRUE(SetCounter(ctx, "", "N", 999999998));
  ASSERT_TRUE(BumpCounter(ctx, "", "N", value, 9));
  EXPECT_EQ(value, 999999999);
  EXPECT_EQ(Read("", "N"), 999999999);
  ASSERT_TRUE(BumpCounter(ctx, "", "N", value, 9));
  EXPECT_EQ(value, 1);
  // Stored values out of range read as 0, and count on from there.
  for (std::int32_t stored : {1234567890, 1000000000, -5}) {
    ASSERT_TRUE(SetCounter(ctx, "", "N", stored));
    EXPECT_EQ(Read("", "N"), 0) << stored;
    ASSERT_TRUE(BumpCounter(ctx, "", "N", value, 9));
    EXPECT_EQ(value, 1);
  }
  EXPECT_EQ(Counters().size(), 30u);
}

TEST_F(CountersTest, DeletedAndPartialRecordsAndBlankKeys) {
  // A deleted record with the key is passed over; the partial last record is completed
  // before the new one is added.
  WriteFile(fs, "F34.DAT", Record(30, {{10, "20"}, {20, "50"}, {29, "+"}}) + "partial");
  EXPECT_EQ(Read("", "20"), 0);
  ASSERT_TRUE(SetCounter(ctx, "", "20", 60));
  EXPECT_EQ(Counters(), Record(30, {{10, "20"}, {20, "50"}, {29, "+"}}) +
                            Record(30, {{0, "partial"}}) + Record(30, {{10, "20"}, {20, "60"}}));
  EXPECT_EQ(Read("", "20"), 60);
  // A blank group and key is never found: each write adds a record.
  ASSERT_TRUE(SetCounter(ctx, "", "", 3));
  ASSERT_TRUE(SetCounter(ctx, "", "", 4));
  EXPECT_EQ(Counters().size(), 150u);
  EXPECT_EQ(Read("", ""), 0);
}

TEST_F(CountersTest, LongGroupsAndKeysAreHeldToTheirFields) {
  ASSERT_TRUE(SetCounter(ctx, "GROUPNAME-LONG", "KEYNAME-LONGER", 42));
  EXPECT_EQ(Counters(), Record(30, {{0, "GROUPNAME-"}, {10, "KEYNAME-LO"}, {20, "42"}}));
  EXPECT_EQ(Read("GROUPNAME-LONG", "KEYNAME-LONGER"), 42);
}

TEST_F(CountersTest, AValueCutOffByTheEndOfTheFileIsAnError) {
  WriteFile(fs, "F34.DAT", Record(20, {{10, "20"}}));
  std::int32_t value = 5;
  EXPECT_FALSE(ReadCounter(ctx, "", "20", value));
  EXPECT_FALSE(BumpCounter(ctx, "", "20", value, 6));
  ASSERT_EQ(sink.messages.size(), 2u);
  EXPECT_EQ(sink.messages[0].kind, "fail");
  EXPECT_EQ(sink.messages[0].caption, "MacroCodeCad");
  EXPECT_EQ(sink.messages[0].text, "Erro ao abrir ou posicionar arquivo de contadores.");
  EXPECT_EQ(Counters(), Record(20, {{10, "20"}}));  // nothing written
}

TEST_F(CountersTest, AddingWaitsForABusyFileAndARefusedOpeningIsShown) {
  WriteFile(fs, "F34.DAT", Record(30, {{10, "20"}, {20, "1"}}));
  fs.SetBusy("F34.DAT", true);
  ASSERT_TRUE(SetCounter(ctx, "", "20", 2));  // a rewrite does not wait
  EXPECT_EQ(fs.PausedMilliseconds(), 0);
  ASSERT_TRUE(SetCounter(ctx, "", "21", 3));  // an addition waits, then goes on
  EXPECT_EQ(fs.PausedMilliseconds(), 1000);
  EXPECT_EQ(Counters(), Record(30, {{10, "20"}, {20, "2"}}) + Record(30, {{10, "21"}, {20, "3"}}));

  platform::MemoryFileSystem other;
  Context other_ctx{other, sink, ""};
  other.MakeFolder("F34.DAT");  // cannot be opened as a file
  EXPECT_FALSE(SetCounter(other_ctx, "", "20", 2));
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].caption, "FOpen2");
}

}  // namespace
}  // namespace livrana
