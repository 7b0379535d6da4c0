#include "run/conversion_log.h"

#include <string>

#include "records/format.h"
#include "records/record_file.h"

namespace livrana {
namespace {

constexpr std::size_t kPieceLength = 9;

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool BeginsWith(std::string_view piece, std::string_view tag) {
  if (piece.size() < tag.size()) return false;
  for (std::size_t i = 0; i < tag.size(); ++i) {
    if (UpperAscii(piece[i]) != UpperAscii(tag[i])) return false;
  }
  return true;
}

}  // namespace

bool ConvFind(platform::FileSystem& fs, std::string_view tag) {
  FileHandle log = OpenRead(fs, kConversionLog);
  if (!log) return false;
  std::string piece;
  bool found = false;
  while (!found && ReadField(log.get(), piece, kPieceLength)) found = BeginsWith(piece, tag);
  CloseFile(log);
  return found;
}

bool ConvTestAndMark(platform::FileSystem& fs, std::string_view tag) {
  if (ConvFind(fs, tag)) return true;
  FileHandle log = OpenAppend(fs, kConversionLog);
  if (!log) return false;
  // A last line left without its line end (an interrupted write) is ended first, so that
  // the new tag begins a line of its own and is found again.
  std::uint64_t size = log->Size();
  std::string line = Format("%s\r\n", tag);
  if (size > 0) {
    log->Seek(size - 1);
    char last = 0;
    if (log->Read(&last, 1) == 1 && last != '\n') line.insert(0, "\r\n");
  }
  log->Write(line);
  CloseFile(log);
  return false;
}

}  // namespace livrana
