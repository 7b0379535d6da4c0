#include "convert/convert434.h"

#include <utility>

#include "convert/phases.h"
#include "records/company.h"
#include "records/format.h"
#include "records/layouts/invoices.h"

namespace livrana {

Convert434Result Convert434(Context& ctx, Convert434Detail detail) {
  convert434::Listing result;
  result.list = detail == Convert434Detail::kFiles;
  result.register_found = ForEachCompany(
      ctx, OnlyUsableFolders(ctx, [&](std::int64_t n, const std::string& code) {
        if (!result.outcome) return;
        result.companies.push_back(code);
        ctx.sink.Status(Format("Empresa %ld (%s)", n, code));
        for (int year = kInvoiceFirstYear; year <= kInvoiceLastYear && result.outcome; ++year) {
          std::string path = Format(kInvoiceFile, code, year);
          result.outcome = convert434::ConvertInvoiceFile(ctx, n, code, year, path, result);
        }
      }));
  Convert434Result& done = result;
  if (!result.outcome) return std::move(done);
  if (result.register_found)
    ctx.sink.Inform(convert434::kCaption, Format("NF convertidas: %d", result.converted));
  convert434::ConvertPhoneTables(ctx, result);
  return std::move(done);
}

}  // namespace livrana
