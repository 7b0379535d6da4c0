#include "library/step_io.h"

#include <algorithm>

#include "records/format.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::uint32_t kNotOrdinary = platform::kDirectory | platform::kHidden | platform::kSystem;

FileHandle Wrap(std::unique_ptr<platform::File> file, std::string_view path, bool append) {
  if (!file) return nullptr;
  return std::make_unique<RecordFile>(std::move(file), path, true, append, FileMode::kBinary);
}

}  // namespace

bool OrdinaryFileExists(platform::FileSystem& fs, std::string_view path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & kNotOrdinary) == 0;
}

std::vector<std::string> FindOrdinaryFiles(platform::FileSystem& fs, std::string_view pattern) {
  std::vector<std::string> names;
  for (auto& entry : fs.Find(pattern, 0)) {
    if ((entry.attributes & kNotOrdinary) == 0) names.push_back(std::move(entry.name));
  }
  return names;
}

FileHandle OpenSource(platform::FileSystem& fs, std::string_view path) {
  return OpenRead(fs, path, FileMode::kText);
}

std::size_t ReadPiece(RecordFile& source, std::size_t n, std::string& out) {
  ReadField(&source, out, n);
  std::size_t read = out.size();
  if (read < n) out.append(n - read, ' ');
  return read;
}

std::string NextPiece(RecordFile& source, std::size_t n) {
  std::string piece;
  ReadPiece(source, n, piece);
  return piece;
}

Targets::Before& Targets::Remember(std::string_view path) {
  for (Before& b : before_) {
    if (platform::SameName(b.path, path)) return b;
  }
  Before before{std::string(path), std::nullopt};
  if (auto file = fs_.Open(path, platform::Access::kRead)) before.size = file->Size();
  before_.push_back(std::move(before));
  return before_.back();
}

FileHandle Targets::Create(std::string_view path) {
  auto attributes = fs_.Attributes(path);
  if (attributes && (*attributes & kNotOrdinary) != 0) return nullptr;
  // Whatever the file held before is given up on creation: undoing removes it.
  Remember(path).size.reset();
  return Wrap(fs_.Open(path, platform::Access::kCreate), path, false);
}

FileHandle Targets::Append(std::string_view path) {
  Remember(path);
  return Wrap(fs_.Open(path, platform::Access::kOpenAlways), path, true);
}

void Targets::Undo() {
  for (const Before& b : before_) {
    if (!b.size) {
      fs_.Remove(b.path);
    } else if (auto file = fs_.Open(b.path, platform::Access::kReadWrite)) {
      file->Truncate(*b.size);
      file->Close();
    }
  }
  before_.clear();
}

FileConversion ConvertFile(platform::FileSystem& fs, std::string_view source,
                           std::string_view target, bool append, const RecordConverter& convert) {
  FileHandle in = OpenSource(fs, source);
  if (!in) return FileConversion::kNotOpened;
  Targets targets(fs);
  FileHandle out = append ? targets.Append(target) : targets.Create(target);
  if (!out) return FileConversion::kNotOpened;
  std::string records;
  while (convert(*in, records)) {
    out->Write(records);
    records.clear();
    if (out->Failed()) break;
  }
  CloseFile(in);
  if (CloseFile(out)) return FileConversion::kDone;
  targets.Undo();
  return FileConversion::kWriteFailed;
}

bool CopyNew(platform::FileSystem& fs, std::string_view from, std::string_view to) {
  auto size = [&fs](std::string_view path) -> std::optional<std::uint64_t> {
    auto file = fs.Open(path, platform::Access::kRead);
    if (!file) return std::nullopt;
    return file->Size();
  };
  auto expected = size(from);
  if (!expected || !fs.Copy(from, to, false)) return false;
  if (size(to) == expected) return true;
  fs.Remove(to);
  return false;
}

void ConsumeSource(Context& ctx, std::string_view path) {
  if (!ctx.fs.Remove(path)) MoveToSafety(ctx, path);
}

void ReportWriteFailure(Context& ctx, std::string_view caption, std::string_view path) {
  ctx.sink.Fail(caption, Format("Erro ao gravar o arquivo %s.\nA conversão parou; o arquivo de "
                                "origem ficou como estava.",
                                path));
}

Outcome ReportFailure(Context& ctx, std::string_view caption, Outcome failure) {
  ctx.sink.Fail(caption, Sentence(failure) +
                             "\nA conversão parou sem perder nada; execute-a novamente depois "
                             "de corrigir o problema.");
  return failure;
}

}  // namespace livrana
