#include "records/company.h"

#include <memory>
#include <set>

#include "platform/cp1252.h"
#include "records/format.h"

namespace livrana {

bool ReadCompanyField(Context& ctx, RecordFile* file, std::int64_t n, std::string& out, int k) {
  return GetField(ctx.fs, file, n, out, k, kCompanyRegister, kCompanyRecordLength,
                  kCompanyFieldWidths);
}

bool CompanySelected(const Context& ctx, RecordFile* file, std::int64_t n, std::string_view code) {
  if (IsDeleted(file, n, kCompanyRecordLength)) return false;
  return ctx.company_filter.empty() || ctx.company_filter == code;
}

bool ForEachCompany(Context& ctx, const CompanyWork& work) {
  FileHandle reg = OpenRead(ctx.fs, kCompanyRegister);
  if (!reg) return false;
  reg->SetRecordLength(kCompanyRecordLength);
  std::string code;
  for (std::int64_t n = 0; ReadCompanyField(ctx, reg.get(), n, code, kCompanyCode); ++n) {
    if (!CompanySelected(ctx, reg.get(), n, code)) continue;
    work(n, code);
  }
  CloseFile(reg);
  return true;
}

void ForEachCompanyUnopened(Context& ctx, const CompanyWork& work) {
  std::string code;
  for (std::int64_t n = 0; ReadCompanyField(ctx, nullptr, n, code, kCompanyCode); ++n) {
    if (!CompanySelected(ctx, nullptr, n, code)) continue;
    work(n, code);
  }
}

bool UsableFolderName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
      case '\\':
      case '/':
      case ':':
      case '*':
      case '?':
      case '"':
      case '<':
      case '>':
      case '|':
        return false;
      default:
        break;
    }
  }
  if (name.back() == '.' || name.back() == ' ') return false;
  // Device names are reserved with any extension ("CON.DAT") and trailing spaces.
  if (platform::IsReservedDeviceName(name)) return false;
  return true;
}

CompanyWork OncePerFolder(Context& ctx, CompanyWork work) {
  auto seen = std::make_shared<std::set<std::string>>();  // the codes, letters folded
  return [&ctx, seen, work = std::move(work)](std::int64_t n, const std::string& code) {
    std::string key = code;
    for (char& c : key) c = static_cast<char>(platform::FoldCase(static_cast<unsigned char>(c)));
    if (!seen->insert(std::move(key)).second) {
      ctx.sink.Note(Format("Empresa %ld (%s) ignorada: a pasta desta empresa já foi convertida "
                           "(código repetido no cadastro).",
                           n, code));
      return;
    }
    work(n, code);
  };
}

CompanyWork OnlyUsableFolders(Context& ctx, CompanyWork work) {
  return [&ctx, work = std::move(work)](std::int64_t n, const std::string& code) {
    if (!UsableFolderName(code)) {
      ctx.sink.Note(
          Format("Empresa %ld (%s) ignorada: o código não serve como nome de pasta.", n, code));
      return;
    }
    work(n, code);
  };
}

}  // namespace livrana
