// The two phases of step 4.34, which Convert434 runs in this order, and the result they
// build together.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/convert434.h"
#include "records/record_file.h"

namespace livrana::convert434 {

inline constexpr std::string_view kCaption = "Conversão 4.34";

// The result being built, with the files changed counted and, when asked, listed.
struct Listing : Convert434Result {
  bool list = false;
  void ChangedFile(std::string_view path) {
    ++files_changed_count;
    if (list) files_changed.emplace_back(path);
  }
  void ChangedInvoiceFile(const std::string& code, int year, std::string_view path, int count) {
    ChangedFile(path);
    ++invoice_files_changed;
    if (list) invoice_files.push_back({code, year, std::string(path), count});
  }
};

// The undo journal of the invoice phase, CONV434.JNL. A block of an invoice file is written
// back in place only after the old bytes [52, 138) of every record it changes have reached
// the journal, so that a write that stores only part of a block (a full disk, a kill in the
// middle of it) never loses the text of a record: the next run gives every record that is
// neither in its old form nor in its converted one its old bytes back, and converts it again.
// Each entry carries a check sum, so that an entry torn by an interruption is passed over
// (its block had not been written yet). The journal is written from its start again for
// every file (the entries of a file whose blocks all reached the disk are no longer needed)
// and removed at the end of the phase.
class InvoiceJournal {
 public:
  explicit InvoiceJournal(Context& ctx) : ctx_(ctx) {}
  // What an interrupted run left: torn records get their old bytes back, then the journal
  // is removed. Done when there is no journal.
  Outcome Recover();
  // A new invoice file: its entries overwrite those of the file before.
  void BeginFile() { position_ = 0; }
  // Keeps the old bytes of the span at `at` of file (at path) before the span is changed.
  Outcome Keep(RecordFile& file, std::string_view path, std::uint64_t at, std::string_view old);
  // Closes and removes the journal once every invoice file is closed.
  Outcome Finish();
  // After a failure, once every invoice file is closed: torn records get their old bytes
  // back at once and the journal goes, where the file system lets it (else the next run
  // does it).
  Outcome Undo() {
    (void)CloseFile(journal_);  // what it holds is read again by Recover
    return Recover();
  }

 private:
  Context& ctx_;
  FileHandle journal_;
  std::uint64_t position_ = 0;
};

// Invoice phase, one yearly invoice file of company n: converts its qualifying records in
// place (journal: null in a dry run). A missing file, or one that cannot be opened, is
// passed over. Fails when a write failed; the failure has then been told to the sink, and
// the records of the file are not counted.
Outcome ConvertInvoiceFile(Context& ctx, std::int64_t n, const std::string& code, int year,
                           std::string_view path, Listing& result, InvoiceJournal* journal);

// Phone-table phase: builds FTEL1.DAT from the four tables while it is missing. A failure
// is told to the sink and left in result.outcome.
void ConvertPhoneTables(Context& ctx, Listing& result);

// Reads n bytes at pos exactly as stored (a line feed or a zero byte does not cut them);
// fewer at the end of the file.
void ReadBytes(RecordFile& file, std::uint64_t pos, std::size_t n, std::string& bytes);

}  // namespace livrana::convert434
