#include "library/v301/walks.h"

#include <algorithm>

#include "records/company.h"
#include "run/layouts.h"

namespace livrana {
namespace {

constexpr char kCtrlZ = 0x1A;

}  // namespace

Outcome OpenCompanyRegister(Context& ctx, FileHandle& reg) {
  Outcome why;
  reg = OpenRead(ctx.fs, kCompanyRegister, FileMode::kBinary, &why);
  if (!reg) return why.cause() == Cause::kNotFound ? Outcome() : why;
  reg->SetRecordLength(kCompanyRecordLength);
  return {};
}

Outcome WalkCompanies(Context& ctx, RecordFile& reg, const CompanyStep& work) {
  Outcome failed;
  CompanyWork each =
      OnlyUsableFolders(ctx, OncePerFolder(ctx, [&](std::int64_t n, const std::string& code) {
                          if (failed) failed = work(n, code);
                        }));
  const std::int64_t count = CompanyRecords(ctx, &reg);
  std::string code;
  for (std::int64_t n = 0; failed && ReadCompanyField(ctx, &reg, n, code, kCompanyCode); ++n) {
    if (!CompanySelected(ctx, &reg, n, code)) continue;
    ctx.sink.Company(n, count);
    each(n, code);
  }
  if (failed) failed = reg.failure();
  return failed;
}

std::vector<std::string> LiveCompanyCodes(platform::FileSystem& fs) {
  std::vector<std::string> codes;
  FileHandle reg = OpenRead(fs, kCompanyRegister);
  if (!reg) return codes;
  reg->SetRecordLength(kCompanyRecordLength);
  std::string code;
  for (std::int64_t n = 0; GetField(fs, reg.get(), n, code, kCompanyCode, kCompanyRegister,
                                    kCompanyRecordLength, kCompanyFieldWidths);
       ++n) {
    if (!IsDeleted(reg.get(), n, kCompanyRecordLength) && UsableFolderName(code)) {
      codes.push_back(code);
    }
  }
  return codes;
}

bool CompanyFoldersBelowR00(platform::FileSystem& fs) {
  return IsFolder(fs, kCompanyRoot) && !FoldersOf(fs, kCompanyRoot).empty();
}

bool EmptyOrLineEnds(std::string_view piece) {
  return std::all_of(piece.begin(), piece.end(), [](char c) { return c == '\r' || c == '\n'; });
}

bool RecordText::Seek(std::size_t pos) {
  if (pos >= record_.size()) return false;
  pos_ = pos;
  return true;
}

bool RecordText::Read(std::size_t n, std::string& out) {
  out.clear();
  while (out.size() < n && pos_ < record_.size()) {
    char c = record_[pos_];
    if (c == kCtrlZ) break;
    if (c == '\r' && pos_ + 1 < record_.size() && record_[pos_ + 1] == '\n') {
      c = '\n';
      ++pos_;
    }
    out += c;
    ++pos_;
    if (c == '\n') break;
  }
  return !out.empty();
}

bool RecordText::Write(std::size_t pos, std::string_view text) {
  if (last_ && pos + text.size() > record_.size()) return false;
  std::string bytes;
  bytes.reserve(text.size() + 1);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  if (pos + bytes.size() > record_.size()) record_.resize(pos + bytes.size());
  std::copy(bytes.begin(), bytes.end(), record_.begin() + static_cast<std::ptrdiff_t>(pos));
  return true;
}

}  // namespace livrana
