#include "library/first/company_folders.h"

#include <gtest/gtest.h>

#include "tests/step_fixture.h"

namespace livrana {
namespace {

class CompanyFoldersTest : public test::StepTest {
 protected:
  void Run() { EXPECT_TRUE(RunStep(MoveToCompanyFolders)); }
  using StepTest::Put;
  void Put(std::string_view folder, std::string_view name, std::string_view data) {
    Put(std::string(folder) + "\\" + std::string(name), data);
  }
};

TEST_F(CompanyFoldersTest, NamesGiveTheCompanyFolderAndTheYear) {
  Put("L01", "0001A1999.dat", "yearly");
  Put("L01", "0002a1999.dat", "lowercase separator");
  Put("L01", "X1999.dat", "five characters: plain");
  Put("L01", "0003Axxxx.dat", "no year digits");
  Put("G01", "0001.dat", "plain");
  Put("L10", "0001-2003.dat", "any separator in L10");
  Put("L11", "00012003.dat", "any separator in L11");
  Put("L03", "0001.dat", "plain L03");
  // A type folder's file named with a code padded with spaces goes to the folder that
  // Windows makes of that name, without the trailing spaces.
  Put("G04", "AB        .dat", "padded code");

  Run();
  EXPECT_EQ(File("0001\\L011999.dat"), "yearly");
  EXPECT_EQ(File("0002\\L011999.dat"), "lowercase separator");
  EXPECT_EQ(File("X1999\\L01.dat"), "five characters: plain");
  EXPECT_EQ(File("0003\\L010000.dat"), "no year digits");
  EXPECT_EQ(File("0001\\G01.dat"), "plain");
  EXPECT_EQ(File("0001\\L102003.dat"), "any separator in L10");
  EXPECT_EQ(File("000\\L112003.dat"), "any separator in L11");
  EXPECT_EQ(File("0001\\L03.dat"), "plain L03");
  EXPECT_EQ(File("AB\\G04.dat"), "padded code");
  // Every source went to its safety copy and every type folder was emptied and removed.
  EXPECT_EQ(File("/tmp/Vemo\\Vuk\\L01\\0001A1999.dat"), "yearly");
  for (std::string_view folder : {"L01", "G01", "L10", "L11", "L03", "G04"}) {
    EXPECT_FALSE(Exists(folder)) << folder;
  }

  auto before = fs.Snapshot();
  Run();
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(CompanyFoldersTest, AFileWithoutATargetStaysInItsTypeFolder) {
  Put("L01", "0001A1999.dat", "new");
  Put("0001\\L011999.dat", "existing");
  // Too short in L10 to carry a code and a year; a code that cannot name a folder.
  Put("L10", "-2003.dat", "short");
  Put("L10", "2003.dat", "shorter");
  Put("G01", "CON.dat", "device name");
  // Hidden files are not part of the layout.
  Put("G02", "0001.dat", "hidden");
  fs.SetAttributes("G02\\0001.dat", platform::kHidden);

  Run();
  EXPECT_EQ(File("0001\\L011999.dat"), "existing");
  EXPECT_EQ(File("L01\\0001A1999.dat"), "new");
  EXPECT_EQ(File("L10\\-2003.dat"), "short");
  EXPECT_EQ(File("L10\\2003.dat"), "shorter");
  EXPECT_EQ(File("G01\\CON.dat"), "device name");
  EXPECT_EQ(File("G02\\0001.dat"), "hidden");
  EXPECT_FALSE(Exists("0001\\G02.dat"));
  EXPECT_FALSE(Exists("CON"));
  EXPECT_EQ(sink.notes.size(), 3u);

  auto before = fs.Snapshot();
  Run();
  EXPECT_EQ(fs.Snapshot(), before);
}

}  // namespace
}  // namespace livrana
