// The text-mode reading and the conversions on the step journal of the first generations'
// steps (the import of the oldest file set, the regrouping into company folders, the
// register rebuild and the split of the ledgers by year). Their sources are read as text:
// a carriage return and line feed is one line feed and a Ctrl-Z byte ends the file. Each
// source is turned into its targets in one Conversion of the step journal: a conversion that
// cannot finish (a write refused, a full disk, an interruption) gives every target back what
// it held before it began and leaves its source where it is, so that a later run does the
// whole conversion again and nothing is written twice or lost.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/step_io.h"
#include "records/context.h"
#include "records/record_file.h"
#include "run/step_journal.h"

namespace livrana {

// A source of the first generations' steps read as they read it, in text mode: a carriage
// return followed by a line feed is delivered as a line feed, a Ctrl-Z byte ends the file,
// and a read of n characters stops after a line feed. The file is read in large blocks
// through the record layer, as stored, and the text-mode rules are applied here: a record
// whose bytes hold none of the three characters those rules look at is delivered as its
// pieces in place, without a copy.
class TextSource {
 public:
  // Null when the file cannot be opened; why then tells why.
  static std::unique_ptr<TextSource> Open(platform::FileSystem& fs, std::string_view path,
                                          Outcome* why = nullptr);

  // Reads at most n characters (the fgets contract) into out, replacing it; gives the count.
  std::size_t Read(std::size_t n, std::string& out);
  // Reads the next piece as ReadPiece does: cut short, it is filled with spaces up to n.
  // Gives the count of characters read.
  std::size_t Piece(std::size_t n, std::string& out);
  // The same for pieces after the first of a record.
  std::string Next(std::size_t n) {
    std::string piece;
    Piece(n, piece);
    return piece;
  }
  // The first piece of the next record, as Piece reads it; 0 at the end of the source. A
  // piece that holds nothing but line ends (the CR LF that many tools leave at the end of a
  // file) is no record and is passed over.
  std::size_t First(std::size_t n, std::string& out);

  // The next record read in pieces of the given widths, as First and Piece read them one
  // after the other: each piece filled with spaces up to its width. Empty at the end of the
  // source. The pieces are valid until the next read; first_read() tells how many
  // characters the first piece had before it was filled.
  std::span<const std::string_view> Record(std::span<const std::size_t> widths);
  // The rest of a record whose first piece was read already, in pieces of the given widths
  // as Piece reads them: never empty, a piece cut short by the end of the source (or a
  // Ctrl-Z) filled with spaces.
  std::span<const std::string_view> Rest(std::span<const std::size_t> widths);
  std::size_t first_read() const { return first_read_; }

  // Positions at a byte of the file; a Ctrl-Z met before no longer ends the reading.
  void Seek(std::uint64_t pos);
  std::uint64_t Tell() const { return buffer_at_ + at_; }
  // Whether the reading met the end of the file or a Ctrl-Z byte.
  bool ended() const { return ended_; }
  // The first failure of a read (a device error), or done.
  const Outcome& failure() const { return file_->failure(); }

 private:
  explicit TextSource(FileHandle file);
  // Record (record_start) or Rest.
  std::span<const std::string_view> Pieces(std::span<const std::size_t> widths, bool record_start);
  // Makes at least n bytes from the position lie in the buffer, as far as the file has them;
  // gives whether they do.
  bool Ensure(std::size_t n);
  // The file position of the next byte at or after the position that the text-mode rules
  // look at (CR, LF, Ctrl-Z), or the end of the buffer when there is none in it.
  std::uint64_t NextSpecial();

  FileHandle file_;
  std::unique_ptr<char[]> buffer_;
  std::uint64_t buffer_at_ = 0;  // file position of buffer_[0]
  std::size_t at_ = 0, length_ = 0;
  bool ended_ = false;
  // What is known of the special bytes: none in [scan_from_, special_), and special_ is one
  // when it lies before scanned_ (the end of what was looked at).
  std::uint64_t scan_from_ = 0, special_ = 0, scanned_ = 0;
  std::vector<std::string> pieces_;
  std::vector<std::string_view> views_;
  std::size_t first_read_ = 0;
};

// Reads one record of a source in its pieces and appends what it gives to out (nothing for a
// record that is skipped). Gives false at the end of the source, when the record's first
// piece cannot be read.
using RecordConverter = std::function<bool(TextSource& source, std::string& out)>;

// Writes text as one text-mode record (OneLine); false once the file has failed.
bool WriteRecord(RecordFile& target, std::string_view text);

// Converts every record of the source into the target, each written as one text-mode
// record (OneLine). Done, or the first failure of a read or a write.
Outcome ConvertRecords(TextSource& source, RecordFile& target, const RecordConverter& convert);

// ---- Conversions on the step journal -----------------------------------------------------
//
// The first generations' steps turn each source into its targets in one Conversion of the
// step journal (run/step_journal.h): every target is noted before its first change, and the
// source is consumed at the commit, so that a run stopped anywhere is rolled back or finished
// by the next one and nothing is written twice or lost.

// Whether a target that could not be opened, created or copied to is passed over, as these
// steps do with a target in a missing folder, a read-only file or a name that is no file;
// anything else (a full disk, a device error) stops the step.
bool PassedOver(const Outcome& why);

// Opens a target of the conversion as these steps open theirs in text mode, a read-only file
// as it stands (refused, before it is noted, as a folder is): appended to and created when
// missing, or created empty. The records written hold no line feed (OneLine), so text mode
// would write them byte for byte: the file is written as stored. Null when it cannot be
// opened; why then tells why, PassedOver whether the step goes on.
FileHandle OpenTarget(Conversion& conversion, platform::FileSystem& fs, std::string_view path,
                      bool append, Outcome& why);

// The targets of one conversion that many records are appended to, each opened on its first
// record and kept open while later records follow (a few dozen at a time), so that the bytes
// are those of an opening and closing for every record at a fraction of the cost.
class AppendTargets {
 public:
  AppendTargets(Conversion& conversion, platform::FileSystem& fs)
      : conversion_(conversion), fs_(fs) {}
  // The target at path, opened for appending (created when missing) when it is not open yet:
  // file is null when it is passed over. Done, or the failure that stops the step.
  Outcome Open(const std::string& path, RecordFile*& file);
  // Appends a record to the target at path (OneLine). Done also when the target is passed
  // over (placed then false); otherwise the failure that stops the step.
  Outcome Append(const std::string& path, std::string_view record, bool& placed);
  // Closes every target: done, or the first failure. The conversion commits only after.
  Outcome Close();

 private:
  struct Target {
    std::string path;
    FileHandle file;
  };
  Conversion& conversion_;
  platform::FileSystem& fs_;
  std::vector<Target> open_;  // most recently used last
  std::set<std::string> passed_over_;
};

// Copies a file to a name that is not taken, never overwriting, as a target of the
// conversion. copied tells whether the copy was made: not when the name is taken or the copy
// is passed over (PassedOver); a failure otherwise.
Outcome CopyNew(Conversion& conversion, platform::FileSystem& fs, std::string_view from,
                std::string_view to, bool& copied);

// Lists the consuming of a source whose records have all reached their targets: removed at
// the commit, or, when it cannot be removed (a read-only file) or not every record found a
// target, moved to its safety copy, so that a later run cannot convert it again and nothing
// is lost.
void ConsumeAtCommit(Conversion& conversion, platform::FileSystem& fs, std::string_view source,
                     bool remove);

// One source converted into one target: the records converted and the source listed to be
// removed (remove) or moved to its safety copy at the commit. A missing source, or a target
// that is passed over, changes nothing (converted then false). A failure leaves the
// conversion to be abandoned.
struct FileJob {
  std::string_view source, target;
  bool append = true;  // appended to, created when missing; else created empty
  bool remove = false;
};
Outcome ConvertFileIn(Conversion& conversion, platform::FileSystem& fs, const FileJob& job,
                      const RecordConverter& convert, bool* converted = nullptr);

// The same in a conversion of its own (step names it in the journal), committed once `then`
// has added what it adds.
Outcome ConvertFile(Context& ctx, std::string_view step, const FileJob& job,
                    const RecordConverter& convert, bool* converted = nullptr,
                    const std::function<Outcome(Conversion&)>& then = {});

}  // namespace livrana
