#include "records/search.h"

#include <gtest/gtest.h>

#include "platform/memory_file_system.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

using test::Record;

class SearchTest : public ::testing::Test {
 protected:
  // A 30-byte table with the key at offset 5, width 8.
  void WriteTable(std::initializer_list<std::string> records) {
    std::string data;
    for (const auto& r : records) data += r;
    test::WriteFile(fs, "T.DAT", data);
  }
  std::int32_t Find(std::string_view key, std::int32_t width = 8) {
    std::int32_t record = 99;
    bool found = FindRecordByKey(ctx, nullptr, "T.DAT", 30, record, key, 5, width);
    EXPECT_EQ(found, record >= 0);
    return record;
  }

  platform::MemoryFileSystem fs;
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};
};

TEST_F(SearchTest, FindsTheFirstLiveRecordIgnoringTheCaseOfAsciiLetters) {
  WriteTable({Record(30, {{5, "ABC"}, {29, "+"}}), Record(30, {{5, "XYZ"}}),
              Record(30, {{5, "abc"}}), Record(30, {{5, "ABC"}})});
  EXPECT_EQ(Find("abc"), 2);  // the deleted record 0 is passed over
  EXPECT_EQ(Find("ABC"), 2);
  EXPECT_EQ(Find("xyz"), 1);
  EXPECT_EQ(Find("AB"), -1);           // padded to the width, so no prefix match
  EXPECT_EQ(Find("XYZ     tail"), 1);  // cut to the width
  EXPECT_EQ(Find("XY", 2), 1);
  EXPECT_EQ(sink.wait_depth, 0);
}

TEST_F(SearchTest, AccentedLettersAreComparedAsTheyAre) {
  WriteTable({Record(30, {{5, "\xC9RICA"}})});
  EXPECT_EQ(Find("\xC9rica"), 0);
  EXPECT_EQ(Find("\xE9RICA"), -1);
}

TEST_F(SearchTest, BlankKeysMissingFilesAndShortRecordsFindNothing) {
  WriteTable({Record(30, {{5, "ABC"}}), Record(30, {{5, "DEF"}}).substr(0, 10)});
  EXPECT_EQ(Find(""), -1);
  EXPECT_EQ(Find("     "), -1);
  EXPECT_EQ(Find("DEF"), -1);  // the key field is cut short by the end of the file
  std::int32_t record = 7;
  EXPECT_FALSE(FindRecordByKey(ctx, nullptr, "NONE.DAT", 30, record, "ABC", 5, 8));
  EXPECT_EQ(record, -1);
}

TEST_F(SearchTest, SearchesAnOpenHandleAndLeavesItOpen) {
  std::string data;
  for (int i = 0; i < 300; ++i) data += Record(200, {{11, "KEY" + std::to_string(i)}});
  test::WriteFile(fs, "W.DAT", data);
  auto file = OpenRead(fs, "W.DAT");
  std::int32_t record = -1;
  ASSERT_TRUE(FindRecordByKey(ctx, file.get(), "", 200, record, "key299", 11, 41));
  EXPECT_EQ(record, 299);
  ASSERT_TRUE(FindRecordByKey(ctx, file.get(), "", 200, record, "KEY7", 11, 41));
  EXPECT_EQ(record, 7);
  // Keys wider than 50 are compared on 50 characters.
  EXPECT_TRUE(FindRecordByKey(ctx, file.get(), "", 200, record, "KEY8", 11, 120));
}

}  // namespace
}  // namespace livrana
