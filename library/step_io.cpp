#include "library/step_io.h"

#include <algorithm>

#include "records/format.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::uint32_t kNotOrdinary = platform::kDirectory | platform::kHidden | platform::kSystem;

}  // namespace

bool OrdinaryFileExists(platform::FileSystem& fs, std::string_view path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & kNotOrdinary) == 0;
}

std::vector<std::string> FindOrdinaryFiles(platform::FileSystem& fs, std::string_view pattern,
                                           Outcome* why) {
  std::vector<std::string> names;
  Outcome listed;
  for (auto& entry : fs.Find(pattern, 0, listed)) {
    if ((entry.attributes & kNotOrdinary) == 0) names.push_back(std::move(entry.name));
  }
  if (!listed && why != nullptr) *why = std::move(listed);
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

bool OnlyLineEnds(std::string_view piece) {
  return !piece.empty() && piece.find_first_not_of("\r\n") == std::string_view::npos;
}

Outcome ReportFailure(Context& ctx, std::string_view caption, Outcome failure) {
  ctx.sink.Fail(caption, Sentence(failure) +
                             "\nA conversão parou sem perder nada; execute-a novamente depois "
                             "de corrigir o problema.");
  return failure;
}

}  // namespace livrana
