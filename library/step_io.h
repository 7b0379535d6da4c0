// The I/O kit of the older conversion steps: field access for the steps that walk their
// record files themselves (pieces of a record read at a position, writes that stay inside
// the file, records appended in text mode), and reading and writing as the steps of the
// first file generations do it (sources opened in text mode and read in pieces of a given
// count of characters, targets created or appended to, sources consumed once everything
// they held has reached its targets).
//
// A conversion that cannot finish (a write refused, a full disk) gives every target back
// what it held before it began and leaves its source where it is, so that a later run does
// the whole conversion again and nothing is written twice or lost.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/context.h"
#include "records/format.h"
#include "records/record_file.h"

namespace livrana {

// What a part of a step tells its caller: the file that could not be written (the part
// stopped there and moved or deleted none of its sources), or nothing when every write
// reached its file.
using FailedFile = std::optional<std::string>;

// Reads up to n bytes from the current position as stored (a line feed does not end the
// read); fewer at the end of the file.
inline std::string ReadRaw(RecordFile& file, std::size_t n) {
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
    std::string record = ReadRaw(in, width);
    if (record.empty()) return ok;
    if (At(record, deleted_at) == '+') continue;
    ok = out.Write(OneLine(make(std::move(record)))) && ok;
  }
}

// Whether an ordinary file (no folder, not hidden, not system; read-only counts) is at path:
// the existence test of these steps' targets.
bool OrdinaryFileExists(platform::FileSystem& fs, std::string_view path);

// The ordinary files that match a pattern ("0001\L02*.DAT"), in the order the system lists
// them; none when the folder cannot be listed, why then telling the cause when it is given.
std::vector<std::string> FindOrdinaryFiles(platform::FileSystem& fs, std::string_view pattern,
                                           Outcome* why = nullptr);

// A source opened in text mode (a Ctrl-Z byte ends it), read in pieces.
FileHandle OpenSource(platform::FileSystem& fs, std::string_view path);

// Reads the next piece of at most n characters from the source's position, stopping after a
// line feed. A piece cut short is filled with spaces up to n characters, so that a trailing
// partial record converts as if it were padded with spaces: none of its characters is lost
// and nothing is read past the end of the file. Gives the count of characters read: 0 (and n
// spaces) when not a single character could be read.
std::size_t ReadPiece(RecordFile& source, std::size_t n, std::string& out);
// The same, for pieces after the first of a record.
std::string NextPiece(RecordFile& source, std::size_t n);

// Whether a piece of a text-mode table holds nothing but line-end characters (the CR LF that
// many tools leave at the end of a file): such a piece is no record.
bool OnlyLineEnds(std::string_view piece);

// Tells the user why the step stopped (the failure's operation, file and cause) and that a
// new run finishes the work; gives the failure back, for the step to return.
Outcome ReportFailure(Context& ctx, std::string_view caption, Outcome failure);

}  // namespace livrana
