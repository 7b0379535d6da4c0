#include "records/record_file.h"

#include <gtest/gtest.h>

#include "platform/fault_file_system.h"
#include "platform/memory_file_system.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::ReadFile;
using test::WriteFile;

class RecordFileTest : public ::testing::Test {
 protected:
  platform::MemoryFileSystem fs;
};

TEST_F(RecordFileTest, SeekInsideNamesOnlyExistingBytes) {
  WriteFile(fs, "A.DAT", std::string(10, 'x'));
  auto file = OpenRead(fs, "A.DAT");
  ASSERT_TRUE(file);
  EXPECT_TRUE(SeekInside(file.get(), 9));
  EXPECT_FALSE(SeekInside(file.get(), 10));
  EXPECT_FALSE(SeekInside(file.get(), -1));
  EXPECT_FALSE(SeekInside(nullptr, 0));
}

TEST_F(RecordFileTest, ReadFieldFollowsTheFgetsContract) {
  WriteFile(fs, "A.DAT", "abc\ndefgh");
  auto file = OpenRead(fs, "A.DAT");
  std::string out;
  ASSERT_TRUE(ReadField(file.get(), out, 10));
  EXPECT_EQ(out, "abc\n");  // stops after the line feed
  ASSERT_TRUE(ReadField(file.get(), out, 2));
  EXPECT_EQ(out, "de");
  ASSERT_TRUE(ReadField(file.get(), out, 10));
  EXPECT_EQ(out, "fgh");  // cut short by the end of the file
  EXPECT_FALSE(ReadField(file.get(), out, 10));
  EXPECT_EQ(out, "");
}

TEST_F(RecordFileTest, TextModeTranslatesLineEndsAndStopsAtCtrlZ) {
  WriteFile(fs, "T.DAT", std::string("ab\r\ncd\re\x1Atail", 12));
  auto file = OpenRead(fs, "T.DAT", FileMode::kText);
  std::string out;
  ASSERT_TRUE(ReadField(file.get(), out, 20));
  EXPECT_EQ(out, "ab\n");
  EXPECT_EQ(file->Tell(), 4u);  // positions stay byte positions
  ASSERT_TRUE(ReadField(file.get(), out, 20));
  EXPECT_EQ(out, "cd\re");  // a lone CR stays; Ctrl-Z ends the file
  EXPECT_FALSE(ReadField(file.get(), out, 20));

  auto out_file = OpenCreate(fs, "W.DAT", FileMode::kText);
  out_file->Write("364\n");
  CloseFile(out_file);
  EXPECT_EQ(*ReadFile(fs, "W.DAT"), "364\r\n");
}

TEST_F(RecordFileTest, IsDeletedLooksAtTheLastByteOfTheRecord) {
  WriteFile(fs, "D.DAT", "abc+abc abc");
  auto file = OpenRead(fs, "D.DAT");
  EXPECT_TRUE(IsDeleted(file.get(), 0, 4));
  EXPECT_FALSE(IsDeleted(file.get(), 1, 4));
  EXPECT_FALSE(IsDeleted(file.get(), 2, 4));  // cut short: its last byte is missing
  EXPECT_FALSE(IsDeleted(file.get(), 3, 4));
  EXPECT_FALSE(IsDeleted(nullptr, 0, 4));
  // A record number whose position lies beyond the 64-bit range is beyond the end.
  EXPECT_FALSE(IsDeleted(file.get(), INT64_MAX / 2, 4));
}

TEST_F(RecordFileTest, OpeningsThatWriteClearReadOnlyAndMissingFilesBehave) {
  WriteFile(fs, "RO.DAT", "data");
  fs.SetReadOnly("RO.DAT", true);
  EXPECT_FALSE(OpenRead(fs, "ro.dat")->writable());
  EXPECT_EQ(*fs.Attributes("RO.DAT") & platform::kReadOnly, platform::kReadOnly);
  auto file = OpenUpdate(fs, "RO.DAT");
  ASSERT_TRUE(file);
  EXPECT_EQ(*fs.Attributes("RO.DAT") & platform::kReadOnly, 0u);

  EXPECT_FALSE(OpenUpdate(fs, "MISSING.DAT"));
  EXPECT_FALSE(fs.Attributes("MISSING.DAT"));
  EXPECT_FALSE(OpenRead(fs, "MISSING.DAT"));
  auto appended = OpenAppend(fs, "NEW.DAT");
  ASSERT_TRUE(appended);
  appended->Seek(0);
  appended->Write("x");
  appended->Write("y");
  CloseFile(appended);
  EXPECT_EQ(*ReadFile(fs, "NEW.DAT"), "xy");
  auto again = OpenAppend(fs, "NEW.DAT");
  again->Seek(0);
  again->Write("z");  // appending always writes at the end
  CloseFile(again);
  EXPECT_EQ(*ReadFile(fs, "NEW.DAT"), "xyz");

  // Text-mode openings take the file as it stands.
  fs.SetReadOnly("NEW.DAT", true);
  EXPECT_FALSE(OpenUpdate(fs, "NEW.DAT", FileMode::kText));
}

TEST_F(RecordFileTest, WritesAcrossBlocksReachTheFileAndReadBack) {
  // Records of 1000 bytes: blocks hold whole records, and a file of many blocks is read
  // and rewritten in place, with the largest block and with one kept to 4 records.
  constexpr int kRecords = 2500;  // three blocks of the largest size
  std::string data;
  for (int i = 0; i < kRecords; ++i) data += test::Record(1000, {{0, std::to_string(i)}});
  for (std::size_t block : {std::size_t{0}, std::size_t{4500}}) {
    SCOPED_TRACE(block);
    WriteFile(fs, "BIG.DAT", data);
    auto file = OpenUpdate(fs, "BIG.DAT");
    file->SetRecordLength(1000);
    file->SetBlockBytes(block);
    for (int i = 0; i < kRecords; ++i) {
      ASSERT_TRUE(SeekInside(file.get(), i * 1000 + 500));
      file->Write("#");
    }
    ASSERT_TRUE(SeekInside(file.get(), (kRecords - 1) * 1000));
    std::string out;
    ASSERT_TRUE(ReadField(file.get(), out, 4));
    EXPECT_EQ(out, std::to_string(kRecords - 1));
    file->Seek(kRecords * 1000);
    file->Write("tail");  // past the last record: the file grows
    EXPECT_EQ(file->Size(), kRecords * 1000u + 4);
    ASSERT_TRUE(CloseFile(file));
    auto after = *ReadFile(fs, "BIG.DAT");
    ASSERT_EQ(after.size(), kRecords * 1000u + 4);
    for (int i = 0; i < kRecords; ++i) {
      ASSERT_EQ(after[static_cast<std::size_t>(i) * 1000 + 500], '#');
    }
    EXPECT_EQ(after.substr(kRecords * 1000u), "tail");
  }
}

TEST_F(RecordFileTest, WriteBackIsOneWriteOfWholeRecords) {
  // Every record of the file changes in two places; with the blocks aligned to the
  // record length, each write that reaches the file starts and ends on a record boundary.
  constexpr std::uint32_t kWidth = 400;
  constexpr std::size_t kRecords = 6000;  // three blocks, none ending on a record's end
  auto build = [](platform::FileSystem& folder) {
    WriteFile(folder, "R.DAT", std::string(kWidth * kRecords, ' '));
  };
  test::ForEveryFault(
      test::Fault::StopAt(platform::FaultOp::kWrite), build,
      [](platform::FileSystem& folder, platform::FaultFileSystem& faults, long long k) {
        auto file = OpenUpdate(faults, "R.DAT");
        file->SetRecordLength(kWidth);
        for (std::uint64_t r = 0; r < kRecords; ++r) {
          file->Seek(r * kWidth + 1);
          file->Write("a");
          file->Seek(r * kWidth + kWidth - 2);
          file->Write("b");
        }
        CloseFile(file);
        auto after = *ReadFile(folder, "R.DAT");
        for (std::size_t r = 0; r < kRecords; ++r) {
          bool first = after[r * kWidth + 1] == 'a';
          bool last = after[r * kWidth + kWidth - 2] == 'b';
          ASSERT_EQ(first, last) << "record " << r << " half written at stop " << k;
        }
      });
}

TEST_F(RecordFileTest, RecordsSeenAndChangedInPlaceAreWrittenBackLikeWrites) {
  constexpr std::size_t kWidth = 400;
  const std::size_t records = RecordFile::kBlockBytes / kWidth + 100;  // two blocks
  std::string data;
  for (std::size_t r = 0; r < records; ++r) data += test::Record(kWidth, {{0, std::to_string(r)}});
  WriteFile(fs, "V.DAT", data);
  auto file = OpenUpdate(fs, "V.DAT");
  file->SetRecordLength(kWidth);
  for (std::size_t r = 0; r < records; ++r) {
    ASSERT_EQ(file->View(r * kWidth, kWidth), std::string_view(data).substr(r * kWidth, kWidth));
    char* bytes = file->Modify(r * kWidth + 10, 3);
    ASSERT_NE(bytes, nullptr);
    std::copy_n("abc", 3, bytes);
  }
  // Bytes across a block boundary or past the end are not handed out.
  const std::size_t boundary = (RecordFile::kBlockBytes / kWidth) * kWidth;
  EXPECT_TRUE(file->View(boundary - 1, 2).empty());
  EXPECT_TRUE(file->View(data.size() - 1, 2).empty());
  EXPECT_EQ(file->Modify(data.size(), 1), nullptr);
  ASSERT_TRUE(CloseFile(file));
  auto after = *ReadFile(fs, "V.DAT");
  for (std::size_t r = 0; r < records; ++r) {
    std::string want = data.substr(r * kWidth, kWidth).replace(10, 3, "abc");
    ASSERT_EQ(after.substr(r * kWidth, kWidth), want) << r;
  }
  // Read-only and text-mode files give no access in place.
  auto reader = OpenRead(fs, "V.DAT");
  EXPECT_EQ(reader->View(0, 3), "0  ");
  EXPECT_EQ(reader->Modify(0, 3), nullptr);
  EXPECT_TRUE(OpenUpdate(fs, "V.DAT", FileMode::kText)->View(0, 3).empty());
}

TEST_F(RecordFileTest, FailedWriteBackKeepsTheFileAsItWasAndRefusesMore) {
  WriteFile(fs, "A.DAT", "0123456789");
  platform::FaultFileSystem faults(fs);
  faults.FullDiskAt(1);
  auto file = OpenUpdate(faults, "A.DAT");
  file->Seek(2);
  file->Write("xx");
  EXPECT_FALSE(file->Flush());
  EXPECT_TRUE(file->Failed());
  EXPECT_FALSE(file->Write("yy"));
  std::string out;
  ASSERT_TRUE(SeekInside(file.get(), 0));
  ASSERT_TRUE(ReadField(file.get(), out, 10));
  EXPECT_EQ(out, "0123456789");  // what was not written is not shown either
  EXPECT_FALSE(CloseFile(file));
  EXPECT_EQ(*ReadFile(fs, "A.DAT"), "0123456789");
}

TEST_F(RecordFileTest, FlushFirstWritesTheOtherFileBeforeThisOne) {
  WriteFile(fs, "T.DAT", "..........");
  auto journal = OpenCreateUpdate(fs, "J.DAT");
  auto table = OpenUpdate(fs, "T.DAT");
  table->FlushFirst(journal.get());
  journal->Write("moved");
  table->Seek(0);
  table->Write("x");
  EXPECT_EQ(*ReadFile(fs, "J.DAT"), "");
  ASSERT_TRUE(table->Flush());
  EXPECT_EQ(*ReadFile(fs, "J.DAT"), "moved");
  EXPECT_EQ(*ReadFile(fs, "T.DAT"), "x.........");

  // When the other file cannot be written, this one writes nothing either.
  platform::FaultFileSystem faults(fs);
  auto j2 = OpenCreateUpdate(faults, "J2.DAT");
  auto t2 = OpenUpdate(faults, "T.DAT");
  t2->FlushFirst(j2.get());
  faults.FullDiskAt(1);
  j2->Write("moved");
  t2->Seek(1);
  t2->Write("y");
  EXPECT_FALSE(t2->Flush());
  EXPECT_EQ(*ReadFile(fs, "T.DAT"), "x.........");
}

TEST_F(RecordFileTest, TrimRightAndCutText) {
  std::string text = "ab \t  ";
  EXPECT_EQ(TrimRight(text), "ab \t");
  text = "    ";
  EXPECT_EQ(TrimRight(text), "");
  text = "ABCDEFGHIJ";
  EXPECT_EQ(CutText(text, 9), "ABCDEFGHI");
  text = "AB";
  EXPECT_EQ(CutText(text, 9), "AB");
}

class GetFieldTest : public RecordFileTest {
 protected:
  static constexpr std::int32_t kWidths[] = {3, 5, 2};
  void SetUp() override {
    WriteFile(fs, "G.DAT",
              "abcde    Z"
              "xyz12");  // record 1 is cut short
  }
};

TEST_F(GetFieldTest, ReadsFieldsThroughTheWidthTable) {
  std::string out;
  EXPECT_TRUE(GetField(fs, nullptr, 0, out, 0, "G.DAT", 10, kWidths));
  EXPECT_EQ(out, "abc");
  EXPECT_TRUE(GetField(fs, nullptr, 0, out, 1, "G.DAT", 10, kWidths));
  EXPECT_EQ(out, "de");  // trailing spaces removed
  EXPECT_TRUE(GetField(fs, nullptr, 1, out, 1, "G.DAT", 10, kWidths));
  EXPECT_EQ(out, "12");  // cut short by the end of the file
  EXPECT_FALSE(GetField(fs, nullptr, 1, out, 2, "G.DAT", 10, kWidths));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(GetField(fs, nullptr, 2, out, 0, "G.DAT", 10, kWidths));
  EXPECT_FALSE(GetField(fs, nullptr, 0, out, 0, "NONE.DAT", 10, kWidths));
  // Preceding widths that reach the record length: nothing is read.
  EXPECT_FALSE(GetField(fs, nullptr, 0, out, 2, "G.DAT", 8, kWidths));
  // A record number whose position lies beyond the 64-bit range: nothing is read.
  EXPECT_FALSE(GetField(fs, nullptr, INT64_MAX / 5, out, 1, "G.DAT", 10, kWidths));

  auto file = OpenRead(fs, "G.DAT");
  EXPECT_TRUE(GetField(fs, file.get(), 0, out, 2, "IGNORED", 10, kWidths));
  EXPECT_EQ(out, " Z");
  EXPECT_EQ(file->Tell(), 10u);  // a handle passed in stays open, after what was read
}

TEST_F(GetFieldTest, ANegativeRecordNumberReadsNothing) {
  std::string out = "stale";
  EXPECT_FALSE(GetField(fs, nullptr, -1, out, 0, "G.DAT", 10, kWidths));
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace livrana

namespace livrana {
namespace {

// A file system that adds a behaviour to a fault-injecting one reaches it, not what lies
// below it: the faults still apply through the wrapper.
TEST(ForwardingFileSystemTest, WrapsAnotherForwardingFileSystemInsteadOfCopyingIt) {
  class Wrapper final : public platform::ForwardingFileSystem {
   public:
    explicit Wrapper(platform::FaultFileSystem& faults) : ForwardingFileSystem(faults) {}
  };
  platform::MemoryFileSystem fs;
  test::WriteFile(fs, "A.DAT", "a");
  platform::FaultFileSystem faults(fs);
  faults.StopAt(platform::FaultOp::kRename, 1);
  Wrapper wrapper(faults);
  EXPECT_FALSE(wrapper.Rename("A.DAT", "B.DAT"));
  EXPECT_TRUE(faults.Stopped());
  EXPECT_EQ(test::ReadFile(fs, "A.DAT"), "a");
}

}  // namespace
}  // namespace livrana
