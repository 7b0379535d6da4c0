// livrana-convert: the converter on the command line, for the file server that holds the
// data folder and for scripts. The commands and their options are listed in kCommands
// below, which also holds every help text.
//
// Exit status: 0 done; 1 the folder cannot be used, or a write failed; 2 usage error;
// 3 info --check: convert has work to do; 4 another converter holds the folder's lock.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/report.h"
#include "cli/terminal_sink.h"
#include "convert/convert434.h"
#include "convert/plan.h"
#include "library/registry.h"
#include "platform/console.h"
#include "platform/cp1252.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "records/format.h"
#include "records/layouts/phone_tables.h"
#include "records/layouts/register.h"
#include "run/session.h"
#include "tools/sample.h"
#include "upgrade/folder_status.h"
#include "upgrade/upgrade.h"

namespace livrana::cli {
namespace {

using platform::ConsoleStream;

constexpr int kDone = 0;
constexpr int kFolderUnusable = 1;  // also: a write failed
constexpr int kUsage = 2;
constexpr int kWorkToDo = 3;  // info --check: convert would change the folder
constexpr int kLockHeld = 4;  // another converter works on the folder

constexpr std::size_t kCompanyFilterLength = 10;  // as many as the dialog's company field

// ---- Help texts -----------------------------------------------------------------------------

constexpr std::string_view kCompanyHelp =
    "  --company CÓDIGO  só a empresa deste código (até 10 caracteres, como digitado, sem\n"
    "                    cortar espaços)\n";
constexpr std::string_view kLockHelp =
    "  --break-lock      toma a trava LIVRANA.LCK da pasta mesmo quando outro programa a\n"
    "                    tem; use só quando ele não estiver mais rodando\n";
constexpr std::string_view kBackupHelp =
    "  --backup          antes da primeira alteração de cada arquivo, copia-o para uma pasta\n"
    "                    desta execução na pasta de segurança (EXECUCOES, na pasta Vemo Vuk\n"
    "                    da pasta temporária) e anota, enquanto a execução anda, cada cópia e\n"
    "                    cada arquivo criado: \"livrana-convert undo\" desfaz a execução, mesmo\n"
    "                    interrompida\n";
constexpr std::string_view kJsonHelp =
    "  --json            escreve na saída padrão um único objeto JSON (contagens, empresas,\n"
    "                    arquivos, mensagens, código de saída); o progresso vai para a saída\n"
    "                    de erros\n";

// A command of the program with everything its help says.
struct Command {
  std::string_view name;
  std::string_view arguments;  // what follows the name on the usage line
  std::string_view summary;    // one line for the list of commands
  std::string_view text;       // what the command does
  std::vector<std::string_view> options;
};

const std::array<Command, 7>& Commands() {
  static const std::array<Command, 7> commands = {{
      {"convert",
       "[PASTA] [--company CÓDIGO] [--dry-run] [--backup] [--break-lock] [--json]",
       "a conversão do diálogo (etapa 4.34)",
       "Faz a conversão do diálogo (etapa 4.34) na pasta de dados PASTA (por padrão, a\n"
       "pasta atual) e termina com \"A conversão foi realizada.\".\n",
       {kCompanyHelp,
        "  --dry-run         só mostra o que a conversão faria (notas por empresa e ano,\n"
        "                    linhas de FTEL1.DAT, arquivos alterados); nenhum arquivo é\n"
        "                    alterado nem criado\n",
        kBackupHelp, kLockHelp, kJsonHelp}},
      {"upgrade",
       "[PASTA] [--company CÓDIGO] [--dry-run] [--backup] [--break-lock] [--json]",
       "atualiza uma pasta de qualquer versão antiga até a atual",
       "Atualiza a pasta de dados PASTA (por padrão, a pasta atual) de qualquer versão\n"
       "antiga do Livrana até a atual: pelos próprios arquivos, descobre em que geração\n"
       "está cada parte da pasta, mostra o plano (as etapas da biblioteca que faltam, na\n"
       "ordem, e por fim a conversão 4.34), pergunta se deve continuar e executa tudo com a\n"
       "pasta travada. Interrompida (falha, Ctrl-C, queda de energia), basta executar de\n"
       "novo: continua de onde parou.\n",
       {kCompanyHelp,
        "  --dry-run         só mostra o plano; nenhum arquivo é alterado nem criado\n",
        kBackupHelp, kLockHelp, kJsonHelp}},
      {"run",
       "ETAPA [PASTA] [--company CÓDIGO] [--backup] [--break-lock] [--json]",
       "uma rotina da biblioteca de conversões",
       "Executa uma rotina da biblioteca de conversões na pasta de dados PASTA (por\n"
       "padrão, a pasta atual). \"livrana-convert steps\" lista as ETAPAS.\n",
       {kCompanyHelp, kBackupHelp, kLockHelp, kJsonHelp}},
      {"undo",
       "[PASTA] [--run ID] [--break-lock] [--json]",
       "desfaz uma execução feita com --backup",
       "Desfaz a última execução feita com --backup na pasta de dados PASTA (por padrão,\n"
       "a pasta atual), também uma interrompida: apaga o que ela criou, refaz as pastas que\n"
       "ela removeu e copia de volta cada cópia de segurança; depois confere cada arquivo\n"
       "com a sua cópia (tamanho e conteúdo) e diz o que fez. As execuções de uma pasta são\n"
       "desfeitas da última para a primeira; \"livrana-convert info\" lista as execuções.\n",
       {"  --run ID          desfaz a execução ID (como info a mostra), não a última\n", kLockHelp,
        kJsonHelp}},
      {"info",
       "[PASTA] [--company CÓDIGO] [--check] [--json]",
       "mostra a pasta de dados e o que a conversão faria",
       "Mostra a pasta de dados PASTA (por padrão, a pasta atual) sem alterar nada: a\n"
       "geração dos arquivos, as marcas de versão de CONV.DAT e a rotina de cada uma, as\n"
       "empresas do cadastro (ativas, excluídas, ignoradas), se FTEL1.DAT existe, a trava,\n"
       "o que a conversão (convert) faria agora, o histórico (CONVHIST.DAT) e as execuções\n"
       "com --backup que podem ser desfeitas.\n",
       {"  --company CÓDIGO  o que a conversão faria só para esta empresa\n",
        "  --check           sai com 3 quando há o que fazer (etapas de layouts antigos ou a\n"
        "                    conversão), 0 quando não; com -q não escreve nada\n",
        kJsonHelp}},
      {"steps",
       "",
       "lista as etapas da biblioteca",
       "Lista as etapas da biblioteca de conversões, uma por linha.\n",
       {}},
      {"sample",
       "PASTA [--companies N] [--records N | --mib N] [--seed N] [--before ETAPA]",
       "escreve uma pasta de dados de exemplo",
       "Escreve em PASTA (nova ou vazia) uma pasta de dados de exemplo: cadastro de\n"
       "empresas, notas fiscais de 1990 a 2018 e as tabelas de telefones.\n",
       {"  --companies N  empresas ativas, de 0 a 9000 (padrão 5; mais duas excluídas)\n",
        "  --records N    notas por empresa e ano, de 0 a 1000000 (padrão 40)\n",
        "  --seed N       semente: a mesma semente dá os mesmos arquivos (padrão 1)\n",
        "  --mib N        escolhe --records para que a pasta tenha pelo menos cerca de N MiB\n",
        "  --before ETAPA a pasta no leiaute de antes da ETAPA (livrana-convert steps)\n"}},
  }};
  static_assert(kSampleMaxCompanies == 9000 && kSampleMaxRecords == 1000000);
  return commands;
}

constexpr std::string_view kGeneralOptions =
    "Opções gerais:\n"
    "  --yes | --no    responde sim ou não às perguntas (sem elas: pergunta num terminal,\n"
    "                  senão responde não)\n"
    "  -q, --quiet     sem linha de estado\n"
    "  -h, --help      mostra esta ajuda\n"
    "  --version       mostra a versão do programa\n";

constexpr std::size_t kHelpWidth = 92;

// "livrana-convert NAME ARGUMENTS", broken before an option where the line would pass the
// help's width; continuation lines start below the arguments.
std::string UsageLine(const Command& command, std::string_view lead) {
  std::string head = std::string(lead) + "livrana-convert " + std::string(command.name);
  std::string text = head, line = head;
  std::string_view rest = command.arguments;
  while (!rest.empty()) {
    std::size_t next = rest.find(" [", 1);
    std::string_view word = rest.substr(0, next);
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    if (line.size() + 1 + word.size() > kHelpWidth && line.size() > head.size()) {
      text += "\n" + std::string(head.size(), ' ');
      line.assign(head.size(), ' ');
    }
    text += " ";
    text += word;
    line += " ";
    line += word;
  }
  return text + "\n";
}

std::string UsageText() {
  std::string text = "Uso:\n";
  for (const Command& command : Commands()) text += UsageLine(command, "  ");
  return text;
}

std::string HelpText(std::string_view name) {
  std::string text;
  const Command* command = nullptr;
  for (const Command& c : Commands()) {
    if (c.name == name) command = &c;
  }
  if (command != nullptr) {
    text = UsageLine(*command, "Uso: ") + "\n" + std::string(command->text);
    if (!command->options.empty()) text += "\n";
    for (std::string_view option : command->options) text += option;
  } else {
    text = "livrana-convert: o conversor de dados do Livrana 4.38 na linha de comando.\n\n" +
           UsageText() + "\nComandos:\n";
    for (const Command& c : Commands()) text += Format("  %-9s %s\n", c.name, c.summary);
    text +=
        "\nA PASTA é a pasta de dados; por padrão, a pasta atual.\n"
        "Saída: 0 feito; 1 a pasta não pode ser usada ou uma gravação falhou; 2 erro de uso;\n"
        "3 (info --check) a conversão tem o que fazer; 4 outro programa está convertendo a\n"
        "pasta (trava LIVRANA.LCK).\n";
  }
  return text + "\n" + std::string(kGeneralOptions);
}

// ---- The state of one run of the program ----------------------------------------------------

// What every command of one run shares: the options of the sink, and the --json report,
// one object written on standard output at the end, which every error shown on standard
// error joins as well.
struct RunState {
  TerminalSink::Options sink;
  bool report = false;
  Json json = Json::object();
  Json errors = Json::array();

  void Error(std::string_view text) {
    platform::WriteConsoleText(ConsoleStream::kError,
                               "livrana-convert: " + std::string(text) + "\n");
    if (report) errors.push_back(Text(text));
  }
  int UsageError(std::string_view text) {
    Error(text);
    platform::WriteConsoleText(ConsoleStream::kError,
                               UsageText() + "Ajuda: livrana-convert --help\n");
    return kUsage;
  }
  // Text for the information part of the output: on standard output, or kept out of it
  // when standard output carries the report.
  void Info(std::string_view text) {
    if (!report) platform::WriteConsoleText(ConsoleStream::kOutput, text);
  }
  void Messages(const TerminalSink& terminal) {
    if (report) json["messages"] = MessagesJson(terminal.messages());
  }
  // Ends the run: writes the report when one was asked for, and gives the exit status.
  int Finish(int status) {
    if (report) {
      json["errors"] = errors;
      json["exit_status"] = status;
      // Pure ASCII (\u escapes), so that the console's conversion leaves it as it is.
      platform::WriteConsoleText(
          ConsoleStream::kOutput,
          json.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) + "\n");
    }
    return status;
  }
};

// What the command line asked for.
struct Arguments {
  std::string step;
  std::optional<std::string> folder;
  std::optional<std::string> company;
  std::optional<std::string> companies, records, seed, before, mib;
  std::optional<std::string> run_id;  // undo --run
  bool dry_run = false, backup = false, break_lock = false, check = false;
  std::string filter;  // the company filter, as the core holds it
};

// A text given on the command line (UTF-8) as the core holds it.
std::optional<std::string> CoreText(const std::string& argument) {
  return platform::Utf8ToCp1252(argument);
}

// How a host path given by the user shows in a message.
std::string Shown(const std::string& argument) {
  auto core = CoreText(argument);
  return core ? *core : argument;
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

std::string StepList() {
  std::string list;
  for (const LibraryStep& step : LibrarySteps()) {
    list += Format("  %-18s %s\n", step.name, step.description);
  }
  return list;
}

// The edit distance of two names, ignoring letter case: insertions, deletions, changes and
// swaps of two neighbouring letters each count one.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return platform::FoldCase(static_cast<unsigned char>(c)); };
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t change = fold(a[i - 1]) == fold(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && fold(a[i - 1]) == fold(b[j - 2]) && fold(a[i - 2]) == fold(b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// The name nearest to word, when one is near enough to be what was meant: within a third of
// the word's letters (at least one, at most three), or the only name the word begins.
std::optional<std::string_view> Nearest(std::string_view word,
                                        const std::vector<std::string_view>& names) {
  std::optional<std::string_view> best;
  std::size_t best_distance = std::min<std::size_t>(3, std::max<std::size_t>(1, word.size() / 3));
  for (std::string_view name : names) {
    std::size_t distance = EditDistance(word, name);
    if (distance <= best_distance && (!best || distance < best_distance)) {
      best = name;
      best_distance = distance;
    }
  }
  if (best || word.size() < 2) return best;
  std::vector<std::string_view> begun;
  for (std::string_view name : names) {
    if (name.size() > word.size() && EditDistance(word, name.substr(0, word.size())) == 0)
      begun.push_back(name);
  }
  if (begun.size() == 1) return begun.front();
  return std::nullopt;
}

// "; você quis dizer: NAME?" when a name is near the word, else nothing.
std::string Suggestion(std::string_view word, const std::vector<std::string_view>& names) {
  auto nearest = Nearest(word, names);
  return nearest ? Format("; você quis dizer: %s?", *nearest) : std::string();
}

std::vector<std::string_view> CommandNames() {
  std::vector<std::string_view> names;
  for (const Command& command : Commands()) names.push_back(command.name);
  return names;
}

// The library step of this name, in any letter case.
const LibraryStep* FindStep(std::string_view name) {
  for (const LibraryStep& step : LibrarySteps()) {
    if (step.name.size() == name.size() && EditDistance(step.name, name) == 0) return &step;
  }
  return nullptr;
}

// Why a step name given on the command line names no step: the nearest one, or the list.
std::string UnknownStep(std::string_view lead, const std::string& name) {
  std::vector<std::string_view> names;
  for (const LibraryStep& step : LibrarySteps()) names.push_back(step.name);
  std::string shown = Shown(name);
  std::string near = Suggestion(shown, names);
  if (!near.empty()) return Format("%setapa desconhecida: %s%s", lead, shown, near);
  return Format("%setapa desconhecida: %s; as etapas são:\n%s", lead, shown, StepList());
}

// ---- Runs over a data folder ----------------------------------------------------------------

// Takes the data folder's lock for a session; the exit status when that failed, after
// saying why.
std::optional<int> LockFolder(RunState& run, Session& session, const std::string& folder) {
  Outcome locked = session.Lock();
  if (locked) return std::nullopt;
  if (!LockHeld(locked)) {
    run.Error(Format("não foi possível criar %s na pasta de dados %s: %s.", kLockFile,
                     Shown(folder), CauseText(locked.cause())));
    return kFolderUnusable;
  }
  const LockHolder& holder = session.holder();
  if (run.report) run.json["lock"] = LockJson(holder);
  if (holder.pid == 0 && holder.host.empty()) {
    run.Error(
        Format("a pasta de dados %s está travada por %s, que não pode ser lido; se nenhum "
               "outro conversor estiver rodando, execute de novo com --break-lock.",
               Shown(folder), kLockFile));
  } else {
    run.Error(
        Format("a pasta de dados %s está sendo convertida por outro programa (processo %d em "
               "%s, desde %s UTC); espere que ele termine. Se ele não estiver mais rodando, "
               "execute de novo com --break-lock.",
               Shown(folder), holder.pid, holder.host, holder.time));
  }
  return kLockHeld;
}

// Runs one step over the folder under its lock and tells how it ended: what undoes it
// (with --backup), the failure with its cause, or done. what names the work in the
// messages ("a conversão", "a etapa split-ledgers"); done is the line shown at the end.
// command is how the history and the manifest name the run; step_name, when not empty, is
// the one step that the history records (an upgrade records each of its steps itself).
int RunInSession(RunState& run, const Arguments& args, const std::string& folder,
                 std::string_view command, std::string_view step_name, std::string_view what,
                 std::string_view done,
                 const std::function<Outcome(Session&, Context&, TerminalSink&)>& step) {
  SessionOptions options;
  options.command = command;
  options.task = command;
  if (command == "run") options.task += Format(" %s", step_name);
  options.company_filter = args.filter;
  options.backup = args.backup;
  options.break_lock = args.break_lock;
  options.interruptible = true;
  Session session(platform::OpenHostFileSystem(folder), options);
  // From the lock to its release, an interruption stops the run at its next change.
  platform::CatchInterrupts();
  if (auto status = LockFolder(run, session, folder)) {
    platform::StopCatchingInterrupts();
    return *status;
  }
  TerminalSink sink(run.sink);
  auto work = [&](Context& ctx) { return step(session, ctx, sink); };
  Outcome outcome =
      step_name.empty() ? session.Run(sink, work) : session.Run(sink, step_name, work);
  outcome.Also(session.Unlock());
  const int interruption = platform::Interruption();
  platform::StopCatchingInterrupts();
  sink.Finish();
  if (run.report) {
    run.json["ok"] = outcome.ok();
    if (!outcome) run.json["failure"] = Text(HostSeparators(Describe(outcome)));
  }
  if (auto undo = session.Undo()) {
    if (run.report) {
      run.json.update(UndoJson(session.host(), *undo, folder));
    } else {
      platform::WriteConsoleText(ConsoleStream::kOutput,
                                 UndoText(session.host(), *undo, Shown(folder)));
    }
  }
  if (outcome.cause() == Cause::kInterrupted || (interruption != 0 && !outcome)) {
    run.Messages(sink);
    run.Error(Format("%s foi interrompida; execute de novo para continuar.", what));
    return 128 + (interruption != 0 ? interruption : 2);
  }
  if (!outcome) {
    run.Messages(sink);
    run.Error(Format("%s parou: %s; corrija a causa e execute de novo.", what,
                     HostSeparators(Describe(outcome))));
    return kFolderUnusable;
  }
  sink.PrintLine(done);
  run.Messages(sink);
  return kDone;
}

int DryRun(RunState& run, const std::string& folder, const std::string& filter) {
  auto fs = platform::OpenHostFileSystem(folder);
  if (auto holder = ReadLock(*fs)) {
    if (run.report) run.json["lock"] = LockJson(*holder);
    platform::WriteConsoleText(
        ConsoleStream::kError,
        Format("livrana-convert: aviso: outro programa está convertendo a pasta (processo %d "
               "em %s, desde %s UTC); o plano pode mudar.\n",
               holder->pid, holder->host, holder->time));
  }
  Convert434Result plan = PlanConvert434(*fs, filter);
  if (run.report) {
    run.json.update(PlanJson(plan));
  } else {
    run.Info(Format("Plano da conversão de %s (nenhum arquivo foi alterado):\n", Shown(folder)) +
             PlanText(plan));
  }
  return kDone;
}

int Convert(RunState& run, const Arguments& args, const std::string& folder) {
  if (args.dry_run) return DryRun(run, folder, args.filter);
  {
    auto fs = platform::OpenHostFileSystem(folder);
    if (const LibraryStep* first = FirstPendingStep(*fs)) {
      run.Error(OlderLayoutMessage(*fs, *first));
      return kFolderUnusable;
    }
  }
  // The report lists every file; otherwise only the counts are kept, whatever the folder.
  const Convert434Detail detail = run.report ? Convert434Detail::kFiles : Convert434Detail::kCounts;
  return RunInSession(run, args, folder, "convert", "convert", "a conversão",
                      "A conversão foi realizada.",
                      [&run, detail](Session&, Context& ctx, TerminalSink&) {
                        Convert434Result result = Convert434(ctx, detail);
                        if (run.report) run.json.update(ResultJson(result));
                        return result.outcome;
                      });
}

// The progress of a run of several steps, put before the status line: the step, the company
// its company loop has reached, how far the whole run has got, the time taken and the time
// left (worked out from the steps done and the companies of the step under way, once there
// is something to work it out from).
class Progress {
 public:
  explicit Progress(TerminalSink& sink) : sink_(sink) {}
  void Step(int index, int count, std::string_view name) {
    index_ = index;
    count_ = count;
    name_ = name;
    sink_.ForgetCompany();
  }
  std::string Prefix() const {
    const auto [company, companies] = sink_.company();
    double within = 0;
    std::string text = Format("[etapa %d de %d, %s", index_ + 1, count_, name_);
    if (companies > 0) {
      within = std::min(1.0, static_cast<double>(company) / static_cast<double>(companies));
      text += Format(", empresa %s de %s", Thousands(company + 1), Thousands(companies));
    }
    double done = (index_ + within) / std::max(count_, 1);
    double elapsed = Elapsed();
    text += Format(", %d%%, %s", static_cast<int>(done * 100), Duration(elapsed));
    if (done > 0.02 && (index_ > 0 || company > 0)) {
      text += ", faltam ~" + Duration(elapsed / done * (1 - done));
    }
    return text + "] ";
  }
  double Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point start_ = Clock::now();
  TerminalSink& sink_;
  int index_ = 0, count_ = 1;
  std::string name_;
};

int Upgrade(RunState& run, const Arguments& args, const std::string& folder) {
  UpgradePlan plan;
  {
    auto fs = platform::OpenHostFileSystem(folder);
    plan = PlanUpgrade(*fs, args.filter);
  }
  if (run.report) {
    run.json.update(UpgradePlanJson(plan));
  } else {
    run.Info(Format("Plano da atualização de %s:\n", Shown(folder)) + UpgradePlanText(plan));
  }
  if (args.dry_run) {
    run.Info("Nenhum arquivo foi alterado (--dry-run).\n");
    return kDone;
  }
  if (plan.Older()) {
    TerminalSink question(run.sink);
    if (!question.Ask("", "Atualizar a pasta de dados com estas etapas?")) {
      run.Error("atualização cancelada; nenhum arquivo foi alterado.");
      return kFolderUnusable;
    }
  }
  const Convert434Detail detail = run.report ? Convert434Detail::kFiles : Convert434Detail::kCounts;
  return RunInSession(
      run, args, folder, "upgrade", "", "a atualização", "A atualização foi realizada.",
      [&](Session& session, Context& ctx, TerminalSink& sink) {
        Progress progress(sink);
        sink.SetPrefix([&progress] { return progress.Prefix(); });
        Json steps = Json::array();
        UpgradeObserver observer;
        observer.starting = [&](int index, int count, std::string_view name) {
          progress.Step(index, count, name);
          sink.Status("");
        };
        observer.finished = [&](int, std::string_view name, const Outcome& outcome) {
          steps.push_back({{"step", Text(name)}, {"ok", outcome.ok()}});
          (void)session.Record(name, outcome);
        };
        UpgradeResult result = RunUpgrade(ctx, plan, observer, detail);
        sink.SetPrefix(nullptr);
        if (run.report) {
          run.json["steps"] = steps;
          run.json["convert"] = ResultJson(result.convert);
          run.json["files_changed_count"] = session.FilesChanged();
          run.json["seconds"] = progress.Elapsed();
        }
        if (result.outcome) {
          sink.PrintLine(
              Format("Tempo: %s; etapas executadas: %s; arquivos alterados: %s; "
                     "linhas de %s: %s.",
                     Duration(progress.Elapsed()), Thousands(result.steps_run + 1),
                     Thousands(session.FilesChanged()), kPhoneTableFile,
                     Thousands(result.convert.phone_lines)));
        }
        return result.outcome;
      });
}

int Info(RunState& run, const Arguments& args, const std::string& folder) {
  auto fs = platform::OpenHostFileSystem(folder);
  FolderStatus status = InspectFolder(*fs, args.filter);
  if (args.check && run.sink.quiet) return status.Pending() ? kWorkToDo : kDone;
  if (run.report) {
    run.json.update(StatusJson(status));
  } else {
    run.Info(Format("Pasta de dados: %s\n", Shown(folder)) + StatusText(status, Shown(folder)));
  }
  return args.check && status.Pending() ? kWorkToDo : kDone;
}

int Undo(RunState& run, const Arguments& args, const std::string& folder) {
  SessionOptions options;
  options.break_lock = args.break_lock;
  options.command = "undo";
  Session session(platform::OpenHostFileSystem(folder), options);
  std::string id;
  if (args.run_id) {
    auto core = CoreText(*args.run_id);
    if (!core || core->empty()) return run.UsageError("--run espera o ID de uma execução");
    id = *core;
  }
  if (auto status = LockFolder(run, session, folder)) return *status;
  UndoResult result = session.UndoRun(id);
  Outcome outcome = result.outcome;
  outcome.Also(session.Unlock());
  if (run.report) {
    run.json.update(UndoneJson(session.host(), result, folder));
    run.json["ok"] = outcome.ok();
    if (!outcome) run.json["failure"] = Text(Describe(outcome));
  } else {
    run.Info(UndoneText(session.host(), result, Shown(folder)));
  }
  if (!outcome) {
    if (outcome.cause() == Cause::kNoRun || outcome.cause() == Cause::kNoSafetyFolder) {
      std::string why(CauseText(outcome.cause()));
      if (!outcome.detail().empty()) why += "; " + outcome.detail();
      run.Error(
          Format("nada a desfazer na pasta de dados %s: %s.", Shown(folder), HostSeparators(why)));
    } else if (result.run.id.empty()) {
      run.Error(Format("nenhuma execução foi desfeita: %s.", HostSeparators(Describe(outcome))));
    } else {
      run.Error(Format("a execução %s não foi desfeita: %s.", result.run.id,
                       HostSeparators(Describe(outcome))));
    }
    return kFolderUnusable;
  }
  return kDone;
}

int RunStep(RunState& run, const Arguments& args, const std::string& folder,
            const LibraryStep& step) {
  return RunInSession(run, args, folder, "run", step.name, Format("a etapa %s", step.name),
                      Format("Etapa %s realizada.", step.name),
                      [&step](Session& session, Context& ctx, TerminalSink&) {
                        return RunLibraryStep(step, ctx, session.TookOverStopped());
                      });
}

int Sample(RunState& run, const Arguments& args) {
  SampleOptions options;
  long long value = 0;
  if (args.companies) {
    if (!ParseNumber(*args.companies, 0, kSampleMaxCompanies, value)) {
      return run.UsageError(Format("--companies espera um número de 0 a %d: %s",
                                   kSampleMaxCompanies, Shown(*args.companies)));
    }
    options.companies = static_cast<int>(value);
  }
  if (args.records) {
    if (!ParseNumber(*args.records, 0, kSampleMaxRecords, value)) {
      return run.UsageError(Format("--records espera um número de 0 a %d: %s", kSampleMaxRecords,
                                   Shown(*args.records)));
    }
    options.records = static_cast<int>(value);
  }
  if (args.seed) {
    const std::string& text = *args.seed;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, options.seed);
    if (text.empty() || ec != std::errc() || ptr != end) {
      return run.UsageError("--seed espera um número inteiro não negativo: " + Shown(text));
    }
  }
  if (args.mib) {
    if (!ParseNumber(*args.mib, 1, kSampleMaxMib, value)) {
      return run.UsageError(
          Format("--mib espera um número de 1 a %d: %s", kSampleMaxMib, Shown(*args.mib)));
    }
    options.min_bytes = static_cast<std::uint64_t>(value) << 20;
  }
  if (args.before) {
    const LibraryStep* step = FindStep(*args.before);
    if (step == nullptr) return run.UsageError(UnknownStep("--before: ", *args.before));
    options.before = step->name;
  }
  if (!args.folder) return run.UsageError("falta a PASTA onde escrever o exemplo");
  const std::string& folder = *args.folder;
  if (folder.empty()) return run.UsageError("a PASTA não pode ser vazia");

  std::error_code ec;
  auto status = std::filesystem::status(folder, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
    run.Error(Format("não é uma pasta: %s", Shown(folder)));
    return kFolderUnusable;
  }
  if (!std::filesystem::exists(status) && !std::filesystem::create_directories(folder, ec)) {
    run.Error(Format("não foi possível criar a pasta %s", Shown(folder)));
    return kFolderUnusable;
  }
  auto fs = platform::OpenHostFileSystem(folder);
  SampleResult result = WriteSampleFolder(*fs, options);
  if (!result.ok) {
    run.Error(Format("%s: %s", Shown(folder), result.error));
    return kFolderUnusable;
  }
  platform::WriteConsoleText(
      ConsoleStream::kOutput,
      Format("Pasta de exemplo escrita em %s: %ld arquivos, %lu bytes.\n", Shown(folder),
             result.files, static_cast<unsigned long>(result.bytes)));
  return kDone;
}

// ---- The command line -----------------------------------------------------------------------

// The commands as CLI11 parses them.
struct Parser {
  CLI::App app{"", "livrana-convert"};
  CLI::App* convert = nullptr;
  CLI::App* run = nullptr;
  CLI::App* upgrade = nullptr;
  CLI::App* info = nullptr;
  CLI::App* undo = nullptr;
  CLI::App* steps = nullptr;
  CLI::App* sample = nullptr;
  bool yes = false, no = false, quiet = false, json = false, version = false;

  explicit Parser(Arguments& args) {
    app.formatter_fn([](const CLI::App* command, std::string, CLI::AppFormatMode) {
      return HelpText(command->get_name());
    });
    app.set_help_flag("-h,--help");
    app.require_subcommand(0, 1);
    app.add_flag("--yes", yes)->excludes(app.add_flag("--no", no));
    app.add_flag("-q,--quiet", quiet);
    app.add_flag("--version", version);

    auto add = [&](std::string_view name) {
      CLI::App* command = app.add_subcommand(std::string(name));
      command->fallthrough();
      return command;
    };
    auto value = [](CLI::App* command, const char* name, std::optional<std::string>& into) {
      command->add_option_function<std::string>(name, [&into](const std::string& v) { into = v; });
    };
    // convert and upgrade take the same options: one converts, the other brings up to date.
    auto converting = [&](std::string_view name) {
      CLI::App* command = add(name);
      value(command, "PASTA", args.folder);
      value(command, "--company", args.company);
      command->add_flag("--dry-run", args.dry_run)
          ->excludes(command->add_flag("--backup", args.backup));
      command->add_flag("--break-lock", args.break_lock);
      command->add_flag("--json", json);
      return command;
    };
    convert = converting("convert");
    upgrade = converting("upgrade");

    run = add("run");
    run->add_option("ETAPA", args.step);
    value(run, "PASTA", args.folder);
    value(run, "--company", args.company);
    run->add_flag("--backup", args.backup);
    run->add_flag("--break-lock", args.break_lock);
    run->add_flag("--json", json);

    undo = add("undo");
    value(undo, "PASTA", args.folder);
    value(undo, "--run", args.run_id);
    undo->add_flag("--break-lock", args.break_lock);
    undo->add_flag("--json", json);

    info = add("info");
    value(info, "PASTA", args.folder);
    value(info, "--company", args.company);
    info->add_flag("--check", args.check);
    info->add_flag("--json", json);

    steps = add("steps");

    sample = add("sample");
    value(sample, "PASTA", args.folder);
    value(sample, "--companies", args.companies);
    sample
        ->add_option_function<std::string>("--mib", [&args](const std::string& v) { args.mib = v; })
        ->excludes(sample->add_option_function<std::string>(
            "--records", [&args](const std::string& v) { args.records = v; }));
    value(sample, "--before", args.before);
    value(sample, "--seed", args.seed);
  }
};

// Runs a command over a data folder: convert, upgrade, run, undo or info.
int FolderCommand(RunState& run, Arguments& args, const Parser& parser) {
  const LibraryStep* step = nullptr;
  if (parser.run->parsed()) {
    if (args.step.empty()) return run.UsageError("falta o nome da ETAPA");
    step = FindStep(args.step);
    if (step == nullptr) return run.UsageError(UnknownStep("", args.step));
    run.json["step"] = Text(step->name);
  }
  if (args.company) {
    auto core = CoreText(*args.company);
    if (!core)
      return run.UsageError("o código da empresa tem caracteres que o Windows-1252 não tem");
    args.filter = core->substr(0, kCompanyFilterLength);
  }
  std::string folder = args.folder.value_or(".");
  if (folder.empty()) return run.UsageError("a PASTA não pode ser vazia");
  run.json["folder"] = folder;  // as given (UTF-8)
  run.json["company_filter"] = args.company ? Text(args.filter) : Json(nullptr);
  if (parser.convert->parsed() || parser.upgrade->parsed()) run.json["dry_run"] = args.dry_run;
  if (!parser.info->parsed() && !parser.undo->parsed()) run.json["backup"] = args.backup;
  if (auto problem = FolderProblem(folder)) {
    run.Error(*problem);
    return kFolderUnusable;
  }
  if (parser.info->parsed()) return Info(run, args, folder);
  if (parser.upgrade->parsed()) return Upgrade(run, args, folder);
  if (parser.undo->parsed()) return Undo(run, args, folder);
  return step != nullptr ? RunStep(run, args, folder, *step) : Convert(run, args, folder);
}

int Main(RunState& run, int argc, char** argv) {
  // A script that asks for the report gets one even for a command line that cannot be read.
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--json") run.report = true;
  }
  // The first word that is not an option names the command (the general options take no
  // value): one that names none is told as such, with the nearest command.
  for (int i = 1; i < argc; ++i) {
    std::string_view word = argv[i];
    if (word.starts_with("-")) continue;
    bool known = false;
    for (std::string_view name : CommandNames()) known = known || name == word;
    if (!known) {
      return run.UsageError(Format("comando desconhecido: %s%s", Shown(std::string(word)),
                                   Suggestion(word, CommandNames())));
    }
    break;
  }
  Arguments args;
  Parser parser(args);
  try {
    parser.app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    run.report = false;
    platform::WriteConsoleText(ConsoleStream::kOutput, parser.app.help());
    return kDone;
  } catch (const CLI::ParseError& error) {
    return run.UsageError(ParseErrorText(error));
  }
  if (parser.version) {
    run.report = false;
    platform::WriteConsoleText(ConsoleStream::kOutput, "livrana-convert " LIVRANA_VERSION "\n");
    return kDone;
  }
  run.report = parser.json;
  run.sink.quiet = parser.quiet;
  run.sink.report = parser.json;
  if (parser.yes) run.sink.answer = true;
  if (parser.no) run.sink.answer = false;

  if (parser.steps->parsed()) {
    platform::WriteConsoleText(ConsoleStream::kOutput, StepList());
    return kDone;
  }
  if (parser.sample->parsed()) return Sample(run, args);
  if (!parser.convert->parsed() && !parser.run->parsed() && !parser.info->parsed() &&
      !parser.upgrade->parsed() && !parser.undo->parsed()) {
    return run.UsageError("falta o comando");
  }
  run.json["command"] = parser.convert->parsed()   ? "convert"
                        : parser.run->parsed()     ? "run"
                        : parser.upgrade->parsed() ? "upgrade"
                        : parser.undo->parsed()    ? "undo"
                                                   : "info";
  return FolderCommand(run, args, parser);
}

}  // namespace
}  // namespace livrana::cli

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // A run opens thousands of files one after another, each with a block of up to 256 KiB.
  // By default glibc hands the pages of a freed block back to the system and takes fresh,
  // zeroed ones for the next file: a page fault every 4 KiB, more than the reading and
  // writing costs. Freed blocks stay in the process instead, to be used again.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 16 << 20);
#endif
  livrana::cli::RunState run;
  int status = 1;
  try {
    status = livrana::cli::Main(run, argc, argv);
  } catch (const std::exception& e) {
    run.Error(std::string("erro interno: ") + e.what());
  }
  return run.Finish(status);
}
