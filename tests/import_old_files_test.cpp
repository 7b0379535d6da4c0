#include "library/first/import_old_files.h"

#include <gtest/gtest.h>

#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Fill;
using test::Record;

// An "f1.dat" record whose seven pieces are filled with A to G.
const std::string kOldTableRecord = Fill(290, 'A') + Fill(30, 'B') + Fill(30, 'C') + Fill(50, 'D') +
                                    Fill(45, 'E') + Fill(100, 'F') + Fill(155, 'G');

std::string NewTableRecord(std::size_t width) {
  return Record(width, {{0, Fill(290, 'A')},
                        {290, Fill(30, 'B')},
                        {331, Fill(30, 'C')},
                        {372, Fill(50, 'D')},
                        {512, Fill(100, 'F')}});
}

class ImportOldFilesTest : public test::StepTest {
 protected:
  bool Run(std::string filter = "", platform::FileSystem* over = nullptr) {
    return RunStep(ImportOldFileSet, std::move(filter), over).ok();
  }
};

TEST_F(ImportOldFilesTest, TablesAreRebuiltPieceByPieceAndASecondRunChangesNothing) {
  // The trailing record of f2.dat is cut short after 300 characters: it converts as if
  // padded with spaces.
  Put("f2.dat", kOldTableRecord + Fill(290, 'A') + Fill(10, 'B'));

  // The CR LF that ends many files is no record.
  Put("f1.dat", kOldTableRecord + kOldTableRecord + "\r\n");
  EXPECT_TRUE(Run());
  EXPECT_EQ(File("F1R0.DAT"), NewTableRecord(814) + NewTableRecord(814));
  EXPECT_EQ(File("F2R0.DAT"),
            NewTableRecord(815) + Record(815, {{0, Fill(290, 'A')}, {290, Fill(10, 'B')}}));
  EXPECT_FALSE(Exists("f1.dat"));
  EXPECT_FALSE(Exists("f2.dat"));

  auto before = fs.Snapshot();
  auto saved = fs.SnapshotOutside();
  EXPECT_TRUE(Run());
  EXPECT_EQ(fs.Snapshot(), before);
  EXPECT_EQ(fs.SnapshotOutside(), saved);
}

TEST_F(ImportOldFilesTest, ATableThatExistsOrCannotBeMadeLeavesItsSourceUnconverted) {
  Put("f1.dat", kOldTableRecord);
  Put("F1R0.DAT", "kept");
  // A hidden file and a folder of the table's name are not overwritten.
  Put("f2.dat", kOldTableRecord);
  Put("F2R0.DAT", "hidden");
  fs.SetAttributes("F2R0.DAT", platform::kHidden);
  EXPECT_TRUE(Run());
  EXPECT_EQ(File("F1R0.DAT"), "kept");
  EXPECT_EQ(File("f1.dat"), kOldTableRecord);
  EXPECT_EQ(File("F2R0.DAT"), "hidden");
  EXPECT_EQ(File("f2.dat"), kOldTableRecord);

  fs.Remove("F2R0.DAT");
  fs.MakeFolder("F2R0.DAT");
  EXPECT_TRUE(Run());
  EXPECT_EQ(File("f2.dat"), kOldTableRecord);
}

TEST_F(ImportOldFilesTest, AFailedWriteLeavesNoTableAndKeepsTheSource) {
  Put("f1.dat", kOldTableRecord);
  platform::FaultFileSystem faulty(fs);
  faulty.FullDiskAt(1);
  EXPECT_FALSE(Run("", &faulty));
  EXPECT_FALSE(Exists("F1R0.DAT"));
  EXPECT_EQ(File("f1.dat"), kOldTableRecord);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].kind, "fail");
  EXPECT_EQ(sink.messages[0].caption, "ImportOldFileSet");
}

TEST_F(ImportOldFilesTest, CompanyRecordsAreAppendedToTheirTypeFolders) {
  fs.MakeFolder("G04");
  fs.MakeFolder("G06");
  // f0dp.dat: the code at 41-50 stands as it is, trailing spaces included.
  Put("f0dp.dat", Record(51, {{0, "Alpha"}, {40, "X"}, {41, "AB"}}) +
                      Record(51, {{0, Fill(40, 'b')}, {41, "0001234567"}}) +
                      Record(51, {{0, "Gamma"}, {41, "AB"}}));
  // f3.dat: the code at 0-9 is trimmed; a record without one goes nowhere.
  std::string f3 =
      Record(142, {{0, "0001"}, {10, "x"}, {11, "NINECHARS"}, {20, "y"}, {21, Fill(121, 'z')}});
  Put("f3.dat", f3 + f3 + Record(142, {{11, "NOCODE"}}));

  EXPECT_TRUE(Run());
  EXPECT_EQ(File("G04\\AB        .dat"), Record(220, {{0, "Alpha"}}) + Record(220, {{0, "Gamma"}}));
  EXPECT_EQ(File("G04\\0001234567.dat"), Record(220, {{0, Fill(40, 'b')}}));
  std::string converted = Record(142, {{0, "NINECHARS"}, {11, Fill(121, 'z')}});
  EXPECT_EQ(File("G06\\0001.dat"), converted + converted);
  EXPECT_FALSE(Exists("f0dp.dat"));
  EXPECT_FALSE(Saved("f0dp.dat"));
  // The record without a code is not lost: the consumed source is kept as a safety copy.
  EXPECT_FALSE(Exists("f3.dat"));
  EXPECT_TRUE(Saved("f3.dat"));
}

TEST_F(ImportOldFilesTest, RecordsWithoutATargetKeepTheirSourceAsASafetyCopy) {
  // No folder G04 exists and the routine makes none; a code that cannot name a file is
  // passed over too.
  Put("f0dp.dat", Record(51, {{0, "Alpha"}, {41, "0001"}}) +
                      Record(51, {{0, "Beta"}, {41, "CON"}}) + Fill(30, 'x'));
  EXPECT_TRUE(Run());
  EXPECT_FALSE(Exists("f0dp.dat"));
  EXPECT_TRUE(Saved("f0dp.dat"));
  EXPECT_EQ(fs.Snapshot().size(), 0u);
}

TEST_F(ImportOldFilesTest, GroupFilesReachEveryLiveCompanyOfTheOldRegister) {
  fs.MakeFolder("G01");
  // A Ctrl-Z ends the register: the record it cuts is read as far as it goes (its deletion
  // mark lies beyond the end) and 0004 after it is not there.
  Put("F0.DAT", Record(700, {{0, "0001"}}) + Record(700, {{0, "0002"}, {699, "+"}}) +
                    Record(700, {{0, "0003"}, {50, "\x1A"}, {699, "+"}}) +
                    Record(700, {{0, "0004"}}));
  std::string g0a = Record(52, {{0, Fill(51, 'a')}, {51, "!"}});
  std::string g0b = Record(52, {{0, "second"}});
  std::string g1 = Record(52, {{0, Fill(51, 'c')}});
  Put("group00.dat", g0a + g0b);
  Put("group01.dat", g1);

  EXPECT_TRUE(Run());
  std::string work = Record(200, {{0, Fill(51, 'a')}, {51, "0"}}) +
                     Record(200, {{0, "second"}, {51, "0"}}) +
                     Record(200, {{0, Fill(41, 'c')}, {51, "1"}});
  EXPECT_EQ(File("G01\\0001.dat"), work);
  EXPECT_EQ(File("G01\\0003.dat"), work);
  EXPECT_FALSE(Exists("G01\\0002.dat"));
  EXPECT_FALSE(Exists("G01\\0004.dat"));
  EXPECT_FALSE(Exists("au.dat"));
  EXPECT_FALSE(Exists("group00.dat"));
  EXPECT_FALSE(Exists("group01.dat"));
  EXPECT_FALSE(Saved("group00.dat"));
}

TEST_F(ImportOldFilesTest, GroupFilesFollowTheFilterAndTheRegisterWithoutAnOpenFile) {
  fs.MakeFolder("G01");
  std::string group = Record(52, {{0, "group"}});
  // Without F0.DAT the companies come from F00R0.DAT read record by record, where a
  // deleted company that matches the filter is visited too.
  Put("F00R0.DAT", Record(1000, {{0, "0001"}, {999, "+"}}) + Record(1000, {{0, "0002"}}));
  Put("group00.dat", group);
  EXPECT_TRUE(Run("0001"));
  EXPECT_EQ(File("G01\\0001.dat"), Record(200, {{0, "group"}, {51, "0"}}));
  EXPECT_FALSE(Exists("G01\\0002.dat"));

  // When no company passes the filter nothing is copied, and the group file is kept as a
  // safety copy rather than lost.
  Put("group01.dat", group);
  EXPECT_TRUE(Run("9999"));
  EXPECT_FALSE(Exists("au.dat"));
  EXPECT_FALSE(Exists("group01.dat"));
  EXPECT_TRUE(Saved("group01.dat"));
}

TEST_F(ImportOldFilesTest, TypeFolderFilesMoveToTheNewFoldersAndTheOldFoldersToSafety) {
  fs.MakeFolder("L01");
  fs.MakeFolder("L02");
  fs.MakeFolder("data");
  fs.MakeFolder("daen2");
  fs.MakeFolder("dac1");
  Put("data\\0001.dat", "one");
  Put("daen2\\00012.dat", "two");
  Put("L02\\0002.dat", "kept");
  Put("daen2\\00023.dat", "not copied over an existing file");
  // L04 does not exist: nothing is copied, and the file survives in the folder's copy.
  Put("dac1\\00034.dat", "four");

  EXPECT_TRUE(Run());
  EXPECT_EQ(File("L01\\0001.dat"), "one");
  EXPECT_EQ(File("L02\\0001.dat"), "two");
  EXPECT_EQ(File("L02\\0002.dat"), "kept");
  EXPECT_FALSE(Exists("data"));
  EXPECT_FALSE(Exists("daen2"));
  EXPECT_FALSE(Exists("dac1"));
  EXPECT_TRUE(Saved("daen2\\00023.dat"));
  EXPECT_TRUE(Saved("dac1\\00034.dat"));
}

}  // namespace
}  // namespace livrana
