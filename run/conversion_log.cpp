#include "run/conversion_log.h"

#include <string>

#include "records/format.h"
#include "records/record_file.h"
#include "run/whole_file.h"

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
  (void)ConvMark(fs, tag);  // a log that cannot be written lets the step run again next time
  return false;
}

Outcome ConvMark(platform::FileSystem& fs, std::string_view tag) {
  if (ConvFind(fs, tag)) return {};
  std::string text;  // the log as it is
  if (fs.Attributes(kConversionLog)) {
    Outcome why;
    auto log = ReadWholeFile(fs, kConversionLog, &why);
    if (!log) return why;
    text = std::move(*log);
  }
  if (!text.empty() && text.back() != '\n') text += "\r\n";
  text += Format("%s\r\n", tag);
  return ReplaceWholeFile(fs, kConversionLog, kConversionLogNew, text);
}

std::span<const KnownMark> KnownMarks() {
  static constexpr KnownMark kMarks[] = {
      {"301", "Versão 3.01: tabela G04 em G04R0 e campos de endereço"},
      {"320", "Versão 3.20: códigos dos campos 29 e 42 do cadastro F00R0"},
      {"360", "Versão 3.60: conserto dos livros de notas L26"},
      {"362", "Versão 3.62: plano de contas único F20R0"},
      {"364", "Versão 3.64: livros de notas L26 em arquivos fiscais L50"},
      {"373", "Versão 3.73: arquivos fiscais L50 em L50A de 400 posições"},
  };
  return kMarks;
}

}  // namespace livrana
