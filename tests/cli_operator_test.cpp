// What an operator does around the conversion, through the program as a process: info and
// the dry run give the plan that convert then carries out, and change nothing; the lock
// keeps a second converter off and is gone after an error; --json is one object on
// standard output; --backup makes a run that can be undone exactly.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "platform/cp1252.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "records/format.h"
#include "records/layouts/phone_tables.h"
#include "tests/cli_process.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::CliOutcome;
using test::RunCli;

std::string U(std::string_view text) { return platform::Cp1252ToUtf8(text); }

// The whole of standard output as one JSON object.
json Report(const CliOutcome& o) {
  json report = json::parse(o.out, nullptr, false);
  EXPECT_TRUE(report.is_object()) << o.out;
  if (!report.is_object()) return json::object();
  EXPECT_EQ(report.value("exit_status", -1), o.status);
  return report;
}

std::vector<std::string> Strings(const json& list) {
  std::vector<std::string> out;
  for (const auto& item : list) out.push_back(item.get<std::string>());
  return out;
}

class CliOperatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = work_.path() / "dados";
    temp_ = work_.path() / "temp";
    fs::create_directories(temp_);
    CliOutcome o = RunCli({"sample", data_.string(), "--companies", "3", "--records", "12"});
    ASSERT_EQ(o.status, 0) << o.err;
  }
  // Runs with the temporary folder (and so the safety folder) inside the test's folder.
  CliOutcome Run(std::vector<std::string> args, std::string prefix = "") {
    test::CliRun how;
    how.env = {{"TMPDIR", temp_.string()}, {"TMP", temp_.string()}, {"TEMP", temp_.string()}};
    how.prefix = std::move(prefix);
    return RunCli(args, how);
  }
  std::map<std::string, std::string> Snapshot() { return test::SnapshotHost(data_); }
  void WriteLock(const std::string& host, int pid) {
    std::ofstream(data_ / "LIVRANA.LCK", std::ios::binary)
        << Format("pid=%d\r\nhost=%s\r\ntime=2026-01-01 00:00:00\r\n", pid, host);
  }
  std::string D() const { return data_.string(); }

  test::TempDir work_;
  fs::path data_, temp_;
};

TEST_F(CliOperatorTest, InfoAndTheDryRunPlanWhatConvertThenDoesAndChangeNothing) {
  const std::vector<std::vector<std::string>> filters = {{"--company", "0002"}, {}};
  for (const auto& filter : filters) {
    auto before = Snapshot();
    auto with = [&](std::vector<std::string> args) {
      args.insert(args.end(), filter.begin(), filter.end());
      return args;
    };
    CliOutcome check = Run(with({"info", D(), "--check"}));
    EXPECT_EQ(check.status, 3) << check.err;
    CliOutcome quiet = Run(with({"info", D(), "--check", "-q"}));
    EXPECT_EQ(quiet.status, 3);
    EXPECT_EQ(quiet.out + quiet.err, "");
    CliOutcome info = Run(with({"info", D(), "--json"}));
    CliOutcome dry = Run(with({"convert", D(), "--dry-run", "--json"}));
    CliOutcome dry_text = Run(with({"convert", D(), "--dry-run"}));
    EXPECT_EQ(dry_text.status, 0);
    EXPECT_NE(dry_text.out.find(U("nenhum arquivo foi alterado")), std::string::npos);
    // Byte for byte: not even a lock file.
    ASSERT_EQ(Snapshot(), before);

    json plan = Report(info)["plan"];
    json dry_plan = Report(dry);
    CliOutcome real = Run(with({"convert", D(), "--json"}));
    ASSERT_EQ(real.status, 0) << real.err;
    json done = Report(real);
    EXPECT_GT(done["converted"].get<int>(), 0);
    for (const char* key : {"converted", "phone_lines", "files_changed", "companies",
                            "invoice_files", "phone_phase"}) {
      EXPECT_EQ(plan[key], done[key]) << key;
      EXPECT_EQ(dry_plan[key], done[key]) << key;
    }
    // Every file named changed, and no other.
    auto after = Snapshot();
    std::set<std::string> changed;
    for (const auto& [path, data] : after) {
      if (!before.count(path) || before.at(path) != data) changed.insert(path);
    }
    std::set<std::string> named;
    for (std::string path : Strings(done["files_changed"])) {
      std::replace(path.begin(), path.end(), '\\', '/');
      named.insert(path);
    }
    EXPECT_EQ(changed, named);

    CliOutcome nothing = Run(with({"info", D(), "--check", "--json"}));
    EXPECT_EQ(nothing.status, 0);
    EXPECT_FALSE(Report(nothing)["plan"]["work"].get<bool>());
  }
}

TEST_F(CliOperatorTest, InfoDescribesTheFolder) {
  std::ofstream(data_ / "CONV.DAT", std::ios::binary) << "301\r\n373\r\n";
  CliOutcome o = Run({"info", D(), "--json"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  json report = Report(o);
  EXPECT_EQ(report["command"], "info");
  EXPECT_EQ(report["generation"], "fiscal-400");
  std::vector<std::string> present;
  for (const auto& mark : report["version_marks"]) {
    if (mark["present"].get<bool>()) present.push_back(mark["step"].get<std::string>());
  }
  EXPECT_EQ(present, (std::vector<std::string>{"version-301", "fiscal-373"}));
  int live = 0, deleted = 0;
  for (const auto& company : report["companies"]) {
    live += company["state"] == "live";
    deleted += company["state"] == "deleted";
  }
  EXPECT_EQ(live, 3);
  EXPECT_EQ(deleted, 2);  // the sample's two deleted companies
  EXPECT_FALSE(report["phone_table"].get<bool>());
  EXPECT_TRUE(report["lock"].is_null());

  CliOutcome text = Run({"info", D()});
  EXPECT_EQ(text.status, 0);
  for (const char* part : {"Geração dos arquivos: arquivos fiscais L50A de 400 posições",
                           "301  feita", "fiscal-373", "3 ativas, 2 excluídas, 0 ignoradas",
                           "FTEL1.DAT: não existe", "Notas fiscais a converter: "}) {
    EXPECT_NE(text.out.find(U(part)), std::string::npos) << part << "\n" << text.out;
  }

  // A lock of this machine whose process runs no more is told as abandoned.
  WriteLock(platform::HostName(), 2147483000);
  CliOutcome stale = Run({"info", D()});
  EXPECT_NE(stale.out.find("trava abandonada"), std::string::npos) << stale.out;
  EXPECT_TRUE(Report(Run({"info", D(), "--json"}))["lock_stale"].get<bool>());
}

TEST_F(CliOperatorTest, AHeldLockRefusesEveryRunWithStatus4UntilBroken) {
  WriteLock("outra-maquina", 4242);
  auto before = Snapshot();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"convert", D()},
        std::vector<std::string>{"run", "remove-obsolete", D()},
        std::vector<std::string>{"convert", D(), "--backup"}}) {
    CliOutcome o = Run(args);
    EXPECT_EQ(o.status, 4) << args[0];
    EXPECT_EQ(o.out, "");
    for (const char* part :
         {"processo 4242", "outra-maquina", "2026-01-01 00:00:00", "--break-lock"}) {
      EXPECT_NE(o.err.find(part), std::string::npos) << part << ": " << o.err;
    }
  }
  CliOutcome held = Run({"convert", D(), "--json"});
  EXPECT_EQ(held.status, 4);
  EXPECT_EQ(Report(held)["lock"]["host"], "outra-maquina");
  EXPECT_EQ(Snapshot(), before);

  // Looking is allowed while another converter works; it says so.
  CliOutcome info = Run({"info", D(), "--json"});
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(Report(info)["lock"]["pid"], 4242);
  CliOutcome dry = Run({"convert", D(), "--dry-run"});
  EXPECT_EQ(dry.status, 0);
  EXPECT_NE(dry.err.find("outra-maquina"), std::string::npos);
  EXPECT_EQ(Snapshot(), before);

  CliOutcome broken = Run({"convert", D(), "--break-lock"});
  EXPECT_EQ(broken.status, 0) << broken.err;
  EXPECT_FALSE(fs::exists(data_ / "LIVRANA.LCK"));
  EXPECT_EQ(Run({"info", D(), "--check"}).status, 0);
}

TEST_F(CliOperatorTest, AnUnreadableLockIsHeldToo) {
  std::ofstream(data_ / "LIVRANA.LCK", std::ios::binary) << "garbage";
  CliOutcome o = Run({"convert", D()});
  EXPECT_EQ(o.status, 4);
  EXPECT_NE(o.err.find("--break-lock"), std::string::npos) << o.err;
  EXPECT_EQ(Run({"convert", D(), "--break-lock", "-q"}).status, 0);
}

#ifndef _WIN32
TEST_F(CliOperatorTest, TheLockIsGoneAfterAFailedWriteAndTheNextRunFinishes) {
  test::TempDir reference_dir;
  fs::copy(data_, reference_dir.path() / "dados", fs::copy_options::recursive);
  ASSERT_EQ(RunCli({"convert", (reference_dir.path() / "dados").string()}).status, 0);
  auto reference = test::SnapshotHost(reference_dir.path() / "dados");

  // Files may not grow beyond 1 KiB: the phone table's journal hits the limit.
  CliOutcome failed = Run({"convert", D(), "--json"}, "ulimit -f 2; trap '' XFSZ");
  EXPECT_EQ(failed.status, 1) << failed.err;
  json report = Report(failed);
  EXPECT_FALSE(report["ok"].get<bool>());
  bool fail_message = false;
  for (const auto& message : report["messages"]) fail_message |= message["kind"] == "fail";
  EXPECT_TRUE(fail_message) << failed.out;
  EXPECT_FALSE(fs::exists(data_ / "LIVRANA.LCK"));

  CliOutcome again = Run({"convert", D()});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(Snapshot(), reference);
}
#endif

TEST_F(CliOperatorTest, JsonIsTheOnlyOutputAndHoldsTheRun) {
  CliOutcome o = Run({"convert", D(), "--json"});
  ASSERT_EQ(o.status, 0) << o.err;
  json report = Report(o);
  EXPECT_EQ(report["command"], "convert");
  EXPECT_FALSE(report["dry_run"].get<bool>());
  EXPECT_EQ(Strings(report["companies"]), (std::vector<std::string>{"0001", "0002", "0004"}));
  int converted = report["converted"].get<int>();
  int sum = 0;
  for (const auto& file : report["invoice_files"]) sum += file["converted"].get<int>();
  EXPECT_EQ(sum, converted);
  ASSERT_EQ(report["messages"].size(), 2u);
  EXPECT_EQ(report["messages"][0]["kind"], "inform");
  EXPECT_EQ(report["messages"][0]["caption"], U("Conversão 4.34"));
  EXPECT_EQ(report["messages"][0]["text"], Format("NF convertidas: %d", converted));
  EXPECT_EQ(report["messages"][1]["text"], U("A conversão foi realizada."));
  EXPECT_TRUE(report["errors"].empty());

  // A library step refuses the current folder, which holds nothing of its layout.
  CliOutcome step = Run({"run", "remove-obsolete", D(), "--json"});
  EXPECT_EQ(step.status, 1);
  EXPECT_EQ(Report(step)["step"], "remove-obsolete");
  EXPECT_EQ(Report(step)["errors"].size(), 1u);

  // Failures are reported in the object too, with their exit status.
  CliOutcome missing = Run({"info", (work_.path() / "nada").string(), "--json"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(Report(missing)["errors"].size(), 1u);
  CliOutcome usage = Run({"convert", D(), "--json", "--frobnicate"});
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(Report(usage)["errors"].size(), 1u);
  CliOutcome both = Run({"convert", D(), "--dry-run", "--backup"});
  EXPECT_EQ(both.status, 2);
}

// Undoes a run as its report says: created files and folders deleted, removed folders made
// again, each backup copied back over its original.
void Undo(const json& report) {
  for (const auto& folder : report["created_folders"]) {
    fs::remove_all(folder["host_path"].get<std::string>());
  }
  for (const auto& file : report["created_files"]) {
    EXPECT_TRUE(fs::remove(file["host_path"].get<std::string>())) << file;
  }
  for (const auto& folder : report["removed_folders"]) {
    fs::create_directories(folder["host_path"].get<std::string>());
  }
  for (const auto& backup : report["backups"]) {
    // Removed first: mingw's copy_file refuses to overwrite even when asked to.
    fs::remove(backup["original_path"].get<std::string>());
    fs::copy_file(backup["copy_path"].get<std::string>(),
                  backup["original_path"].get<std::string>());
  }
}

TEST_F(CliOperatorTest, BackupsUndoARunExactly) {
  auto before = Snapshot();
  test::TempDir office;
  const fs::path twin = office.path() / "dados";
  fs::copy(data_, twin, fs::copy_options::recursive);
  CliOutcome o = Run({"convert", D(), "--backup", "--json"});
  ASSERT_EQ(o.status, 0) << o.err;
  json report = Report(o);
  ASSERT_FALSE(report["backups"].empty());
  EXPECT_EQ(report["backups"].size() + 1, report["files_changed"].size());  // + FTEL1.DAT
  ASSERT_EQ(report["created_files"].size(), 1u);
  EXPECT_EQ(report["created_files"][0]["path"], std::string(kPhoneTableFile));
  for (const auto& backup : report["backups"]) {
    std::string copy = backup["copy_path"].get<std::string>();
    EXPECT_TRUE(copy.starts_with(temp_.string())) << copy;
#ifndef _WIN32
    EXPECT_EQ(copy.find('\\'), std::string::npos) << copy;
    EXPECT_EQ(backup["original"].get<std::string>().find('\\'), std::string::npos);
#endif
  }
  ASSERT_NE(Snapshot(), before);
  const std::string first = report["run"].get<std::string>();
  CliOutcome undone = Run({"undo", D(), "--json"});
  ASSERT_EQ(undone.status, 0) << undone.err;
  EXPECT_EQ(Report(undone)["run"]["id"], first);
  EXPECT_EQ(Report(undone)["restored"].size(), report["backups"].size());
  EXPECT_EQ(Snapshot(), before);

  // A second run with backups keeps its copies in a folder of its own and names the
  // command that undoes it; a run that changed nothing has nothing to undo.
  CliOutcome text = Run({"convert", D(), "--backup"});
  ASSERT_EQ(text.status, 0);
  EXPECT_NE(text.out.find(U("Cópias de segurança")), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("EXECUCOES"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find(first), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("Para desfazer: livrana-convert undo " + D() + " --run "),
            std::string::npos)
      << text.out;
  // The host path is joined with the host's separator.
  const std::string table(kPhoneTableFile);
  bool created = text.out.find("Arquivo criado: " + D() + "/" + table) != std::string::npos ||
                 text.out.find("Arquivo criado: " + D() + "\\" + table) != std::string::npos;
  EXPECT_TRUE(created) << text.out;
#ifndef _WIN32
  EXPECT_EQ(text.out.find('\\'), std::string::npos) << text.out;
#endif
  EXPECT_TRUE(text.out.ends_with(U("A conversão foi realizada.\n")));
  CliOutcome idle = Run({"convert", D(), "--backup"});
  ASSERT_EQ(idle.status, 0);
  EXPECT_NE(idle.out.find(U("não há o que desfazer")), std::string::npos) << idle.out;
  EXPECT_EQ(idle.out.find("Para desfazer"), std::string::npos) << idle.out;

  // Another data folder of the same name shares the temporary folder: its runs are its own.
  CliOutcome twin_run = Run({"convert", twin.string(), "--backup", "--json"});
  ASSERT_EQ(twin_run.status, 0) << twin_run.err;
  CliOutcome wrong = Run({"undo", D(), "--run", Report(twin_run)["run"].get<std::string>()});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find(U("outra pasta de dados")), std::string::npos) << wrong.err;

  // The last run of the folder with something to undo is the one undone; then none is left.
  CliOutcome last = Run({"undo", D()});
  ASSERT_EQ(last.status, 0) << last.err;
  EXPECT_NE(last.out.find(U("A execução foi desfeita.")), std::string::npos) << last.out;
  EXPECT_EQ(Snapshot(), before);
  CliOutcome none = Run({"undo", D()});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("nada a desfazer"), std::string::npos) << none.err;
  EXPECT_EQ(Snapshot(), before);

  // The history tells what ran, in order, one line a step; info shows it.
  json info = Report(Run({"info", D(), "--json"}));
  std::vector<std::string> lines;
  for (const auto& entry : info["history"]) {
    lines.push_back(entry["command"].get<std::string>() + " " + entry["step"].get<std::string>() +
                    " " + entry["result"].get<std::string>());
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"convert convert feita", "undo  feita",
                                             "convert convert feita", "convert convert feita",
                                             "undo  feita"}));
  ASSERT_EQ(info["runs"].size(), 2u);  // the idle run left no folder
  EXPECT_TRUE(info["runs"][1]["undone"].get<bool>());

  // A library step that renames and removes folders comes back as well.
  test::TempDir other;
  fs::path folder = other.path() / "d";
  fs::create_directories(folder / "R02" / "SUB");
  std::ofstream(folder / "R02" / "A.DAT") << "a";
  std::ofstream(folder / "R02" / "SUB" / "B.DAT") << "b";
  fs::create_directories(folder / "sintegra");
  std::ofstream(folder / "sintegra" / "S.DAT") << "s";
  std::ofstream(folder / "F25.DAT") << "old";
  auto step_before = test::SnapshotHost(folder);
  CliOutcome step = Run({"run", "remove-obsolete", folder.string(), "--backup", "--json"});
  ASSERT_EQ(step.status, 0) << step.err;
  ASSERT_NE(test::SnapshotHost(folder), step_before);
  Undo(Report(step));
  EXPECT_EQ(test::SnapshotHost(folder), step_before);

  // An upgrade with backups is undone by the undo command like any run.
  CliOutcome upgrade = Run({"upgrade", D(), "--backup", "--yes", "-q"});
  ASSERT_EQ(upgrade.status, 0) << upgrade.err;
  ASSERT_NE(Snapshot(), before);
  CliOutcome back = Run({"undo", D(), "-q"});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(Snapshot(), before);

  // A second upgrade changes nothing and counts no file: files opened but never written are
  // no changes.
  ASSERT_EQ(Run({"upgrade", D(), "--yes", "-q"}).status, 0);
  CliOutcome again = Run({"upgrade", D(), "--yes", "-q"});
  EXPECT_NE(again.out.find("arquivos alterados: 0;"), std::string::npos) << again.out;
}

TEST_F(CliOperatorTest, HelpNamesTheNewOptions) {
  CliOutcome convert = RunCli({"convert", "--help"});
  for (const char* option : {"--dry-run", "--backup", "--break-lock", "--json"}) {
    EXPECT_NE(convert.out.find(option), std::string::npos) << option;
  }
  CliOutcome info = RunCli({"info", "--help"});
  EXPECT_NE(info.out.find("--check"), std::string::npos);
  EXPECT_NE(RunCli({"--help"}).out.find(U("4 outro programa")), std::string::npos);
}

}  // namespace
}  // namespace livrana
