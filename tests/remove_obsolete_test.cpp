#include "library/v364/remove_obsolete.h"

#include <gtest/gtest.h>

#include "tests/step_fixture.h"

namespace livrana {
namespace {

class RemoveObsoleteTest : public test::StepTest {
 protected:
  Outcome Run() { return RemoveObsoleteFiles(ctx); }
};

TEST_F(RemoveObsoleteTest, DeletesTheListedFilesOnly) {
  for (std::string_view name : {"check01.dat", "CONF0.SAT", "F25.DAT", "pmovo04.txt", "Pmovo.gid",
                                "F25R0.DAT", "F00R0.DAT"})
    Put(name, "x");
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
  Put("R02\\A.DAT", "new a");
  Put("R02\\B.DAT", "new b");
  Put("R60\\A.DAT", "old a");
  Run();
  EXPECT_EQ(File("R60\\A.DAT"), "old a");
  EXPECT_EQ(File("R60\\A.DAT.001"), "new a");
  EXPECT_EQ(File("R60\\B.DAT"), "new b");
  EXPECT_FALSE(Exists("R02"));
}

TEST_F(RemoveObsoleteTest, R02WithOtherFilesStays) {
  fs.MakeFolder("R02");
  Put("R02\\A.DAT", "a");
  Put("R02\\notes.txt", "kept");
  fs.MakeFolder("R60");
  Run();
  EXPECT_EQ(File("R60\\A.DAT"), "a");
  EXPECT_EQ(File("R02\\notes.txt"), "kept");
}

TEST_F(RemoveObsoleteTest, OldFoldersGoToTheSafetyFolder) {
  fs.MakeFolder("sintegra");
  Put("sintegra\\S.DAT", "s");
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
