// Runs with backups: the safety copies made before the first change of each file, and the
// undo list that brings the data folder back exactly, whatever the step did to it.
#include "run/run_backups.h"

#include <gtest/gtest.h>

#include "convert/convert434.h"
#include "library/registry.h"
#include "run/safety.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

class RunBackupsTest : public test::StepTest {
 protected:
  // Undoes a run as its undo list says, through the plain file system.
  void Undo(const RunUndo& undo) {
    for (const auto& folder : undo.created_folders) RemoveTree(folder);
    for (const auto& file : undo.created_files) ASSERT_TRUE(fs.Remove(file)) << file;
    for (const auto& folder : undo.removed_folders) ASSERT_TRUE(fs.MakeFolder(folder)) << folder;
    for (const auto& backup : undo.backups) {
      ASSERT_TRUE(fs.Copy(backup.copy, backup.original, true)) << backup.original;
    }
  }
  void RemoveTree(const std::string& folder) {
    for (const auto& entry : fs.Find(folder + "\\*", 0x37)) {
      std::string path = folder + "\\" + entry.name;
      if (entry.attributes & platform::kDirectory) {
        RemoveTree(path);
      } else {
        ASSERT_TRUE(fs.Remove(path)) << path;
      }
    }
    ASSERT_TRUE(fs.RemoveFolder(folder)) << folder;
  }
  // Runs a library step with backups; the folder must come back exactly from the undo list.
  void RunAndUndo(std::string_view step) {
    auto before = fs.Snapshot();
    BackedUpRun run(fs);
    Context backed{run.fs(), sink, ""};
    ASSERT_TRUE(FindLibraryStep(step)->run(backed));
    ASSERT_NE(fs.Snapshot(), before) << step << " changed nothing: the test shows nothing";
    Undo(run.Undo());
    EXPECT_EQ(fs.Snapshot(), before) << step;
  }
};

TEST_F(RunBackupsTest, CopyToSafetyKeepsTheFileAndNumbersTheCopies) {
  Put("R00\\0001\\L50A1990.DAT", "first");
  auto copy = CopyToSafety(fs, "R00\\0001\\L50A1990.DAT");
  ASSERT_TRUE(copy);
  EXPECT_EQ(*copy, "/tmp/Vemo\\Vuk\\R00\\0001\\L50A1990.DAT");
  EXPECT_EQ(File("R00\\0001\\L50A1990.DAT"), "first");
  test::WriteFile(fs, "R00\\0001\\L50A1990.DAT", "second");
  EXPECT_EQ(CopyToSafety(fs, "R00\\0001\\L50A1990.DAT"),
            "/tmp/Vemo\\Vuk\\R00\\0001\\L50A1990.DAT.001");
  EXPECT_EQ(test::ReadFile(fs, *copy), "first");
  EXPECT_EQ(test::ReadFile(fs, *copy + ".001"), "second");

  for (int i = 2; i <= kSafetyNumbers; ++i)
    ASSERT_TRUE(CopyToSafety(fs, "R00\\0001\\L50A1990.DAT"));
  EXPECT_FALSE(CopyToSafety(fs, "R00\\0001\\L50A1990.DAT"));  // every name is taken
  EXPECT_FALSE(CopyToSafety(fs, "R00\\0001"));                // a folder
  EXPECT_FALSE(CopyToSafety(fs, "MISSING.DAT"));
  Put("F00R0.DAT", "x");
  EXPECT_FALSE(CopyToSafety(fs, "R00\\..\\F00R0.DAT"));  // a path that climbs is refused
}

TEST_F(RunBackupsTest, TheCurrentConversionIsUndoneFromItsBackups) {
  Put("F00R0.DAT", Record(1000, {{0, "0001"}, {290, std::string(39, '7')}, {331, "9"}}));
  Put("R00\\0001\\L50A1990.DAT", Record(400, {{0, "0"}, {52, "ABCDEFGHIJ"}}));
  Put("R00\\0001\\L50A1991.DAT", Record(400, {{0, "1"}}));
  auto before = fs.Snapshot();
  BackedUpRun run(fs);
  Context backed{run.fs(), sink, ""};
  ASSERT_TRUE(Convert434(backed).ok());
  RunUndo undo = run.Undo();
  EXPECT_EQ(undo.backups.size(), 2u);  // the invoice file and the register; not 1991
  EXPECT_EQ(undo.created_files, std::vector<std::string>{"FTEL1.DAT"});
  EXPECT_TRUE(undo.created_folders.empty());
  EXPECT_TRUE(undo.removed_folders.empty());
  Undo(undo);
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(RunBackupsTest, StepsThatMoveAndRemoveFoldersAreUndoneToo) {
  // R02 is renamed to R60 as a whole, old folders go to the safety folder, files are
  // deleted.
  Put("R02\\A.DAT", "a");
  Put("R02\\SUB\\B.DAT", "b");
  Put("daen\\X.DAT", "x");
  Put("F25.DAT", "obsolete");
  RunAndUndo("remove-obsolete");
}

TEST_F(RunBackupsTest, RegroupingIntoCompanyFoldersIsUndone) {
  // Files are copied into new company folders, the sources moved away and the type
  // folders removed.
  Put("L01\\0001A1999.dat", "ledger");
  Put("G01\\0001.dat", "table");
  Put("G01\\0002.dat", "table 2");
  RunAndUndo("company-folders");
}

TEST_F(RunBackupsTest, AChangeWhoseBackupCannotBeMadeIsRefused) {
  Put("F00R0.DAT", Record(1000, {{0, "0001"}}));
  Put("R00\\0001\\L50A1990.DAT", Record(400, {{0, "0"}, {52, "ABCDEFGHIJ"}}));
  auto before = fs.Snapshot();
  fs.MakeFolder("/tmp/Vemo");
  test::WriteFile(fs, "/tmp/Vemo/Vuk", "a file where the safety folder would go");
  BackedUpRun run(fs);
  Context backed{run.fs(), sink, ""};
  EXPECT_FALSE(Convert434(backed).ok());
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(RunBackupsTest, HostPathsAreSpeltAsOnTheDisk) {
  Put("r00\\0001\\l50a1990.dat", "x");
  EXPECT_EQ(HostPath(fs, "R00\\0001\\L50A1990.DAT"), "/data/r00/0001/l50a1990.dat");
  EXPECT_EQ(HostPath(fs, "R00\\0001\\NEW.DAT"), "/data/r00/0001/NEW.DAT");
  EXPECT_EQ(HostPath(fs, "/tmp\\Vemo\\X.DAT"), "/tmp/Vemo/X.DAT");
}

}  // namespace
}  // namespace livrana
