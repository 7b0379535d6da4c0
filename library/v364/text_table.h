// The tables that the steps of this generation open in text mode (ledgers, product items,
// fiscal files, charts), read a whole record at a time through a binary handle. The rules of
// the text mode are kept: the file ends at its first Ctrl-Z byte (0x1A), a carriage return
// followed by a line feed reads as one line feed, and a field read stops after a line feed.
// Byte positions are those of the file, as in text mode.
#pragma once

#include "library/step_io.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "records/record_file.h"

namespace livrana {

class TextTable {
 public:
  // file is open in binary mode; its blocks are aligned to whole records of width bytes.
  TextTable(RecordFile& file, std::size_t width);

  // Loads record n: false when it starts at or after the end of the file (the first Ctrl-Z
  // or the file's last byte). Every byte before the record is looked at for a Ctrl-Z, so a
  // walk that loads its records in order reads the file once.
  bool Load(std::int64_t n);
  // Whether byte pos lies inside the file as text mode sees it (the positioning test of the
  // walks: a position at or after the first Ctrl-Z fails).
  bool Inside(std::int64_t pos);

  // A field of the loaded record: at most count characters from offset, as a text-mode read
  // of the field gives them. The field must lie within the record.
  std::string Field(std::size_t offset, std::size_t count) const;
  // The same for a plain record, as a view into it: valid until the next Load.
  std::string_view PlainField(std::size_t offset, std::size_t count) const;
  // The character at offset as a one-character read gives it; '\0' after the end.
  char Char(std::size_t offset) const;
  // Whether the loaded record has the deletion mark "+" in its last byte.
  bool Deleted() const { return Char(width_ - 1) == '+'; }
  // The record's bytes as stored, up to the end of the file (a short last record, or one
  // cut by a Ctrl-Z, is shorter than the width).
  std::string_view Raw() const;
  // Whether the loaded record holds no carriage return and no line feed: its fields are
  // then its bytes as they stand.
  bool plain() const { return plain_; }
  // Whether a Ctrl-Z has been met: the file ends there, whatever is written after it.
  bool cut() const { return end_found_; }

  // The failure of a read of the file, when one failed.
  const Outcome& failure() const { return file_.failure(); }

 private:
  bool ScanTo(std::uint64_t pos);
  std::uint64_t End() const { return end_; }

  RecordFile& file_;
  std::size_t width_;
  std::uint64_t end_;          // the size, or the position of the first Ctrl-Z once found
  std::uint64_t scanned_ = 0;  // bytes before this were looked at for a Ctrl-Z
  bool end_found_ = false;
  std::string raw_;  // the loaded record and the byte after it (a line feed after a final
                     // carriage return), as far as the file goes
  std::size_t record_bytes_ = 0;
  bool plain_ = true;
};

// A field read from a table, made fit for a fixed-width record written back: a line feed
// it ends with becomes a space, so that no line break reaches a record of the target.
std::string OneLineField(std::string field);

}  // namespace livrana
