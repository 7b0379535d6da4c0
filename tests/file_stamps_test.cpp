#include "records/file_stamps.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/memory_file_system.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

using test::ReadFile;
using test::WriteFile;

TEST(FileStampsTest, DecodesTheFatFields) {
  DateRec date{1, 1, 1};
  TimeRec time{1, 1, 1, 1};
  DecodeFileStamp(0, date, 0, time);
  EXPECT_EQ(date, DateRec{});
  EXPECT_EQ(time, TimeRec{});
  DecodeFileStamp(static_cast<std::uint16_t>((20 << 9) | (6 << 5) | 15), date,
                  static_cast<std::uint16_t>((13 << 11) | (45 << 5) | 29), time);
  EXPECT_EQ(DateToText(date), "15/06/2000");
  EXPECT_EQ(time, (TimeRec{45, 13, 0, 58}));
  DecodeFileStamp(static_cast<std::uint16_t>((1 << 5) | 1), date, 0, time);
  EXPECT_EQ(date, (DateRec{1980, 1, 1}));  // a real date in 1980 keeps its year
}

// Files on the host, whose stamps can be set.
class CompareFilesTest : public ::testing::Test {
 protected:
  CompareFilesTest() : fs(platform::OpenHostFileSystem(dir.str())), ctx{*fs, sink, ""} {}
  void Make(const char* name, std::size_t size, int hours_later) {
    std::ofstream(dir.path() / name) << std::string(size, 'x');
    std::filesystem::last_write_time(dir.path() / name, base + std::chrono::hours(hours_later));
  }

  test::TempDir dir;
  std::unique_ptr<platform::FileSystem> fs;
  test::RecordingSink sink;
  Context ctx;
  std::filesystem::file_time_type base = std::filesystem::file_time_type::clock::now();
};

TEST_F(CompareFilesTest, ByStampThenBySize) {
  Make("OLD.DAT", 500, 0);
  Make("NEW.DAT", 10, 1);
  Make("SMALL.DAT", 100, 0);
  Make("BIG.DAT", 200, 0);
  std::filesystem::last_write_time(dir.path() / "BIG.DAT",
                                   std::filesystem::last_write_time(dir.path() / "SMALL.DAT"));
  EXPECT_EQ(CompareFiles(*fs, "OLD.DAT", "NEW.DAT"), -1);
  EXPECT_EQ(CompareFiles(*fs, "new.dat", "OLD.DAT"), 1);
  EXPECT_EQ(CompareFiles(*fs, "SMALL.DAT", "BIG.DAT"), -1);
  EXPECT_EQ(CompareFiles(*fs, "BIG.DAT", "SMALL.DAT"), 1);
  EXPECT_EQ(CompareFiles(*fs, "BIG.DAT", "BIG.DAT"), 0);
  EXPECT_EQ(CompareFiles(*fs, "NONE1.DAT", "NONE2.DAT"), 0);
  EXPECT_EQ(CompareFiles(*fs, "NONE1.DAT", "OLD.DAT"), -1);
}

TEST_F(CompareFilesTest, CopiesOnlyOverAnUnchangedTargetAndObeysTheDeleteFlags) {
  Make("SRC.DAT", 30, 0);
  Make("TGT.DAT", 10, 0);
  Make("REF.DAT", 10, 0);
  std::filesystem::last_write_time(dir.path() / "REF.DAT",
                                   std::filesystem::last_write_time(dir.path() / "TGT.DAT"));
  EXPECT_TRUE(CopyIfUnchanged(ctx, "SRC.DAT", false, "TGT.DAT", "REF.DAT", true));
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "TGT.DAT"), 30u);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "SRC.DAT"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "REF.DAT"));

  // The target has changed since the reference: nothing copied, the flags still obeyed.
  Make("REF.DAT", 30, 2);
  EXPECT_FALSE(CopyIfUnchanged(ctx, "SRC.DAT", true, "TGT.DAT", "REF.DAT", false));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "SRC.DAT"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "REF.DAT"));

  // A missing target matches only a missing reference.
  Make("SRC.DAT", 5, 0);
  EXPECT_FALSE(CopyIfUnchanged(ctx, "SRC.DAT", false, "NEWT.DAT", "REF.DAT", false));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "NEWT.DAT"));
  EXPECT_TRUE(CopyIfUnchanged(ctx, "SRC.DAT", false, "NEWT.DAT", "NOREF.DAT", false));
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "NEWT.DAT"), 5u);
  EXPECT_TRUE(sink.notes.empty());
}

TEST(CopyIfUnchangedTest, ASourceWhoseCopyFailedIsKept) {
  platform::MemoryFileSystem fs;  // every entry has the same stamp
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};
  WriteFile(fs, "SRC.DAT", "new data");
  WriteFile(fs, "TGT.DAT", "old");
  WriteFile(fs, "REF.DAT", "old");
  fs.SetReadOnly("TGT.DAT", true);  // the copy over it is refused
  EXPECT_FALSE(CopyIfUnchanged(ctx, "SRC.DAT", true, "TGT.DAT", "REF.DAT", true));
  EXPECT_EQ(ReadFile(fs, "SRC.DAT"), "new data");
  EXPECT_EQ(ReadFile(fs, "TGT.DAT"), "old");
  EXPECT_FALSE(fs.Attributes("REF.DAT"));
  EXPECT_EQ(sink.notes.size(), 1u);
}

}  // namespace
}  // namespace livrana
