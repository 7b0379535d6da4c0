#include "convert/convert434.h"

#include <utility>

#include "convert/phases.h"
#include "records/company.h"
#include "records/format.h"
#include "records/layouts/invoices.h"
#include "records/layouts/phone_tables.h"

namespace livrana {
namespace {

// Whether the register holds a company that the filter selects; with an empty filter,
// whether it holds any live company whose code can name a folder.
bool RegisterSelects(Context& ctx) {
  bool found = false;
  FileHandle reg = OpenRead(ctx.fs, kCompanyRegister);
  if (!reg) return false;
  reg->SetRecordLength(kCompanyRecordLength);
  std::string code;
  for (std::int64_t n = 0; !found && ReadCompanyField(ctx, reg.get(), n, code, kCompanyCode); ++n) {
    found = CompanySelected(ctx, reg.get(), n, code) && UsableFolderName(code);
  }
  (void)CloseFile(reg);  // only read
  return found;
}

// A folder the step can work on: one that holds the product's data files, and, with a
// company filter, a company of that code. Nothing is changed in a folder that fails.
Outcome CheckFolder(Context& ctx) {
  bool data = IsFolderOfData(ctx);
  if (!data) {
    return Outcome::Failed(Operation::kCheck, ctx.fs.Root(), Cause::kNotDataFolder);
  }
  if (!ctx.company_filter.empty() && !RegisterSelects(ctx)) {
    return Outcome::Failed(Operation::kCheck, ctx.company_filter, Cause::kNoCompany);
  }
  return {};
}

}  // namespace

bool IsFolderOfData(Context& ctx) {
  // The company folders, or one of the tables with telephone fields.
  auto attributes = ctx.fs.Attributes(kCompanyRoot);
  if (attributes && (*attributes & platform::kDirectory) != 0) return true;
  for (const PhoneTable& table : kPhoneTables) {
    if (table.file != kCompanyRegister && ctx.fs.Attributes(table.file)) return true;
  }
  // A register alone counts when it holds a company: a file of that name holding anything
  // else is no register.
  Context all{ctx.fs, ctx.sink, ""};
  return RegisterSelects(all);
}

Convert434Result Convert434(Context& ctx, Convert434Detail detail) {
  convert434::Listing result;
  result.list = detail == Convert434Detail::kFiles;
  Convert434Result& done = result;
  auto stop = [&](Outcome failure) {
    ctx.sink.Fail(convert434::kCaption, Sentence(failure));
    result.outcome = std::move(failure);
    return std::move(done);
  };
  if (Outcome checked = CheckFolder(ctx); !checked) return stop(std::move(checked));
  convert434::InvoiceJournal journal(ctx, result);
  if (!ctx.dry_run) {
    if (Outcome recovered = journal.Recover(); !recovered) return stop(std::move(recovered));
  }
  result.register_found = ForEachCompany(
      ctx, OnlyUsableFolders(ctx, [&](std::int64_t n, const std::string& code) {
        if (!result.outcome) return;
        result.companies.push_back(code);
        ctx.sink.Status(Format("Empresa %ld (%s)", n, code));
        for (int year = kInvoiceFirstYear; year <= kInvoiceLastYear && result.outcome; ++year) {
          std::string path = Format(kInvoiceFile, code, year);
          result.outcome = convert434::ConvertInvoiceFile(ctx, n, code, year, path, result,
                                                          ctx.dry_run ? nullptr : &journal);
        }
      }));
  // The files of the last batch are written back (a failure is told by CloseHeld).
  if (result.outcome) result.outcome = journal.CloseHeld();
  if (!result.outcome) {
    if (!ctx.dry_run) (void)journal.Undo();  // else the next run undoes it
    return std::move(done);
  }
  if (Outcome finished = journal.Finish(); !finished) return stop(std::move(finished));
  if (result.register_found)
    ctx.sink.Inform(convert434::kCaption, Format("NF convertidas: %d", result.converted));
  convert434::ConvertPhoneTables(ctx, result);
  return std::move(done);
}

}  // namespace livrana
