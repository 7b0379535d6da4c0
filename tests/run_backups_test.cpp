// Runs with backups: the safety copies made before the first change of each file, the
// manifest written as the run goes, and the undo that brings the data folder back exactly,
// whatever the step did to it and wherever it stopped.
#include "run/run_backups.h"

#include <gtest/gtest.h>

#include "convert/convert434.h"
#include "library/registry.h"
#include "platform/fault_file_system.h"
#include "platform/forwarding_file_system.h"
#include "records/layouts/invoices.h"
#include "records/layouts/phone_tables.h"
#include "run/safety.h"
#include "tests/step_fixture.h"
#include "tools/sample.h"

namespace livrana {
namespace {

using test::Record;

class RunBackupsTest : public test::StepTest {
 protected:
  std::unique_ptr<BackedUpRun> Start(platform::FileSystem& data) {
    std::unique_ptr<BackedUpRun> run;
    Outcome started = BackedUpRun::Start(data, "run", &run);
    EXPECT_TRUE(started) << Describe(started);
    return run;
  }
  // Runs a library step with backups, then undoes it: the folder must come back exactly.
  void RunAndUndo(std::string_view step) {
    auto before = fs.Snapshot();
    auto run = Start(fs);
    ASSERT_TRUE(run);
    Context backed{run->fs(), sink, ""};
    ASSERT_TRUE(RunLibraryStep(*FindLibraryStep(step), backed));
    ASSERT_TRUE(run->Finish({}));
    ASSERT_NE(fs.Snapshot(), before) << step << " changed nothing: the test shows nothing";
    UndoResult undo = UndoRun(fs, "");
    EXPECT_TRUE(undo.outcome) << Describe(undo.outcome);
    EXPECT_EQ(undo.run.id, run->id());
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
  Put(kCompanyRegister, "x");
  EXPECT_FALSE(CopyToSafety(fs, "R00\\..\\F00R0.DAT"));  // a path that climbs is refused
}

TEST_F(RunBackupsTest, TheCurrentConversionIsUndoneFromItsBackups) {
  Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"},
                                                      {PhoneFields::kPhone1, std::string(39, '7')},
                                                      {PhoneFields::kPhone2, "9"}}));
  Put("R00\\0001\\L50A1990.DAT",
      Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"}, {InvoiceLayout::kOld, "ABCDEFGHIJ"}}));
  Put("R00\\0001\\L50A1991.DAT", Record(kInvoiceRecord, {{InvoiceLayout::kKind, "1"}}));
  fs.SetReadOnly("R00\\0001\\L50A1990.DAT", true);
  auto before = fs.Snapshot();
  auto run = Start(fs);
  ASSERT_TRUE(run);
  EXPECT_TRUE(run->id().starts_with("data-")) << run->id();
  Context backed{run->fs(), sink, ""};
  ASSERT_TRUE(Convert434(backed).ok());
  RunUndo undo = run->Undo();
  EXPECT_EQ(undo.id, run->id());
  ASSERT_EQ(undo.backups.size(), 2u);  // the invoice file and the register; not 1991
  EXPECT_EQ(undo.backups[0].copy,
            "/tmp/Vemo\\Vuk\\EXECUCOES\\" + run->id() + "\\COPIAS\\R00\\0001\\L50A1990.DAT");
  EXPECT_EQ(undo.created_files, std::vector<std::string>{std::string(kPhoneTableFile)});
  EXPECT_TRUE(undo.created_folders.empty());
  EXPECT_TRUE(undo.removed_folders.empty());
  ASSERT_TRUE(run->Finish({}));

  std::vector<RecordedRun> runs = RecordedRuns(fs);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].id, run->id());
  EXPECT_TRUE(runs[0].complete);
  EXPECT_EQ(runs[0].result, "feita");
  EXPECT_EQ(runs[0].backups, 2u);
  EXPECT_FALSE(runs[0].undone);

  UndoResult undone = UndoRun(fs, "");
  ASSERT_TRUE(undone.outcome) << Describe(undone.outcome);
  EXPECT_EQ(undone.undone.backups.size(), 2u);
  EXPECT_EQ(undone.undone.created_files, std::vector<std::string>{std::string(kPhoneTableFile)});
  EXPECT_EQ(fs.Snapshot(), before);
  EXPECT_TRUE(fs.Attributes("R00\\0001\\L50A1990.DAT").value() & platform::kReadOnly);
  // The last run moves to the one before: there is none left.
  EXPECT_TRUE(RecordedRuns(fs)[0].undone);
  EXPECT_EQ(UndoRun(fs, "").outcome.cause(), Cause::kNoRun);
  EXPECT_EQ(UndoRun(fs, run->id()).outcome.cause(), Cause::kUndone);
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

TEST_F(RunBackupsTest, MovingTheCompanyFoldersBelowR00IsUndone) {
  // The company folders move below R00 and their files are changed there, under names the
  // step spells in another letter case than the disk.
  SampleOptions options;
  options.companies = 1;
  options.records = 2;
  options.before = "versions-320-362";
  ASSERT_TRUE(WriteSampleFolder(fs, options).ok);
  RunAndUndo("versions-320-362");
}

TEST_F(RunBackupsTest, AChangeWhoseBackupCannotBeMadeIsRefused) {
  Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"}}));
  Put("R00\\0001\\L50A1990.DAT",
      Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"}, {InvoiceLayout::kOld, "ABCDEFGHIJ"}}));
  auto before = fs.Snapshot();
  fs.MakeFolder("/tmp/Vemo");
  test::WriteFile(fs, "/tmp/Vemo/Vuk", "a file where the safety folder would go");
  std::unique_ptr<BackedUpRun> run;
  Outcome started = BackedUpRun::Start(fs, "convert", &run);
  EXPECT_EQ(started.cause(), Cause::kNoSafetyFolder);
  EXPECT_NE(started.file().find("EXECUCOES"), std::string::npos) << started.file();
  EXPECT_EQ(fs.Snapshot(), before);
  // A missing temporary folder is the safety folder's failure too, and so is undoing where
  // no run was recorded.
  fs.SetTempFolder("/nowhere/");
  EXPECT_EQ(BackedUpRun::Start(fs, "convert", &run).cause(), Cause::kNoSafetyFolder);
  EXPECT_EQ(UndoRun(fs, "").outcome.cause(), Cause::kNoSafetyFolder);
}

// A run stopped at any write, rename or copy (a kill: nothing more reaches the disk) leaves
// a manifest that undoes what the run did, whatever that was.
TEST_F(RunBackupsTest, AnInterruptedRunIsUndoneFromItsManifest) {
  Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"},
                                                      {PhoneFields::kPhone1, std::string(39, '7')},
                                                      {PhoneFields::kPhone2, "9"}}));
  Put("R00\\0001\\L50A1990.DAT",
      Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"}, {InvoiceLayout::kOld, "ABCDEFGHIJ"}}));
  Put("R02\\A.DAT", "a");
  Put("R02\\SUB\\B.DAT", "b");
  Put("daen\\X.DAT", "x");
  Put("F25.DAT", "obsolete");
  const auto before = fs.Snapshot();
  int runs = 0;
  for (platform::FaultOp op :
       {platform::FaultOp::kWrite, platform::FaultOp::kRename, platform::FaultOp::kCopy}) {
    for (long long k = 1;; ++k) {
      // A temporary folder of its own for each run: many runs start in one second.
      const std::string temp = "/t" + std::to_string(++runs);
      fs.MakeFolder(temp);
      fs.SetTempFolder(temp + "/");
      platform::FaultFileSystem faults(fs);
      faults.StopAt(op, k);
      std::unique_ptr<BackedUpRun> run;
      if (BackedUpRun::Start(faults, "upgrade", &run)) {
        Context backed{run->fs(), sink, ""};
        (void)RunLibraryStep(*FindLibraryStep("remove-obsolete"), backed);
        (void)Convert434(backed);
        (void)run->Finish({});
      }
      const bool stopped = faults.Stopped();
      run.reset();
      UndoResult undo = UndoRun(fs, "");
      if (undo.outcome.cause() == Cause::kNoRun) {
        EXPECT_TRUE(stopped);  // stopped before the start of the manifest was whole
      } else {
        EXPECT_TRUE(undo.outcome) << k << ": " << Describe(undo.outcome);
      }
      ASSERT_EQ(fs.Snapshot(), before) << "stop at " << k << " of " << static_cast<int>(op);
      if (!stopped) break;
    }
  }
  EXPECT_GT(runs, 30);  // every stop point of three kinds was tried
}

// Later runs are undone first; an undo that finds the folder unlike it was says where.
TEST_F(RunBackupsTest, RunsAreUndoneFromTheLastBackAndTheCheckNamesWhatDiffers) {
  Put("F25.DAT", "obsolete");
  Put("L01\\0001A1999.dat", "ledger");
  Put("G01\\0001.dat", "table");
  const auto before = fs.Snapshot();
  std::string first, second;
  for (std::string_view step : {"company-folders", "remove-obsolete"}) {
    auto run = Start(fs);
    ASSERT_TRUE(run);
    Context backed{run->fs(), sink, ""};
    ASSERT_TRUE(RunLibraryStep(*FindLibraryStep(step), backed));
    ASSERT_TRUE(run->Finish({}));
    (first.empty() ? first : second) = run->id();
  }
  ASSERT_NE(first, second);  // the same second: the second name has its suffix
  const auto after_first = [&] {
    auto runs = RecordedRuns(fs);
    EXPECT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs.back().sequence, 2);
    return runs;
  }();
  UndoResult refused = UndoRun(fs, first);
  EXPECT_EQ(refused.outcome.cause(), Cause::kLaterRun);
  EXPECT_NE(refused.outcome.detail().find(second), std::string::npos);
  EXPECT_EQ(UndoRun(fs, "nao-existe").outcome.cause(), Cause::kNoRun);

  // The copy of the second run's backup is damaged: nothing is changed.
  const std::string copy = after_first.back().folder + "\\COPIAS\\F25.DAT";
  test::WriteFile(fs, copy, "obs");
  auto changed = fs.Snapshot();
  UndoResult damaged = UndoRun(fs, "");
  EXPECT_EQ(damaged.outcome.cause(), Cause::kCopyDamaged);
  EXPECT_EQ(damaged.outcome.file(), copy);
  EXPECT_EQ(fs.Snapshot(), changed);
  test::WriteFile(fs, copy, "obsolete");

  ASSERT_TRUE(UndoRun(fs, "").outcome);
  // The first run's files cannot be deleted: the undo fails and tells why.
  struct Refusing final : platform::ForwardingFileSystem {
    using ForwardingFileSystem::ForwardingFileSystem;
    Outcome Remove(std::string_view path) override {
      return Outcome::Failed(Operation::kRemove, path, Cause::kPermission, EACCES);
    }
  } refusing(fs);
  UndoResult refused_removal = UndoRun(refusing, "");
  EXPECT_EQ(refused_removal.outcome.cause(), Cause::kNotRestored);
  EXPECT_NE(refused_removal.outcome.detail().find("não foi possível apagar 0001\\"),
            std::string::npos)
      << refused_removal.outcome.detail();
  EXPECT_NE(refused_removal.outcome.detail().find(CauseText(Cause::kPermission)),
            std::string::npos);
  ASSERT_TRUE(UndoRun(fs, "").outcome);  // the first one, now the last not undone
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(RunBackupsTest, HostPathsAreSpeltAsOnTheDisk) {
  Put("r00\\0001\\l50a1990.dat", "x");
  EXPECT_EQ(HostPath(fs, "R00\\0001\\L50A1990.DAT"), "/data/r00/0001/l50a1990.dat");
  EXPECT_EQ(HostPath(fs, "R00\\0001\\NEW.DAT"), "/data/r00/0001/NEW.DAT");
  EXPECT_EQ(HostPath(fs, "/tmp\\Vemo\\X.DAT"), "/tmp/Vemo/X.DAT");
#ifndef _WIN32
  // A data folder given as a relative path: the host's separator all the same.
  struct Relative final : platform::ForwardingFileSystem {
    using ForwardingFileSystem::ForwardingFileSystem;
    std::string Root() const override { return "s1"; }
  } named(fs);
  EXPECT_EQ(HostPath(named, "R00\\0001\\L50A1990.DAT"), "s1/r00/0001/l50a1990.dat");
  EXPECT_EQ(HostPath(named, "/tmp\\Vemo\\X.DAT"), "/tmp/Vemo/X.DAT");
#endif
}

}  // namespace
}  // namespace livrana
