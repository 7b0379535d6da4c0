// Field access for the conversion steps that walk their record files themselves: pieces
// of a record read at a position, writes that stay inside the file, and the texts of
// records appended in text mode.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/context.h"
#include "records/format.h"
#include "records/record_file.h"

namespace livrana::step_files {

// What a part of a step tells its caller: the file that could not be written (the part
// stopped there and moved or deleted none of its sources), or nothing when every write
// reached its file.
using Failure = std::optional<std::string>;

// Reads up to n bytes from the current position as stored (a line feed does not end the
// read); fewer at the end of the file.
inline std::string ReadPiece(RecordFile& file, std::size_t n) {
  std::string piece(n, '\0');
  piece.resize(file.Read(piece.data(), n));
  return piece;
}

// Positions at pos and reads at most n characters, stopping after a line feed. False
// (and out empty) when pos lies outside the file or nothing could be read.
inline bool ReadAt(RecordFile& file, std::int64_t pos, std::size_t n, std::string& out) {
  out.clear();
  return SeekInside(&file, pos) && ReadField(&file, out, n);
}

// Whether the bytes [pos, pos + n) all lie inside the file.
inline bool Inside(const RecordFile& file, std::int64_t pos, std::size_t n) {
  return pos >= 0 && static_cast<std::uint64_t>(pos) + n <= file.Size();
}

// Writes text at pos when it lies wholly inside the file: an in-place conversion never
// lengthens a file whose last record is cut short. False when nothing was written.
inline bool WriteInside(RecordFile& file, std::int64_t pos, std::string_view text) {
  if (!Inside(file, pos, text.size())) return false;
  file.Seek(static_cast<std::uint64_t>(pos));
  return file.Write(text);
}

// The characters [offset, offset + n) of a record, as far as the record has them.
inline std::string Piece(std::string_view record, std::size_t offset, std::size_t n) {
  if (offset >= record.size()) return {};
  return std::string(record.substr(offset, n));
}

// The character at offset of a record, or '\0' when the record is shorter.
inline char At(std::string_view record, std::size_t offset) {
  return offset < record.size() ? record[offset] : '\0';
}

// A record to append in text mode: a line feed, which a broken source record may hold,
// would be written as two bytes and shift every later record, so it becomes a space.
inline std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

// Appends to out, as one text-mode record each (OneLine), what make gives for every live
// record of in: pieces of width characters as stored, read to the end of the file; a
// record whose character at deleted_at is "+" is passed over. False when a write failed;
// the walk still goes to the end, since the callers keep or remove the target as a whole.
template <typename Make>
bool AppendLiveRecords(RecordFile& in, RecordFile& out, std::size_t width, std::size_t deleted_at,
                       Make make) {
  bool ok = true;
  for (;;) {
    std::string record = ReadPiece(in, width);
    if (record.empty()) return ok;
    if (At(record, deleted_at) == '+') continue;
    ok = out.Write(OneLine(make(std::move(record)))) && ok;
  }
}

// Tells the user that a file could not be written and the step stopped there.
inline void ReportWriteFailure(Context& ctx, std::string_view caption, std::string_view path) {
  ctx.sink.Fail(caption, Format("Erro ao gravar o arquivo %s.\nA conversão foi interrompida; "
                                "execute-a novamente depois de corrigir o problema.",
                                path));
}

}  // namespace livrana::step_files
