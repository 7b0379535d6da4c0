#include "cli/report.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_set>

#include "platform/cp1252.h"
#include "records/format.h"
#include "records/layouts/phone_tables.h"

namespace livrana::cli {
namespace {

#ifdef _WIN32
constexpr char kHostSeparator = '\\';
#else
constexpr char kHostSeparator = '/';
#endif

Json Texts(const std::vector<std::string>& texts) {
  Json list = Json::array();
  for (const auto& text : texts) list.push_back(Text(text));
  return list;
}

// Paths of the data folder, with the host's separator.
Json PathTexts(const std::vector<std::string>& paths) {
  Json list = Json::array();
  for (const auto& path : paths) list.push_back(Text(HostSeparators(path)));
  return list;
}

std::string_view StateId(CompanyState state) {
  switch (state) {
    case CompanyState::kLive:
      return "live";
    case CompanyState::kDeleted:
      return "deleted";
    case CompanyState::kUnusable:
      return "unusable";
  }
  return "";
}

std::string_view StateText(CompanyState state) {
  switch (state) {
    case CompanyState::kLive:
      return "ativa";
    case CompanyState::kDeleted:
      return "excluída";
    case CompanyState::kUnusable:
      return "ignorada: o código não serve como nome de pasta";
  }
  return "";
}

std::string Plural(long long n, std::string_view one, std::string_view many) {
  return Format("%s %s", Thousands(n), n == 1 ? one : many);
}

Json RunJson(const RecordedRun& run) {
  return {{"id", Text(run.id)},           {"sequence", run.sequence},
          {"started", Text(run.started)}, {"command", Text(run.command)},
          {"complete", run.complete},     {"result", Text(run.result)},
          {"undone", run.undone},         {"undone_at", Text(run.undone_at)},
          {"backups", run.backups},       {"created", run.created}};
}

// How a recorded run ended, in a word or two.
std::string RunState(const RecordedRun& run) {
  if (run.undone) return "desfeita em " + run.undone_at;
  if (!run.complete) return "interrompida";
  return run.result;
}

// A command-line argument as a shell takes it: quoted when it holds anything else than
// letters, digits and the common path characters.
std::string ShellWord(std::string_view word) {
  bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("-_./\\:").find(c) != std::string_view::npos;
  });
  return plain ? std::string(word) : "\"" + std::string(word) + "\"";
}

std::string UndoCommand(std::string_view folder, std::string_view id) {
  return "livrana-convert undo " + ShellWord(folder) + " --run " + ShellWord(id);
}

}  // namespace

Json Text(std::string_view core) { return platform::Cp1252ToUtf8(core); }

std::string PlanText(const Convert434Result& plan) {
  std::string text;
  if (!plan.ok()) return "  A conversão não seria feita: " + Describe(plan.outcome) + ".\n";
  if (!plan.register_found) {
    text += Format("  Cadastro de empresas %s não encontrado: nenhuma nota fiscal a converter.\n",
                   kCompanyRegister);
  } else {
    text += Format("  Notas fiscais a converter: %s\n", Thousands(plan.converted));
    // Per company, in the order visited: the years and their counts.
    std::vector<std::string> order;
    std::map<std::string, std::pair<int, std::string>> per_company;
    for (const auto& file : plan.invoice_files) {
      auto [it, inserted] = per_company.try_emplace(file.company);
      if (inserted) order.push_back(file.company);
      it->second.first += file.converted;
      if (!it->second.second.empty()) it->second.second += ", ";
      it->second.second += Format("%d: %d", file.year, file.converted);
    }
    for (const auto& company : order) {
      const auto& [count, years] = per_company[company];
      text += Format("    empresa %s: %s (%s)\n", company, Plural(count, "nota", "notas"), years);
    }
  }
  if (plan.phone_phase_ran) {
    text += Format("  Tabela de telefones %s: seria criada com %s\n", kPhoneTableFile,
                   Plural(plan.phone_lines, "linha", "linhas"));
  } else {
    text += Format("  Tabela de telefones %s: já existe; os telefones não seriam mexidos\n",
                   kPhoneTableFile);
  }
  if (plan.files_changed.empty()) {
    text += "  Nenhum arquivo seria alterado: não há o que converter.\n";
  } else {
    // The invoice files are those above; the others by name.
    std::unordered_set<std::string_view> invoices;
    for (const auto& file : plan.invoice_files) invoices.insert(file.path);
    std::string others;
    for (const auto& path : plan.files_changed) {
      if (!invoices.count(path)) others += (others.empty() ? "" : ", ") + HostSeparators(path);
    }
    text += Format("  Arquivos que seriam alterados ou criados: %s",
                   Thousands(static_cast<std::int64_t>(plan.files_changed.size())));
    if (!plan.invoice_files.empty()) {
      text += Format(" (%s", Plural(static_cast<long long>(plan.invoice_files.size()),
                                    "arquivo de notas", "arquivos de notas"));
      text += others.empty() ? ")" : "; " + others + ")";
    } else if (!others.empty()) {
      text += ": " + others;
    }
    text += "\n";
  }
  return text;
}

Json PlanJson(const Convert434Result& plan) {
  Json json = ResultJson(plan);
  json["work"] = plan.files_changed_count > 0;
  return json;
}

Json ResultJson(const Convert434Result& result) {
  Json files = Json::array();
  for (const auto& file : result.invoice_files) {
    files.push_back({{"company", Text(file.company)},
                     {"year", file.year},
                     {"path", Text(HostSeparators(file.path))},
                     {"converted", file.converted}});
  }
  return {{"register_found", result.register_found},
          {"converted", result.converted},
          {"companies", Texts(result.companies)},
          {"invoice_files", files},
          {"phone_phase", result.phone_phase_ran},
          {"phone_lines", result.phone_lines},
          {"files_changed", PathTexts(result.files_changed)},
          {"ok", result.ok()}};
}

namespace {

constexpr std::size_t kHistoryLinesShown = 10;

// The last lines of the history and the runs with backups that can be undone.
std::string HistoryText(const FolderStatus& status, std::string_view folder) {
  std::string text;
  if (status.history.empty()) {
    text += "Histórico CONVHIST.DAT: nenhuma execução registrada\n";
  } else {
    const std::size_t shown = std::min(status.history.size(), kHistoryLinesShown);
    text += Format("Histórico CONVHIST.DAT (%s):\n",
                   shown == 1 ? std::string("a última linha")
                              : Format("as últimas %d linhas", static_cast<int>(shown)));
    for (std::size_t i = status.history.size() - shown; i < status.history.size(); ++i) {
      const HistoryEntry& entry = status.history[i];
      std::string line = Format("  %s %s  %-8s %-18s %-12s", entry.date, entry.time, entry.command,
                                entry.step, entry.result);
      if (!entry.run.empty()) line += " " + entry.run;
      if (!entry.text.empty()) line += " " + HostSeparators(entry.text);
      while (!line.empty() && line.back() == ' ') line.pop_back();
      text += line + "\n";
    }
  }
  const RecordedRun* last = nullptr;
  if (!status.runs.empty()) {
    text += "Execuções com --backup:\n";
    for (const auto& run : status.runs) {
      text += Format("  %s  %s  %s: %s\n", run.id, run.started, run.command, RunState(run));
      if (!run.undone) last = &run;
    }
  }
  if (last != nullptr) {
    text += "Para desfazer a última: " + UndoCommand(folder, last->id) + "\n";
  }
  return text;
}

}  // namespace

std::string StatusText(const FolderStatus& status, std::string_view folder) {
  std::string text;
  const LayoutFound* newest = status.Newest();
  if (newest == nullptr) {
    text += "Geração dos arquivos: nenhum arquivo de uma geração conhecida\n";
  } else {
    text += "Geração dos arquivos: " + newest->text + "\n";
    for (const auto& found : status.layouts) {
      std::string examples;
      for (const auto& path : found.examples) {
        examples += (examples.empty() ? "" : ", ") + HostSeparators(path);
      }
      if (found.count > static_cast<int>(found.examples.size())) examples += ", ...";
      text += Format("  %s: %s (%s)\n", found.text, Thousands(found.count), examples);
    }
  }

  text += status.conversion_log_found ? "Marcas de versão em CONV.DAT:\n"
                                      : "Marcas de versão: CONV.DAT não existe\n";
  if (status.MarksMissingLayoutsCurrent()) {
    text += "  marcas ausentes, layouts atuais: nenhuma etapa antiga a fazer\n";
  } else {
    for (const auto& mark : status.marks) {
      text += Format("  %s  %-9s %-17s %s\n", mark.tag, mark.present ? "feita" : "não feita",
                     mark.step, mark.text);
    }
  }
  for (const auto& line : status.other_log_lines) {
    text += Format("  %s  (marca desconhecida)\n", line);
  }

  if (!status.register_found) {
    text += Format("Cadastro de empresas %s: não existe\n", kCompanyRegister);
  } else {
    int live = 0, deleted = 0, unusable = 0;
    for (const auto& company : status.companies) {
      live += company.state == CompanyState::kLive;
      deleted += company.state == CompanyState::kDeleted;
      unusable += company.state == CompanyState::kUnusable;
    }
    text += Format("Cadastro de empresas %s: %s (%s ativas, %s excluídas, %s ignoradas)\n",
                   kCompanyRegister,
                   Plural(static_cast<long long>(status.companies.size()), "empresa", "empresas"),
                   Thousands(live), Thousands(deleted), Thousands(unusable));
    for (const auto& company : status.companies) {
      std::string extra;
      if (company.state == CompanyState::kLive && !company.has_folder) {
        extra = "; sem pasta em R00";
      }
      text += Format("  %5ld  %-11s %s%s\n", company.record, company.code, StateText(company.state),
                     extra);
    }
  }

  text += Format("Tabela de telefones %s: %s\n", kPhoneTableFile,
                 status.phone_table_exists ? "existe" : "não existe");
  if (status.phone_journal_exists && !status.phone_table_exists) {
    text += Format("  %s: a montagem da tabela foi interrompida; a próxima conversão a conclui\n",
                   kPhoneJournal);
  }
  if (!status.lock_file_exists) {
    text += "Trava LIVRANA.LCK: nenhuma\n";
  } else if (status.lock) {
    text += Format("Trava LIVRANA.LCK: processo %d em %s, desde %s UTC%s\n", status.lock->pid,
                   status.lock->host, status.lock->time,
                   status.lock_stale ? " (esse processo não está mais rodando: trava abandonada, "
                                       "que a próxima execução toma)"
                                     : "");
  } else {
    text += "Trava LIVRANA.LCK: existe, mas não pode ser lida\n";
  }
  if (status.upgrade.Older()) {
    text += "Pasta em layout antigo: \"livrana-convert upgrade\" executaria:\n" +
            UpgradePlanText(status.upgrade);
  }
  text += "O que a conversão (convert) faria agora:\n" + PlanText(status.plan);
  text += HistoryText(status, folder);
  return text;
}

std::string UpgradePlanText(const UpgradePlan& plan) {
  std::string text;
  int i = 0;
  const int count = static_cast<int>(plan.steps.size()) + 1;
  // The numbers in one column.
  auto number = [count](int n) { return Format(count >= 10 ? "%2d" : "%d", n); };
  for (const auto& planned : plan.steps) {
    text += Format("  %s de %d  %-18s %s%s\n", number(++i), count, planned.step->name,
                   planned.step->description,
                   planned.input_now ? "" : " (com o que as etapas anteriores deixam)");
  }
  text += Format("  %s de %d  %-18s %s\n", number(count), count, "convert",
                 plan.convert_has_work || plan.Older()
                     ? "Conversão 4.34: notas fiscais e tabela de telefones"
                     : "Conversão 4.34: nada a converter agora");
  return text;
}

Json UpgradePlanJson(const UpgradePlan& plan) {
  Json steps = Json::array();
  for (const auto& planned : plan.steps) {
    steps.push_back({{"step", Text(planned.step->name)}, {"input_now", planned.input_now}});
  }
  steps.push_back({{"step", "convert"}, {"input_now", plan.convert_has_work}});
  return {{"plan", steps}, {"older_layouts", plan.Older()}};
}

std::string Thousands(std::int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += '.';
    text += digits[i];
  }
  return n < 0 ? "-" + text : text;
}

std::string Duration(double seconds) {
  if (seconds < 10) {
    std::string text = Format("%.1f s", seconds);
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
  }
  auto whole = static_cast<long>(seconds + 0.5);
  if (whole < 60) return Format("%ld s", whole);
  if (whole < 3600) return Format("%ld min %02ld s", whole / 60, whole % 60);
  return Format("%ld h %02ld min", whole / 3600, (whole % 3600) / 60);
}

Json LockJson(const LockHolder& holder) {
  return {{"pid", holder.pid}, {"host", Text(holder.host)}, {"time", Text(holder.time)}};
}

Json StatusJson(const FolderStatus& status) {
  Json history = Json::array();
  for (const auto& entry : status.history) {
    history.push_back({{"date", Text(entry.date)},
                       {"time", Text(entry.time)},
                       {"command", Text(entry.command)},
                       {"step", Text(entry.step)},
                       {"result", Text(entry.result)},
                       {"run", Text(entry.run)},
                       {"text", Text(HostSeparators(entry.text))}});
  }
  Json runs = Json::array();
  for (const auto& run : status.runs) runs.push_back(RunJson(run));
  Json layouts = Json::array();
  for (const auto& found : status.layouts) {
    layouts.push_back({{"id", found.id},
                       {"text", Text(found.text)},
                       {"count", found.count},
                       {"examples", PathTexts(found.examples)}});
  }
  Json marks = Json::array();
  for (const auto& mark : status.marks) {
    marks.push_back({{"tag", mark.tag},
                     {"present", mark.present},
                     {"step", mark.step},
                     {"text", Text(mark.text)}});
  }
  Json companies = Json::array();
  for (const auto& company : status.companies) {
    companies.push_back({{"record", company.record},
                         {"code", Text(company.code)},
                         {"state", StateId(company.state)},
                         {"selected", company.selected},
                         {"folder", company.has_folder}});
  }
  Json lock = nullptr;
  if (status.lock) {
    lock = LockJson(*status.lock);
  } else if (status.lock_file_exists) {
    lock = Json::object();
  }
  const LayoutFound* newest = status.Newest();
  return {{"generation", newest ? Json(newest->id) : Json(nullptr)},
          {"layouts", layouts},
          {"conversion_log", status.conversion_log_found},
          {"version_marks", marks},
          {"other_log_lines", Texts(status.other_log_lines)},
          {"register_found", status.register_found},
          {"companies", companies},
          {"phone_table", status.phone_table_exists},
          {"phone_journal", status.phone_journal_exists},
          {"lock", lock},
          {"lock_stale", status.lock_stale},
          {"plan", PlanJson(status.plan)},
          {"upgrade", UpgradePlanJson(status.upgrade)},
          {"pending", status.Pending()},
          {"marks_missing_layouts_current", status.MarksMissingLayoutsCurrent()},
          {"history", history},
          {"runs", runs}};
}

std::string HostSeparators(std::string_view path) {
  std::string shown(path);
  for (char& c : shown) {
    if (platform::IsSeparator(c)) c = kHostSeparator;
  }
  return shown;
}

namespace {

Json PathsJson(platform::FileSystem& fs, const std::vector<std::string>& list) {
  Json json = Json::array();
  for (const auto& path : list) {
    json.push_back({{"path", Text(HostSeparators(path))}, {"host_path", Text(HostPath(fs, path))}});
  }
  return json;
}

Json BackupsJson(platform::FileSystem& fs, const std::vector<BackupFileSystem::Backup>& list) {
  Json backups = Json::array();
  for (const auto& backup : list) {
    const std::string copy = HostPath(fs, backup.copy);
    backups.push_back({{"original", Text(HostSeparators(backup.original))},
                       {"original_path", Text(HostPath(fs, backup.original))},
                       {"copy", Text(copy)},
                       {"copy_path", Text(copy)}});
  }
  return backups;
}

}  // namespace

std::string UndoText(platform::FileSystem& fs, const RunUndo& undo, std::string_view folder) {
  if (undo.empty()) return "Nenhum arquivo foi alterado: não há o que desfazer.\n";
  std::string text;
  if (undo.backups.empty()) {
    text += "Nenhum arquivo existente foi alterado: não houve cópias de segurança.\n";
  } else {
    text +=
        Format("Cópias de segurança (%s), feitas antes da primeira alteração de cada arquivo:\n",
               Thousands(static_cast<std::int64_t>(undo.backups.size())));
    for (const auto& backup : undo.backups) {
      text += "  " + HostPath(fs, backup.original) + "\n    <- " + HostPath(fs, backup.copy) + "\n";
    }
  }
  for (const auto& folder_made : undo.created_folders) {
    text += "Pasta criada: " + HostPath(fs, folder_made) + "\n";
  }
  for (const auto& file : undo.created_files) {
    text += "Arquivo criado: " + HostPath(fs, file) + "\n";
  }
  for (const auto& folder_gone : undo.removed_folders) {
    text += "Pasta removida: " + HostPath(fs, folder_gone) + "\n";
  }
  text += "Para desfazer: " + UndoCommand(folder, undo.id) + "\n";
  return text;
}

Json UndoJson(platform::FileSystem& fs, const RunUndo& undo, std::string_view folder) {
  return {{"run", undo.empty() ? Json(nullptr) : Text(undo.id)},
          {"undo_command", undo.empty() ? Json(nullptr) : Text(UndoCommand(folder, undo.id))},
          {"backups", BackupsJson(fs, undo.backups)},
          {"created_files", PathsJson(fs, undo.created_files)},
          {"created_folders", PathsJson(fs, undo.created_folders)},
          {"removed_folders", PathsJson(fs, undo.removed_folders)}};
}

std::string UndoneText(platform::FileSystem& fs, const UndoResult& result,
                       std::string_view folder) {
  const RecordedRun& run = result.run;
  if (run.id.empty()) return {};
  const RunUndo& undone = result.undone;
  std::string text = Format("Execução %s (%s, iniciada em %s, %s):\n", run.id, run.command,
                            run.started, run.complete ? run.result : "interrompida");
  if (!undone.backups.empty()) {
    text += Format("  Cópias de segurança copiadas de volta (%s):\n",
                   Thousands(static_cast<std::int64_t>(undone.backups.size())));
    for (const auto& backup : undone.backups) {
      text +=
          "    " + HostPath(fs, backup.original) + "\n      <- " + HostPath(fs, backup.copy) + "\n";
    }
  }
  for (const auto& file : undone.created_files) {
    text += "  Arquivo criado pela execução, apagado: " + HostPath(fs, file) + "\n";
  }
  for (const auto& made : undone.created_folders) {
    text += "  Pasta criada pela execução, apagada: " + HostPath(fs, made) + "\n";
  }
  for (const auto& gone : undone.removed_folders) {
    text += "  Pasta removida pela execução, refeita: " + HostPath(fs, gone) + "\n";
  }
  if (!result.differences.empty()) {
    text += "  A conferência encontrou diferenças:\n";
    for (const auto& difference : result.differences) {
      text += "    " + HostSeparators(difference) + "\n";
    }
    text += "  Corrija a causa e execute de novo: " + UndoCommand(folder, run.id) + "\n";
  } else if (result.outcome) {
    text += Format(
        "Conferido: %s arquivos iguais às cópias de segurança (tamanho e conteúdo), nada do que "
        "a execução criou ficou. A execução foi desfeita.\n",
        Thousands(static_cast<std::int64_t>(undone.backups.size())));
  }
  return text;
}

Json UndoneJson(platform::FileSystem& fs, const UndoResult& result, std::string_view folder) {
  (void)folder;
  Json differences = Json::array();
  for (const auto& difference : result.differences) {
    differences.push_back(Text(HostSeparators(difference)));
  }
  return {{"run", result.run.id.empty() ? Json(nullptr) : RunJson(result.run)},
          {"restored", BackupsJson(fs, result.undone.backups)},
          {"deleted_files", PathsJson(fs, result.undone.created_files)},
          {"deleted_folders", PathsJson(fs, result.undone.created_folders)},
          {"made_folders", PathsJson(fs, result.undone.removed_folders)},
          {"differences", differences}};
}

Json MessagesJson(const std::vector<TerminalSink::Message>& messages) {
  Json list = Json::array();
  for (const auto& message : messages) {
    Json item = {
        {"kind", message.kind}, {"caption", Text(message.caption)}, {"text", Text(message.text)}};
    if (message.answer) item["answer"] = *message.answer;
    list.push_back(item);
  }
  return list;
}

}  // namespace livrana::cli
