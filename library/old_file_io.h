// Reading and writing as the steps of the first file generations do it: sources opened in
// text mode and read in pieces of a given count of characters, targets created or appended
// to, and sources consumed (deleted) once everything they held has reached its targets.
//
// A conversion that cannot finish (a write refused, a full disk) gives every target back
// what it held before it began and leaves its source where it is, so that a later run does
// the whole conversion again and nothing is written twice or lost.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/context.h"
#include "records/record_file.h"

namespace livrana {

// Whether an ordinary file (no folder, not hidden, not system; read-only counts) is at path:
// the existence test of these steps' targets.
bool OrdinaryFileExists(platform::FileSystem& fs, std::string_view path);

// The ordinary files that match a pattern ("0001\L02*.DAT"), in the order the system lists
// them.
std::vector<std::string> FindOrdinaryFiles(platform::FileSystem& fs, std::string_view pattern);

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

// The targets one conversion writes, with what each held before the conversion first
// opened it, so that an unfinished conversion can give them back.
class Targets {
 public:
  explicit Targets(platform::FileSystem& fs) : fs_(fs) {}

  // Creates the file empty. Null when it cannot be created, or when something other than an
  // ordinary file (a folder, a hidden or system file) has its name.
  FileHandle Create(std::string_view path);
  // Opens the file for appending, creating it when missing; a read-only file is not opened.
  // Null when it cannot be opened.
  FileHandle Append(std::string_view path);

  // Gives every target back what it held before: a file that did not exist is removed, an
  // appended one is cut back to its earlier length.
  void Undo();

 private:
  struct Before {
    std::string path;
    std::optional<std::uint64_t> size;  // nothing: the file did not exist
  };
  Before& Remember(std::string_view path);

  platform::FileSystem& fs_;
  std::vector<Before> before_;
};

// Reads one record of a source in its pieces and appends what it gives to out (nothing for a
// record that is skipped). Gives false at the end of the source, when the record's first
// piece cannot be read.
using RecordConverter = std::function<bool(RecordFile& source, std::string& out)>;

enum class Conversion {
  kDone,         // every record converted; the caller consumes the source
  kNotOpened,    // the source or the target could not be opened; both are as they were
  kWriteFailed,  // a write failed; the target holds what it held before
};

// Converts the source into the target record by record. The target is created empty, or
// (append) opened for appending and created when missing.
Conversion ConvertFile(platform::FileSystem& fs, std::string_view source, std::string_view target,
                       bool append, const RecordConverter& convert);

// Copies a file to a name that is not taken (never overwriting) and checks that the copy is
// whole; a copy cut short (a full disk) is removed again. Gives whether the copy was made.
bool CopyNew(platform::FileSystem& fs, std::string_view from, std::string_view to);

// Removes a source whose records have all been converted; when it cannot be removed (a
// read-only file), it is moved to its safety copy, so that a later run cannot convert it
// again.
void ConsumeSource(Context& ctx, std::string_view path);

// Tells the user that a write failed and the step stopped, the file named.
void ReportWriteFailure(Context& ctx, std::string_view caption, std::string_view path);

}  // namespace livrana
