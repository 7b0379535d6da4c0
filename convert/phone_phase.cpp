// Phone-table phase of step 4.34. In each of the four tables the first telephone text is
// cut to 37 characters, the second is folded into the first where both fit or moved out,
// and every piece of text that leaves a record becomes a line of FTEL1.DAT.
//
// The phone table is built in a journal first and published under its name only when
// every table has been walked, so that an interrupted run is finished by the next one.
// Each journal entry holds the lines of one table record together with the record they
// came from, so that a later run knows which records have already given their text.
#include <algorithm>
#include <array>
#include <optional>

#include "convert/phases.h"
#include "records/format.h"
#include "records/guarded_open.h"
#include "records/layouts/phone_tables.h"
#include "records/record_file.h"

namespace livrana::convert434 {
namespace {

using L = PhoneFields;

constexpr std::size_t kJournalEntry = PhoneJournalEntry::kSize;
constexpr std::string_view kNoLine = "                                        ";
static_assert(kNoLine.size() == kPhoneLineBytes);

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// What one table record gives: the rewritten telephone span and the phone-table lines.
struct PhoneRecord {
  bool changed = false;
  std::string line1, line2;  // empty when absent
};

// Converts the telephone span of one record in place: bytes [290, end of record or 354).
void ConvertPhoneRecord(int kind, std::string_view code, std::string& span, PhoneRecord& result) {
  result.changed = false;
  result.line1.clear();
  result.line2.clear();
  // The texts as they were, for the lines; a record that ends early gives only the
  // characters it has.
  std::array<char, L::kEnd - L::kPhone1> before;
  std::copy(span.begin(), span.end(), before.begin());
  const std::string_view original(before.data(), span.size());
  std::string_view t1 = original.substr(0, std::min(original.size(), L::kPhone1Width));
  std::string_view t2 = original.size() > L::kPhone2 - L::kPhone1
                            ? original.substr(L::kPhone2 - L::kPhone1)
                            : std::string_view();
  t1 = t1.substr(0, t1.find_last_not_of(' ') + 1);
  t2 = t2.substr(0, t2.find_last_not_of(' ') + 1);
  std::size_t l1 = t1.size(), l2 = t2.size();
  if (l2 <= l1 && SameIgnoringCase(t1.substr(0, l2), t2)) {
    // The first text starts with the second: the second field keeps its text.
    t2 = {};
    l2 = 0;
  }
  int merged = 0;
  // Writes text at offset, as far as the record reaches.
  auto put = [&](std::size_t offset, std::string_view text) {
    std::size_t at = offset - L::kPhone1;
    if (at >= span.size()) return;
    text = text.substr(0, span.size() - at);
    std::copy(text.begin(), text.end(), span.begin() + static_cast<long>(at));
    result.changed = true;
  };
  static const std::string kBlank4 = Format("%-4s", "");
  static const std::string kBlank23 = Format("%-23s", "");
  if (l1 > L::kKept) {
    put(L::kPhone1 + L::kKept, kBlank4);
    result.line1 = Format(kPhoneLine1, kind, 0, code, t1.substr(L::kKept));
  }
  if (l2 > 0 && l1 + l2 + 3 <= L::kKept) {
    put(L::kPhone1 + l1, Format(" / %s", t2));
    merged = 1;
  }
  if (l2 > 0) {
    put(L::kPhone2, kBlank23);
    result.line2 = Format(kPhoneLine2, kind, merged, code, t2);
  }
}

// Where the journal says the walk had got to: the table index and record number of the
// last record whose lines it holds.
struct JournalMark {
  int table = -1;
  std::int64_t record = -1;
  bool Covers(int t, std::int64_t n) const { return t < table || (t == table && n <= record); }
};

std::optional<int> TableIndex(std::string_view kind) {
  for (std::size_t i = 0; i < kPhoneTables.size(); ++i) {
    const int k = kPhoneTables[i].kind;  // written "%02d"
    if (kind.size() == PhoneJournalEntry::kKindWidth && kind[0] == '0' + k / 10 &&
        kind[1] == '0' + k % 10)
      return static_cast<int>(i);
  }
  return std::nullopt;
}

// Reads the journal's whole entries; a torn entry at its end (the process died while
// writing it) is cut off, since its record had not been rewritten yet (a dry run only
// passes over it). The lines of the entries are written to out when it is given, and
// counted in lines when that is given.
Outcome ReadJournal(RecordFile& journal, JournalMark& mark, RecordFile* out, std::int64_t* lines) {
  std::uint64_t size = journal.Size();
  std::uint64_t good = 0;
  std::array<char, kJournalEntry> buf;
  const std::string_view entry(buf.data(), buf.size());
  for (std::uint64_t pos = 0; pos + kJournalEntry <= size; pos += kJournalEntry) {
    journal.Seek(pos);
    if (journal.Read(buf.data(), kJournalEntry) != kJournalEntry) break;
    using E = PhoneJournalEntry;
    auto table = TableIndex(entry.substr(E::kKind, E::kKindWidth));
    std::string_view number = entry.substr(E::kRecord, E::kRecordWidth);
    char which = entry[E::kWhich];
    bool digits =
        std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!table || !digits || which < '1' || which > '3') break;
    mark.table = *table;
    mark.record = 0;
    for (char c : number) mark.record = mark.record * 10 + (c - '0');
    for (int line = 0; line < 2; ++line) {
      if ((which & (1 << line)) == 0) continue;
      if (out != nullptr)
        out->Write(entry.substr(E::kLines + line * kPhoneLineBytes, kPhoneLineBytes));
      if (lines != nullptr) ++*lines;
    }
    good = pos + kJournalEntry;
  }
  if (good == size || !journal.writable()) return journal.failure();
  return journal.Truncate(good);
}

class PhasePhone {
 public:
  PhasePhone(Context& ctx, Listing& result) : ctx_(ctx), result_(result) {}

  void Run() {
    if (ctx_.fs.Attributes(kPhoneTableFile)) {
      // A run that died after publishing the phone table may have left its journal.
      if (!dry_ && ctx_.fs.Attributes(kPhoneJournal)) {
        if (Outcome removed = ctx_.fs.Remove(kPhoneJournal); !removed) Failed(std::move(removed));
      }
      return;
    }
    bool resuming = ctx_.fs.Attributes(kPhoneJournal).has_value();
    if (dry_) return Plan(resuming);
    if (ctx_.fs.Attributes(kPhoneNew)) {
      if (Outcome removed = ctx_.fs.Remove(kPhoneNew); !removed) return Failed(std::move(removed));
    }
    // The phone table that cannot be built stops the step: nothing of the four tables has
    // changed, and the next run builds it.
    Outcome why;
    journal_ = resuming ? OpenUpdate(ctx_.fs, kPhoneJournal, FileMode::kBinary, &why)
                        : OpenCreateUpdate(ctx_.fs, kPhoneJournal, FileMode::kBinary, &why);
    if (!journal_) return Failed(std::move(why));
    if (resuming) {
      if (Outcome read = ReadJournal(*journal_, mark_, nullptr, nullptr); !read)
        return Failed(std::move(read));
    }
    result_.phone_phase_ran = true;
    for (std::size_t t = 0; t < kPhoneTables.size(); ++t) {
      if (!WalkTable(static_cast<int>(t))) return;
    }
    Publish();
  }

 private:
  // A dry run: the lines the phone table would hold, counting those of an interrupted
  // run's journal, with every file opened for reading only.
  void Plan(bool resuming) {
    std::int64_t journaled = 0;
    if (resuming) {
      FileHandle journal = OpenRead(ctx_.fs, kPhoneJournal);
      if (journal) ReadJournal(*journal, mark_, nullptr, &journaled);
    }
    result_.phone_phase_ran = true;
    for (std::size_t t = 0; t < kPhoneTables.size(); ++t) WalkTable(static_cast<int>(t));
    result_.phone_lines += journaled;
    result_.ChangedFile(kPhoneTableFile);
  }

  bool WalkTable(int t) {
    const PhoneTable& table = kPhoneTables[static_cast<std::size_t>(t)];
    Outcome why;
    FileHandle file = dry_ ? OpenRead(ctx_.fs, table.file)
                           : OpenUpdate(ctx_.fs, table.file, FileMode::kBinary, &why);
    if (!file) {
      // A missing table is passed over; one that is there but cannot be written stops the
      // phase before the phone table is published: its texts are still to be taken.
      if (dry_ || why.cause() == Cause::kNotFound) return true;
      Failed(std::move(why));
      return false;
    }
    NoteClearedReadOnly(ctx_, file.get());
    file->SetRecordLength(static_cast<std::uint32_t>(table.record_length));
    // Text leaves a record only after the journal holding it has reached the disk.
    file->FlushFirst(journal_.get());
    bool changed = false;
    const std::uint64_t size = file->Size();
    std::string code, span, entry;
    PhoneRecord rec;
    for (std::int64_t n = 0;; ++n) {
      const std::uint64_t start = static_cast<std::uint64_t>(n * table.record_length);
      if (start >= size) break;
      const std::uint64_t end = std::min<std::uint64_t>(start + table.record_length, size);
      // What lies within this record: end - start is at most the record length.
      const auto length = static_cast<std::size_t>(end - start);
      if (length <= L::kPhone1) continue;
      ReadBytes(*file, start + L::kCode, std::min(L::kCodeWidth, length), code);
      ReadBytes(*file, start + L::kPhone1, std::min(L::kEnd, length) - L::kPhone1, span);
      ConvertPhoneRecord(table.kind, code, span, rec);
      if (!rec.changed) continue;
      changed = true;
      if (dry_) {
        if (!mark_.Covers(t, n)) result_.phone_lines += !rec.line1.empty() + !rec.line2.empty();
        continue;
      }
      if (!mark_.Covers(t, n) && !(rec.line1.empty() && rec.line2.empty())) {
        char which =
            static_cast<char>('0' + (rec.line1.empty() ? 0 : 1) + (rec.line2.empty() ? 0 : 2));
        entry = Format("%02d%010ld%c", table.kind, n, which);
        entry.append(rec.line1.empty() ? kNoLine : rec.line1);
        entry.append(rec.line2.empty() ? kNoLine : rec.line2);
        journal_->Write(entry);
      }
      file->Seek(start + L::kPhone1);
      file->Write(span);
    }
    Outcome closed = CloseFile(file);
    if (changed) result_.ChangedFile(table.file);
    if (dry_) return true;
    if (journal_->Failed()) {
      Failed(journal_->failure());
      return false;
    }
    if (!closed) {
      Failed(std::move(closed));
      return false;
    }
    return true;
  }

  // Writes the phone table from the journal and publishes it under its name.
  void Publish() {
    if (Outcome flushed = journal_->Flush(); !flushed) return Failed(std::move(flushed));
    Outcome why;
    FileHandle out = OpenCreate(ctx_.fs, kPhoneNew, FileMode::kBinary, &why);
    if (!out) return Failed(std::move(why));
    JournalMark all;
    std::int64_t lines = 0;
    if (Outcome read = ReadJournal(*journal_, all, out.get(), &lines); !read)
      return Failed(std::move(read));
    Outcome written = out->Sync();
    written.Also(CloseFile(out));
    (void)CloseFile(journal_);
    if (!written) return Failed(std::move(written));
    if (Outcome renamed = ctx_.fs.Rename(kPhoneNew, kPhoneTableFile); !renamed)
      return Failed(std::move(renamed));
    result_.phone_lines = lines;
    result_.ChangedFile(kPhoneTableFile);
    // The table is whole; a journal that stays is removed by the next run.
    if (Outcome removed = ctx_.fs.Remove(kPhoneJournal); !removed) Failed(std::move(removed));
  }

  void Failed(Outcome failure) {
    ctx_.sink.Fail(kCaption, Sentence(failure) +
                                 "\nNenhum texto foi perdido: execute a "
                                 "conversão novamente para concluí-la.");
    result_.outcome.Also(std::move(failure));
  }

  Context& ctx_;
  Listing& result_;
  const bool dry_ = ctx_.dry_run;
  FileHandle journal_;
  JournalMark mark_;
};

}  // namespace

void ConvertPhoneTables(Context& ctx, Listing& result) { PhasePhone(ctx, result).Run(); }

}  // namespace livrana::convert434
