// The step journal: a conversion stopped at any operation is rolled back or finished by the
// next run, so that it ends as one uninterrupted conversion does.
#include "run/step_journal.h"

#include <gtest/gtest.h>

#include "run/conversion_log.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

class StepJournalTest : public test::StepTest {
 protected:
  void SetUp() override {
    Put("SRC.DAT", "source");
    Put("OLD.DAT", "old text");
    Put("APP.DAT", "12345");
  }
  // A conversion of every kind of target and action: SRC.DAT is appended to APP.DAT and
  // copied into the new NEW.DAT, OLD.DAT is rewritten whole, SRC.DAT goes to the safety
  // folder and the mark "364" is recorded.
  Outcome Convert(Context& context) {
    if (Outcome recovered = RecoverConversion(context); !recovered) return recovered;
    if (!context.fs.Attributes("SRC.DAT")) return {};  // done already
    Conversion conversion(context);
    Outcome why;
    for (auto [path, how] : {std::pair{"APP.DAT", 'a'}, {"NEW.DAT", 'c'}, {"OLD.DAT", 'r'}}) {
      FileHandle out = how == 'a'   ? conversion.Append(path, FileMode::kBinary, &why)
                       : how == 'c' ? conversion.Create(path, FileMode::kBinary, &why)
                                    : conversion.Rewrite(path, FileMode::kBinary, &why);
      if (!out) return why;
      out->Write(how == 'r' ? "new text" : "source");
      if (Outcome closed = CloseFile(out); !closed) return closed;
    }
    conversion.MoveToSafetyAtCommit("SRC.DAT");
    conversion.MarkAtCommit("364");
    return conversion.Commit();
  }
};

TEST_F(StepJournalTest, AStopAnywhereIsFinishedByTheNextRun) {
  const auto start = fs.Snapshot();
  ASSERT_TRUE(Convert(ctx));
  const auto done = fs.Snapshot();
  EXPECT_EQ(done.at("APP.DAT"), "12345source");
  EXPECT_EQ(done.at("OLD.DAT"), "new text");
  EXPECT_EQ(done.count("LIVRANA.JNL"), 0u);
  EXPECT_EQ(done.count("SRC.DAT"), 0u);

  auto build = [&start](platform::FileSystem& run) {
    for (const auto& [path, data] : start) {
      if (path.back() != '\\') {
        ASSERT_TRUE(test::WriteFile(run, path, data));
      }
    }
  };
  for (platform::FaultOp op : {platform::FaultOp::kWrite, platform::FaultOp::kRename,
                               platform::FaultOp::kClose, platform::FaultOp::kFlush}) {
    test::ForEveryFault(
        test::Fault::StopAt(op), build,
        [&](platform::MemoryFileSystem& run, platform::FaultFileSystem& faults, long long k) {
          Context stopped{faults, sink, ""};
          // A run that was not stopped finishes the conversion.
          EXPECT_TRUE(Convert(stopped).ok() || faults.Stopped()) << "stop at " << k;
          Context again{run, sink, ""};
          ASSERT_TRUE(Convert(again)) << "stop at " << k;
          EXPECT_EQ(run.Snapshot(), done) << "op " << static_cast<int>(op) << " stop at " << k;
        });
  }
}

// A source set aside over an older backup: the backup goes to the safety folder, once, even
// when the committed list is carried out again by the next run.
TEST_F(StepJournalTest, ASetAsideIsCarriedOutOnce) {
  Put("SRC.BAK", "older");
  Conversion conversion(ctx);
  conversion.SetAsideAtCommit("SRC.DAT", "SRC.BAK");
  ASSERT_TRUE(conversion.Commit());
  Put(kStepJournal, "B SRC.DAT|SRC.BAK\r\nC\r\n");
  ASSERT_TRUE(RecoverConversion(ctx));
  EXPECT_EQ(File("SRC.BAK"), "source");
  EXPECT_FALSE(Exists("SRC.DAT"));
  EXPECT_FALSE(Exists(kStepJournal));
  const auto outside = fs.SnapshotOutside();
  EXPECT_EQ(outside.count("/tmp\\Vemo\\Vuk\\SRC.BAK"), 1u);
  EXPECT_EQ(outside.count("/tmp\\Vemo\\Vuk\\SRC.BAK.001"), 0u);
}

TEST_F(StepJournalTest, AnAbandonedConversionGivesTheTargetsBack) {
  const auto before = fs.Snapshot();
  {
    Conversion conversion(ctx);
    FileHandle out = conversion.Append("APP.DAT", FileMode::kBinary);
    ASSERT_TRUE(out);
    out->Write("more");
    ASSERT_TRUE(CloseFile(out));
    out = conversion.Create("NEW.DAT", FileMode::kBinary);
    ASSERT_TRUE(out);
    ASSERT_TRUE(CloseFile(out));
  }  // neither committed nor abandoned: abandoned
  EXPECT_EQ(fs.Snapshot(), before);
  EXPECT_FALSE(ConvFind(fs, "364"));
}

// The journal names the step whose conversion wrote it, so that the next run can tell whose
// interrupted work it rolled back; a copy of a read-only file goes with the rest.
TEST_F(StepJournalTest, TheRollBackNamesTheStepAndRemovesAReadOnlyCopy) {
  const auto before = fs.Snapshot();
  fs.SetReadOnly("SRC.DAT", true);
  platform::FaultFileSystem faults(fs);
  Context stopped{faults, sink, ""};
  {
    Conversion conversion(stopped, "split-ledgers");
    ASSERT_TRUE(conversion.Note("COPY.DAT"));
    ASSERT_TRUE(faults.Copy("SRC.DAT", "COPY.DAT", false));
    // The run dies here: from now on nothing reaches the disk, its roll-back neither.
    faults.StopAt(platform::FaultOp::kCopy, 1);
    EXPECT_FALSE(faults.Copy("SRC.DAT", "MORE.DAT", false));
  }
  ASSERT_TRUE(fs.Attributes("LIVRANA.JNL"));
  std::string step;
  ASSERT_TRUE(RecoverConversion(ctx, &step));
  EXPECT_EQ(step, "split-ledgers");
  fs.SetReadOnly("SRC.DAT", false);
  EXPECT_EQ(fs.Snapshot(), before);

  // A committed list with an action that no conversion writes: the journal is damaged.
  Put("LIVRANA.JNL", "Z SRC.DAT\r\nC\r\n");
  Outcome damaged = RecoverConversion(ctx);
  EXPECT_EQ(damaged.cause(), Cause::kDamaged);
  EXPECT_EQ(damaged.file(), "LIVRANA.JNL");
  EXPECT_EQ(File("SRC.DAT"), "source");
}

}  // namespace
}  // namespace livrana
