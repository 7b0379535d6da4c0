#include "library/v301/version301.h"

#include <gtest/gtest.h>

#include "library/registry.h"
#include "records/layouts/phone_tables.h"
#include "tests/step_fixture.h"
#include "tools/sample.h"

namespace livrana {
namespace {

using test::Record;
using A = AddressFields;

class Version301Test : public test::StepTest {
 protected:
  void Run() { EXPECT_TRUE(ConvertVersion301(ctx)); }
  std::string Company(std::string_view code,
                      std::initializer_list<std::pair<std::size_t, std::string_view>> more = {}) {
    std::string rec = Record(kCompanyRecordLength, {{RegisterLayout::kCode, code}});
    for (const auto& [offset, text] : more) rec.replace(offset, text.size(), text);
    return rec;
  }
};

const std::string kDefaults1 = "0,00 0,50";
const std::string kDefaults2 = "12,700,00 2,30 0,64 0,00 1,27 0,20 1,91 7,40 2,54 10,5511,5515,30";

std::string G04(std::string_view name, std::string_view second, char deleted = ' ') {
  return Record(220, {{0, name},
                      {61, "dropped 1"},
                      {71, second},
                      {111, "dropped 2"},
                      {219, std::string(1, deleted)}});
}
std::string G04R0(std::string_view name, std::string_view second) {
  return Record(950, {{0, name}, {61, second}, {122, kDefaults1}, {759, kDefaults2}});
}

TEST_F(Version301Test, G04IsWidenedForEachCompanyWithoutG04R0) {
  Put(kCompanyRegister, Company("0001") + Company("0002"));
  std::string name(61, 'N');
  // The last record is cut short: only its own characters are copied.
  Put("0001\\G04.DAT",
      G04(name, "SECOND") + G04("GONE", "X", '+') + G04("LAST", "CUT").substr(0, 80));
  Put("0002\\G04.DAT", G04("KEPT", "X"));
  Put("0002\\G04R0.DAT", "existing");
  Run();
  EXPECT_EQ(File("0001\\G04R0.DAT"), G04R0(name, "SECOND") + G04R0("LAST", "CUT"));
  EXPECT_FALSE(Exists("0001\\G04.DAT"));
  EXPECT_EQ(File("0002\\G04.DAT"), G04("KEPT", "X"));
  EXPECT_EQ(File("0002\\G04R0.DAT"), "existing");
}

TEST_F(Version301Test, AddressComplementsAreFoldedOnceAfterABackup) {
  const std::string k20 = "K234567890123456789X";
  std::string reg =
      Company("0001", {{A::kAddress, "RUA"}, {A::kComplement, "B1"}, {A::kOther, k20}});
  std::string f01 = Record(kTable01RecordLength, {{A::kAddress, "RUA DAS FLORES"},
                                                  {A::kComplement, "120"},
                                                  {A::kOther, "FUNDOS"},
                                                  {A::kLocality, "CENTRO"}}) +
                    Record(kTable01RecordLength, {{A::kAddress, std::string(38, 'A')},
                                                  {A::kComplement, "BBBBB"},
                                                  {A::kLocality, "LOCALIDADE"}}) +
                    Record(kTable01RecordLength, {{A::kAddress, std::string(30, 'A')},
                                                  {A::kOther, "COMPLEMENTO LONGO"},
                                                  {A::kLocality, std::string(30, 'D')}});
  std::string f02 =
      Record(kTable02RecordLength,
             {{A::kAddress, "AV"}, {A::kOldCreditLimit, "150,00"}, {600, "rest"}}) +
      Record(kTable02RecordLength, {{A::kAddress, "AV"}, {A::kOldCreditLimit, "0,00"}});
  Put(kCompanyRegister, reg);
  Put(kTable01, f01);
  Put(kTable02, f02);
  Put("F02R1.BAK", "older backup");
  Run();

  EXPECT_EQ(File(kCompanyRegister), Company("0001", {{A::kAddress, "RUA"},
                                                     {A::kComplement, "B1"},
                                                     {A::kRegisterOther, k20 + "  89X"}}));
  EXPECT_EQ(File(kTable01),
            Record(kTable01RecordLength,
                   {{A::kAddress, "RUA DAS FLORES 120 FUNDOS"}, {A::kLocality, "CENTRO"}}) +
                Record(kTable01RecordLength, {{A::kAddress, std::string(34, 'A') + " BBBBB"},
                                              {A::kLocality, "LOCALIDADE"}}) +
                Record(kTable01RecordLength,
                       {{A::kAddress, std::string(30, 'A')},
                        {A::kLocality, std::string(12, 'D') + " COMPLEMENTO LONGO"}}));
  EXPECT_EQ(File(kTable02),
            Record(kTable02RecordLength, {{A::kAddress, "AV"}, {A::kCreditLimit, "150,00"}}) +
                Record(kTable02RecordLength, {{A::kAddress, "AV"}, {A::kOldCreditLimit, "0,00"}}));
  EXPECT_EQ(File("F00R0.BAK"), reg);
  EXPECT_EQ(File("F01R0.BAK"), f01);
  EXPECT_EQ(File("F02R1.BAK"), "older backup");
  EXPECT_EQ(File("CONV.DAT"), "301\r\n");

  // A second call finds the mark and folds nothing again, while a G04.DAT that has
  // appeared since is still widened.
  Put(kTable01, f01);
  Put("0001\\G04.DAT", G04("NEW", "X"));
  Run();
  EXPECT_EQ(File(kTable01), f01);
  EXPECT_EQ(File("0001\\G04R0.DAT"), G04R0("NEW", "X"));
  EXPECT_EQ(File("CONV.DAT"), "301\r\n");
}

TEST_F(Version301Test, TheMarkerOfAnOlderConverterRecordsTheVersionWithoutFolding) {
  std::string f01 = Record(kTable01RecordLength, {{A::kAddress, "RUA"}, {A::kComplement, "120"}});
  Put(kTable01, f01);
  Put("Vuk301.con", "");
  Run();
  EXPECT_FALSE(Exists("Vuk301.con"));
  EXPECT_EQ(File("CONV.DAT"), "301\r\n");
  EXPECT_EQ(File(kTable01), f01);
  EXPECT_FALSE(Exists("F01R0.BAK"));
}

// The folder of the layout just before a step (empty: the current layout).
void Sample(platform::MemoryFileSystem& folder, std::string_view before) {
  SampleOptions options;
  options.companies = 2;
  options.records = 3;
  options.first_year = 2015;  // few ledgers: fewer fault points
  options.last_year = 2016;
  options.before = before;
  ASSERT_TRUE(WriteSampleFolder(folder, options).ok);
}

// A run stopped at any write, rename, close, flush or copy, or short of disk room from any
// write on, is finished by the next run: the data folder and the safety folder of one
// uninterrupted run, the tables folded once, each G04 widened once.
TEST_F(Version301Test, EveryStopAndFullDiskIsFinishedByTheNextRun) {
  const LibraryStep& step = *FindLibraryStep("version-301");
  auto build = [](platform::MemoryFileSystem& folder) {
    Sample(folder, "version-301");
    // A piece of only line ends at the end of a G04 is no record.
    auto g04 = test::ReadFile(folder, "0001\\G04.DAT");
    ASSERT_TRUE(g04);
    ASSERT_TRUE(test::WriteFile(folder, "0001\\G04.DAT", *g04 + "\r\n"));
  };
  // Each G04 widened once.
  ExpectEveryFaultFinishedByRerun(build, [&](Context& c) { return RunLibraryStep(step, c); });
  EXPECT_EQ(fs.Snapshot().at("0001\\G04R0.DAT").size() % 950, 0u);
}

// The guard takes the folder before the step, also one where some companies are done or a
// marker stands for the fold; it refuses the folders of the later layouts, changing nothing.
TEST_F(Version301Test, TheGuardTakesItsInputLayoutOnly) {
  Sample(fs, "version-301");
  EXPECT_TRUE(Version301HasInput(fs));
  ASSERT_TRUE(RunLibraryStep(*FindLibraryStep("version-301"), ctx));
  EXPECT_FALSE(Version301HasInput(fs));
  ASSERT_TRUE(fs.Remove("0002\\G04R0.DAT"));
  Put("0002\\G04.DAT", G04("AGAIN", "X"));
  EXPECT_TRUE(Version301HasInput(fs));
  ASSERT_TRUE(fs.Remove("0002\\G04.DAT"));
  Put("Vuk301.con", "");
  EXPECT_TRUE(Version301HasInput(fs));

  for (std::string_view later : {"number-charts", "versions-320-362", ""}) {
    platform::MemoryFileSystem folder;
    Sample(folder, later);
    EXPECT_FALSE(Version301HasInput(folder)) << later;
    const auto before = folder.Snapshot();
    Context other{folder, sink, ""};
    EXPECT_EQ(RunLibraryStep(*FindLibraryStep("version-301"), other).cause(), Cause::kLayout);
    EXPECT_EQ(folder.Snapshot(), before) << later;
  }
}

}  // namespace
}  // namespace livrana
