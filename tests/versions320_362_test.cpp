#include "library/v320/versions320_362.h"

#include <gtest/gtest.h>

#include "library/record_merge.h"
#include "library/registry.h"
#include "platform/fault_file_system.h"
#include "records/layouts/charts.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/ledgers.h"
#include "records/layouts/rate_tables.h"
#include "records/layouts/register.h"
#include "run/step_journal.h"
#include "tests/step_fixture.h"
#include "tools/sample.h"

namespace livrana {
namespace {

using test::Record;
using C = ChartLayout;
using G15 = G15Layout;
using L23 = Ledger23Layout;
using L26 = InvoiceLedgerLayout;
using R = RegisterLayout;

class Versions320To362Test : public test::StepTest {
 protected:
  void SetUp() override { fs.SetCurrentYear(2016); }
  void Run() { EXPECT_TRUE(ConvertVersions320To362(ctx)); }
};

// Writes a file of a data folder, with the folders on its way.
void PutIn(platform::FileSystem& fs, std::string_view path, std::string_view data) {
  auto parts = platform::SplitPath(path);
  std::string folder;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    folder += (i ? "\\" : "") + std::string(parts[i]);
    fs.MakeFolder(folder);
  }
  ASSERT_TRUE(test::WriteFile(fs, path, data)) << path;
}

const LibraryStep& Step() { return *FindLibraryStep("versions-320-362"); }

std::string Company(std::string_view code, std::string_view rate, std::string_view selector,
                    bool deleted = false) {
  return Record(kCompanyRecordLength, {{R::kCode, code},
                                       {R::kRateCode, rate},
                                       {R::kMergesChart, selector},
                                       {R::kDeleted, deleted ? "+" : " "}});
}
std::string G06(std::string_view kind, std::string_view name, char deleted = ' ') {
  return Record(
      142,
      {{0, kind}, {3, "dropped"}, {11, name}, {31, "dropped"}, {141, std::string(1, deleted)}});
}
std::string F19(std::string_view number, std::string_view kind, std::string_view co,
                std::string_view name) {
  return Record(501, {{0, number}, {11, "ECF"}, {87, kind}, {90, co}, {101, name}});
}
std::string Account(std::string_view code, std::string_view text) {
  return Record(kChartRecordLength, {{C::kNumber, code}, {C::kText, text}});
}
// A shared account after the merge and the field fix.
std::string SharedAccount(std::string_view code, std::string_view text, std::string_view co) {
  return Record(
      kChartRecordLength,
      {{C::kNumber, code}, {C::kText, text}, {C::kMarker, std::string("1  ") + std::string(co)}});
}

TEST_F(Versions320To362Test, RecodesTheRegisterMovesTheFoldersAndMergesTheSelectedCharts) {
  Put(kCompanyRegister, Company("0001", "1", "1") + Company("0002", "3", " ") +
                            Company("0003", "99", "0") + Company("0009", "1", "1", true));
  Put("0001\\G06.DAT", G06("001", "CAIXA UM") + G06("XXX", "APAGADO", '+') +
                           G06("002", "CAIXA DOIS") + G06("003", "CAIXA TRES"));
  Put("0001\\G20R0.DAT", Account("00001", "NAO JUNTA"));
  Put("0001\\G15.DAT", Record(kG15Record, {{G15::kName, "UM"}}));
  Put("0002\\G06.DAT", G06("004", "QUATRO") + G06("005", "CINCO"));
  Put("0002\\G20R0.DAT", Account("00001", "CAIXA") + Account("00002", "BANCO"));
  Put("0002\\L232016.DAT", Record(kLedger23RecordLength, {{L23::kAccount, "00002"}}));
  Put("0002\\L262016.DAT", Record(kInvoiceLedgerRecord, {{L26::kKind, "0"}, {L26::kState, "1"}}));
  Put("0002\\G15.DAT", Record(kG15Record, {{G15::kName, "DOIS"}}));
  Run();

  // Field 42 of 0001 was "1" and is now "0": its chart stays its own.
  EXPECT_EQ(File(kCompanyRegister), Company("0001", "10", "0") + Company("0002", "21", "1") +
                                        Company("0003", "  ", "1") +
                                        Company("0009", "1", "1", true));
  EXPECT_EQ(File("R00\\0001\\G20R0.DAT"), Account("00001", "NAO JUNTA"));
  EXPECT_EQ(File(kSharedChartFile),
            SharedAccount("00002", "CAIXA", "0002") + SharedAccount("00003", "BANCO", "0002"));
  EXPECT_EQ(File("R00\\0002\\L232016.DAT"),
            Record(kLedger23RecordLength, {{L23::kAccount, "00003"}}));
  EXPECT_EQ(File("F34.DAT"), Record(30, {{10, "20"}, {20, "4"}}));
  EXPECT_EQ(File("R00\\0002\\L262016.DAT"),
            Record(kInvoiceLedgerRecord, {{L26::kKind, "0"}, {L26::kState, "0"}}));
  // One sequence over both companies.
  EXPECT_EQ(File("F19.DAT"),
            F19("00001", "001", "0001", "CAIXA UM") + F19("00002", "002", "0001", "CAIXA DOIS") +
                F19("00003", "003", "0001", "CAIXA TRES") + F19("00004", "004", "0002", "QUATRO") +
                F19("00005", "005", "0002", "CINCO"));
  EXPECT_TRUE(Saved("R00\\0001\\G06.DAT"));
  // Both companies' yearly table is of the same year.
  EXPECT_EQ(File("R00\\0001\\L152016.DAT").substr(0, 4), "UM  ");
  EXPECT_EQ(File("R00\\0002\\L152016.DAT").substr(0, 4), "DOIS");
  EXPECT_FALSE(Exists("0001"));
  EXPECT_FALSE(Exists("0002"));
  EXPECT_EQ(File("CONV.DAT"), "320\r\n360\r\n362\r\n");

  // A second call changes nothing that a mark governs; a G06.DAT that turns up is still
  // converted, numbered from 1 again. A Ctrl-Z ends it as the end of the file would: the
  // record it cuts gives what it holds before it, the records after it are not read.
  auto before = fs.Snapshot();
  Run();
  EXPECT_EQ(fs.Snapshot(), before);
  std::string cut = G06("007", "SETE");
  cut[50] = 0x1A;
  Put("R00\\0001\\G06.DAT", G06("006", "SEIS") + cut + G06("008", "OITO"));
  Run();
  EXPECT_EQ(File("F19.DAT"), before["F19.DAT"] + F19("00001", "006", "0001", "SEIS") +
                                 F19("00002", "007", "0001", "SETE"));
}

TEST_F(Versions320To362Test, WithEveryMarkSetOnlyTheUnguardedPartsConvert) {
  Put("CONV.DAT", "320\r\n360\r\n362\r\n");
  std::string reg = Company("0001", "1", " ") + Company("0002", "2", " ");
  Put(kCompanyRegister, reg);
  std::string narrow = Record(kNarrowRecord, {{0, "MOVIMENTO"}});
  std::string wide0 = Record(kWideRecord, {{0, "MOVIMENTO"}, {66, "0"}});
  Put("0001\\G24.DAT", Record(kG07Record, {{0, "CLIENTE"}}));
  Put("0001\\G18.DAT", narrow);
  Put("0001\\G19.DAT", narrow);
  Put("0001\\L082016.DAT", narrow);
  Put("0001\\L092016.DAT", narrow);
  std::string l26 = Record(kInvoiceLedgerRecord, {{L26::kKind, "0"}, {L26::kState, "1"}});
  std::string chart = Account("00001", "CAIXA");
  Put("0001\\L262016.DAT", l26);
  Put("0001\\G20R0.DAT", chart);
  Put(kSharedChartFile, chart);
  Put("0002\\G24.DAT", "g24");
  Put("0002\\G07.DAT", Record(kG07Record, {{0, "JA EXISTE"}}));
  Run();

  EXPECT_EQ(File(kCompanyRegister), reg);
  EXPECT_EQ(File("R00\\0001\\L262016.DAT"), l26);
  EXPECT_EQ(File("R00\\0001\\G20R0.DAT"), chart);
  EXPECT_EQ(File(kSharedChartFile), chart);
  std::string wide1 = Record(kWideRecord, {{0, "MOVIMENTO"}, {66, "1"}});
  EXPECT_EQ(File("R00\\0001\\G32.DAT"), wide0 + wide1);
  EXPECT_EQ(File("R00\\0001\\L332016.DAT"), wide0 + wide1);
  EXPECT_EQ(File("R00\\0001\\G07R0.DAT"), Record(kG07R0Record, {{0, "CLIENTE"}}));
  EXPECT_EQ(File("R00\\0002\\G24.DAT"), "g24");
  EXPECT_EQ(File("R00\\0002\\G07R0.DAT"), Record(kG07R0Record, {{0, "JA EXISTE"}}));
  EXPECT_EQ(File("CONV.DAT"), "320\r\n360\r\n362\r\n");
}

TEST_F(Versions320To362Test, OldCountersMoveIntoTheCountersFileWhenThatWasMissing) {
  // The chart merge of 0001 creates F34.DAT with the counter "20" first.
  Put(kCompanyRegister, Company("0001", "", " "));
  Put("CONFIGA.DAT", "         12         34          0     000056");
  Run();
  EXPECT_EQ(File("F34.DAT"),
            Record(30, {{10, "20"}, {20, "1"}}) + Record(30, {{10, "0"}, {20, "12"}}) +
                Record(30, {{10, "1"}, {20, "34"}}) + Record(30, {{10, "8"}, {20, "56"}}));
  EXPECT_FALSE(Exists("CONFIGA.DAT"));

  Put("CONFIGA.DAT", "         99");
  Run();
  EXPECT_EQ(File("CONFIGA.DAT"), "         99");
  EXPECT_EQ(File("F34.DAT").size(), 120u);
}

TEST_F(Versions320To362Test, FoldersLeftBehindMoveOnlyWhenTheyArePlainFolders) {
  Put(kCompanyRegister, Company("0001", "", ""));
  for (std::string_view folder : {"0001", "0002", "0003", "0004", "Backup", "7"})
    fs.MakeFolder(folder);
  fs.SetAttributes("0003", platform::kHidden);
  fs.SetReadOnly("0004", true);
  Put("1234.DAT", "a file");
  // 0002 is left out by the filter, and still moves.
  ctx.company_filter = "0001";
  Run();
  EXPECT_TRUE(Exists("R00\\0001"));
  EXPECT_TRUE(Exists("R00\\0002"));
  EXPECT_TRUE(Exists("R00\\7"));
  EXPECT_TRUE(Exists("0003"));
  EXPECT_TRUE(Exists("0004"));
  EXPECT_TRUE(Exists("Backup"));
  EXPECT_TRUE(Exists("1234.DAT"));
}

// Two companies with every table the step converts; the first is listed again in another
// letter case, and its G06.DAT and G20R0.DAT end with the CR LF that many tools leave.
void SmallFolder(platform::MemoryFileSystem& fs) {
  fs.SetCurrentYear(2016);
  PutIn(fs, kCompanyRegister,
        Company("A1", "1", " ") + Company("0002", "4", " ") + Company("a1", "2", " "));
  PutIn(fs, kSharedChartFile, Account("00003", "COMUM"));
  PutIn(fs, "CONFIGA.DAT", "          7         0");
  for (std::string_view co : {"A1", "0002"}) {
    std::string f(co);
    std::string narrow = Record(kNarrowRecord, {{0, "MOV " + f}});
    PutIn(fs, f + "\\G24.DAT", Record(kG07Record, {{0, "CLIENTE " + f}}));
    PutIn(fs, f + "\\G18.DAT", narrow + narrow);
    PutIn(fs, f + "\\G19.DAT", narrow);
    PutIn(fs, f + "\\L082016.DAT", narrow);
    PutIn(fs, f + "\\L092016.DAT", narrow);
    PutIn(fs, f + "\\G16.DAT",
          Record(kRateEntries * kRateEntry, {{RateEntryLayout::kFirst, "1,5"},
                                             {RateEntryLayout::kGap, "xx"},
                                             {RateEntryLayout::kSecond, "2,25"}}));
    PutIn(fs, f + "\\G15.DAT",
          Record(kG15Record, {{G15::kName, "BEM " + f}, {G15::kRateCode, "01"}}));
    PutIn(fs, f + "\\G06.DAT", G06("001", "CAIXA " + f) + G06("002", "OUTRA " + f) + "\r\n");
    PutIn(fs, f + "\\L262016.DAT",
          Record(kInvoiceLedgerRecord, {{L26::kKind, "2"},
                                        {L26::kTicket, "000123"},
                                        {L26::kState, "1"},
                                        {L26::kOperation, "5 "},
                                        {kInvoiceLedgerPositions[4], "150,00"}}) +
              Record(kInvoiceLedgerRecord, {{L26::kKind, "0"}, {L26::kState, "0"}}));
    PutIn(fs, f + "\\L232016.DAT",
          Record(kLedger23RecordLength, {{L23::kAccount, "00001"}, {L23::kThirdAccount, "00002"}}));
    PutIn(fs, f + "\\G20R0.DAT",
          Account("00001", "CAIXA " + f) + Account("00002", "BANCO") + "\r\n");
  }
}

using Files = std::map<std::string, std::string>;
struct Result {
  Files data, outside;
  bool operator==(const Result&) const = default;
};
Result Snapshot(const platform::MemoryFileSystem& fs) {
  return {fs.Snapshot(), fs.SnapshotOutside()};
}

Result CleanRun() {
  platform::MemoryFileSystem fs;
  SmallFolder(fs);
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};
  EXPECT_TRUE(RunLibraryStep(Step(), ctx));
  return Snapshot(fs);
}

TEST(Versions320To362Run, AFolderListedTwiceIsConvertedOnceAndLineEndsAreNoRecords) {
  platform::MemoryFileSystem fs;
  SmallFolder(fs);
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};
  ASSERT_TRUE(RunLibraryStep(Step(), ctx));
  // The register record listed again is recoded as its own; its folder is not converted again.
  EXPECT_EQ(fs.Snapshot()["F00R0.DAT"],
            Company("A1", "10", "1") + Company("0002", "22", "1") + Company("a1", "21", "1"));
  ASSERT_EQ(sink.notes.size(), 1u);
  EXPECT_NE(sink.notes[0].find("(a1)"), std::string::npos);
  // Ledger codes shifted once by base 4; offset 61 recoded once.
  EXPECT_EQ(
      fs.Snapshot()["R00\\A1\\L232016.DAT"],
      Record(kLedger23RecordLength, {{L23::kAccount, "00005"}, {L23::kThirdAccount, "00006"}}));
  EXPECT_EQ(fs.Snapshot()["R00\\A1\\L262016.DAT"],
            Record(kInvoiceLedgerRecord, {{L26::kKind, "2"},
                                          {L26::kState, "0"},
                                          {L26::kOperation, "5933"},
                                          {L26::kItemFlag, "5"},
                                          {L26::kExtraNumber, "000123"},
                                          {kInvoiceLedgerPositions[7], "150,00"}}) +
                Record(kInvoiceLedgerRecord, {{L26::kKind, "0"}, {L26::kState, "2"}}));
  EXPECT_EQ(fs.Snapshot()["F19.DAT"], F19("00001", "001", "A1", "CAIXA A1") +
                                          F19("00002", "002", "A1", "OUTRA A1") +
                                          F19("00003", "001", "0002", "CAIXA 0002") +
                                          F19("00004", "002", "0002", "OUTRA 0002"));
  EXPECT_EQ(fs.Snapshot()["F20R0.DAT"].size(), 5u * kChartRecordLength);
  EXPECT_EQ(fs.Snapshot()["CONV.DAT"], "320\r\n360\r\n362\r\n");
  EXPECT_FALSE(fs.Attributes(kVersions320State));
  EXPECT_FALSE(fs.Attributes(kStepJournal));
}

// A run stopped at any write or rename (as a killed process stops; closes and flushes write
// what the writes gave), then run again, leaves the data folder and the safety folder of one
// uninterrupted run: nothing converted twice (the register's rate code, the ledgers' offset 61 and
// codes, F19.DAT and the merged accounts), nothing lost.
TEST(Versions320To362Run, EveryStopIsFinishedByTheNextRun) {
  const Result done = CleanRun();
  for (platform::FaultOp op : {platform::FaultOp::kWrite, platform::FaultOp::kRename}) {
    for (long long k = 1;; ++k) {
      platform::MemoryFileSystem fs;
      SmallFolder(fs);
      test::RecordingSink sink;
      platform::FaultFileSystem faults(fs);
      faults.StopAt(op, k);
      Context stopped{faults, sink, ""};
      if (RunLibraryStep(Step(), stopped).ok() && !faults.Stopped()) {
        EXPECT_EQ(Snapshot(fs), done);
        break;  // no fault point left; a finished folder is refused by the guard
      }
      Context again{fs, sink, ""};
      Outcome rerun = RunLibraryStep(Step(), again);
      ASSERT_TRUE(rerun) << "op " << static_cast<int>(op) << " at " << k << ": " << Describe(rerun);
      ASSERT_EQ(Snapshot(fs), done) << "op " << static_cast<int>(op) << " stop at " << k;
    }
  }
}

// A full disk from any write on stops the step with the failure told and given back; the next
// run finishes the work.
TEST(Versions320To362Run, AFullDiskIsReportedAndTheNextRunFinishes) {
  const Result done = CleanRun();
  for (long long k = 1;; ++k) {
    platform::MemoryFileSystem fs;
    SmallFolder(fs);
    test::RecordingSink sink;
    platform::FaultFileSystem faults(fs);
    faults.FullDiskAt(k);
    Context full{faults, sink, ""};
    Outcome outcome = RunLibraryStep(Step(), full);
    if (outcome) {
      EXPECT_EQ(Snapshot(fs), done) << "full at " << k;
      break;
    }
    EXPECT_EQ(outcome.cause(), Cause::kDiskFull) << "full at " << k;
    EXPECT_FALSE(outcome.file().empty()) << "full at " << k;
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back().kind, "fail");
    Context again{fs, sink, ""};
    ASSERT_TRUE(RunLibraryStep(Step(), again)) << "full at " << k;
    ASSERT_EQ(Snapshot(fs), done) << "full at " << k;
  }
}

// The step takes a folder with company folders in the data folder, also one where some have
// moved below R00 already or a run stopped; it refuses the current layout and the next one,
// changing nothing.
TEST(Versions320To362Run, TheGuardTakesItsInputLayoutOnly) {
  auto sample = [](std::string_view before, platform::MemoryFileSystem& fs) {
    SampleOptions options;
    options.companies = 2;
    options.records = 3;
    options.before = before;
    ASSERT_TRUE(WriteSampleFolder(fs, options).ok);
  };
  {
    platform::MemoryFileSystem fs;
    sample("versions-320-362", fs);
    EXPECT_TRUE(HasVersions320To362Input(fs));
    fs.MakeFolder("R00");
    ASSERT_TRUE(fs.Rename("0001", "R00\\0001"));
    EXPECT_TRUE(HasVersions320To362Input(fs));
  }
  for (std::string_view later : {"", "invoices-364"}) {
    platform::MemoryFileSystem fs;
    sample(later, fs);
    EXPECT_FALSE(HasVersions320To362Input(fs)) << later;
    const Result before = Snapshot(fs);
    test::RecordingSink sink;
    Context ctx{fs, sink, ""};
    Outcome refused = RunLibraryStep(Step(), ctx);
    EXPECT_EQ(refused.cause(), Cause::kLayout) << later;
    EXPECT_EQ(Snapshot(fs), before) << later;
    // A call that stopped after every folder had moved is finished.
    PutIn(fs, kVersions320State, "Y 2016\r\nF 1\r\n");
    EXPECT_TRUE(HasVersions320To362Input(fs)) << later;
  }
}

}  // namespace
}  // namespace livrana
