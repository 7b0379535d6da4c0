// livrana-convert: the converter on the command line, for the file server that holds the
// data folder and for scripts.
//
//   livrana-convert convert [PASTA] [--company CÓDIGO] [--dry-run] [--backup]
//                           [--break-lock] [--json]
//   livrana-convert run ETAPA [PASTA] [--company CÓDIGO] [--backup] [--break-lock] [--json]
//   livrana-convert info [PASTA] [--company CÓDIGO] [--check] [--json]
//   livrana-convert steps
//   livrana-convert sample PASTA [--companies N] [--records N | --mib N] [--seed N]
//                          [--before ETAPA]
//   global options: --yes | --no, -q/--quiet, --version
//
// Exit status: 0 done; 1 the folder cannot be used, or a write failed; 2 usage error;
// 3 info --check: convert has work to do; 4 another converter holds the folder's lock.
#include <CLI/CLI.hpp>

#include <charconv>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/report.h"
#include "cli/terminal_sink.h"
#include "platform/console.h"
#include "platform/cp1252.h"
#include "platform/file_system.h"
#include "records/format.h"
#include "steps/convert434.h"
#include "steps/folder_lock.h"
#include "steps/folder_status.h"
#include "steps/registry.h"
#include "steps/run_backups.h"
#include "steps/safety.h"
#include "tools/sample.h"

namespace livrana::cli {
namespace {

using platform::ConsoleStream;

constexpr int kDone = 0;
constexpr int kFolderUnusable = 1;  // also: a write failed
constexpr int kUsage = 2;
constexpr int kWorkToDo = 3;  // info --check: convert would change the folder
constexpr int kLockHeld = 4;  // another converter works on the folder

constexpr std::size_t kCompanyFilterLength = 10;  // as many as the dialog's company field

constexpr std::string_view kUsageText =
    "Uso:\n"
    "  livrana-convert convert [PASTA] [--company CÓDIGO] [--dry-run] [--backup]\n"
    "                          [--break-lock] [--json]\n"
    "  livrana-convert run ETAPA [PASTA] [--company CÓDIGO] [--backup] [--break-lock] [--json]\n"
    "  livrana-convert info [PASTA] [--company CÓDIGO] [--check] [--json]\n"
    "  livrana-convert steps\n"
    "  livrana-convert sample PASTA [--companies N] [--records N | --mib N] [--seed N]\n"
    "                         [--before ETAPA]\n";

constexpr std::string_view kOptionsText =
    "Opções gerais:\n"
    "  --yes | --no    responde sim ou não às perguntas (sem elas: pergunta num terminal,\n"
    "                  senão responde não)\n"
    "  -q, --quiet     sem linha de estado\n"
    "  -h, --help      mostra esta ajuda\n"
    "  --version       mostra a versão do programa\n";

constexpr std::string_view kLockHelp =
    "  --break-lock      toma a trava LIVRANA.LCK da pasta mesmo quando outro programa a\n"
    "                    tem; use só quando ele não estiver mais rodando\n";
constexpr std::string_view kBackupHelp =
    "  --backup          antes da primeira alteração de cada arquivo, copia-o para a pasta\n"
    "                    de segurança (Vemo\\Vuk na pasta temporária, com .001 a .100 quando\n"
    "                    o nome já existe) e mostra as cópias e os arquivos criados, para\n"
    "                    que a execução possa ser desfeita\n";
constexpr std::string_view kJsonHelp =
    "  --json            escreve na saída padrão um único objeto JSON (contagens, empresas,\n"
    "                    arquivos, mensagens, código de saída); o progresso vai para a saída\n"
    "                    de erros\n";

std::string HelpText(const std::string& command) {
  std::string text;
  if (command == "convert") {
    text =
        "Uso: livrana-convert convert [PASTA] [--company CÓDIGO] [--dry-run] [--backup]\n"
        "                             [--break-lock] [--json]\n\n"
        "Faz a conversão do diálogo (etapa 4.34) na pasta de dados PASTA (por padrão, a\n"
        "pasta atual) e termina com \"A conversão foi realizada.\".\n\n"
        "  --company CÓDIGO  converte só a empresa deste código (até 10 caracteres, como\n"
        "                    digitado, sem cortar espaços)\n"
        "  --dry-run         só mostra o que a conversão faria (notas por empresa e ano,\n"
        "                    linhas de FTEL1.DAT, arquivos alterados); nenhum arquivo é\n"
        "                    alterado nem criado\n" +
        std::string(kBackupHelp) + std::string(kLockHelp) + std::string(kJsonHelp);
  } else if (command == "run") {
    text =
        "Uso: livrana-convert run ETAPA [PASTA] [--company CÓDIGO] [--backup] [--break-lock]\n"
        "                         [--json]\n\n"
        "Executa uma rotina da biblioteca de conversões na pasta de dados PASTA (por\n"
        "padrão, a pasta atual). \"livrana-convert steps\" lista as ETAPAS.\n\n"
        "  --company CÓDIGO  só a empresa deste código (até 10 caracteres)\n" +
        std::string(kBackupHelp) + std::string(kLockHelp) + std::string(kJsonHelp);
  } else if (command == "info") {
    text =
        "Uso: livrana-convert info [PASTA] [--company CÓDIGO] [--check] [--json]\n\n"
        "Mostra a pasta de dados PASTA (por padrão, a pasta atual) sem alterar nada: a\n"
        "geração dos arquivos, as marcas de versão de CONV.DAT e a rotina de cada uma, as\n"
        "empresas do cadastro (ativas, excluídas, ignoradas), se FTEL1.DAT existe, a trava\n"
        "e o que a conversão (convert) faria agora.\n\n"
        "  --company CÓDIGO  o que a conversão faria só para esta empresa\n"
        "  --check           sai com 3 quando a conversão tem o que fazer, 0 quando não\n" +
        std::string(kJsonHelp);
  } else if (command == "steps") {
    text =
        "Uso: livrana-convert steps\n\n"
        "Lista as etapas da biblioteca de conversões, uma por linha.\n";
  } else if (command == "sample") {
    text = Format(
        "Uso: livrana-convert sample PASTA [--companies N] [--records N | --mib N] [--seed N]\n"
        "                                [--before ETAPA]\n\n"
        "Escreve em PASTA (nova ou vazia) uma pasta de dados de exemplo: cadastro de\n"
        "empresas, notas fiscais de 1990 a 2018 e as tabelas de telefones.\n\n"
        "  --companies N  empresas ativas, de 0 a %d (padrão 5; mais duas excluídas)\n"
        "  --records N    notas por empresa e ano, de 0 a %d (padrão 40)\n"
        "  --seed N       semente: a mesma semente dá os mesmos arquivos (padrão 1)\n"
        "  --mib N        escolhe --records para que a pasta tenha pelo menos cerca de N MiB\n"
        "  --before ETAPA a pasta no leiaute de antes da ETAPA (livrana-convert steps)\n",
        kSampleMaxCompanies, kSampleMaxRecords);
  } else {
    text = "livrana-convert: o conversor de dados do Livrana 4.38 na linha de comando.\n\n" +
           std::string(kUsageText) +
           "\nComandos:\n"
           "  convert   a conversão do diálogo (etapa 4.34)\n"
           "  run       uma rotina da biblioteca de conversões\n"
           "  info      mostra a pasta de dados e o que a conversão faria\n"
           "  steps     lista as etapas da biblioteca\n"
           "  sample    escreve uma pasta de dados de exemplo\n\n"
           "A PASTA é a pasta de dados; por padrão, a pasta atual.\n"
           "Saída: 0 feito; 1 a pasta não pode ser usada ou uma gravação falhou; 2 erro de uso;\n"
           "3 (info --check) a conversão tem o que fazer; 4 outro programa está convertendo a\n"
           "pasta (trava LIVRANA.LCK).\n";
  }
  return text + "\n" + std::string(kOptionsText);
}

// A text given on the command line (UTF-8) as the core holds it.
std::optional<std::string> CoreText(const std::string& argument) {
  return platform::Utf8ToCp1252(argument);
}

// How a host path given by the user shows in a message.
std::string Shown(const std::string& argument) {
  auto core = CoreText(argument);
  return core ? *core : argument;
}

// The --json report of this run: one object, written on standard output at the end; every
// error shown on standard error goes into it too.
struct Report {
  bool on = false;
  Json json = Json::object();
  Json errors = Json::array();
};

Report& TheReport() {
  static Report report;
  return report;
}

void PrintError(std::string_view text) {
  platform::WriteConsoleText(ConsoleStream::kError, "livrana-convert: " + std::string(text) + "\n");
  if (TheReport().on) TheReport().errors.push_back(Text(text));
}

int UsageError(std::string_view text) {
  PrintError(text);
  platform::WriteConsoleText(ConsoleStream::kError,
                             std::string(kUsageText) + "Ajuda: livrana-convert --help\n");
  return kUsage;
}

// Ends the run: writes the report when one was asked for, and gives the exit status.
int Finish(int status) {
  Report& report = TheReport();
  if (report.on) {
    report.json["errors"] = report.errors;
    report.json["exit_status"] = status;
    // Pure ASCII (\u escapes), so that the console's conversion leaves it as it is.
    platform::WriteConsoleText(
        ConsoleStream::kOutput,
        report.json.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) + "\n");
  }
  return status;
}

// Text for the information part of the output: on standard output, or kept out of it when
// standard output carries the report.
void PrintInfo(std::string_view text) {
  if (!TheReport().on) platform::WriteConsoleText(ConsoleStream::kOutput, text);
}

// The Portuguese form of a parse error of the command line.
std::string ParseErrorText(const CLI::ParseError& error) {
  std::string what = error.what();
  auto detail = [&what]() {
    auto colon = what.find(": ");
    return colon == std::string::npos ? what : what.substr(colon + 2);
  };
  auto option = [&what]() {
    auto colon = what.find(':');
    return colon == std::string::npos ? std::string() : what.substr(0, colon);
  };
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    return "argumento não esperado: " + detail();
  }
  if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr) {
    // "--a excludes --b"
    auto at = what.find(" excludes ");
    if (at == std::string::npos) return "opções que não podem ser usadas juntas";
    return what.substr(0, at) + " e " + what.substr(at + 10) + " não podem ser usados juntos";
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    std::string name = option();
    return name.empty() || name.front() != '-' ? "opção sem valor ou repetida"
                                               : "opção sem valor ou repetida: " + name;
  }
  return "linha de comando inválida (" + what + ")";
}

// Why a data folder cannot be used; nothing when it can.
std::optional<std::string> FolderProblem(const std::string& folder) {
  std::error_code ec;
  auto status = std::filesystem::status(folder, ec);
  if (!std::filesystem::exists(status)) {
    return Format("a pasta de dados não existe: %s", Shown(folder));
  }
  if (!std::filesystem::is_directory(status)) {
    return Format("não é uma pasta: %s", Shown(folder));
  }
  std::filesystem::directory_iterator entries(folder, ec);
  if (ec) return Format("a pasta de dados não pode ser lida: %s", Shown(folder));
  return std::nullopt;
}

bool ParseNumber(const std::string& text, long long lo, long long hi, long long& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty() && out >= lo && out <= hi;
}

struct Arguments {
  TerminalSink::Options sink;
  std::string step;
  std::optional<std::string> folder;
  std::optional<std::string> company;
  std::optional<std::string> companies, records, seed, before, mib;
  bool dry_run = false, backup = false, break_lock = false, check = false;
};

// Takes the data-folder lock, so that two converters never work on one folder at once.
// Nothing (after saying why, and with the exit status in status) when another converter
// holds it or the lock cannot be written.
std::optional<FolderLock> LockFolder(platform::FileSystem& fs, const std::string& folder,
                                     bool break_lock, int& status) {
  std::optional<FolderLock> lock;
  LockHolder holder;
  switch (FolderLock::Acquire(fs, break_lock, &lock, &holder)) {
    case FolderLock::Outcome::kAcquired:
      break;
    case FolderLock::Outcome::kHeld:
      status = kLockHeld;
      if (TheReport().on) TheReport().json["lock"] = LockJson(holder);
      if (holder.pid == 0 && holder.host.empty()) {
        PrintError(
            Format("a pasta de dados %s está travada por %s, que não pode ser lido; "
                   "se nenhum outro conversor estiver rodando, execute de novo com "
                   "--break-lock.",
                   Shown(folder), kLockFile));
      } else {
        PrintError(
            Format("a pasta de dados %s está sendo convertida por outro programa "
                   "(processo %d em %s, desde %s UTC); espere que ele termine. Se ele "
                   "não estiver mais rodando, execute de novo com --break-lock.",
                   Shown(folder), holder.pid, holder.host, holder.time));
      }
      break;
    case FolderLock::Outcome::kFailed:
      status = kFolderUnusable;
      PrintError(
          Format("não foi possível criar %s na pasta de dados %s.", kLockFile, Shown(folder)));
      break;
  }
  return lock;
}

// The file system a run works through: the data folder's own, or, with --backup, one that
// keeps a safety copy of each file before its first change.
class RunFileSystem {
 public:
  RunFileSystem(const std::string& folder, bool backup)
      : host_(platform::OpenHostFileSystem(folder)) {
    if (backup) backups_.emplace(*host_);
  }
  platform::FileSystem& host() { return *host_; }
  platform::FileSystem& fs() { return backups_ ? backups_->fs() : *host_; }

  // Tells where the backups went and what else undoes the run.
  void ShowUndo() {
    if (!backups_) return;
    RunUndo undo = backups_->Undo();
    if (TheReport().on) {
      TheReport().json.update(UndoJson(*host_, undo));
    } else {
      platform::WriteConsoleText(ConsoleStream::kOutput, UndoText(*host_, undo));
    }
  }
  // A hint for a run that stopped: the backup may be what could not be written.
  std::string FailureHint() {
    if (!backups_) return "";
    return Format(" Com --backup, a causa pode ser a cópia de segurança em %s%s.",
                  SafetyTempFolder(*host_), kSafetySubfolder);
  }

 private:
  std::unique_ptr<platform::FileSystem> host_;
  std::optional<BackedUpRun> backups_;
};

void ReportMessages(const TerminalSink& sink) {
  if (TheReport().on) TheReport().json["messages"] = MessagesJson(sink.messages());
}

int DryRun(const std::string& folder, const std::string& filter) {
  auto fs = platform::OpenHostFileSystem(folder);
  if (auto holder = ReadLock(*fs)) {
    if (TheReport().on) TheReport().json["lock"] = LockJson(*holder);
    platform::WriteConsoleText(
        ConsoleStream::kError,
        Format("livrana-convert: aviso: outro programa está convertendo a pasta (processo %d "
               "em %s, desde %s UTC); o plano pode mudar.\n",
               holder->pid, holder->host, holder->time));
  }
  Convert434Result plan = PlanConvert434(*fs, filter);
  if (TheReport().on) {
    TheReport().json.update(PlanJson(plan));
  } else {
    PrintInfo(Format("Plano da conversão de %s (nenhum arquivo foi alterado):\n", Shown(folder)) +
              PlanText(plan));
  }
  return kDone;
}

int Convert(const Arguments& args, const std::string& folder, const std::string& filter) {
  if (args.dry_run) return DryRun(folder, filter);
  RunFileSystem files(folder, args.backup);
  int status = kDone;
  auto lock = LockFolder(files.host(), folder, args.break_lock, status);
  if (!lock) return status;
  TerminalSink sink(args.sink);
  Context ctx{files.fs(), sink, filter};
  // The report lists every file; otherwise only the counts are kept, whatever the folder.
  Convert434Result result =
      Convert434(ctx, TheReport().on ? Convert434Detail::kFiles : Convert434Detail::kCounts);
  sink.Finish();
  if (TheReport().on) TheReport().json.update(ResultJson(result));
  files.ShowUndo();
  if (!result.ok) {
    ReportMessages(sink);
    PrintError(
        "a conversão parou porque uma gravação falhou (disco cheio ou arquivo protegido?); "
        "corrija a causa e execute de novo." +
        files.FailureHint());
    return kFolderUnusable;
  }
  sink.PrintLine("A conversão foi realizada.");
  ReportMessages(sink);
  return kDone;
}

int Info(const Arguments& args, const std::string& folder, const std::string& filter) {
  auto fs = platform::OpenHostFileSystem(folder);
  FolderStatus status = InspectFolder(*fs, filter);
  if (TheReport().on) {
    TheReport().json.update(StatusJson(status));
  } else {
    PrintInfo(Format("Pasta de dados: %s\n", Shown(folder)) + StatusText(status));
  }
  return args.check && status.ConvertHasWork() ? kWorkToDo : kDone;
}

std::string StepList() {
  std::string list;
  for (const LibraryStep& step : LibrarySteps()) {
    list += Format("  %-18s %s\n", step.name, step.description);
  }
  return list;
}

int ListSteps() {
  if (LibrarySteps().empty()) {
    platform::WriteConsoleText(ConsoleStream::kOutput,
                               "Ainda não há etapas na biblioteca de conversões.\n");
  } else {
    platform::WriteConsoleText(ConsoleStream::kOutput, StepList());
  }
  return kDone;
}

int RunStep(const Arguments& args, const std::string& folder, const std::string& filter,
            const LibraryStep& step) {
  RunFileSystem files(folder, args.backup);
  int status = kDone;
  auto lock = LockFolder(files.host(), folder, args.break_lock, status);
  if (!lock) return status;
  TerminalSink sink(args.sink);
  Context ctx{files.fs(), sink, filter};
  bool ok = step.run(ctx);
  sink.Finish();
  if (TheReport().on) TheReport().json["ok"] = ok;
  files.ShowUndo();
  if (!ok) {
    ReportMessages(sink);
    PrintError(Format("a etapa %s parou porque uma gravação falhou.", step.name) +
               files.FailureHint());
    return kFolderUnusable;
  }
  sink.PrintLine(Format("Etapa %s realizada.", step.name));
  ReportMessages(sink);
  return kDone;
}

int Sample(const Arguments& args) {
  SampleOptions options;
  long long value = 0;
  if (args.companies) {
    if (!ParseNumber(*args.companies, 0, kSampleMaxCompanies, value)) {
      return UsageError(Format("--companies espera um número de 0 a %d: %s", kSampleMaxCompanies,
                               Shown(*args.companies)));
    }
    options.companies = static_cast<int>(value);
  }
  if (args.records) {
    if (!ParseNumber(*args.records, 0, kSampleMaxRecords, value)) {
      return UsageError(Format("--records espera um número de 0 a %d: %s", kSampleMaxRecords,
                               Shown(*args.records)));
    }
    options.records = static_cast<int>(value);
  }
  if (args.seed) {
    const std::string& text = *args.seed;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, options.seed);
    if (text.empty() || ec != std::errc() || ptr != end) {
      return UsageError("--seed espera um número inteiro não negativo: " + Shown(text));
    }
  }
  if (args.mib) {
    if (!ParseNumber(*args.mib, 1, kSampleMaxMib, value)) {
      return UsageError(
          Format("--mib espera um número de 1 a %d: %s", kSampleMaxMib, Shown(*args.mib)));
    }
    options.min_bytes = static_cast<std::uint64_t>(value) << 20;
  }
  if (args.before) {
    if (FindLibraryStep(*args.before) == nullptr) {
      return UsageError(Format("--before: etapa desconhecida: %s; as etapas são:\n%s",
                               Shown(*args.before), StepList()));
    }
    options.before = *args.before;
  }
  if (!args.folder) return UsageError("falta a PASTA onde escrever o exemplo");
  const std::string& folder = *args.folder;
  if (folder.empty()) return UsageError("a PASTA não pode ser vazia");

  std::error_code ec;
  auto status = std::filesystem::status(folder, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
    PrintError(Format("não é uma pasta: %s", Shown(folder)));
    return kFolderUnusable;
  }
  if (!std::filesystem::exists(status) && !std::filesystem::create_directories(folder, ec)) {
    PrintError(Format("não foi possível criar a pasta %s", Shown(folder)));
    return kFolderUnusable;
  }
  auto fs = platform::OpenHostFileSystem(folder);
  SampleResult result = WriteSampleFolder(*fs, options);
  if (!result.ok) {
    PrintError(Format("%s: %s", Shown(folder), result.error));
    return kFolderUnusable;
  }
  platform::WriteConsoleText(
      ConsoleStream::kOutput,
      Format("Pasta de exemplo escrita em %s: %ld arquivos, %lu bytes.\n", Shown(folder),
             result.files, static_cast<unsigned long>(result.bytes)));
  return kDone;
}

int Main(int argc, char** argv) {
  CLI::App app{"", "livrana-convert"};
  app.formatter_fn([](const CLI::App* command, std::string, CLI::AppFormatMode) {
    return HelpText(command->get_name());
  });
  app.set_help_flag("-h,--help");
  app.require_subcommand(0, 1);

  // A script that asks for the report gets one even for a command line that cannot be read.
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--json") TheReport().on = true;
  }

  Arguments args;
  bool yes = false, no = false, quiet = false, json = false;
  CLI::Option* yes_option = app.add_flag("--yes", yes);
  CLI::Option* no_option = app.add_flag("--no", no);
  yes_option->excludes(no_option);
  app.add_flag("-q,--quiet", quiet);
  bool version = false;
  app.add_flag("--version", version);

  auto company_option = [&args](CLI::App* command) {
    command->add_option_function<std::string>("--company",
                                              [&args](const std::string& v) { args.company = v; });
  };
  auto folder_option = [&args](CLI::App* command) {
    command->add_option_function<std::string>("PASTA",
                                              [&args](const std::string& v) { args.folder = v; });
  };

  CLI::App* convert = app.add_subcommand("convert");
  convert->fallthrough();
  folder_option(convert);
  company_option(convert);
  CLI::Option* dry_run = convert->add_flag("--dry-run", args.dry_run);
  CLI::Option* backup = convert->add_flag("--backup", args.backup);
  dry_run->excludes(backup);
  convert->add_flag("--break-lock", args.break_lock);
  convert->add_flag("--json", json);

  CLI::App* run = app.add_subcommand("run");
  run->fallthrough();
  run->add_option("ETAPA", args.step);
  folder_option(run);
  company_option(run);
  run->add_flag("--backup", args.backup);
  run->add_flag("--break-lock", args.break_lock);
  run->add_flag("--json", json);

  CLI::App* info = app.add_subcommand("info");
  info->fallthrough();
  folder_option(info);
  company_option(info);
  info->add_flag("--check", args.check);
  info->add_flag("--json", json);

  CLI::App* steps = app.add_subcommand("steps");
  steps->fallthrough();

  CLI::App* sample = app.add_subcommand("sample");
  sample->fallthrough();
  folder_option(sample);
  sample->add_option_function<std::string>("--companies",
                                           [&args](const std::string& v) { args.companies = v; });
  CLI::Option* records = sample->add_option_function<std::string>(
      "--records", [&args](const std::string& v) { args.records = v; });
  sample->add_option_function<std::string>("--mib", [&args](const std::string& v) { args.mib = v; })
      ->excludes(records);
  sample->add_option_function<std::string>("--before",
                                           [&args](const std::string& v) { args.before = v; });
  sample->add_option_function<std::string>("--seed",
                                           [&args](const std::string& v) { args.seed = v; });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    TheReport().on = false;
    platform::WriteConsoleText(ConsoleStream::kOutput, app.help());
    return kDone;
  } catch (const CLI::ParseError& error) {
    return UsageError(ParseErrorText(error));
  }
  if (version) {
    TheReport().on = false;
    platform::WriteConsoleText(ConsoleStream::kOutput, "livrana-convert " LIVRANA_VERSION "\n");
    return kDone;
  }
  TheReport().on = json;

  args.sink.quiet = quiet;
  args.sink.report = json;
  if (yes) args.sink.answer = true;
  if (no) args.sink.answer = false;

  if (steps->parsed()) return ListSteps();
  if (sample->parsed()) return Sample(args);
  if (!convert->parsed() && !run->parsed() && !info->parsed()) {
    return UsageError("falta o comando");
  }
  Json& report = TheReport().json;
  report["command"] = convert->parsed() ? "convert" : run->parsed() ? "run" : "info";

  const LibraryStep* step = nullptr;
  if (run->parsed()) {
    if (args.step.empty()) return UsageError("falta o nome da ETAPA");
    step = FindLibraryStep(args.step);
    if (step == nullptr) {
      std::string known = LibrarySteps().empty()
                              ? std::string("ainda não há etapas na biblioteca de conversões.")
                              : "as etapas são:\n" + StepList();
      return UsageError(Format("etapa desconhecida: %s; %s", Shown(args.step), known));
    }
    report["step"] = Text(step->name);
  }

  std::string filter;
  if (args.company) {
    auto core = CoreText(*args.company);
    if (!core) {
      return UsageError("o código da empresa tem caracteres que o Windows-1252 não tem");
    }
    filter = core->substr(0, kCompanyFilterLength);
  }

  std::string folder = args.folder.value_or(".");
  if (folder.empty()) return UsageError("a PASTA não pode ser vazia");
  report["folder"] = folder;  // as given (UTF-8)
  report["company_filter"] = args.company ? Text(filter) : Json(nullptr);
  if (convert->parsed()) report["dry_run"] = args.dry_run;
  if (!info->parsed()) report["backup"] = args.backup;
  if (auto problem = FolderProblem(folder)) {
    PrintError(*problem);
    return kFolderUnusable;
  }
  if (info->parsed()) return Info(args, folder, filter);
  return step != nullptr ? RunStep(args, folder, filter, *step) : Convert(args, folder, filter);
}

}  // namespace
}  // namespace livrana::cli

int main(int argc, char** argv) {
  int status = 1;
  try {
    status = livrana::cli::Main(argc, argv);
  } catch (const std::exception& e) {
    livrana::cli::PrintError(std::string("erro interno: ") + e.what());
  }
  return livrana::cli::Finish(status);
}
