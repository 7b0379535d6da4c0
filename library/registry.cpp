#include "library/registry.h"

#include <array>
#include <string>
#include <vector>

#include "library/first/company_folders.h"
#include "library/first/import_old_files.h"
#include "library/first/rebuild_registers.h"
#include "library/first/split_ledgers.h"
#include "library/v301/number_charts.h"
#include "library/v301/version301.h"
#include "library/v320/versions320_362.h"
#include "library/v364/chart_r1.h"
#include "library/v364/fiscal373.h"
#include "library/v364/invoices364.h"
#include "library/v364/remove_obsolete.h"
#include "platform/forwarding_file_system.h"
#include "records/format.h"
#include "run/layouts.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

constexpr std::array<std::string_view, 1> kMark301 = {"301"};
constexpr std::array<std::string_view, 3> kMarks320To362 = {"320", "360", "362"};
constexpr std::array<std::string_view, 1> kMark364 = {"364"};
constexpr std::array<std::string_view, 1> kMark373 = {"373"};

constexpr auto kSteps = std::to_array<LibraryStep>({
    {"import-old-files",
     "Importa os arquivos antigos (f1, f2, f0dp, f3, grupos e pastas de tipo)",
     {},
     ImportOldFilesHasInput,
     ImportOldFileSet},
    {"company-folders",
     "Reagrupa as pastas de tipo em uma pasta por empresa",
     {},
     CompanyFoldersHasInput,
     MoveToCompanyFolders},
    {"rebuild-registers",
     "Refaz o cadastro F00R0, a tabela F02R1 e as tabelas das empresas",
     {},
     RebuildRegistersHasInput,
     RebuildRegisterFiles},
    {"split-ledgers",
     "Separa os livros das empresas por ano e monta os livros anuais L23 e L26",
     {},
     SplitLedgersHasInput,
     SplitLedgersByYear},
    {"version-301", "Versão 3.01: tabela G04 em G04R0 e campos de endereço dos cadastros", kMark301,
     Version301HasInput, ConvertVersion301},
    {"number-charts",
     "Numera os planos de contas e reescreve as contas dos livros L23",
     {},
     NumberChartsHasInput,
     NumberChartsOfAccounts},
    {"versions-320-362",
     "Versões 3.20 a 3.62: tabelas das empresas, pastas em R00, F19 e plano de contas único",
     kMarks320To362, HasVersions320To362Input, ConvertVersions320To362},
    {"invoices-364", "Versão 3.64: livros de notas L26 em arquivos fiscais L50", kMark364,
     HasInvoices364Input, [](Context& ctx) { return ConvertInvoices364(ctx).outcome; }},
    {"fiscal-373", "Versão 3.73: arquivos fiscais L50 em arquivos L50A de 400 posições", kMark373,
     HasFiscal373Input, [](Context& ctx) { return ConvertFiscal373(ctx).outcome; }},
    {"chart-r1",
     "Plano de contas F20R0 para F20R1; F08 para F08R1; códigos de F25R0",
     {},
     HasChartR1Input,
     [](Context& ctx) { return ConvertChart20R1(ctx).outcome; }},
    {"remove-obsolete",
     "Remove arquivos e pastas obsoletos e move R02 para R60",
     {},
     HasObsoleteFiles,
     [](Context& ctx) { return RemoveObsoleteFiles(ctx); }},
});

// Passes every call on and keeps the first listing that failed.
class WatchedListings final : public platform::ForwardingFileSystem {
 public:
  explicit WatchedListings(platform::FileSystem& inner) : ForwardingFileSystem(inner) {}
  using FileSystem::Find;
  std::vector<platform::DirEntry> Find(std::string_view pattern, std::uint32_t mask,
                                       Outcome& why) override {
    Outcome listed;
    auto found = inner_.Find(pattern, mask, listed);
    if (!listed) {
      failed_.Also(listed);
      why = std::move(listed);
    }
    return found;
  }
  const Outcome& failed() const { return failed_; }

 private:
  Outcome failed_;
};

}  // namespace

std::span<const LibraryStep> LibrarySteps() { return kSteps; }

const LibraryStep* FindLibraryStep(std::string_view name) {
  for (const LibraryStep& step : LibrarySteps()) {
    if (step.name == name) return &step;
  }
  return nullptr;
}

bool StepHasInput(const LibraryStep& step, platform::FileSystem& fs, Outcome& why) {
  if (step.has_input == nullptr) return false;
  WatchedListings watched(fs);
  if (step.has_input(watched)) return true;
  if (!watched.failed().ok()) why = watched.failed();
  return false;
}

// Whether the folder holds the input of a step that comes before this one.
static bool EarlierInput(const LibraryStep& step, platform::FileSystem& fs) {
  for (const LibraryStep& earlier : LibrarySteps()) {
    if (&earlier == &step) return false;
    if (earlier.has_input != nullptr && earlier.has_input(fs)) return true;
  }
  return false;
}

Outcome RunLibraryStep(const LibraryStep& step, Context& ctx, bool resumes_stopped_run) {
  std::string interrupted;
  if (Outcome recovered = RecoverConversion(ctx, &interrupted); !recovered) return recovered;
  // A run of this very step that was interrupted is finished whatever the folder holds now:
  // its last change may have consumed the last of its input.
  Outcome listed;
  if (step.has_input != nullptr && interrupted != step.name &&
      !StepHasInput(step, ctx.fs, listed)) {
    if (!listed) return listed;
    if (resumes_stopped_run && !EarlierInput(step, ctx.fs)) {
      ctx.sink.Note(
          Format("A execução anterior da etapa %s, interrompida, já tinha terminado "
                 "o trabalho.",
                 step.name));
      return {};
    }
    std::vector<LayoutFound> found = FindLayouts(ctx.fs);
    std::string layout =
        found.empty() ? std::string("nenhum arquivo de uma geração conhecida") : found.back().text;
    return Outcome::Failed(Operation::kCheck, ctx.fs.Root(), Cause::kLayout)
        .WithDetail(Format("a pasta está em: %s", layout));
  }
  return step.run(ctx);
}

}  // namespace livrana
