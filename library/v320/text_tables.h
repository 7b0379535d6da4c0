// The tables of versions 3.20 to 3.62 as the product's text-mode openings see them, read a
// block at a time.
//
// The product opens these tables itself in text mode: a read delivers a carriage return
// followed by a line feed as one line feed, a field read stops after a line feed, and a
// Ctrl-Z byte ends what is read; a write puts a carriage return before each line feed.
// Reading a file through a text-mode handle costs a test per byte; here the bytes are read
// in blocks in binary mode and the text-mode rules are applied to them in memory, with the
// same results:
//   - TableSource reads a table from start to end in pieces of a count of characters, as a
//     sequential text-mode read does (a Ctrl-Z byte ends the source);
//   - WalkRecords gives each record of a table as a TextRecord, whose reads and writes at an
//     offset are those of a text-mode handle positioned at the record's start plus the
//     offset (a Ctrl-Z byte ends one read; the next positioned read goes on after it);
//   - RewriteRecords writes a whole new version of a table through a conversion, each record
//     changed in memory, to be put in place of the table when the conversion commits.
#pragma once

#include "library/step_io.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "records/record_file.h"
#include "run/step_journal.h"

namespace livrana {

// Whether the failure of an opening only says that the file is not there.
inline bool Missing(const Outcome& why) { return why.cause() == Cause::kNotFound; }

class TableSource {
 public:
  // Opens the table at path for reading; the outcome tells why it could not be opened
  // (Missing for a file that is not there).
  Outcome Open(platform::FileSystem& fs, std::string_view path);
  bool is_open() const { return file_ != nullptr; }

  // Reads the next piece of at most n characters into out, as fread in text mode: CR LF
  // gives LF, a line feed does not end the piece, and nothing is read from a Ctrl-Z byte
  // on. False (out empty) when not a single character could be read.
  bool Read(std::size_t n, std::string& out);

  // Closes the source: done, or the failure of one of its reads.
  Outcome Close();

 private:
  bool Refill();

  FileHandle file_;
  std::string buffer_;
  std::size_t at_ = 0;
  bool ended_ = false;    // a Ctrl-Z byte was met
  bool drained_ = false;  // the file has no more bytes
};

// One record of a table, held in memory among the records around it. Offsets count from the
// record's start; the record is as long as the file lets it be (the last one may be cut
// short).
class TextRecord {
 public:
  TextRecord(std::string& bytes, std::size_t start, std::size_t size)
      : bytes_(bytes), start_(start), size_(size) {}

  std::size_t size() const { return size_; }
  // The record's bytes as stored.
  std::string_view Raw() const { return std::string_view(bytes_).substr(start_, size_); }
  // The byte at offset, or -1 outside the record.
  int At(std::size_t offset) const {
    return offset < size_ ? static_cast<unsigned char>(bytes_[start_ + offset]) : -1;
  }
  // Positions at offset and reads at most n characters, stopping after a line feed (CR LF
  // read as LF) and at a Ctrl-Z byte. False (out empty) when offset lies outside the
  // record or nothing could be read.
  bool ReadAt(std::size_t offset, std::size_t n, std::string& out) const;
  // Writes text at offset when it lies wholly inside the record, each line feed as CR LF
  // (which may lengthen a record at the end of the file by the carriage returns); false
  // when nothing was written.
  bool WriteInside(std::size_t offset, std::string_view text);

 private:
  std::string& bytes_;
  std::size_t start_;
  std::size_t size_;
};

// What is done with record r: its bytes may be changed in place; false ends the walk.
using RecordEdit = std::function<bool(std::int64_t r, TextRecord& record)>;

// Walks the records of length w of a file opened in binary mode, from its start, a block at
// a time, and gives each to edit until it gives false or the file ends. When out is given,
// every byte of the file, changed or not, is written to it, also those after the walk ended.
// Gives the failure of a read or of a write, if any.
Outcome WalkRecords(RecordFile& in, std::size_t w, RecordFile* out, const RecordEdit& edit);

// Opens an existing table for reading as the product opens it for update: a read-only file
// is refused, as the text-mode opening refuses it.
FileHandle OpenForUpdate(platform::FileSystem& fs, std::string_view path, Outcome& why);

// Opens a target of the conversion for appending as the product's text-mode opening does:
// created when missing, taken as it stands (a read-only file is refused). The records the
// steps append hold no line feed (OneLine), so they are written as they are, in binary mode.
FileHandle AppendTarget(platform::FileSystem& fs, Conversion& conversion, std::string_view path,
                        Outcome& why);

// Writes a new version of the table at path (records of length w) through the conversion:
// every record given to edit as WalkRecords does, the result put in place of the table at the
// commit. The outcome of the opening is Missing when the table is not there (nothing is
// written then).
Outcome RewriteRecords(platform::FileSystem& fs, Conversion& conversion, std::string_view path,
                       std::size_t w, const RecordEdit& edit);

}  // namespace livrana
