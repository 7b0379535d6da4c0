#include "library/v364/remove_obsolete.h"

#include <gtest/gtest.h>

#include "platform/memory_file_system.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

using test::ReadFile;
using test::RecordingSink;
using test::WriteFile;

class RemoveObsoleteTest : public ::testing::Test {
 protected:
  void Run() {
    Context ctx{fs, sink, ""};
    RemoveObsoleteFiles(ctx);
  }
  bool Exists(std::string_view path) { return fs.Attributes(path).has_value(); }

  platform::MemoryFileSystem fs;
  RecordingSink sink;
};

TEST_F(RemoveObsoleteTest, DeletesTheListedFilesOnly) {
  for (std::string_view name : {"check01.dat", "CONF0.SAT", "F25.DAT", "pmovo04.txt", "Pmovo.gid",
                                "F25R0.DAT", "F00R0.DAT"})
    WriteFile(fs, name, "x");
  fs.MakeFolder("resp.dat");  // a folder of a listed name is not a file to delete
  Run();
  for (std::string_view name : {"check01.dat", "CONF0.SAT", "F25.DAT", "pmovo04.txt", "Pmovo.gid"})
    EXPECT_FALSE(Exists(name)) << name;
  EXPECT_TRUE(Exists("F25R0.DAT"));
  EXPECT_TRUE(Exists("F00R0.DAT"));
  EXPECT_TRUE(Exists("resp.dat"));

  // Nothing left to do: a second run changes nothing.
  auto before = fs.Snapshot();
  Run();
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(RemoveObsoleteTest, R02IsMovedIntoAnExistingR60WithNumberedNames) {
  fs.MakeFolder("R02");
  fs.MakeFolder("R60");
  WriteFile(fs, "R02\\A.DAT", "new a");
  WriteFile(fs, "R02\\B.DAT", "new b");
  WriteFile(fs, "R60\\A.DAT", "old a");
  Run();
  EXPECT_EQ(ReadFile(fs, "R60\\A.DAT"), "old a");
  EXPECT_EQ(ReadFile(fs, "R60\\A.DAT.001"), "new a");
  EXPECT_EQ(ReadFile(fs, "R60\\B.DAT"), "new b");
  EXPECT_FALSE(Exists("R02"));
}

TEST_F(RemoveObsoleteTest, R02WithOtherFilesStays) {
  fs.MakeFolder("R02");
  WriteFile(fs, "R02\\A.DAT", "a");
  WriteFile(fs, "R02\\notes.txt", "kept");
  fs.MakeFolder("R60");
  Run();
  EXPECT_EQ(ReadFile(fs, "R60\\A.DAT"), "a");
  EXPECT_EQ(ReadFile(fs, "R02\\notes.txt"), "kept");
}

TEST_F(RemoveObsoleteTest, OldFoldersGoToTheSafetyFolder) {
  fs.MakeFolder("sintegra");
  WriteFile(fs, "sintegra\\S.DAT", "s");
  fs.MakeFolder("daen");
  Run();
  EXPECT_FALSE(Exists("sintegra"));
  EXPECT_FALSE(Exists("daen"));
  auto outside = fs.SnapshotOutside();
  bool found = false;
  for (const auto& [path, data] : outside)
    found = found || (path.ends_with("S.DAT") && data == "s");
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace livrana
