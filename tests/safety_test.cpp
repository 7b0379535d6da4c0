#include "run/safety.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/fault_file_system.h"
#include "platform/forwarding_file_system.h"
#include "platform/memory_file_system.h"
#include "records/layouts/register.h"
#include "tests/test_util.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace livrana {
namespace {

using test::ReadFile;
using test::Record;
using test::WriteFile;
using Files = std::map<std::string, std::string>;

// The data folder and the temporary folder on two file systems: a rename between them
// fails, as it does between two volumes. Copies can be made to fail from the k-th on, and
// the deletion of one named file refused.
class TwoVolumes : public platform::ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  Outcome Rename(std::string_view from, std::string_view to) override {
    if (InTemp(from) != InTemp(to)) return Outcome::Failed(Operation::kRename, from, Cause::kOther);
    return inner_.Rename(from, to);
  }
  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    if (fail_copy_at > 0 && ++copies >= fail_copy_at)
      return Outcome::Failed(Operation::kCopy, to, Cause::kDiskFull);
    return inner_.Copy(from, to, overwrite);
  }
  Outcome Remove(std::string_view path) override {
    if (!keep.empty() && path.starts_with(keep))
      return Outcome::Failed(Operation::kRemove, path, Cause::kPermission);
    return inner_.Remove(path);
  }
  int fail_copy_at = 0;
  int copies = 0;
  std::string keep;

 private:
  static bool InTemp(std::string_view path) { return path.starts_with("/tmp"); }
};

class SafetyTest : public ::testing::Test {
 protected:
  Files Safety() {
    Files files;
    for (auto& [path, data] : fs.SnapshotOutside()) {
      if (path.starts_with("/tmp\\Vemo\\Vuk\\") && path.size() > 14) files[path.substr(14)] = data;
    }
    return files;
  }
  // A folder R02 with files (one read-only, one hidden) and a subfolder.
  void MakeTree() {
    fs.MakeFolder("R02");
    fs.MakeFolder("R02\\SUB");
    WriteFile(fs, "R02\\A.DAT", "aaa");
    WriteFile(fs, "R02\\B.DAT", "bbbb");
    WriteFile(fs, "R02\\SUB\\C.DAT", "c");
    WriteFile(fs, "R02\\SUB\\D.TXT", "");
    fs.SetReadOnly("R02\\B.DAT", true);
    fs.SetAttributes("R02\\SUB\\C.DAT", platform::kHidden);
  }
  const Files kTree = {{"R02\\", ""},      {"R02\\A.DAT", "aaa"},    {"R02\\B.DAT", "bbbb"},
                       {"R02\\SUB\\", ""}, {"R02\\SUB\\C.DAT", "c"}, {"R02\\SUB\\D.TXT", ""}};

  platform::MemoryFileSystem fs;
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};
};

TEST_F(SafetyTest, TheTemporaryFolderRule) {
  EXPECT_EQ(SafetyTempFolder(fs), "/tmp/");
  fs.SetTempFolder("/scratch");
  EXPECT_EQ(SafetyTempFolder(fs), "/scratch\\");
  fs.SetTempFolder("/" + std::string(154, 'x'));  // 155 characters
  EXPECT_EQ(SafetyTempFolder(fs).size(), 156u);
  fs.SetTempFolder("/" + std::string(155, 'x'));
  EXPECT_EQ(SafetyTempFolder(fs), kFallbackTempFolder);
  fs.SetTempFolder("");
  EXPECT_EQ(SafetyTempFolder(fs), kFallbackTempFolder);
  EXPECT_TRUE(fs.Attributes(kFallbackTempFolder));  // created when missing
}

TEST_F(SafetyTest, CopiesAreNumberedOnCollisionUpToOneHundred) {
  for (int i = 0; i < 3; ++i) {
    WriteFile(fs, "F00R0.DAT", "copy" + std::to_string(i));
    EXPECT_TRUE(MoveToSafety(ctx, "F00R0.DAT"));
  }
  EXPECT_FALSE(fs.Attributes("F00R0.DAT"));
  EXPECT_EQ(
      Safety(),
      (Files{{"F00R0.DAT", "copy0"}, {"F00R0.DAT.001", "copy1"}, {"F00R0.DAT.002", "copy2"}}));
  for (int i = 3; i <= 100; ++i) {
    WriteFile(fs, "F00R0.DAT", "copy" + std::to_string(i));
    ASSERT_TRUE(MoveToSafety(ctx, "F00R0.DAT"));
  }
  EXPECT_EQ(ReadFile(fs, "/tmp/Vemo\\Vuk\\F00R0.DAT.100"), "copy100");
  // Every name is taken: the file stays, and a note says so.
  WriteFile(fs, "F00R0.DAT", "last");
  EXPECT_FALSE(MoveToSafety(ctx, "F00R0.DAT"));
  EXPECT_EQ(ReadFile(fs, "F00R0.DAT"), "last");
  EXPECT_EQ(sink.notes.size(), 1u);
  // A missing file is not moved and not noted.
  EXPECT_FALSE(MoveToSafety(ctx, "NONE.DAT"));
  EXPECT_EQ(sink.notes.size(), 1u);
}

TEST_F(SafetyTest, FoldersOfThePathAreRecreatedAndFoldersMoveWhole) {
  fs.MakeFolder("R00");
  fs.MakeFolder("R00\\0001");
  WriteFile(fs, "R00\\0001\\L50A1990.DAT", "ledger");
  EXPECT_TRUE(MoveToSafety(ctx, "R00\\0001\\L50A1990.DAT", "Other"));
  EXPECT_EQ(ReadFile(fs, "/tmp/Other\\R00\\0001\\L50A1990.DAT"), "ledger");
  MakeTree();
  EXPECT_TRUE(MoveToSafety(ctx, "R02"));
  EXPECT_EQ(Safety(), kTree);
  EXPECT_FALSE(fs.Attributes("R02"));
}

TEST_F(SafetyTest, PathsThatLeaveTheDataFolderAreRefused) {
  WriteFile(fs, "/tmp/X.DAT", "outside");
  EXPECT_FALSE(MoveToSafety(ctx, "/tmp/X.DAT"));
  EXPECT_FALSE(MoveToSafety(ctx, "..\\tmp\\X.DAT"));
  EXPECT_EQ(ReadFile(fs, "/tmp/X.DAT"), "outside");
}

TEST_F(SafetyTest, AcrossFileSystemsFilesAndFoldersAreCopiedThenDeleted) {
  TwoVolumes volumes(fs);
  Context vctx{volumes, sink, ""};
  WriteFile(fs, "F00R0.DAT", "register");
  EXPECT_TRUE(MoveToSafety(vctx, "F00R0.DAT"));
  WriteFile(fs, "F00R0.DAT", "again");
  EXPECT_TRUE(MoveToSafety(vctx, "F00R0.DAT"));  // numbered as a rename would be
  MakeTree();
  EXPECT_TRUE(MoveToSafety(vctx, "R02"));
  Files expected = kTree;
  expected["F00R0.DAT"] = "register";
  expected["F00R0.DAT.001"] = "again";
  EXPECT_EQ(Safety(), expected);
  EXPECT_TRUE(fs.Snapshot().empty());
  EXPECT_TRUE(sink.notes.empty());
}

TEST_F(SafetyTest, AcrossFileSystemsAFailedMoveLeavesTheSourceAndNoPartialCopy) {
  TwoVolumes volumes(fs);
  Context vctx{volumes, sink, ""};
  MakeTree();
  Files before = fs.Snapshot();
  volumes.fail_copy_at = 3;  // the third file copied fails
  EXPECT_FALSE(MoveToSafety(vctx, "R02"));
  EXPECT_EQ(fs.Snapshot(), before);
  EXPECT_EQ(Safety(), Files{});
  EXPECT_EQ(fs.Attributes("/tmp/Vemo\\Vuk\\R02"), std::nullopt);
  ASSERT_EQ(sink.notes.size(), 1u);

  // A subfolder that cannot be listed is not copied as an empty one.
  volumes.fail_copy_at = 0;
  platform::FaultFileSystem unlisted(volumes);
  unlisted.FailListings("R02\\SUB");
  Context uctx{unlisted, sink, ""};
  EXPECT_FALSE(MoveToSafety(uctx, "R02"));
  EXPECT_EQ(fs.Snapshot(), before);
  EXPECT_EQ(Safety(), Files{});

  // A source file that cannot be deleted stays, and its copy is taken back.
  WriteFile(fs, "F01R0.DAT", "table");
  volumes.keep = "F01R0.DAT";
  EXPECT_FALSE(MoveToSafety(vctx, "F01R0.DAT"));
  EXPECT_EQ(ReadFile(fs, "F01R0.DAT"), "table");
  EXPECT_EQ(Safety(), Files{});
  EXPECT_EQ(sink.notes.size(), 3u);
}

// A move by copy stopped at any copy (the process killed) leaves no incomplete safety copy
// under the final name: the next move makes the whole copy there, and no work copy stays.
TEST_F(SafetyTest, AcrossFileSystemsAnInterruptedCopyIsMadeAgainWhole) {
  MakeTree();
  const Files input = fs.Snapshot();
  for (long long k = 1; k <= 4; ++k) {
    platform::MemoryFileSystem run;
    for (const auto& [path, data] : input) {
      if (path.back() == '\\') {
        run.MakeFolder(path.substr(0, path.size() - 1));
      } else {
        ASSERT_TRUE(WriteFile(run, path, data));
      }
    }
    TwoVolumes volumes(run);
    platform::FaultFileSystem faults(volumes);
    faults.StopAt(platform::FaultOp::kCopy, k);
    Context stopped{faults, sink, ""};
    EXPECT_FALSE(MoveToSafety(stopped, "R02")) << k;
    Context again{volumes, sink, ""};
    EXPECT_TRUE(MoveToSafety(again, "R02")) << k;
    Files safety;
    for (auto& [path, data] : run.SnapshotOutside()) {
      EXPECT_FALSE(path.starts_with("/tmp\\Vemo\\Vuk.NEW\\")) << k << " " << path;
      if (path.starts_with("/tmp\\Vemo\\Vuk\\") && path.size() > 14) safety[path.substr(14)] = data;
    }
    EXPECT_EQ(safety, kTree) << k;
    EXPECT_TRUE(run.Snapshot().empty()) << k;
  }
}

#ifndef _WIN32
// The temporary folder on a tmpfs, the data folder on the disk.
class OtherTempFolder : public platform::ForwardingFileSystem {
 public:
  OtherTempFolder(platform::FileSystem& inner, std::string temp)
      : ForwardingFileSystem(inner), temp_(std::move(temp)) {}
  std::string TempFolder() override { return temp_; }

 private:
  std::string temp_;
};

TEST(SafetyHostTest, MovesAcrossRealFileSystems) {
  test::TempDir data;
  std::filesystem::path shm = "/dev/shm";
  struct stat a, b;
  if (::stat(data.str().c_str(), &a) != 0 || ::stat(shm.c_str(), &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system for the temporary folder";
  std::filesystem::path temp = shm / ("livrana-safety-" + std::to_string(::getpid()));
  std::filesystem::create_directories(temp);
  auto host = platform::OpenHostFileSystem(data.str());
  OtherTempFolder fs(*host, temp.string() + "/");
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};

  std::ofstream(data.path() / "F00R0.DAT")
      << Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"}});
  std::filesystem::create_directories(data.path() / "R02" / "Sub");
  std::ofstream(data.path() / "R02" / "A.DAT") << "aaa";
  std::ofstream(data.path() / "R02" / "Sub" / "B.DAT") << "bb";
  std::ofstream(data.path() / "R02" / ".hidden") << "h";
  EXPECT_TRUE(MoveToSafety(ctx, "F00R0.DAT"));
  EXPECT_TRUE(MoveToSafety(ctx, "R02"));
  std::ofstream(data.path() / "F00R0.DAT") << "second";
  EXPECT_TRUE(MoveToSafety(ctx, "F00R0.DAT"));

  auto moved = test::SnapshotHost(temp);
  std::filesystem::remove_all(temp);
  EXPECT_EQ(moved, (Files{{"Vemo/", ""},
                          {"Vemo/Vuk/", ""},
                          {"Vemo/Vuk/F00R0.DAT",
                           Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"}})},
                          {"Vemo/Vuk/F00R0.DAT.001", "second"},
                          {"Vemo/Vuk/R02/", ""},
                          {"Vemo/Vuk/R02/.hidden", "h"},
                          {"Vemo/Vuk/R02/A.DAT", "aaa"},
                          {"Vemo/Vuk/R02/Sub/", ""},
                          {"Vemo/Vuk/R02/Sub/B.DAT", "bb"}}));
  EXPECT_TRUE(test::SnapshotHost(data.path()).empty());
  EXPECT_TRUE(sink.notes.empty());
}

// A folder moved by copy that holds a link to another part of the data folder, and a
// folder that is itself such a link: the copy holds what the links led to, and the move
// deletes the links only, never the files they lead to.
TEST(SafetyHostTest, MovingByCopyDeletesLinksNotWhatTheyLeadTo) {
  test::TempDir data;
  std::filesystem::path shm = "/dev/shm";
  struct stat a, b;
  if (::stat(data.str().c_str(), &a) != 0 || ::stat(shm.c_str(), &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system for the temporary folder";
  std::filesystem::path temp = shm / ("livrana-safety-links-" + std::to_string(::getpid()));
  std::filesystem::create_directories(temp);
  auto host = platform::OpenHostFileSystem(data.str());
  OtherTempFolder fs(*host, temp.string() + "/");
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};

  const auto company = data.path() / "R00" / "0001";
  std::filesystem::create_directories(company);
  std::ofstream(company / "L50A1990.DAT") << "invoices";
  std::filesystem::create_directories(data.path() / "R03");
  std::ofstream(data.path() / "R03" / "A.DAT") << "a";
  std::filesystem::create_directory_symlink(company, data.path() / "R03" / "EMPRESA");
  std::filesystem::create_directory_symlink(company, data.path() / "R04");
  EXPECT_TRUE(MoveToSafety(ctx, "R03"));
  EXPECT_TRUE(MoveToSafety(ctx, "R04"));

  auto moved = test::SnapshotHost(temp);
  std::filesystem::remove_all(temp);
  EXPECT_EQ(moved, (Files{{"Vemo/", ""},
                          {"Vemo/Vuk/", ""},
                          {"Vemo/Vuk/R03/", ""},
                          {"Vemo/Vuk/R03/A.DAT", "a"},
                          {"Vemo/Vuk/R03/EMPRESA/", ""},
                          {"Vemo/Vuk/R03/EMPRESA/L50A1990.DAT", "invoices"},
                          {"Vemo/Vuk/R04/", ""},
                          {"Vemo/Vuk/R04/L50A1990.DAT", "invoices"}}));
  EXPECT_EQ(test::SnapshotHost(data.path()),
            (Files{{"R00/", ""}, {"R00/0001/", ""}, {"R00/0001/L50A1990.DAT", "invoices"}}));
  EXPECT_TRUE(sink.notes.empty());
}
#endif

TEST_F(SafetyTest, MoveDatFilesRenamesTheFolderOrMovesFileByFile) {
  MakeTree();
  MoveDatFiles(fs, "R02", "R60", kMoveDatFiles);
  Files renamed;
  for (auto& [path, data] : kTree) renamed["R60" + path.substr(3)] = data;
  EXPECT_EQ(fs.Snapshot(), renamed);

  // The target exists: each record file moves, numbered when its name is taken; the
  // source folder stays while it holds other files.
  fs.MakeFolder("R02");
  WriteFile(fs, "R02\\A.DAT", "new a");
  WriteFile(fs, "R02\\E.DAT", "e");
  WriteFile(fs, "R02\\NOTES.TXT", "n");
  MoveDatFiles(fs, "R02", "R60", kMoveDatFiles);
  EXPECT_EQ(ReadFile(fs, "R60\\A.DAT"), "aaa");
  EXPECT_EQ(ReadFile(fs, "R60\\A.DAT.001"), "new a");
  EXPECT_EQ(ReadFile(fs, "R60\\E.DAT"), "e");
  EXPECT_EQ(ReadFile(fs, "R02\\NOTES.TXT"), "n");
  fs.Remove("R02\\NOTES.TXT");
  MoveDatFiles(fs, "R02", "R60", kMoveDatFiles);
  EXPECT_FALSE(fs.Attributes("R02"));  // removed once empty
}

TEST_F(SafetyTest, MoveDatFilesCopiesWithoutOverwriting) {
  fs.MakeFolder("SRC");
  WriteFile(fs, "SRC\\A.DAT", "a");
  WriteFile(fs, "SRC\\B.DAT", "b");
  fs.MakeFolder("DST");
  WriteFile(fs, "DST\\A.DAT", "kept");
  MoveDatFiles(fs, "SRC", "DST", kCopyDatFiles);
  EXPECT_EQ(fs.Snapshot(), (Files{{"DST\\", ""},
                                  {"DST\\A.DAT", "kept"},
                                  {"DST\\B.DAT", "b"},
                                  {"SRC\\", ""},
                                  {"SRC\\A.DAT", "a"},
                                  {"SRC\\B.DAT", "b"}}));
}

TEST_F(SafetyTest, ReadRecordNumber) {
  WriteFile(fs, "N.DAT",
            Record(11, {{5, "000123"}}) + " -5        " + "999999999  " + "999999998  " +
                Record(11, {{0, "123456789012345678901234"}}));
  EXPECT_EQ(ReadRecordNumber(fs, "N.DAT", 0, 11), 123);
  EXPECT_EQ(ReadRecordNumber(fs, "N.DAT", 1, 11), 0);
  EXPECT_EQ(ReadRecordNumber(fs, "N.DAT", 2, 11), 0);
  EXPECT_EQ(ReadRecordNumber(fs, "N.DAT", 3, 11), 999999998);
  EXPECT_EQ(ReadRecordNumber(fs, "N.DAT", 4, 11), 0);  // beyond the 32-bit range
  EXPECT_EQ(ReadRecordNumber(fs, "N.DAT", 5, 11), 0);  // beyond the end
  EXPECT_EQ(ReadRecordNumber(fs, "NONE.DAT", 0, 11), 0);
  // A record longer than 23 characters is read on its first 23, at its own position.
  WriteFile(fs, "W.DAT", Record(40, {{0, "1"}}) + Record(40, {{0, "42"}, {23, "9"}}));
  EXPECT_EQ(ReadRecordNumber(fs, "W.DAT", 1, 40), 42);
}

}  // namespace
}  // namespace livrana
