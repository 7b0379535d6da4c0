// A data folder of the oldest layout taken through the four steps of the first generations
// in order: it ends in the company-folder layout with the yearly L23 and L26 files.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "library/first/company_folders.h"
#include "library/first/import_old_files.h"
#include "library/first/rebuild_registers.h"
#include "library/first/split_ledgers.h"
#include "library/registry.h"
#include "platform/fault_file_system.h"
#include "platform/memory_file_system.h"
#include "records/layouts/charts.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/ledgers.h"
#include "records/layouts/old_ledgers.h"
#include "records/layouts/phone_tables.h"
#include "run/step_journal.h"
#include "tests/step_fixture.h"
#include "tools/sample.h"

namespace livrana {
namespace {

using test::Record;

// The kind character of every record of a yearly file (L23 or L26).
std::string Kinds(const std::string& data, std::size_t width) {
  static_assert(Ledger23Layout::kKind == InvoiceLedgerLayout::kKind);
  std::string kinds;
  for (std::size_t at = 0; at + width <= data.size(); at += width)
    kinds += data[at + InvoiceLedgerLayout::kKind];
  return data.size() % width == 0 ? kinds : "<torn>";
}

using ChainFirstGenerationTest = test::StepTest;

TEST_F(ChainFirstGenerationTest, TheOldestLayoutEndsInCompanyFoldersWithYearlyFiles) {
  Put("F0.DAT", Record(700, {{0, "0001"}, {11, "Livraria Central"}, {545, "03"}}));
  Put("f1.dat", Record(700, {{0, "cliente"}}));
  Put("f2.dat", Record(700, {{0, "fornecedor"}}));
  Put("f0dp.dat", Record(51, {{0, "departamento"}, {41, "0001"}}));
  Put("f3.dat", Record(142, {{0, "0001"}, {11, "tabela"}}));
  Put("group00.dat", Record(52, {{0, "grupo"}}));
  for (std::string_view folder :
       {"G01", "G04", "G06", "L01", "L02", "L03", "data", "daen2", "dasa2", "L07", "L10"}) {
    fs.MakeFolder(folder);
  }
  std::string ledger = Record(kL01Record, {{L01Layout::kDate, "10/04/1998"},
                                           {L01Layout::kDebit, "10,00"},
                                           {L01Layout::kCredit, "25,00"}});
  Put("data\\0001.dat", ledger + ledger);
  Put("daen2\\00012.dat",
      Record(kL03Record, {{L03Layout::kDate, "05/05/1998"}, {L03Layout::kKind, "5"}}));
  Put("dasa2\\00012.dat",
      Record(kL03Record, {{L03Layout::kDate, "06/06/1998"}, {L03Layout::kKind, "0"}}));
  Put("L07\\0001.dat",
      Record(kL07Record, {{L07Layout::kDate, "07/07/1998"}, {L07Layout::kAmount, "99,00"}}));
  std::string month = Record(
      kMonthlyRecord, {{MonthlyLayout::kMonth, "02"}, {MonthlyLayout::kFirstColumn, "coluna 1"}});
  Put("L10\\0001A2004.dat", month);

  EXPECT_TRUE(ImportOldFileSet(ctx));
  EXPECT_TRUE(MoveToCompanyFolders(ctx));
  EXPECT_TRUE(RebuildRegisterFiles(ctx));
  EXPECT_TRUE(SplitLedgersByYear(ctx));

  std::vector<std::string> names;
  for (const auto& [name, data] : fs.Snapshot()) names.push_back(name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"0001\\", "0001\\G04.dat", "0001\\G06.dat", "0001\\G20.DAT",
                                      "0001\\G21.DAT", "0001\\L231998.DAT", "0001\\L261998.DAT",
                                      "0001\\L262004.DAT", "F00R0.DAT", "F01R0.DAT", "F02R1.DAT"}));
  EXPECT_EQ(sink.messages.size(), 0u);

  EXPECT_EQ(File(kCompanyRegister),
            Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"},
                                          {11, "Livraria Central"},
                                          {RegisterLayout::kRateCode, "06"}}));
  EXPECT_EQ(File(kTable01), Record(kTable01RecordLength, {{PhoneFields::kCode, "cliente"}}));
  EXPECT_EQ(File(kTable02), Record(kTable02RecordLength, {{PhoneFields::kCode, "fornecedor"}}));
  EXPECT_EQ(File("0001\\G04.dat"), Record(220, {{0, "departamento"}}));
  EXPECT_EQ(File("0001\\G06.dat"), Record(142, {{0, "tabela"}}));
  // The group record, widened to 209 on its way from G01 to G20 and G21.
  std::string group = Record(kChartRecordLength,
                             {{OldChartLayout::kCode, "grupo"}, {OldChartLayout::kPosted, "0"}});
  EXPECT_EQ(File("0001\\G20.DAT"), group);
  EXPECT_EQ(File("0001\\G21.DAT"), group);
  // Two ledger records ("B"), then the movement ("F"); L03 itself ("0") and the L02 record
  // that joined it ("0" after the join); both months of L10 ("A", "a").
  std::string l23 = File("0001\\L231998.DAT");
  EXPECT_EQ(Kinds(l23, kLedger23RecordLength), "BBF");
  constexpr std::size_t kSideAndAmount = 1 + Ledger23Layout::kAmountWidth;
  EXPECT_EQ(l23.substr(Ledger23Layout::kSide, kSideAndAmount),
            Record(kSideAndAmount, {{0, "C15,00"}}));
  EXPECT_EQ(Kinds(File("0001\\L261998.DAT"), kInvoiceLedgerRecord), "00");
  EXPECT_EQ(File("0001\\L262004.DAT"),
            Record(kInvoiceLedgerRecord, {{0, "29/02/2004A01/02/2004"}, {24, "coluna 1"}}) +
                Record(kInvoiceLedgerRecord, {{0, "29/02/2004a01/02/2004"}}));

  // The whole chain again changes nothing.
  auto before = fs.Snapshot();
  auto saved = fs.SnapshotOutside();
  EXPECT_TRUE(ImportOldFileSet(ctx));
  EXPECT_TRUE(MoveToCompanyFolders(ctx));
  EXPECT_TRUE(RebuildRegisterFiles(ctx));
  EXPECT_TRUE(SplitLedgersByYear(ctx));
  EXPECT_EQ(fs.Snapshot(), before);
  EXPECT_EQ(fs.SnapshotOutside(), saved);
}

// ---- The four steps over the sample folders of their layouts ---------------------------

constexpr std::array<std::string_view, 4> kFirstSteps = {"import-old-files", "company-folders",
                                                         "rebuild-registers", "split-ledgers"};

using Snapshot = std::map<std::string, std::string>;

// A small sample folder just before a step ("" for the current layout).
Snapshot SampleBefore(std::string_view step, int companies = 2, int records = 3) {
  SampleOptions options;
  options.companies = companies;
  options.records = records;
  options.before = step;
  platform::MemoryFileSystem fs;
  SampleResult result = WriteSampleFolder(fs, options);
  EXPECT_TRUE(result.ok) << result.error;
  return fs.Snapshot();
}

void Restore(platform::MemoryFileSystem& fs, const Snapshot& files) {
  ASSERT_TRUE(test::Restore(fs, files));
}

struct Result {
  Outcome outcome;
  Snapshot folder, safety;
};

Result RunStep(const LibraryStep& step, platform::MemoryFileSystem& fs,
               platform::FileSystem* over = nullptr) {
  test::RecordingSink sink;
  Context ctx{over != nullptr ? *over : fs, sink, ""};
  Result result;
  result.outcome = RunLibraryStep(step, ctx);
  result.folder = fs.Snapshot();
  result.safety = fs.SnapshotOutside();
  return result;
}

// Each step takes the folder of its input layout and refuses, unchanged, the current folder
// and the folder that it leaves itself (the input of the next step).
TEST(FirstGenerationGuardTest, EachStepTakesItsLayoutAndRefusesLaterOnes) {
  for (std::size_t i = 0; i < kFirstSteps.size(); ++i) {
    const LibraryStep& step = *FindLibraryStep(kFirstSteps[i]);
    SCOPED_TRACE(std::string(step.name));
    ASSERT_NE(step.has_input, nullptr);
    platform::MemoryFileSystem input;
    Restore(input, SampleBefore(step.name));
    EXPECT_TRUE(step.has_input(input));
    const std::string_view later = i + 1 < kFirstSteps.size() ? kFirstSteps[i + 1] : "version-301";
    for (std::string_view layout : {later, std::string_view()}) {
      platform::MemoryFileSystem fs;
      Restore(fs, SampleBefore(layout));
      const Snapshot before = fs.Snapshot();
      EXPECT_FALSE(step.has_input(fs)) << "before " << layout;
      Result refused = RunStep(step, fs);
      EXPECT_EQ(refused.outcome.cause(), Cause::kLayout) << "before " << layout;
      EXPECT_EQ(refused.folder, before);
      EXPECT_EQ(refused.safety, platform::MemoryFileSystem().SnapshotOutside());
      // A rerun that took over the lock of a stopped run of the step finds its work done.
      test::RecordingSink sink;
      Context ctx{fs, sink, ""};
      EXPECT_TRUE(RunLibraryStep(step, ctx, true)) << "before " << layout;
      EXPECT_EQ(fs.Snapshot(), before);
    }
    // ... but not when the folder is still in an older layout than the step's input.
    platform::MemoryFileSystem fs;
    if (i > 0) Restore(fs, SampleBefore(kFirstSteps[i - 1]));
    if (i > 0 && !step.has_input(fs)) {
      test::RecordingSink sink;
      Context ctx{fs, sink, ""};
      EXPECT_EQ(RunLibraryStep(step, ctx, true).cause(), Cause::kLayout);
    }
  }
}

// Each step stopped at any write, rename, copy, close or flush, then run again, leaves the
// folder and the safety folder of one run that was not stopped; meanwhile the guard takes
// the half-converted folder.
TEST(FirstGenerationGuardTest, AStepStoppedAnywhereIsFinishedByTheNextRun) {
  for (std::string_view name : kFirstSteps) {
    const LibraryStep& step = *FindLibraryStep(name);
    SCOPED_TRACE(std::string(name));
    const Snapshot input = SampleBefore(name, 1, 1);
    platform::MemoryFileSystem clean_fs;
    Restore(clean_fs, input);
    const Result clean = RunStep(step, clean_fs);
    ASSERT_TRUE(clean.outcome) << Describe(clean.outcome);
    for (platform::FaultOp op :
         {platform::FaultOp::kWrite, platform::FaultOp::kRename, platform::FaultOp::kCopy,
          platform::FaultOp::kClose, platform::FaultOp::kFlush}) {
      for (long long k = 1;; ++k) {
        platform::MemoryFileSystem fs;
        Restore(fs, input);
        platform::FaultFileSystem faults(fs);
        faults.StopAt(op, k);
        Result stopped = RunStep(step, fs, &faults);
        if (!faults.Stopped()) {
          EXPECT_TRUE(stopped.outcome);
          break;
        }
        if (stopped.outcome) {
          // Stopped where nothing was left to change (a source's closing): done all the same.
          ASSERT_EQ(stopped.folder, clean.folder) << "op " << static_cast<int>(op) << " at " << k;
          continue;
        }
        Result again = RunStep(step, fs);
        ASSERT_TRUE(again.outcome)
            << "op " << static_cast<int>(op) << " at " << k << ": " << Describe(again.outcome);
        ASSERT_EQ(again.folder, clean.folder) << "op " << static_cast<int>(op) << " at " << k;
        ASSERT_EQ(again.safety, clean.safety) << "op " << static_cast<int>(op) << " at " << k;
      }
    }
  }
}

}  // namespace
}  // namespace livrana
