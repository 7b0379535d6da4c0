// The two phases of step 4.34, which Convert434 runs in this order, and the result they
// build together.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
// (its block had not been written yet).
//
// Converted files are held open, their blocks pending, and closed a few at a time, so that
// the entries of all of them reach the journal in one write before the first of their blocks
// is written back: on a file server every write is a round trip, and a journal write per
// file would cost almost as many as the files' own. The journal is written from its start
// again for every batch (the entries of files whose blocks all reached the disk are no longer
// needed) and removed at the end of the phase.
class InvoiceJournal {
 public:
  InvoiceJournal(Context& ctx, Listing& result) : ctx_(ctx), result_(result) {}
  // What an interrupted run left: torn records get their old bytes back, then the journal
  // is removed. Done when there is no journal.
  Outcome Recover();
  // Keeps the old bytes of the span at `at` of file (at path) before the span is changed.
  Outcome Keep(RecordFile& file, std::string_view path, std::uint64_t at, std::string_view old);
  // Whether a file of this path is held: it must be written back before it is opened again.
  bool Holds(std::string_view path) const;
  // Takes a converted file (counted.converted records, already added to the result) whose
  // blocks may still be pending, and the failure of its journal entries if one failed. The
  // file is closed with the rest of its batch: now, when the batch is full or kept failed.
  Outcome Hold(FileHandle file, InvoiceFileCount counted, Outcome kept);
  // Writes back and closes the held files in the order they were converted. A file that
  // fails is not counted; the first failure is told to the sink and given back.
  Outcome CloseHeld();
  // Closes and removes the journal once every held file is closed.
  Outcome Finish();
  // After a failure: the held files are closed, torn records get their old bytes back at
  // once and the journal goes, where the file system lets it (else the next run does it).
  Outcome Undo() {
    (void)CloseHeld();
    (void)CloseFile(journal_);  // what it holds is read again by Recover
    return Recover();
  }

 private:
  struct Held {
    FileHandle file;
    InvoiceFileCount counted;
    Outcome kept;
  };
  Context& ctx_;
  Listing& result_;
  FileHandle journal_;
  std::uint64_t position_ = 0;
  std::vector<Held> held_;
  std::uint64_t held_bytes_ = 0;       // pending bytes of the held files, at most
  std::uint64_t batch_entries_ = 0;    // where the entries of the next file to hold begin
  std::uint64_t largest_entries_ = 0;  // the most journal bytes one file of the batch took
};

// Invoice phase, one yearly invoice file of company n: converts its qualifying records in
// place (journal: null in a dry run), the file then held by the journal until its batch is
// written back. A missing file is passed over. Fails when the file cannot be opened for
// writing or a write failed; the failure has then been told to the sink, and the records of
// the files not written back are not counted.
Outcome ConvertInvoiceFile(Context& ctx, std::int64_t n, const std::string& code, int year,
                           std::string_view path, Listing& result, InvoiceJournal* journal);

// Phone-table phase: builds FTEL1.DAT from the four tables while it is missing. A failure
// is told to the sink and left in result.outcome.
void ConvertPhoneTables(Context& ctx, Listing& result);

// Reads n bytes at pos exactly as stored (a line feed or a zero byte does not cut them);
// fewer at the end of the file.
void ReadBytes(RecordFile& file, std::uint64_t pos, std::size_t n, std::string& bytes);

}  // namespace livrana::convert434
