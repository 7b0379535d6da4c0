// The command-line program run as a process over data folders built by the tests: exit
// status, what goes to which stream, the company option, the sample folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "library/registry.h"
#include "platform/cp1252.h"
#include "platform/file_system.h"
#include "records/format.h"
#include "records/layouts/invoices.h"
#include "records/layouts/phone_tables.h"
#include "tests/cli_process.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

namespace fs = std::filesystem;

// The program writes UTF-8; the literals of this file are Windows-1252.
std::string U(std::string_view text) { return platform::Cp1252ToUtf8(text); }

using Outcome = test::CliOutcome;

Outcome RunCli(const std::vector<std::string>& args, const fs::path& cwd = {}) {
  test::CliRun how;
  how.cwd = cwd;
  return test::RunCli(args, how);
}

const std::string kDone = "A conversão foi realizada.\n";

std::string Converted(int count) { return U(Format("NF convertidas: %d\n", count) + kDone); }

TEST(CliTest, UsageErrorsExitWith2AndExplainOnStandardError) {
  test::TempDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"bogus"},
      {"converter", "s1"},
      {"convert", dir.str(), "--frobnicate"},
      {"convert", dir.str(), "extra", "argument"},
      {"--yes", "--no", "convert", dir.str()},
      {"convert", dir.str(), "--company"},
      {"convert", dir.str(), "--company",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA"},  // not in Windows-1252
      {"convert", ""},
      {"run"},
      {"run", "no-such-step", dir.str()},
      {"sample"},
      {"sample", dir.str(), "--companies", "many"},
      {"sample", dir.str(), "--records", "-1"},
      {"sample", dir.str(), "--seed", "1x"},
      {"sample", dir.str(), "--before", "no-such-step"},
      {"sample", dir.str(), "--mib", "8", "--records", "3"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += "[" + a + "] ";
    Outcome o = RunCli(args);
    EXPECT_EQ(o.status, 2) << shown;
    EXPECT_EQ(o.out, "") << shown;
    EXPECT_TRUE(o.err.starts_with("livrana-convert: ")) << shown << o.err;
    EXPECT_NE(o.err.find("Uso:"), std::string::npos) << shown;
  }
  EXPECT_NE(RunCli({"run", "no-such-step", dir.str()}).err.find("no-such-step"), std::string::npos);
  // A mistyped command or step name is told as such, with the nearest name; a step name in
  // another letter case is the step.
  const std::vector<std::pair<std::vector<std::string>, std::string>> near = {
      {{"converter", "s1"}, "comando desconhecido: converter; você quis dizer: convert?\n"},
      {{"-q", "upgarde"}, "comando desconhecido: upgarde; você quis dizer: upgrade?\n"},
      {{"run", "versoin-301", dir.str()},
       "etapa desconhecida: versoin-301; você quis dizer: version-301?\n"},
      {{"sample", dir.str(), "--before", "fiscal373"},
       "--before: etapa desconhecida: fiscal373; você quis dizer: fiscal-373?\n"},
  };
  for (const auto& [args, message] : near) {
    Outcome o = RunCli(args);
    EXPECT_EQ(o.status, 2) << args[0];
    EXPECT_TRUE(o.err.starts_with(U("livrana-convert: " + message))) << o.err;
  }
  EXPECT_EQ(RunCli({"xyz"}).err.find(U("você quis dizer")), std::string::npos);
  EXPECT_EQ(RunCli({"run", "VERSION-301", (dir.path() / "missing").string()}).status, 1);
  // Nothing was written by any of them.
  EXPECT_TRUE(test::SnapshotHost(dir.path()).empty());
}

TEST(CliTest, HelpAndStepListGoToStandardOutput) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"convert", "--help"}, {"sample", "-h"}}) {
    Outcome o = RunCli(args);
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("Uso:"), std::string::npos) << args[0];
    EXPECT_EQ(o.err, "");
  }
  // The version of the build, also before a command and with the report asked for.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--version"}, {"--version", "convert", "x", "--json"}}) {
    Outcome o = RunCli(args);
    EXPECT_EQ(o.status, 0) << args.size();
    EXPECT_EQ(o.out, "livrana-convert " LIVRANA_VERSION "\n") << args.size();
    EXPECT_EQ(o.err, "");
  }
  Outcome steps = RunCli({"steps"});
  EXPECT_EQ(steps.status, 0);
  EXPECT_EQ(steps.err, "");
  if (LibrarySteps().empty()) {
    EXPECT_EQ(steps.out, U("Ainda não há etapas na biblioteca de conversões.\n"));
  }
  for (const LibraryStep& step : LibrarySteps()) {
    EXPECT_NE(steps.out.find(std::string(step.name)), std::string::npos) << step.name;
  }
}

TEST(CliTest, AFolderThatCannotBeUsedExitsWith1) {
  test::TempDir dir;
  fs::path missing = dir.path() / "missing";
  fs::path file = dir.path() / "file";
  std::ofstream(file) << "x";
  for (const fs::path& folder : {missing, file}) {
    Outcome o = RunCli({"convert", folder.string()});
    EXPECT_EQ(o.status, 1) << folder;
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find(folder.string()), std::string::npos) << o.err;
  }
  EXPECT_EQ(RunCli({"sample", file.string()}).status, 1);
  EXPECT_FALSE(fs::exists(missing));
}

// A register of three companies, each with one qualifying invoice record in 1990.
class CliConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto host = platform::OpenHostFileSystem(dir_.str());
    std::string reg;
    for (const char* code : codes_)
      reg += test::Record(kCompanyRecordLength, {{RegisterLayout::kCode, code}});
    ASSERT_TRUE(test::WriteFile(*host, kCompanyRegister, reg));
    ASSERT_TRUE(host->MakeFolder("R00"));
    for (const char* code : codes_) {
      ASSERT_TRUE(host->MakeFolder(Format("R00\\%s", code)));
      ASSERT_TRUE(test::WriteFile(*host, Format("R00\\%s\\L50A1990.DAT", code), Invoice()));
    }
  }

  static std::string Invoice() {
    return test::Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"},
                                         {InvoiceLayout::kOld, "ABCDEFGHIJ"},
                                         {InvoiceLayout::kMid, "RSTUVWXYZ"}});
  }
  std::string InvoiceOf(const std::string& code) {
    auto host = platform::OpenHostFileSystem(dir_.str());
    return test::ReadFile(*host, Format("R00\\%s\\L50A1990.DAT", code)).value_or("");
  }

  test::TempDir dir_;
  const char* codes_[3] = {"0001", "ABCDEFGHIJ", "AÇÃO"};
};

TEST_F(CliConvertTest, ConvertShowsTheCountAndTheEndMessageAndTheCompanyOptionSelects) {
  const std::string converted = test::Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"},
                                                              {InvoiceLayout::kMid, "ABCDEFGHI"},
                                                              {InvoiceLayout::kNew, "RSTUVWXYZ"}});

  Outcome o = RunCli({"convert", dir_.str(), "--company", "0001"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, Converted(1));
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(InvoiceOf("0001"), converted);
  EXPECT_EQ(InvoiceOf("ABCDEFGHIJ"), Invoice());

  // The code is not trimmed: a trailing space matches no company, which is an error that
  // changes nothing.
  Outcome none = RunCli({"convert", dir_.str(), "--company", U("AÇÃO ")});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find(U("nenhuma empresa do cadastro tem este código")), std::string::npos)
      << none.err;
  EXPECT_EQ(InvoiceOf("AÇÃO"), Invoice());
  // As in the dialog's field, only the first 10 characters count.
  EXPECT_EQ(RunCli({"convert", dir_.str(), "--company", "ABCDEFGHIJKLM"}).out, Converted(1));
  EXPECT_EQ(InvoiceOf("ABCDEFGHIJ"), converted);
  // A code typed in UTF-8 is the register's Windows-1252 code.
  EXPECT_EQ(RunCli({"--yes", "convert", "--company", U("AÇÃO"), "-q", dir_.str()}).out,
            Converted(1));
  EXPECT_EQ(InvoiceOf("AÇÃO"), converted);
  EXPECT_EQ(RunCli({"convert", dir_.str()}).out, Converted(0));
}

TEST_F(CliConvertTest, AFolderHeldByAnotherConverterIsLeftAlone) {
  std::ofstream(dir_.path() / "LIVRANA.LCK", std::ios::binary)
      << "pid=4242\r\nhost=outra-maquina\r\ntime=2026-01-01 00:00:00\r\n";
  auto before = test::SnapshotHost(dir_.path());
  Outcome o = RunCli({"convert", dir_.str()});
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("outra-maquina"), std::string::npos) << o.err;
  EXPECT_EQ(test::SnapshotHost(dir_.path()), before);
}

TEST(CliSampleTest, TheSameSeedWritesTheSameFolderAndAnotherSeedAnother) {
  test::TempDir dir;
  auto sample = [&](const std::string& name, const std::string& seed) {
    Outcome o = RunCli({"sample", (dir.path() / name).string(), "--companies", "2", "--records",
                        "5", "--seed", seed});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    return test::SnapshotHost(dir.path() / name);
  };
  auto a = sample("a", "5");
  EXPECT_TRUE(a.count("F00R0.DAT") && a.count("F01R0.DAT") && a.count("F02R1.DAT") &&
              a.count("F08R1.DAT") && a.count("R00/0001/L50A1990.DAT"));
  EXPECT_EQ(sample("b", "5"), a);
  EXPECT_NE(sample("c", "6"), a);

  // A folder that holds anything is not written into.
  Outcome again = RunCli({"sample", (dir.path() / "a").string()});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(test::SnapshotHost(dir.path() / "a"), a);
}

TEST(CliSampleTest, ASecondConvertOverTheSampleConvertsNothingAndChangesNothing) {
  test::TempDir dir;
  ASSERT_EQ(RunCli({"sample", dir.str(), "--companies", "3", "--records", "20"}).status, 0);
  auto sample = test::SnapshotHost(dir.path());

  Outcome first = RunCli({"convert", dir.str()});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  ASSERT_TRUE(first.out.starts_with("NF convertidas: ")) << first.out;
  EXPECT_GT(std::atoi(first.out.c_str() + 16), 0);
  EXPECT_TRUE(first.out.ends_with(U(kDone)));
  auto converted = test::SnapshotHost(dir.path());
  EXPECT_NE(converted, sample);
  EXPECT_TRUE(converted.count(std::string(kPhoneTableFile)));

  // The folder defaults to the current directory.
  Outcome second = RunCli({"convert"}, dir.path());
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, Converted(0));
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(test::SnapshotHost(dir.path()), converted);
}

}  // namespace
}  // namespace livrana
