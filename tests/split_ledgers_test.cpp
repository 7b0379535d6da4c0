#include "library/first/split_ledgers.h"

#include <gtest/gtest.h>

#include "platform/forwarding_file_system.h"
#include "records/layouts/register.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Fill;
using test::Record;

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
  std::string r1998 = Record(227, {{0, "15/03/1998"}, {100, "first"}, {226, "*"}});
  std::string r1999 = Record(227, {{0, "01/01/1999"}, {100, "second"}});
  std::string blank = Record(227, {{100, "no date"}});
  std::string deleted = Record(227, {{0, "01/01/1998"}, {226, "+"}});
  Put("L08.DAT", r1998 + r1999 + blank + deleted + r1998);
  Put("L09.DAT", Record(227, {{0, "31/12/0000"}}) + Record(227, {{0, "31/12/2000"}}));

  EXPECT_TRUE(Run());
  EXPECT_EQ(Table("L081998.DAT"), r1998 + r1998);
  EXPECT_EQ(Table("L081999.DAT"), r1999);
  EXPECT_EQ(Table("L092000.DAT"), Record(227, {{0, "31/12/2000"}}));
  EXPECT_FALSE(Exists("L090000.DAT"));
  // The sources go to their safety copies, the dropped records with them.
  EXPECT_FALSE(Exists("L08.DAT"));
  EXPECT_TRUE(Saved("L08.DAT"));
}

TEST_F(SplitLedgersTest, OpeningBalancesOfL13AndL14BecomeL23Records) {
  auto l13 = [](std::string_view amount, std::string_view last = "*") {
    return Record(
        136,
        {{0, "01/01/1999"}, {10, Fill(10, 'k')}, {20, amount}, {36, Fill(99, 'x')}, {135, last}});
  };
  auto l23 = [](std::string_view side, std::string_view amount, std::string_view last = "*") {
    return Record(300, {{0, "01/01/1999"},
                        {10, "A"},
                        {11, side},
                        {12, amount},
                        {42, "SALDO INICIAL"},
                        {162, Fill(10, 'k')},
                        {299, last}});
  };
  Put("L131999.DAT", l13("-1.234,50") + l13("0,00") + l13("250") + l13("9", "+"));
  Put("L14B2003.DAT",
      Record(146,
             {{0, "05/05/2003"}, {10, Fill(15, 'r') + Fill(5, 'y')}, {30, "12,5"}, {145, "*"}}));
  Put("L13.DAT", "no year in the name");

  EXPECT_TRUE(Run());
  // A deleted source record stays deleted in L23.
  EXPECT_EQ(Table("L231999.DAT"),
            l23("D", "1.234,50") + l23("D", "0,00") + l23("C", "250,00") + l23("C", "9,00", "+"));
  EXPECT_EQ(Table("L232003.DAT"), Record(300, {{0, "05/05/2003"},
                                               {10, "EC"},
                                               {12, "12,50"},
                                               {42, "SALDO INICIAL"},
                                               {182, Fill(15, 'r')},
                                               {299, "*"}}));
  EXPECT_TRUE(Saved("L131999.DAT"));
  EXPECT_FALSE(Exists("L14B2003.DAT"));
  EXPECT_EQ(Table("L13.DAT"), "no year in the name");
}

TEST_F(SplitLedgersTest, LedgerAndMovementRecordsBecomeL23Records) {
  // Table 1 is first split by year, and its yearly file then fills L23.
  std::string l01 = Record(227, {{0, "10/04/1998"},
                                 {10, "f"},
                                 {11, "ACCOUNT4567"},
                                 {22, "DOCUMENT10"},
                                 {32, Fill(100, 'h') + "!"},
                                 {133, "100,00"},
                                 {149, "40,00"},
                                 {165, "COUNTER9C"},
                                 {174, "BR"},
                                 {176, "COSTCENTRE"},
                                 {186, "LOT55"},
                                 {191, Fill(35, 't') + "*"}});
  std::string l23_b = Record(300, {{0, "10/04/1998"},
                                   {10, "BD"},
                                   {12, "60,00"},
                                   {30, "BR"},
                                   {32, "ACCOUNT"},
                                   {42, Fill(100, 'h')},
                                   {142, "DOCUMENT10"},
                                   {152, "COUNTER9C"},
                                   {162, "LOT55"},
                                   {167, "COSTCENTRE"},
                                   {212, "f"},
                                   {264, Fill(35, 't') + "*"}});
  // A record without "/" at offset 2 is skipped; the next one is still found at 227.
  Put("L01.DAT", l01 + Record(227, {{0, "1998-04-10"}, {6, "1998"}}) + l01);
  std::string l07 = Record(250, {{0, "11/04/1998"},
                                 {10, "dropA"},
                                 {16, "DOCUMEN"},
                                 {26, "ACCOUNT-14CHAR"},
                                 {40, "dropB"},
                                 {51, "COUNTER-14CHR"},
                                 {65, "dropC"},
                                 {76, Fill(100, 'm')},
                                 {176, "1.234,56"},
                                 {192, Fill(57, 'z') + "+"}});
  Put("L071998.DAT", l07);

  EXPECT_TRUE(Run());
  std::string l23_f = Record(300, {{0, "11/04/1998"},
                                   {10, "F"},
                                   {12, "1.234,56"},
                                   {32, "DOCUME"},
                                   {42, Fill(100, 'm')},
                                   {182, "ACCOUNT-14CHAR"},
                                   {197, "COUNTER-14CHR"},
                                   {242, Fill(57, 'z') + "+"}});
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
  std::string l01 = Record(227, {{0, "10/04/1998"}, {32, "history"}, {149, "5,00"}});
  std::string cut = l01;
  cut[50] = '\x1A';
  Put("L011998.DAT", l01 + cut + l01);
  Put("L131999.DAT", Record(136, {{0, "01/01/1999"}, {20, "1"}}) + "\r\n");
  // Right after the date: the rest of the record is spaces.
  Put("L012000.DAT", "10/04/2000\x1A" + l01);

  EXPECT_TRUE(Run());
  std::string l23 = Table("L231998.DAT");
  ASSERT_EQ(l23.size(), 600u);  // the record cut at the Ctrl-Z, and none after it
  EXPECT_EQ(l23.substr(300 + 42, 18), Record(18, {{0, "history"}}));
  EXPECT_EQ(Table("L231999.DAT").size(), 300u);
  EXPECT_EQ(Table("L232000.DAT"), Record(300, {{0, "10/04/2000BD0,00"}}));
}

TEST_F(SplitLedgersTest, AFailedWriteGivesTheTargetBackAndKeepsTheSource) {
  std::string earlier = Record(300, {{0, "earlier"}});
  Put("L231999.DAT", earlier);
  // Enough records that the target is written back in more than one piece: the first one
  // reaches the disk, the second finds it full.
  std::string l13;
  for (int i = 0; i < 1000; ++i) l13 += Record(136, {{0, "01/01/1999"}, {20, "1"}});
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
  EXPECT_EQ(Table("L231999.DAT").size(), 300u * 1001);
}

TEST_F(SplitLedgersTest, AFileThatCannotBeReadOrAFolderThatCannotBeListedStopsTheStep) {
  std::string l13 = Record(136, {{0, "01/01/1999"}, {20, "1"}});
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
