#include "tools/sample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "library/registry.h"
#include "platform/file_system.h"
#include "platform/memory_file_system.h"
#include "records/context.h"
#include "records/format.h"
#include "tests/step_fixture.h"
#include "tests/test_util.h"
#include "upgrade/upgrade.h"

namespace livrana {
namespace {

using Files = std::map<std::string, std::string>;

Files Sample(const SampleOptions& options) {
  platform::MemoryFileSystem fs;
  SampleResult result = WriteSampleFolder(fs, options);
  EXPECT_TRUE(result.ok) << result.error;
  return fs.Snapshot();
}

std::vector<std::string> Records(const std::string& data, std::size_t width) {
  EXPECT_EQ(data.size() % width, 0u);
  return test::Split(data, width);
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The branches of the phone-table phase that a record's two telephone texts take.
std::set<std::string> PhoneBranches(const std::string& record) {
  std::string t1 = Trimmed(record.substr(290, 41));
  std::string t2 = Trimmed(record.substr(331, 23));
  std::size_t l1 = t1.size(), l2 = t2.size();
  std::set<std::string> taken;
  if (l1 == 0 && l2 == 0) taken.insert("both empty");
  if (l1 > 0 && l2 == 0) taken.insert("second empty");
  if (l1 == 0 && l2 > 0) taken.insert("first empty");
  if (l2 > 0 && SameIgnoringAsciiCase(t1.substr(0, l2), t2)) {
    taken.insert(t1.substr(0, l2) == t2 ? "second repeats first" : "repeats, other case");
    l2 = 0;
  }
  if (l1 > 37) taken.insert("first cut");
  if (l2 > 0 && l1 + l2 + 3 <= 37) taken.insert("folds");
  if (l2 > 0 && l1 + l2 + 3 == 37) taken.insert("folds exactly");
  if (l2 > 0 && l1 + l2 + 3 > 37) taken.insert("does not fold");
  if (l2 > 0 && l1 + l2 + 3 == 38) taken.insert("misses by one");
  if (l1 > 37 && l2 > 0) taken.insert("cut and moved");
  return taken;
}

TEST(SampleTest, TheSameSeedGivesTheSameBytesAndAnotherSeedOthers) {
  SampleOptions options;
  options.seed = 7;
  Files first = Sample(options);
  EXPECT_EQ(first, Sample(options));
  options.seed = 8;
  Files other = Sample(options);
  ASSERT_EQ(first.size() > 0, true);
  EXPECT_NE(first, other);
  // Each file depends only on the seed and on what it is: more records per year change
  // the invoice files, not the register.
  options.seed = 7;
  options.records = 3;
  EXPECT_EQ(Sample(options).at("F00R0.DAT"), first.at("F00R0.DAT"));
}

TEST(SampleTest, LowerCaseNamesHoldTheSameBytes) {
  SampleOptions options;
  Files upper = Sample(options);
  options.lower_case_names = true;
  Files lower = Sample(options);
  ASSERT_EQ(upper.size(), lower.size());
  for (auto u = upper.begin(), l = lower.begin(); u != upper.end(); ++u, ++l) {
    std::string folded = u->first;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(l->first, folded);
    EXPECT_EQ(l->second, u->second);
  }
}

TEST(SampleTest, RegisterHasLiveAndDeletedCompaniesAndInvoiceFilesForMostYears) {
  SampleOptions options;
  options.companies = 6;
  Files files = Sample(options);
  auto reg = Records(files.at("F00R0.DAT"), 1000);
  ASSERT_EQ(reg.size(), 8u);
  int deleted = 0;
  for (std::size_t n = 0; n < reg.size(); ++n) {
    EXPECT_EQ(reg[n].substr(0, 11), Format("%04d       ", static_cast<int>(n) + 1));
    EXPECT_TRUE(reg[n][999] == '+' || reg[n][999] == ' ');
    deleted += reg[n][999] == '+';
  }
  EXPECT_EQ(deleted, 2);

  std::set<int> years_of_first;
  int company_years = 0;
  for (const auto& [path, data] : files) {
    if (!path.starts_with("R00\\") || path.back() == '\\') continue;
    ASSERT_EQ(path.size(), std::string("R00\\0001\\L50A1990.DAT").size()) << path;
    ASSERT_EQ(path.substr(8, 5), "\\L50A") << path;
    int year = std::stoi(path.substr(13, 4));
    EXPECT_EQ(data.size(), 40u * 400u) << path;
    if (path.starts_with("R00\\0001\\")) years_of_first.insert(year);
    if (year >= 1990 && year <= 2018) ++company_years;
  }
  // The first company has every year and the two just outside; the others most years; one
  // company has no invoices at all.
  EXPECT_EQ(years_of_first.size(), 31u);
  EXPECT_EQ(*years_of_first.begin(), 1989);
  EXPECT_EQ(*years_of_first.rbegin(), 2019);
  EXPECT_LT(company_years, 7 * 29);
  EXPECT_GT(company_years, 7 * 29 / 2);
  EXPECT_TRUE(files.count("R00\\0007\\"));
  for (const auto& [path, data] : files) EXPECT_FALSE(path.starts_with("R00\\0007\\L"));
}

TEST(SampleTest, WithoutGapsEveryCompanyHasEveryYear) {
  SampleOptions options;
  options.companies = 3;
  options.records = 7;
  options.gaps = false;
  platform::MemoryFileSystem fs;
  SampleResult result = WriteSampleFolder(fs, options);
  ASSERT_TRUE(result.ok);
  std::uint64_t invoice_bytes = 0;
  int invoice_files = 0;
  for (const auto& [path, data] : fs.Snapshot()) {
    if (path.starts_with("R00\\") && path.back() != '\\')
      ++invoice_files, invoice_bytes += data.size();
  }
  EXPECT_EQ(invoice_files, 5 * 29);
  EXPECT_EQ(invoice_bytes, 5u * 29u * 7u * 400u);
  EXPECT_EQ(result.files, 5 * 29 + 4);
}

TEST(SampleTest, InvoiceRecordsQualifyOrFailExactlyOneTest) {
  Files files = Sample(SampleOptions{});
  int qualifying = 0, not_zero = 0, mark_at_51 = 0, blank_at_52 = 0;
  for (const auto& [path, data] : files) {
    if (!path.starts_with("R00\\") || path.back() == '\\') continue;
    for (const std::string& rec : Records(data, 400)) {
      ASSERT_EQ(rec.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << path;
      bool zero = rec[0] == '0', space51 = rec[51] == ' ', text52 = rec[52] != ' ';
      ASSERT_EQ(!zero + !space51 + !text52, zero && space51 && text52 ? 0 : 1) << path;
      if (zero && space51 && text52) {
        ++qualifying;
        EXPECT_EQ(rec.substr(52, 10).find(' '), std::string::npos);
        EXPECT_NE(rec[80], ' ');
        EXPECT_EQ(rec.substr(127, 11), std::string(11, ' '));
      }
      not_zero += !zero;
      mark_at_51 += !space51;
      blank_at_52 += !text52;
    }
  }
  EXPECT_GT(qualifying, 5 * (not_zero + mark_at_51 + blank_at_52) / 4);
  EXPECT_GT(not_zero, 0);
  EXPECT_GT(mark_at_51, 0);
  EXPECT_GT(blank_at_52, 0);
}

TEST(SampleTest, EveryPhoneTableReachesEveryBranchOfThePhonePhase) {
  SampleOptions options;
  options.companies = 9;  // eleven register records, one per shape
  Files files = Sample(options);
  const std::set<std::string> all = {
      "both empty",          "second empty",  "first empty",  "second repeats first",
      "repeats, other case", "first cut",     "folds",        "folds exactly",
      "does not fold",       "misses by one", "cut and moved"};
  for (auto [name, width] : {std::pair{"F00R0.DAT", 1000}, std::pair{"F01R0.DAT", 814},
                             std::pair{"F02R1.DAT", 1000}, std::pair{"F08R1.DAT", 1000}}) {
    std::set<std::string> reached;
    for (const std::string& rec : Records(files.at(name), static_cast<std::size_t>(width))) {
      ASSERT_EQ(rec.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << name;
      for (const auto& branch : PhoneBranches(rec)) reached.insert(branch);
    }
    EXPECT_EQ(reached, all) << name;
  }
}

// A small folder of an older layout: three live companies, twelve records a table.
SampleOptions Older(std::string_view before) {
  SampleOptions options;
  options.companies = 3;
  options.records = 12;
  options.before = before;
  return options;
}

// The files of a snapshot (of memory or of a host folder), folders left out, by their
// paths with "/" between the parts.
Files FilesOnly(const Files& snapshot) {
  Files files;
  for (const auto& [path, data] : snapshot) {
    if (path.back() == '\\' || path.back() == '/') continue;
    std::string slashed = path;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    files.emplace(slashed, data);
  }
  return files;
}

TEST(SampleTest, OlderLayoutsAreTheSameForASeedInMemoryAndOnDisk) {
  SampleOptions options = Older("import-old-files");
  Files oldest = Sample(options);
  EXPECT_EQ(oldest, Sample(options));
  for (const char* file : {"F0.DAT", "f1.dat", "f2.dat", "f0dp.dat", "f3.dat", "group01.dat",
                           "data\\0001.dat", "dasa2\\00012.dat", "L10\\", "0001\\L15.DAT"}) {
    EXPECT_EQ(oldest.count(file), 1u) << file;
  }
  options.seed = 2;
  EXPECT_NE(Sample(options), oldest);

  // A layout the steps made comes out the same whatever order the file system lists names
  // in and whatever the year: the steps see the sample's last year and listings in order.
  options = Older("remove-obsolete");
  Files in_memory = FilesOnly(Sample(options));
  test::TempDir dir;
  auto host = platform::OpenHostFileSystem(dir.str());
  SampleResult result = WriteSampleFolder(*host, options);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(FilesOnly(test::SnapshotHost(dir.path())), in_memory);
  EXPECT_EQ(result.files, static_cast<std::int64_t>(in_memory.size()));
}

// Each step of the chain, run over the folder of its input layout, changes it; the steps
// before it, which made that folder, left nothing below the temporary folder.
TEST(SampleTest, EveryStepFindsWorkInTheFolderBeforeIt) {
  for (const LibraryStep& step : LibrarySteps()) {
    SCOPED_TRACE(std::string(step.name));
    platform::MemoryFileSystem fs;
    SampleResult result = WriteSampleFolder(fs, Older(step.name));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(fs.SnapshotOutside(), platform::MemoryFileSystem().SnapshotOutside());
    Files before = fs.Snapshot();
    EXPECT_EQ(before.count("~TEMP-AMOSTRA\\"), 0u);
    test::RecordingSink sink;
    Context ctx{fs, sink, ""};
    EXPECT_TRUE(RunLibraryStep(step, ctx));
    EXPECT_NE(fs.Snapshot(), before);
  }
}

// The whole chain over the oldest folder: no step reports a failure or notes a record it
// could not place, and the folder ends in the current layout.
TEST(SampleTest, TheChainTakesTheOldestFolderToTheEndWithoutAFailure) {
  platform::MemoryFileSystem fs;
  SampleOptions options = Older("import-old-files");
  options.records = 40;
  ASSERT_TRUE(WriteSampleFolder(fs, options).ok);
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};
  for (const LibraryStep& step : LibrarySteps()) {
    EXPECT_TRUE(RunLibraryStep(step, ctx)) << step.name;
    EXPECT_TRUE(sink.messages.empty()) << step.name << ": " << sink.messages.front().text;
    EXPECT_TRUE(sink.notes.empty()) << step.name << ": " << sink.notes.front();
    sink.messages.clear();
    sink.notes.clear();
  }
  Files files = fs.Snapshot();
  for (const char* file : {"F00R0.DAT", "F01R0.DAT", "F02R1.DAT", "F08R1.DAT", "F20R1.DAT",
                           "F19.DAT", "R00\\0001\\L50A2018.DAT", "R60\\"}) {
    EXPECT_EQ(files.count(file), 1u) << file;
  }
  for (const auto& [path, data] : files) {
    EXPECT_FALSE(path.starts_with("L") || path.starts_with("G") || path.starts_with("00"))
        << path << " is of an older layout";
  }
}

// Upgrade over a folder of each older layout: the plan is worked out without a change and
// lists exactly the steps that then run; the folder it leaves is the one that running those
// steps one by one and then the current conversion leaves, and it is current afterwards.
TEST(SampleTest, UpgradeOfEachOlderLayoutEqualsTheStepsRunOneByOne) {
  for (const LibraryStep& first : LibrarySteps()) {
    SCOPED_TRACE(std::string(first.name));
    platform::MemoryFileSystem upgraded;
    ASSERT_TRUE(WriteSampleFolder(upgraded, Older(first.name)).ok);
    platform::MemoryFileSystem by_hand;
    ASSERT_TRUE(WriteSampleFolder(by_hand, Older(first.name)).ok);
    const Files before = upgraded.Snapshot();

    UpgradePlan plan = PlanUpgrade(upgraded, "");
    EXPECT_EQ(upgraded.Snapshot(), before);
    ASSERT_TRUE(plan.Older());
    // The clean-up's leftovers do not keep the current conversion from the folder.
    EXPECT_EQ(FirstPendingStep(upgraded), first.name == "remove-obsolete" ? nullptr : &first);
    test::RecordingSink sink;
    Context ctx{upgraded, sink, ""};
    UpgradeResult result = RunUpgrade(ctx, plan, {});
    EXPECT_TRUE(result.outcome.ok()) << Describe(result.outcome);
    EXPECT_EQ(result.steps_skipped, 0);

    std::vector<std::string_view> ran, planned;
    for (const UpgradePlan::Step& step : plan.steps) planned.push_back(step.step->name);
    test::RecordingSink hand_sink;
    Context hand{by_hand, hand_sink, ""};
    bool reached = false;
    for (const LibraryStep& step : LibrarySteps()) {
      reached = reached || &step == &first;
      if (!reached || step.has_input == nullptr || !step.has_input(by_hand)) continue;
      ran.push_back(step.name);
      EXPECT_TRUE(RunLibraryStep(step, hand)) << step.name;
    }
    EXPECT_TRUE(Convert434(hand).ok());
    EXPECT_EQ(planned, ran);
    EXPECT_EQ(FilesOnly(upgraded.Snapshot()), FilesOnly(by_hand.Snapshot()));

    EXPECT_EQ(FirstPendingStep(upgraded), nullptr);
    UpgradePlan after = PlanUpgrade(upgraded, "");
    EXPECT_FALSE(after.Older());
    EXPECT_FALSE(after.convert_has_work);
  }
}

// An upgrade stopped at any flush (the moments a step's conversion makes its targets and its
// commit durable, those of its last conversion among them, after which its input is gone) is
// finished by the next upgrade: the plan takes up the step that the journal names.
TEST(SampleTest, AnUpgradeStoppedAnywhereIsFinishedByTheNextOne) {
  SampleOptions options = Older("number-charts");
  options.companies = 1;
  options.records = 1;
  const Files input = Sample(options);
  platform::MemoryFileSystem clean;
  ASSERT_TRUE(test::Restore(clean, input));
  auto upgrade = [](platform::FileSystem& fs, platform::FileSystem* over = nullptr) {
    test::RecordingSink sink;
    Context ctx{over != nullptr ? *over : fs, sink, ""};
    return RunUpgrade(ctx, PlanUpgrade(fs, ""), {}).outcome;
  };
  ASSERT_TRUE(upgrade(clean));
  const Files expected = FilesOnly(clean.Snapshot());
  test::ForEveryFault(
      test::Fault::StopAt(platform::FaultOp::kFlush),
      [&](platform::MemoryFileSystem& folder) { ASSERT_TRUE(test::Restore(folder, input)); },
      [&](platform::MemoryFileSystem& folder, platform::FaultFileSystem& faults, long long k) {
        if (upgrade(folder, &faults)) return;
        ASSERT_TRUE(upgrade(folder)) << "stopped at flush " << k;
        ASSERT_EQ(FilesOnly(folder.Snapshot()), expected) << "stopped at flush " << k;
      });
}

// The size knob: the records are chosen so that the folder reaches the size asked for.
TEST(SampleTest, MinBytesChoosesTheRecordsForTheSize) {
  SampleOptions options = Older("split-ledgers");
  options.min_bytes = 1u << 20;
  platform::MemoryFileSystem fs;
  SampleResult result = WriteSampleFolder(fs, options);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_GE(result.bytes, options.min_bytes);
  EXPECT_LT(result.bytes, options.min_bytes + options.min_bytes / 10);
  EXPECT_GT(result.records, 12);
}

TEST(SampleTest, RefusesAFolderThatIsNotEmpty) {
  platform::MemoryFileSystem fs;
  ASSERT_TRUE(test::WriteFile(fs, "F00R0.DAT", "real data"));
  SampleResult result = WriteSampleFolder(fs, SampleOptions{});
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.empty());
  EXPECT_EQ(fs.Snapshot(), (Files{{"F00R0.DAT", "real data"}}));
}

}  // namespace
}  // namespace livrana
