#include "library/first/split_ledgers.h"

#include <gtest/gtest.h>

#include "platform/forwarding_file_system.h"
#include "records/layouts/ledgers.h"
#include "records/layouts/old_ledgers.h"
#include "records/layouts/register.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Fill;
using test::Record;
using L01 = L01Layout;
using L07 = L07Layout;
using L08 = L08Layout;
using L13 = L13Layout;
using L14 = L14BLayout;
using L23 = Ledger23Layout;
constexpr std::size_t kL23Record = kLedger23RecordLength;

// A disk that fills up: from the k-th write on every write fails, while cutting a file
// shorter still works, as on a real disk (FaultFileSystem::FullDiskAt refuses that too, and
// the step gives a target back by cutting it).
class FillingDisk : public platform::ForwardingFileSystem {
 public:
  FillingDisk(platform::FileSystem& inner, int k) : ForwardingFileSystem(inner), left_(k - 1) {}
  using FileSystem::Open;
  std::unique_ptr<platform::File> Open(std::string_view path, platform::Access access,
                                       Outcome& why) override {
    auto file = inner_.Open(path, access, why);
    return file ? std::make_unique<Filling>(std::move(file), left_) : nullptr;
  }

 private:
  class Filling : public platform::ForwardingFile {
   public:
    Filling(std::unique_ptr<platform::File> inner, int& left)
        : ForwardingFile(std::move(inner)), left_(left) {}
    Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
      if (left_-- <= 0) return Outcome::Failed(Operation::kWrite, "", Cause::kDiskFull);
      return ForwardingFile::WriteAt(pos, buf, n);
    }

   private:
    int& left_;
  };

  int left_;
};

class SplitLedgersTest : public test::StepTest {
 protected:
  void SetUp() override {
    StepTest::Put(kCompanyRegister,
                  Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"}}));
    fs.MakeFolder("0001");
  }
  bool Run(platform::FileSystem* over = nullptr) {
    return RunStep(SplitLedgersByYear, "", over).ok();
  }
  void Put(std::string_view name, std::string_view data) {
    StepTest::Put("0001\\" + std::string(name), data);
  }
  std::string Table(std::string_view name) { return File("0001\\" + std::string(name)); }
  bool Exists(std::string_view name) { return StepTest::Exists("0001\\" + std::string(name)); }
  bool Saved(std::string_view name) { return StepTest::Saved("0001\\" + std::string(name)); }
};

TEST_F(SplitLedgersTest, TablesAreSplitByTheYearOfEachRecord) {
  auto l08 = [](std::string_view date, std::string_view text, std::string_view last = " ") {
    return Record(kL08Record, {{L08::kDate, date}, {L08::kDateWidth, text}, {L08::kDeleted, last}});
  };
  std::string r1998 = l08("15/03/1998", "first", "*");
  std::string r1999 = l08("01/01/1999", "second");
  std::string blank = l08("", "no date");
  std::string deleted = l08("01/01/1998", "", "+");
  Put("L08.DAT", r1998 + r1999 + blank + deleted + r1998);
  Put("L09.DAT", l08("31/12/0000", "") + l08("31/12/2000", ""));

  EXPECT_TRUE(Run());
  EXPECT_EQ(Table("L081998.DAT"), r1998 + r1998);
  EXPECT_EQ(Table("L081999.DAT"), r1999);
  EXPECT_EQ(Table("L092000.DAT"), l08("31/12/2000", ""));
  EXPECT_FALSE(Exists("L090000.DAT"));
  // The sources go to their safety copies, the dropped records with them.
  EXPECT_FALSE(Exists("L08.DAT"));
  EXPECT_TRUE(Saved("L08.DAT"));
}

TEST_F(SplitLedgersTest, OpeningBalancesOfL13AndL14BecomeL23Records) {
  auto l13 = [](std::string_view amount, std::string_view last = "*") {
    return Record(kL13Record, {{L13::kDate, "01/01/1999"},
                               {L13::kReference, Fill(L13::kReferenceWidth, 'k')},
                               {L13::kAmount, amount},
                               {L13::kText, Fill(L13::kTextWidth, 'x')},
                               {L13::kDeleted, last}});
  };
  auto l23 = [](std::string_view side, std::string_view amount, std::string_view last = "*") {
    return Record(kL23Record, {{L23::kDate, "01/01/1999"},
                               {L23::kKind, "A"},
                               {L23::kSide, side},
                               {L23::kAmount, amount},
                               {L23::kHistory, "SALDO INICIAL"},
                               {L23::kBalanceReference, Fill(L13::kReferenceWidth, 'k')},
                               {L23::kDeleted, last}});
  };
  Put("L131999.DAT", l13("-1.234,50") + l13("0,00") + l13("250") + l13("9", "+"));
  Put("L14B2003.DAT", Record(kL14BRecord, {{L14::kDate, "05/05/2003"},
                                           {L14::kReference, Fill(15, 'r') + Fill(5, 'y')},
                                           {L14::kAmount, "12,5"},
                                           {L14::kDeleted, "*"}}));
  Put("L13.DAT", "no year in the name");

  EXPECT_TRUE(Run());
  // A deleted source record stays deleted in L23.
  EXPECT_EQ(Table("L231999.DAT"),
            l23("D", "1.234,50") + l23("D", "0,00") + l23("C", "250,00") + l23("C", "9,00", "+"));
  EXPECT_EQ(Table("L232003.DAT"), Record(kL23Record, {{L23::kDate, "05/05/2003"},
                                                      {L23::kKind, "EC"},
                                                      {L23::kAmount, "12,50"},
                                                      {L23::kHistory, "SALDO INICIAL"},
                                                      {L23::kL14BalanceReference, Fill(15, 'r')},
                                                      {L23::kDeleted, "*"}}));
  EXPECT_TRUE(Saved("L131999.DAT"));
  EXPECT_FALSE(Exists("L14B2003.DAT"));
  EXPECT_EQ(Table("L13.DAT"), "no year in the name");
}

TEST_F(SplitLedgersTest, LedgerAndMovementRecordsBecomeL23Records) {
  // Table 1 is first split by year, and its yearly file then fills L23.
  std::string l01 = Record(kL01Record, {{L01::kDate, "10/04/1998"},
                                        {L01::kFlag, "f"},
                                        {L01::kAccount, "ACCOUNT4567"},
                                        {L01::kDocument, "DOCUMENT10"},
                                        {L01::kHistory, Fill(L01::kHistoryWidth - 1, 'h') + "!"},
                                        {L01::kDebit, "100,00"},
                                        {L01::kCredit, "40,00"},
                                        {L01::kCounterpart, "COUNTER9C"},
                                        {L01::kBranch, "BR"},
                                        {L01::kCostCentre, "COSTCENTRE"},
                                        {L01::kLot, "LOT55"},
                                        {L01::kTail, Fill(L01::kTailWidth - 1, 't') + "*"}});
  std::string l23_b =
      Record(kL23Record,
             {{L23::kDate, "10/04/1998"},
              {L23::kKind, "BD"},
              {L23::kAmount, "60,00"},
              {L23::kBranch, "BR"},
              {L23::kLedgerAccount, "ACCOUNT"},
              {L23::kHistory, Fill(100, 'h')},
              {L23::kLedgerDocument, "DOCUMENT10"},
              {L23::kCounterpart, "COUNTER9C"},
              {L23::kLot, "LOT55"},
              {L23::kAccount, "COSTCENTRE"},
              {L23::kFlag, "f"},
              {L23::kLedgerTail + L23::kLedgerTailWidth - L01::kTailWidth, Fill(35, 't') + "*"}});
  // A record without "/" after the day is skipped; the next one is still found at its place.
  Put("L01.DAT",
      l01 + Record(kL01Record, {{L01::kDate, "1998-04-10"}, {OldLedgerDate::kYear, "1998"}}) + l01);
  std::string l07 = Record(kL07Record, {{L07::kDate, "11/04/1998"},
                                        {L07::kDropped1, "dropA"},
                                        {L07::kDocument, "DOCUMEN"},
                                        {L07::kAccount, "ACCOUNT-14CHAR"},
                                        {L07::kDropped2, "dropB"},
                                        {L07::kCounterpart, "COUNTER-14CHR"},
                                        {L07::kDropped3, "dropC"},
                                        {L07::kHistory, Fill(L07::kHistoryWidth, 'm')},
                                        {L07::kAmount, "1.234,56"},
                                        {L07::kTail, Fill(L07::kTailWidth - 1, 'z') + "+"}});
  Put("L071998.DAT", l07);

  EXPECT_TRUE(Run());
  std::string l23_f = Record(
      kL23Record,
      {{L23::kDate, "11/04/1998"},
       {L23::kKind, "F"},
       {L23::kAmount, "1.234,56"},
       {L23::kMovementDocument, "DOCUME"},
       {L23::kHistory, Fill(100, 'm')},
       {L23::kSecondAccount, "ACCOUNT-14CHAR"},
       {L23::kThirdAccount, "COUNTER-14CHR"},
       {L23::kMovementTail + L23::kMovementTailWidth - L07::kTailWidth, Fill(57, 'z') + "+"}});
  EXPECT_EQ(Table("L231998.DAT"), l23_b + l23_b + l23_f);
  EXPECT_FALSE(Exists("L01.DAT"));
  EXPECT_FALSE(Exists("L011998.DAT"));
  EXPECT_TRUE(Saved("L011998.DAT"));
  EXPECT_FALSE(Exists("L071998.DAT"));

  auto before = fs.Snapshot();
  auto saved = fs.SnapshotOutside();
  EXPECT_TRUE(Run());
  EXPECT_EQ(fs.Snapshot(), before);
  EXPECT_EQ(fs.SnapshotOutside(), saved);
}

// Text mode: a Ctrl-Z byte that a read meets ends the ledger, also in the walk by record
// position; the CR LF that ends many files is no record.
TEST_F(SplitLedgersTest, ACtrlZEndsTheLedgerAndATrailingLineEndIsNoRecord) {
  std::string l01 = Record(
      kL01Record, {{L01::kDate, "10/04/1998"}, {L01::kHistory, "history"}, {L01::kCredit, "5,00"}});
  std::string cut = l01;
  constexpr std::size_t kBeforeCut = 18;  // characters of the history before the Ctrl-Z
  cut[L01::kHistory + kBeforeCut] = '\x1A';
  Put("L011998.DAT", l01 + cut + l01);
  Put("L131999.DAT",
      Record(kL13Record, {{L13::kDate, "01/01/1999"}, {L13::kAmount, "1"}}) + "\r\n");
  // Right after the date: the rest of the record is spaces.
  Put("L012000.DAT", "10/04/2000\x1A" + l01);

  EXPECT_TRUE(Run());
  std::string l23 = Table("L231998.DAT");
  ASSERT_EQ(l23.size(), 2 * kL23Record);  // the record cut at the Ctrl-Z, and none after it
  EXPECT_EQ(l23.substr(kL23Record + L23::kHistory, kBeforeCut),
            Record(kBeforeCut, {{0, "history"}}));
  EXPECT_EQ(Table("L231999.DAT").size(), kL23Record);
  EXPECT_EQ(Table("L232000.DAT"), Record(kL23Record, {{L23::kDate, "10/04/2000BD0,00"}}));
}

TEST_F(SplitLedgersTest, AFailedWriteGivesTheTargetBackAndKeepsTheSource) {
  std::string earlier = Record(kL23Record, {{L23::kDate, "earlier"}});
  Put("L231999.DAT", earlier);
  // Enough records that the target is written back in more than one piece: the first one
  // reaches the disk, the second finds it full.
  std::string l13;
  for (int i = 0; i < 1000; ++i)
    l13 += Record(kL13Record, {{L13::kDate, "01/01/1999"}, {L13::kAmount, "1"}});
  Put("L131999.DAT", l13);
  FillingDisk disk(fs, 2);
  EXPECT_FALSE(Run(&disk));
  EXPECT_EQ(Table("L231999.DAT"), earlier);
  EXPECT_EQ(Table("L131999.DAT"), l13);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].kind, "fail");
  EXPECT_EQ(sink.messages[0].caption, "SplitLedgersByYear");

  // Run again with room on the disk: every record arrives once.
  EXPECT_TRUE(Run());
  EXPECT_EQ(Table("L231999.DAT").size(), kL23Record * 1001);
}

TEST_F(SplitLedgersTest, AFileThatCannotBeReadOrAFolderThatCannotBeListedStopsTheStep) {
  std::string l13 = Record(kL13Record, {{L13::kDate, "01/01/1999"}, {L13::kAmount, "1"}});
  Put("L131999.DAT", l13);
  platform::FaultFileSystem unreadable(fs);
  unreadable.FailReads("0001\\L131999.DAT");
  Outcome read = RunStep(SplitLedgersByYear, "", &unreadable);
  EXPECT_EQ(read.operation(), Operation::kRead);
  EXPECT_EQ(read.file(), "0001\\L131999.DAT");
  EXPECT_EQ(read.cause(), Cause::kIo);
  EXPECT_EQ(read.system_code(), EIO);
  // The folder's listing fails: not a folder with nothing to convert.
  platform::FaultFileSystem unlisted(fs);
  unlisted.FailListings("0001");
  Outcome listed = RunStep(SplitLedgersByYear, "", &unlisted);
  EXPECT_EQ(listed.operation(), Operation::kList);
  EXPECT_EQ(listed.file(), "0001");
  EXPECT_EQ(listed.system_code(), EIO);
  EXPECT_EQ(Table("L131999.DAT"), l13);
  EXPECT_FALSE(StepTest::Exists("0001\\L231999.DAT"));
}

}  // namespace
}  // namespace livrana
