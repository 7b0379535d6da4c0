#include "convert/convert434.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "records/company.h"
#include "records/layouts/invoices.h"
#include "records/layouts/phone_tables.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::ReadFile;
using test::Record;
using test::WriteFile;
using I = InvoiceLayout;
using P = PhoneFields;

std::string Company(std::string_view code, std::string_view phone1 = "",
                    std::string_view phone2 = "", bool deleted = false) {
  return Record(kCompanyRecordLength, {{RegisterLayout::kCode, code},
                                       {P::kPhone1, phone1},
                                       {P::kPhone2, phone2},
                                       {RegisterLayout::kDeleted, deleted ? "+" : " "}});
}

// The example invoice of the step: qualifies, and shows where every piece goes.
const std::string kInvoice = Record(kInvoiceRecord, {{I::kKind, "0"},
                                                     {I::kOld, "ABCDEFGHIJ"},
                                                     {I::kMid, "RSTUVWXYZ"},
                                                     {200, "rest of the record"},
                                                     {kInvoiceRecord - 1, "*"}});
const std::string kConverted = Record(kInvoiceRecord, {{I::kKind, "0"},
                                                       {I::kMid, "ABCDEFGHI"},
                                                       {I::kNew, "RSTUVWXYZ"},
                                                       {200, "rest of the record"},
                                                       {kInvoiceRecord - 1, "*"}});

class Convert434Test : public test::StepTest {
 protected:
  Convert434Result Run(std::string filter = "", platform::FileSystem* over = nullptr) {
    return RunStep([](Context& run) { return Convert434(run); }, std::move(filter), over);
  }
  std::vector<std::string> Informs() const {
    std::vector<std::string> texts;
    for (const auto& m : sink.messages) {
      EXPECT_EQ(m.kind, "inform");
      EXPECT_EQ(m.caption, "Conversão 4.34");
      texts.push_back(m.text);
    }
    return texts;
  }
};

TEST_F(Convert434Test, RewritesTheThreeFieldsOfQualifyingInvoiceRecords) {
  Put(kCompanyRegister, Company("0001"));
  std::string other_kind = Record(kInvoiceRecord, {{I::kKind, "1"}, {I::kOld, "ABCDEFGHIJ"}});
  std::string filled_gap = Record(kInvoiceRecord, {{I::kKind, "0"}, {I::kGap, "XABCDEFGHIJ"}});
  std::string empty_old = Record(kInvoiceRecord, {{I::kKind, "0"}, {I::kOld + 1, "BCDEFGHIJ"}});
  Put("R00\\0001\\L50A1995.DAT", kInvoice + other_kind + filled_gap + empty_old + kInvoice);

  auto result = Run();
  EXPECT_EQ(File("R00\\0001\\L50A1995.DAT"),
            kConverted + other_kind + filled_gap + empty_old + kConverted);
  EXPECT_EQ(result.converted, 2);
  EXPECT_EQ(Informs(), std::vector<std::string>{"NF convertidas: 2"});
  EXPECT_EQ(sink.statuses, (std::vector<std::string>{"Empresa 0 (0001)", "Empresa 0 (0001) - NF 1",
                                                     "Empresa 0 (0001) - NF 2"}));

  // A converted record no longer qualifies: a second run changes nothing.
  auto before = fs.Snapshot();
  result = Run();
  EXPECT_EQ(result.converted, 0);
  EXPECT_EQ(Informs(), std::vector<std::string>{"NF convertidas: 0"});
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(Convert434Test, VisitsTheYears1990To2018OfSelectedCompaniesOnly) {
  // A listed again: its files, converted and perhaps not yet written back, are not read
  // again in their old form.
  Put(kCompanyRegister, Company("A") + Company("GONE", "", "", true) + Company("B") + Company("A"));
  for (auto code : {"A", "GONE", "B"}) {
    for (int year : {1989, 1990, 2018, 2019}) {
      Put("R00\\" + std::string(code) + "\\L50A" + std::to_string(year) + ".DAT", kInvoice);
    }
  }
  auto result = Run();
  EXPECT_EQ(result.converted, 4);
  EXPECT_EQ(result.companies, (std::vector<std::string>{"A", "B", "A"}));
  // Only counted: the file lists grow with the folder and are kept only when asked for.
  EXPECT_EQ(result.invoice_files_changed, 4);
  EXPECT_EQ(result.files_changed_count, 5);  // and FTEL1.DAT
  EXPECT_TRUE(result.invoice_files.empty() && result.files_changed.empty());
  for (auto code : {"A", "B"}) {
    std::string base = "R00\\" + std::string(code) + "\\L50A";
    EXPECT_EQ(File(base + "1989.DAT"), kInvoice);
    EXPECT_EQ(File(base + "1990.DAT"), kConverted);
    EXPECT_EQ(File(base + "2018.DAT"), kConverted);
    EXPECT_EQ(File(base + "2019.DAT"), kInvoice);
  }
  EXPECT_EQ(File("R00\\GONE\\L50A1990.DAT"), kInvoice);
  // Companies are numbered by record; the count runs on across companies.
  EXPECT_EQ(sink.statuses,
            (std::vector<std::string>{
                "Empresa 0 (A)", "Empresa 0 (A) - NF 1", "Empresa 0 (A) - NF 2", "Empresa 2 (B)",
                "Empresa 2 (B) - NF 3", "Empresa 2 (B) - NF 4", "Empresa 3 (A)"}));
}

TEST_F(Convert434Test, CompanyFilterSelectsByExactCode) {
  Put(kCompanyRegister, Company("123") + Company("1234") + Company(" 123"));
  for (auto code : {"123", "1234", " 123"}) {
    Put("R00\\" + std::string(code) + "\\L50A2000.DAT", kInvoice);
  }
  EXPECT_EQ(Run("123").companies, std::vector<std::string>{"123"});
  EXPECT_EQ(File("R00\\1234\\L50A2000.DAT"), kInvoice);

  // The filter is not trimmed: no company matches, and nothing is changed; the user is told.
  const auto before = fs.Snapshot();
  auto result = Run("123 ");
  EXPECT_TRUE(result.companies.empty());
  EXPECT_EQ(result.outcome.cause(), Cause::kNoCompany);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].kind, "fail");
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(Convert434Test, AFolderWithoutDataFilesIsRefusedUnchanged) {
  // Empty, or holding a "register" of bytes that name no company.
  for (std::string_view content : {std::string_view(), std::string_view("\x01\x02\x7F\x1B")}) {
    platform::MemoryFileSystem folder;
    if (!content.empty()) {
      WriteFile(folder, kCompanyRegister,
                std::string(content) + std::string(kCompanyRecordLength - content.size(), '\x02'));
    }
    const auto before = folder.Snapshot();
    EXPECT_EQ(Run("", &folder).outcome.cause(), Cause::kNotDataFolder);
    EXPECT_EQ(folder.Snapshot(), before);
  }
}

TEST_F(Convert434Test, RecordsCutShortAreNeverLengthenedNorFilledFromElsewhere) {
  Put(kCompanyRegister, Company("0001"));
  // The last record ends before byte 138: converting it would lose the text of 80 to 88.
  std::string short_invoice = kInvoice.substr(0, I::kSpanEnd - 1);
  Put("R00\\0001\\L50A2001.DAT", kInvoice + short_invoice);
  Put("R00\\0001\\L50A2002.DAT", kInvoice.substr(0, I::kSpanEnd));
  auto result = Run();
  EXPECT_EQ(File("R00\\0001\\L50A2001.DAT"), kConverted + short_invoice);
  EXPECT_EQ(File("R00\\0001\\L50A2002.DAT"), kConverted.substr(0, I::kSpanEnd));
  EXPECT_EQ(result.converted, 2);
}

TEST_F(Convert434Test, MissingRegisterSkipsTheInvoicePhaseSilently) {
  Put(kTable01,
      Record(kTable01RecordLength, {{P::kCode, "C1"}, {P::kPhone1, std::string(40, '9')}}));
  auto result = Run();
  EXPECT_FALSE(result.register_found);
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_TRUE(result.phone_phase_ran);
  EXPECT_EQ(File(kPhoneTableFile),
            "0101"
            "0"
            "C1        " +
                Record(23, {{0, "999"}}) + "\r\n");
}

TEST_F(Convert434Test, CompanyCodesThatCannotNameAFolderArePassedOver) {
  Put(kCompanyRegister,
      Company("..") + Company("") + Company("CON") + Company("A*") + Company("OK"));
  Put("R00\\L50A1990.DAT", kInvoice);  // what an empty code would reach
  WriteFile(fs, "/tmp/L50A1990.DAT", kInvoice);
  Put("R00\\OK\\L50A1990.DAT", kInvoice);
  auto outside = fs.SnapshotOutside();
  auto result = Run();
  EXPECT_EQ(result.companies, std::vector<std::string>{"OK"});
  EXPECT_EQ(sink.notes.size(), 4u);
  EXPECT_EQ(File("R00\\L50A1990.DAT"), kInvoice);
  EXPECT_EQ(File("R00\\OK\\L50A1990.DAT"), kConverted);
  EXPECT_EQ(fs.SnapshotOutside(), outside);
}

// ---- Phone-table phase -----------------------------------------------------------------

std::string Line(std::string_view kind, std::string_view which, char merged, std::string_view code,
                 std::string_view text) {
  return std::string(kind) + std::string(which) + merged + Record(10, {{0, code}}) +
         Record(23, {{0, text}}) + "\r\n";
}

TEST_F(Convert434Test, PhoneTextsAreCutFoldedAndMovedToThePhoneTable) {
  std::string forty = "(11) 3456-7890 / (11) 3456-7891 Ramal 2";  // 39
  forty += "3";
  std::string twenty = "(21) 2222-3333 ramal";
  Put(kCompanyRegister, Company("0001", forty, "(11) 9") +  // cut, and the second moves out
                            Company("0002", twenty, "(21) 99999-888") +   // 20 + 14 + 3 = 37: folds
                            Company("0003", twenty, "(21) 99999-8888") +  // 38: does not fold
                            Company("0004", "(31) 5555-0000", "(31) 5555") +  // prefix: kept
                            Company("0005", "(31) AbC", "(31) aBc") +  // prefix ignoring case
                            Company("0006"));                          // both empty
  auto result = Run();
  std::string reg = File(kCompanyRegister);
  auto phones = [&](int n) {
    return reg.substr(static_cast<std::size_t>(n) * kCompanyRecordLength + P::kPhone1, 64);
  };
  EXPECT_EQ(phones(0), Record(64, {{0, forty.substr(0, P::kKept)}}));
  EXPECT_EQ(phones(1), Record(64, {{0, twenty + " / (21) 99999-888"}}));
  EXPECT_EQ(phones(2), Record(64, {{0, twenty}}));
  constexpr std::size_t kSecond = P::kPhone2 - P::kPhone1;
  EXPECT_EQ(phones(3), Record(64, {{0, "(31) 5555-0000"}, {kSecond, "(31) 5555"}}));
  EXPECT_EQ(phones(4), Record(64, {{0, "(31) AbC"}, {kSecond, "(31) aBc"}}));
  EXPECT_EQ(phones(5), Record(64, {}));
  EXPECT_EQ(File(kPhoneTableFile), Line("00", "01", '0', "0001", " 23") +
                                       Line("00", "02", '0', "0001", "(11) 9") +
                                       Line("00", "02", '1', "0002", "(21) 99999-888") +
                                       Line("00", "02", '0', "0003", "(21) 99999-8888"));
  EXPECT_EQ(result.phone_lines, 4);
  // Only the phone table remains of the work files.
  EXPECT_FALSE(fs.Attributes(kPhoneJournal));
  EXPECT_FALSE(fs.Attributes(kPhoneNew));
}

TEST_F(Convert434Test, PhoneTablesAreWalkedInKindOrderWithTheirOwnLengths) {
  Put(kTable08, Record(kTable08RecordLength, {{P::kCode, "EIGHT"}, {P::kPhone2, "8888"}}));
  Put(kTable01, Record(kTable01RecordLength, {{P::kCode, "ONE-A"}, {P::kPhone2, "1111"}}) +
                    Record(kTable01RecordLength, {{P::kCode, "ONE-B"}, {P::kPhone2, "2222"}}));
  Put(kTable02, Record(kTable02RecordLength, {{P::kCode, "TWO 234567890"}, {P::kPhone2, "3333"}}));
  Run();
  EXPECT_EQ(File(kPhoneTableFile), Line("01", "02", '1', "ONE-A", "1111") +
                                       Line("01", "02", '1', "ONE-B", "2222") +
                                       Line("02", "02", '1', "TWO 234567", "3333") +
                                       Line("08", "02", '1', "EIGHT", "8888"));
  EXPECT_EQ(File(kTable01).substr(kTable01RecordLength + P::kPhone1, 64),
            Record(64, {{0, " / 2222"}}));
}

TEST_F(Convert434Test, ExistingPhoneTableSwitchesThePhaseOff) {
  std::string table = Company("0001", std::string(40, '1'), "22");
  Put(kCompanyRegister, table);
  Put(kPhoneTableFile, "");
  auto result = Run();
  EXPECT_FALSE(result.phone_phase_ran);
  EXPECT_EQ(File(kCompanyRegister), table);
  EXPECT_EQ(File(kPhoneTableFile), "");
}

TEST_F(Convert434Test, PhoneRecordCutShortGivesOnlyTheCharactersItHas) {
  // The table's last record ends inside the second telephone field.
  constexpr std::size_t kCut = P::kPhone2 + 6;
  std::string last =
      Record(kTable02RecordLength,
             {{P::kCode, "LAST"}, {P::kPhone1, "(11) 1111"}, {P::kPhone2, "(11) 22"}})
          .substr(0, kCut);
  Put(kTable02, Record(kTable02RecordLength,
                       {{P::kCode, "FIRST"}, {P::kPhone1, "x"}, {P::kPhone2, "TAIL OF FIRST"}}) +
                    last);
  Run();
  std::string after = File(kTable02);
  ASSERT_EQ(after.size(), kTable02RecordLength + kCut);
  EXPECT_EQ(after.substr(kTable02RecordLength + P::kPhone1),
            Record(kCut - P::kPhone1, {{0, "(11) 1111 / (11) 2"}}));
  EXPECT_EQ(File(kPhoneTableFile), Line("02", "02", '1', "FIRST", "TAIL OF FIRST") +
                                       Line("02", "02", '1', "LAST", "(11) 2"));
}

TEST_F(Convert434Test, LineFeedsAndZeroBytesInFieldsAreCarriedAsText) {
  std::string phone1("(11)\n3456", 9);
  std::string phone2(
      "99\0"
      "88",
      5);
  Put(kTable01,
      Record(kTable01RecordLength, {{P::kCode, "C"}, {P::kPhone1, phone1}, {P::kPhone2, phone2}}));
  Run();
  EXPECT_EQ(File(kTable01).substr(P::kPhone1, 64), Record(64, {{0, phone1 + " / " + phone2}}));
  EXPECT_EQ(File(kPhoneTableFile), Line("01", "02", '1', "C", phone2));
}

// ---- Interruptions ---------------------------------------------------------------------

// A data folder with work in both phases; one invoice file and two phone tables span two
// blocks of the record layer (RecordFile::kBlockBytes).
void BuildFolder(platform::FileSystem& fs) {
  constexpr int kInvoiceRecords[] = {700, 1400, 2700};
  std::string reg;
  for (int c = 0; c < 3; ++c) {
    std::string code = "C" + std::to_string(c);
    reg += Company(code, c == 0 ? std::string(39, 'p') : "(11) 1234", "(11) 98" + code);
  }
  WriteFile(fs, kCompanyRegister, reg);
  fs.MakeFolder("R00");
  for (int c = 0; c < 3; ++c) {
    std::string code = "C" + std::to_string(c);
    fs.MakeFolder("R00\\" + code);
    std::string invoices;
    for (int r = 0; r < kInvoiceRecords[c]; ++r) {
      invoices += r % 3 == 0 ? Record(kInvoiceRecord, {{I::kKind, "1"}}) : kInvoice;
    }
    WriteFile(fs, "R00\\" + code + "\\L50A199" + std::to_string(c) + ".DAT", invoices);
  }
  std::string f01;
  for (int r = 0; r < 1300; ++r) {
    f01 +=
        Record(kTable01RecordLength, {{P::kCode, "F01-" + std::to_string(r)},
                                      {P::kPhone1, r % 2 ? std::string(41, 'q') : "(48) 3333-4444"},
                                      {P::kPhone2, "Ramal " + std::to_string(r)}});
  }
  WriteFile(fs, kTable01, f01);
  std::string f02;
  for (int r = 0; r < 1100; ++r) {
    f02 +=
        Record(kTable02RecordLength, {{P::kCode, "F02-" + std::to_string(r)},
                                      {P::kPhone1, r % 3 ? "(21) 2222-1111" : std::string(38, 'z')},
                                      {P::kPhone2, r % 4 ? "Fax " + std::to_string(r) : ""}});
  }
  WriteFile(fs, kTable02, f02);
}

using Snapshot = std::map<std::string, std::string>;

struct TableFile {
  std::string_view name;
  std::string_view kind;
  std::size_t length;
};
constexpr TableFile kTables[] = {{kCompanyRegister, "00", kCompanyRecordLength},
                                 {kTable01, "01", kTable01RecordLength},
                                 {kTable02, "02", kTable02RecordLength}};

// The records (kind, number) whose lines the whole entries of a journal hold, and those
// lines.
void ReadJournalEntries(const std::string& journal, std::set<std::pair<std::string, long>>& records,
                        std::vector<std::string>& lines) {
  using E = PhoneJournalEntry;
  for (std::size_t at = 0; at + E::kSize <= journal.size(); at += E::kSize) {
    std::string_view entry(journal.data() + at, E::kSize);
    records.emplace(std::string(entry.substr(E::kKind, E::kKindWidth)),
                    std::stol(std::string(entry.substr(E::kRecord, E::kRecordWidth))));
    char which = entry[E::kWhich];
    if (which == '1' || which == '3') lines.emplace_back(entry.substr(E::kLines, kPhoneLineBytes));
    if (which == '2' || which == '3')
      lines.emplace_back(entry.substr(E::kLines + kPhoneLineBytes, kPhoneLineBytes));
  }
}

// What a folder left by an interrupted run may hold: every invoice and table record as it
// was or as the uninterrupted run leaves it, never half converted; the text that left a
// table record already in the journal (or in the published phone table); and a phone
// table only when complete. Gives which phase the run had reached.
enum class Phase { kNotStarted, kInvoices, kPhones };
Phase ExpectNoTextLost(const Snapshot& original, const Snapshot& expected, const Snapshot& now) {
  Phase phase = Phase::kNotStarted;
  for (const auto& [path, before] : original) {
    if (path.find("L50A") == std::string::npos) continue;
    const std::string& after = expected.at(path);
    const std::string& seen = now.at(path);
    EXPECT_EQ(seen.size(), before.size()) << path;
    if (seen != before) phase = Phase::kInvoices;
    for (std::size_t at = 0; at < before.size(); at += kInvoiceRecord) {
      std::string_view rec = std::string_view(seen).substr(at, kInvoiceRecord);
      if (rec != std::string_view(before).substr(at, kInvoiceRecord) &&
          rec != std::string_view(after).substr(at, kInvoiceRecord))
        ADD_FAILURE() << path << ": record " << at / kInvoiceRecord << " half converted";
    }
  }
  auto published = now.find(std::string(kPhoneTableFile));
  if (published != now.end()) {
    phase = Phase::kPhones;
    EXPECT_EQ(published->second, expected.at(std::string(kPhoneTableFile)));
  }
  std::set<std::pair<std::string, long>> journaled;
  std::vector<std::string> lines;
  if (auto journal = now.find(std::string(kPhoneJournal)); journal != now.end()) {
    phase = Phase::kPhones;
    ReadJournalEntries(journal->second, journaled, lines);
  }
  const std::string& table = expected.at(std::string(kPhoneTableFile));
  for (const auto& line : lines) {
    bool found = false;
    for (std::size_t at = 0; at < table.size() && !found; at += kPhoneLineBytes)
      found = table.compare(at, kPhoneLineBytes, line) == 0;
    EXPECT_TRUE(found) << "journal line not in the phone table: " << line;
  }
  for (const TableFile& t : kTables) {
    const std::string& before = original.at(std::string(t.name));
    const std::string& after = expected.at(std::string(t.name));
    const std::string& seen = now.at(std::string(t.name));
    EXPECT_EQ(seen.size(), before.size()) << t.name;
    if (seen.size() != before.size()) continue;
    for (std::size_t n = 0; n * t.length < before.size(); ++n) {
      std::string_view rec = std::string_view(seen).substr(n * t.length, t.length);
      if (rec == std::string_view(before).substr(n * t.length, t.length)) continue;
      EXPECT_EQ(rec, std::string_view(after).substr(n * t.length, t.length)) << t.name << " " << n;
      EXPECT_TRUE(published != now.end() || journaled.count({std::string(t.kind), long(n)}))
          << t.name << ": record " << n << " lost text that is in no journal";
    }
  }
  return phase;
}

class Convert434CrashTest : public Convert434Test,
                            public ::testing::WithParamInterface<platform::FaultOp> {};

TEST_P(Convert434CrashTest, AnInterruptedRunLosesNoTextAndIsFinishedByTheNextOne) {
  BuildFolder(fs);
  const auto original = fs.Snapshot();
  Run();
  const auto expected = fs.Snapshot();

  std::map<Phase, int> stops;
  test::ForEveryFault(
      test::Fault::StopAt(GetParam()), BuildFolder,
      [&](platform::MemoryFileSystem& folder, platform::FaultFileSystem& faults, long long k) {
        Run("", &faults);
        if (faults.Stopped()) ++stops[ExpectNoTextLost(original, expected, folder.Snapshot())];
        Run("", &folder);
        ASSERT_EQ(folder.Snapshot(), expected) << "stopped at operation " << k;
      });
  // Writes, closes and the flush come in both phases; renames only in the phone phase.
  EXPECT_GT(stops[Phase::kPhones], 0);
  if (GetParam() == platform::FaultOp::kWrite || GetParam() == platform::FaultOp::kClose) {
    EXPECT_GT(stops[Phase::kInvoices], 0);
  }
  if (GetParam() == platform::FaultOp::kWrite) {
    EXPECT_GT(stops[Phase::kPhones], 10);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, Convert434CrashTest,
                         ::testing::Values(platform::FaultOp::kWrite, platform::FaultOp::kRename,
                                           platform::FaultOp::kClose, platform::FaultOp::kFlush));

// A journal left by an interrupted run of an earlier version, whose entries carry a check
// sum taken a byte at a time: the torn record still gets its old bytes back, and is converted.
TEST_F(Convert434Test, ATornRecordIsRestoredFromAJournalOfTheFirstFormat) {
  Put(kCompanyRegister, Company("0001"));
  const std::string path = "R00\\0001\\L50A1995.DAT";
  const std::size_t torn_at = 100;  // the write stopped inside the span
  Put(path, kConverted.substr(0, torn_at) + kInvoice.substr(torn_at) + kInvoice);
  std::string entry = path + std::string(32 - path.size(), ' ') + "000000000052" +
                      kInvoice.substr(I::kSpanStart, I::kSpanEnd - I::kSpanStart);
  std::uint32_t sum = 2166136261u;
  for (char c : entry) sum = (sum ^ static_cast<unsigned char>(c)) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", sum);
  Put(kInvoiceJournal, entry + hex + "\r\n");

  auto result = Run();
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.converted, 2);
  EXPECT_EQ(File(path), kConverted + kConverted);
  EXPECT_FALSE(fs.Attributes(kInvoiceJournal));
}

TEST_F(Convert434Test, NoTextLeavesARecordWithoutReachingThePhoneTable) {
  BuildFolder(fs);
  const auto original = fs.Snapshot();
  Run();
  const auto expected = fs.Snapshot();
  std::map<Phase, int> failures;
  test::ForEveryFault(
      test::Fault::FullDisk(), BuildFolder,
      [&](platform::MemoryFileSystem& folder, platform::FaultFileSystem& faults, long long k) {
        auto result = Run("", &faults);
        if (result.ok()) return;  // k lies past the last write
        ASSERT_FALSE(sink.messages.empty());
        EXPECT_EQ(sink.messages.back().kind, "fail");
        ++failures[ExpectNoTextLost(original, expected, folder.Snapshot())];
        // The disk has room again: the next run finishes the work exactly.
        EXPECT_TRUE(Run("", &folder).ok());
        ASSERT_EQ(folder.Snapshot(), expected) << "disk full at write " << k;
      });
  EXPECT_GT(failures[Phase::kInvoices], 0);
  EXPECT_GT(failures[Phase::kPhones], 10);

  // A file that is there but cannot be opened for writing (it belongs to another user) is
  // no file to pass over: the run stops naming it, no phone table appears, and once the file
  // can be written the next run finishes the work exactly.
  class Refusing final : public platform::ForwardingFileSystem {
   public:
    Refusing(platform::FileSystem& inner, std::string path)
        : ForwardingFileSystem(inner), path_(std::move(path)) {}
    using FileSystem::Open;
    std::unique_ptr<platform::File> Open(std::string_view path, platform::Access access,
                                         Outcome& why) override {
      if (path != path_ || access == platform::Access::kRead) return inner_.Open(path, access, why);
      why = Outcome::Failed(Operation::kOpen, path, Cause::kPermission);
      return nullptr;
    }

   private:
    std::string path_;
  };
  for (std::string refused : {"R00\\C1\\L50A1991.DAT", "F02R1.DAT"}) {
    platform::MemoryFileSystem folder;
    BuildFolder(folder);
    Refusing refusing(folder, refused);
    sink.messages.clear();
    auto result = Run("", &refusing);
    EXPECT_EQ(result.outcome.cause(), Cause::kPermission) << refused;
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back().kind, "fail");
    EXPECT_NE(sink.messages.back().text.find("abrir " + refused + ": sem permissão."),
              std::string::npos)
        << sink.messages.back().text;
    EXPECT_FALSE(folder.Attributes(kPhoneTableFile)) << refused;
    ExpectNoTextLost(original, expected, folder.Snapshot());
    EXPECT_TRUE(Run("", &folder).ok());
    EXPECT_EQ(folder.Snapshot(), expected) << refused;
  }
}

// A dry run over a fresh folder and over folders left by interrupted runs: it changes no
// byte and plans exactly what the run then does.
TEST_F(Convert434Test, DryRunPlansExactlyWhatTheRunDoesAndChangesNothing) {
  for (long long k : {0, 1, 2, 3, 5, 8}) {
    platform::MemoryFileSystem folder;
    BuildFolder(folder);
    folder.SetReadOnly(kTable01, true);
    if (k > 0) {
      platform::FaultFileSystem faults(folder);
      faults.StopAt(platform::FaultOp::kWrite, k);
      Run("", &faults);
    }
    auto before = folder.Snapshot();
    Context dry{folder, sink, "", true};
    auto plan = Convert434(dry, Convert434Detail::kFiles);
    EXPECT_EQ(folder.Snapshot(), before) << k;
    EXPECT_EQ(*folder.Attributes(kTable01) & platform::kReadOnly, platform::kReadOnly);
    Context real{folder, sink, ""};
    sink.notes.clear();
    auto done = Convert434(real, Convert434Detail::kFiles);
    // The run clears the attribute to write the table, and says so.
    EXPECT_EQ(std::count(sink.notes.begin(), sink.notes.end(),
                         "F01R0.DAT era somente leitura; o atributo foi retirado para gravar o "
                         "arquivo."),
              1)
        << k;
    EXPECT_EQ(plan.converted, done.converted) << k;
    EXPECT_EQ(plan.phone_lines, done.phone_lines) << k;
    EXPECT_EQ(plan.files_changed, done.files_changed) << k;
    EXPECT_EQ(done.files_changed_count, static_cast<std::int64_t>(done.files_changed.size()));
    EXPECT_EQ(done.invoice_files_changed, static_cast<std::int64_t>(done.invoice_files.size()));
    ASSERT_EQ(plan.invoice_files.size(), done.invoice_files.size());
    for (std::size_t i = 0; i < plan.invoice_files.size(); ++i) {
      EXPECT_EQ(plan.invoice_files[i].path, done.invoice_files[i].path);
      EXPECT_EQ(plan.invoice_files[i].converted, done.invoice_files[i].converted);
    }
    if (k == 0) {
      EXPECT_GT(done.converted, 0);
      EXPECT_GT(done.phone_lines, 0);
    }
  }
}

// The data folder on the host, written with lower-case names as another program or an
// older copy may have left it: the step finds every file and converts it the same way.
TEST_F(Convert434Test, LowerCaseNamesOnTheHostConvertTheSameWay) {
  test::TempDir dir;
  auto host = platform::OpenHostFileSystem(dir.str());
  WriteFile(*host, "f00r0.dat", Company("0001", std::string(40, '5'), "(11) 2"));
  ASSERT_TRUE(host->MakeFolder("r00"));
  ASSERT_TRUE(host->MakeFolder("r00\\0001"));
  WriteFile(*host, "r00\\0001\\l50a1995.dat", kInvoice);
  auto result = Run("", host.get());
  EXPECT_EQ(result.converted, 1);
  EXPECT_EQ(ReadFile(*host, "r00\\0001\\l50a1995.dat"), kConverted);
  EXPECT_EQ(ReadFile(*host, kPhoneTableFile),
            Line("00", "01", '0', "0001", "555") + Line("00", "02", '0', "0001", "(11) 2"));
  // No second copy of any file under an upper-case name.
  auto files = test::SnapshotHost(dir.path());
  EXPECT_EQ(files.size(), 5u);
  EXPECT_TRUE(files.count("r00/0001/l50a1995.dat"));
  EXPECT_TRUE(files.count("f00r0.dat"));
}

}  // namespace
}  // namespace livrana
