#include "library/registry.h"

#include <array>

#include "library/v364/chart_r1.h"
#include "library/first/company_folders.h"
#include "library/v364/fiscal373.h"
#include "library/first/import_old_files.h"
#include "library/v364/invoices364.h"
#include "library/v301/number_charts.h"
#include "library/first/rebuild_registers.h"
#include "library/v364/remove_obsolete.h"
#include "library/first/split_ledgers.h"
#include "library/v301/version301.h"
#include "library/v320/versions320_362.h"

namespace livrana {
namespace {

// Each step joins this list when it is built: import-old-files, company-folders,
// rebuild-registers, split-ledgers, version-301, number-charts, versions-320-362,
// invoices-364, fiscal-373, chart-r1, remove-obsolete.
constexpr auto kSteps = std::to_array<LibraryStep>({
    {"import-old-files", "Importa os arquivos antigos (f1, f2, f0dp, f3, grupos e pastas de tipo)",
     ImportOldFileSet},
    {"company-folders", "Reagrupa as pastas de tipo em uma pasta por empresa",
     MoveToCompanyFolders},
    {"rebuild-registers", "Refaz o cadastro F00R0, a tabela F02R1 e as tabelas das empresas",
     RebuildRegisterFiles},
    {"split-ledgers", "Separa os livros das empresas por ano e monta os livros anuais L23 e L26",
     SplitLedgersByYear},
    {"version-301", "Versão 3.01: tabela G04 em G04R0 e campos de endereço dos cadastros",
     ConvertVersion301},
    {"number-charts", "Numera os planos de contas e reescreve as contas dos livros L23",
     NumberChartsOfAccounts},
    {"versions-320-362",
     "Versões 3.20 a 3.62: tabelas das empresas, pastas em R00, F19 e plano de contas único",
     ConvertVersions320To362},
    {"invoices-364", "Versão 3.64: livros de notas L26 em arquivos fiscais L50",
     [](Context& ctx) { return ConvertInvoices364(ctx).ok; }},
    {"fiscal-373", "Versão 3.73: arquivos fiscais L50 em arquivos L50A de 400 posições",
     [](Context& ctx) { return ConvertFiscal373(ctx).ok; }},
    {"chart-r1", "Plano de contas F20R0 para F20R1; F08 para F08R1; códigos de F25R0",
     [](Context& ctx) { return ConvertChart20R1(ctx).ok; }},
    {"remove-obsolete", "Remove arquivos e pastas obsoletos e move R02 para R60",
     [](Context& ctx) {
       RemoveObsoleteFiles(ctx);
       return true;
     }},
});

}  // namespace

std::span<const LibraryStep> LibrarySteps() { return kSteps; }

const LibraryStep* FindLibraryStep(std::string_view name) {
  for (const LibraryStep& step : LibrarySteps()) {
    if (step.name == name) return &step;
  }
  return nullptr;
}

}  // namespace livrana
