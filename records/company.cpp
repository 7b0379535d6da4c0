#include "records/company.h"

#include <memory>
#include <set>

#include "platform/cp1252.h"
#include "records/format.h"

namespace livrana {
namespace {

bool OnlyLineEndBytes(std::string_view bytes) {
  return !bytes.empty() && bytes.find_first_not_of("\r\n") == std::string_view::npos;
}

// Whether record n is the CR LF that many tools leave at the end of a file: the register's
// last piece, shorter than a record, made of nothing but carriage returns and line feeds.
// The file's position is left where it was.
bool LineEndTail(Context& ctx, RecordFile* file, std::int64_t n) {
  FileHandle opened;
  if (file == nullptr) {
    opened = OpenRead(ctx.fs, kCompanyRegister);
    file = opened.get();
  }
  std::int64_t start = 0;
  if (file == nullptr || !RecordPosition(n, kCompanyRecordLength, 0, start)) return false;
  const std::uint64_t size = file->Size();
  const auto from = static_cast<std::uint64_t>(start);
  if (from >= size || size - from >= static_cast<std::uint64_t>(kCompanyRecordLength)) {
    return false;
  }
  const std::uint64_t at = file->Tell();
  file->Seek(from);
  std::string piece(static_cast<std::size_t>(size - from), '\0');
  piece.resize(file->Read(piece.data(), piece.size()));
  const bool tail = file->Tell() == size && OnlyLineEndBytes(piece);
  file->Seek(at);
  return tail;
}

}  // namespace

bool ReadCompanyField(Context& ctx, RecordFile* file, std::int64_t n, std::string& out, int k) {
  if (!GetField(ctx.fs, file, n, out, k, kCompanyRegister, kCompanyRecordLength,
                kCompanyFieldWidths)) {
    return false;
  }
  // The line end that many tools leave at the end of a file is no company: the register
  // ends before it.
  if (OnlyLineEndBytes(out) && LineEndTail(ctx, file, n)) {
    out.clear();
    return false;
  }
  return true;
}

bool CompanySelected(const Context& ctx, RecordFile* file, std::int64_t n, std::string_view code) {
  if (IsDeleted(file, n, kCompanyRecordLength)) return false;
  return ctx.company_filter.empty() || ctx.company_filter == code;
}

std::int64_t CompanyRecords(Context& ctx, RecordFile* reg) {
  std::uint64_t size = 0;
  if (reg != nullptr) {
    size = reg->Size();
  } else {
    for (const auto& entry : ctx.fs.Find(kCompanyRegister, 0)) size = entry.size;
  }
  const auto width = static_cast<std::uint64_t>(kCompanyRecordLength);
  return static_cast<std::int64_t>((size + width - 1) / width);
}

bool ForEachCompany(Context& ctx, const CompanyWork& work) {
  FileHandle reg = OpenRead(ctx.fs, kCompanyRegister);
  if (!reg) return false;
  reg->SetRecordLength(kCompanyRecordLength);
  const std::int64_t count = CompanyRecords(ctx, reg.get());
  std::string code;
  for (std::int64_t n = 0; ReadCompanyField(ctx, reg.get(), n, code, kCompanyCode); ++n) {
    if (!CompanySelected(ctx, reg.get(), n, code)) continue;
    ctx.sink.Company(n, count);
    work(n, code);
  }
  CloseFile(reg);
  return true;
}

void ForEachCompanyUnopened(Context& ctx, const CompanyWork& work) {
  const std::int64_t count = CompanyRecords(ctx, nullptr);
  std::string code;
  for (std::int64_t n = 0; ReadCompanyField(ctx, nullptr, n, code, kCompanyCode); ++n) {
    if (!CompanySelected(ctx, nullptr, n, code)) continue;
    ctx.sink.Company(n, count);
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
      ctx.sink.Note(
          Format("Empresa %ld (%s) ignorada: a pasta desta empresa já foi convertida "
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
