#include "convert/convert434.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "records/company.h"
#include "records/format.h"
#include "records/record_file.h"

namespace livrana {
namespace {

constexpr std::string_view kCaption = "Conversão 4.34";

// ---------------------------------------------------------------------------------------
// Invoice files "R00\<code>\L50A<year>.DAT": 400-byte records.
//
//   offset width
//        0     1   "0" for the record to qualify
//       51     1   a space for the record to qualify
//       52    10   old field: must not start with a space; its first 9 characters move to
//                  80, then it is filled with spaces
//       80     9   receives the first 9 characters of the old field at 52; its previous
//                  text moves to 127
//      127    11   receives the previous text of 80, followed by 2 spaces
//
// The three fields are rewritten as one span, [52, 138), in a single write.
// ---------------------------------------------------------------------------------------
constexpr std::int64_t kInvoiceRecord = 400;
constexpr int kFirstYear = 1990;
constexpr int kLastYear = 2018;
struct InvoiceLayout {
  static constexpr std::size_t kKind = 0;
  static constexpr std::size_t kGap = 51;
  static constexpr std::size_t kOld = 52, kOldWidth = 10;
  static constexpr std::size_t kMid = 80, kMidWidth = 9;
  static constexpr std::size_t kNew = 127, kNewWidth = 11;
  static constexpr std::size_t kSpanStart = kOld;
  static constexpr std::size_t kSpanEnd = kNew + kNewWidth;  // 138
};

// Reads n bytes at pos exactly as stored (a line feed or a zero byte does not cut them);
// fewer at the end of the file.
void ReadAt(RecordFile& file, std::uint64_t pos, std::size_t n, std::string& bytes) {
  bytes.resize(n);
  file.Seek(pos);
  bytes.resize(file.Read(bytes.data(), n));
}

// Puts text into a field of width bytes as "%-<width>s" writes a text of at most width
// characters: left-justified, padded with spaces.
void PutLeft(char* field, std::size_t width, std::string_view text) {
  std::copy(text.begin(), text.end(), field);
  std::fill(field + text.size(), field + width, ' ');
}

using InvoiceSpan = std::array<char, InvoiceLayout::kSpanEnd - InvoiceLayout::kSpanStart>;

// The converted bytes [52, 138) of an invoice record (out[i] is byte 52 + i); false when
// the record does not qualify. A record cut short before the end of the span is left as
// it is: converting it would lose the text of 80. The fields are rewritten as "%-10s"
// (empty), "%-9s" and "%-11s" write them; every text put here is at most as wide as its
// field, so each write keeps to its field.
bool ConvertInvoiceRecord(std::string_view record, InvoiceSpan& out) {
  using L = InvoiceLayout;
  if (record.empty() || record[L::kKind] != '0') return false;
  if (record.size() < L::kSpanEnd || record[L::kGap] != ' ' || record[L::kOld] == ' ') return false;
  const std::string_view old_mid = record.substr(L::kMid, L::kMidWidth);
  const std::string_view moved = record.substr(L::kOld, L::kMidWidth);  // cut to 9
  std::copy(record.begin() + L::kSpanStart, record.begin() + L::kSpanEnd, out.begin());
  auto field = [&](std::size_t offset) { return out.data() + (offset - L::kSpanStart); };
  PutLeft(field(L::kOld), L::kOldWidth, "");
  PutLeft(field(L::kMid), L::kMidWidth, moved);
  PutLeft(field(L::kNew), L::kNewWidth, old_mid);
  return true;
}

// ---------------------------------------------------------------------------------------
// Phone-table phase. Every table has the same fields:
//
//   offset width
//        0    10   the record's code, written to the phone table as stored
//      290    41   first telephone text: cut to 37 characters
//      331    23   second telephone text: folded into the first or moved out, then emptied
//
// FTEL1.DAT has lines of 38 characters and CR LF:
//   kind (2), "01" or "02" (2), merged flag (1), code (10), text (23).
// ---------------------------------------------------------------------------------------
struct PhoneTable {
  int kind;
  std::string_view file;
  std::int64_t record_length;
};
constexpr std::array<PhoneTable, 4> kPhoneTables = {{
    {0, "F00R0.DAT", 1000},
    {1, "F01R0.DAT", 814},
    {2, "F02R1.DAT", 1000},
    {8, "F08R1.DAT", 1000},
}};
struct PhoneLayout {
  static constexpr std::size_t kCode = 0, kCodeWidth = 10;
  static constexpr std::size_t kPhone1 = 290, kPhone1Width = 41;
  static constexpr std::size_t kPhone2 = 331, kPhone2Width = 23;
  static constexpr std::size_t kKept = 37;  // characters the first telephone field keeps
  static constexpr std::size_t kEnd = kPhone2 + kPhone2Width;  // 354
};
constexpr std::string_view kPhoneLine1 = "%02d01%d%-10s%-23s\r\n";
constexpr std::string_view kPhoneLine2 = "%02d02%d%-10s%-23s\r\n";

constexpr std::string_view kPhoneTableFile = "FTEL1.DAT";
// The phone table is built in a journal first and published under its name only when
// every table has been walked, so that an interrupted run is finished by the next one.
// Each journal entry holds the lines of one table record together with the record they
// came from, so that a later run knows which records have already given their text.
constexpr std::string_view kPhoneJournal = "FTEL1.JNL";
constexpr std::string_view kPhoneNew = "FTEL1.NEW";
constexpr std::size_t kPhoneLineBytes = 40;
// Journal entry: kind (2), record number (10), which lines follow (1: "1" the "01" line,
// "2" the "02" line, "3" both), then both lines (each 40 bytes, spaces when absent).
constexpr std::size_t kJournalEntry = 2 + 10 + 1 + 2 * kPhoneLineBytes;
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
  using L = PhoneLayout;
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
    if (kind.size() == 2 && kind[0] == '0' + k / 10 && kind[1] == '0' + k % 10)
      return static_cast<int>(i);
  }
  return std::nullopt;
}

// Reads the journal's whole entries; a torn entry at its end (the process died while
// writing it) is cut off, since its record had not been rewritten yet (a dry run only
// passes over it). The lines of the entries are written to out when it is given, and
// counted in lines when that is given.
bool ReadJournal(RecordFile& journal, JournalMark& mark, RecordFile* out, std::int64_t* lines) {
  std::uint64_t size = journal.Size();
  std::uint64_t good = 0;
  std::array<char, kJournalEntry> buf;
  const std::string_view entry(buf.data(), buf.size());
  for (std::uint64_t pos = 0; pos + kJournalEntry <= size; pos += kJournalEntry) {
    journal.Seek(pos);
    if (journal.Read(buf.data(), kJournalEntry) != kJournalEntry) break;
    auto table = TableIndex(entry.substr(0, 2));
    std::string_view number = entry.substr(2, 10);
    char which = entry[12];
    bool digits =
        std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!table || !digits || which < '1' || which > '3') break;
    mark.table = *table;
    mark.record = 0;
    for (char c : number) mark.record = mark.record * 10 + (c - '0');
    for (int line = 0; line < 2; ++line) {
      if ((which & (1 << line)) == 0) continue;
      if (out != nullptr) out->Write(entry.substr(13 + line * kPhoneLineBytes, kPhoneLineBytes));
      if (lines != nullptr) ++*lines;
    }
    good = pos + kJournalEntry;
  }
  return good == size || !journal.writable() || journal.Truncate(good);
}

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

class PhasePhone {
 public:
  PhasePhone(Context& ctx, Listing& result) : ctx_(ctx), result_(result) {}

  void Run() {
    if (ctx_.fs.Attributes(kPhoneTableFile)) {
      // A run that died after publishing the phone table may have left its journal.
      if (!dry_ && ctx_.fs.Attributes(kPhoneJournal)) ctx_.fs.Remove(kPhoneJournal);
      return;
    }
    bool resuming = ctx_.fs.Attributes(kPhoneJournal).has_value();
    if (dry_) return Plan(resuming);
    if (ctx_.fs.Attributes(kPhoneNew)) ctx_.fs.Remove(kPhoneNew);
    journal_ =
        resuming ? OpenUpdate(ctx_.fs, kPhoneJournal) : OpenCreateUpdate(ctx_.fs, kPhoneJournal);
    if (!journal_) return;  // the phone table cannot be created: the phase does nothing
    if (resuming && !ReadJournal(*journal_, mark_, nullptr, nullptr)) return Failed(kPhoneJournal);
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
    FileHandle file = dry_ ? OpenRead(ctx_.fs, table.file) : OpenUpdate(ctx_.fs, table.file);
    if (!file) return true;
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
      if (length <= PhoneLayout::kPhone1) continue;
      ReadAt(*file, start + PhoneLayout::kCode, std::min(PhoneLayout::kCodeWidth, length), code);
      ReadAt(*file, start + PhoneLayout::kPhone1,
             std::min(PhoneLayout::kEnd, length) - PhoneLayout::kPhone1, span);
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
      file->Seek(start + PhoneLayout::kPhone1);
      file->Write(span);
    }
    bool ok = CloseFile(file);
    if (changed) result_.ChangedFile(table.file);
    if (dry_) return true;
    if (!ok || journal_->Failed()) {
      Failed(journal_->Failed() ? kPhoneJournal : table.file);
      return false;
    }
    return true;
  }

  // Writes the phone table from the journal and publishes it under its name.
  void Publish() {
    if (!journal_->Flush()) return Failed(kPhoneJournal);
    FileHandle out = OpenCreate(ctx_.fs, kPhoneNew);
    if (!out) return Failed(kPhoneNew);
    JournalMark all;
    std::int64_t lines = 0;
    if (!ReadJournal(*journal_, all, out.get(), &lines)) return Failed(kPhoneJournal);
    bool ok = out->Sync() && CloseFile(out);
    CloseFile(journal_);
    if (!ok || !ctx_.fs.Rename(kPhoneNew, kPhoneTableFile)) return Failed(kPhoneTableFile);
    ctx_.fs.Remove(kPhoneJournal);
    result_.phone_lines = lines;
    result_.ChangedFile(kPhoneTableFile);
  }

  void Failed(std::string_view file) {
    result_.ok = false;
    ctx_.sink.Fail(kCaption, Format("Erro ao gravar o arquivo %s.\nNenhum texto foi perdido: "
                                    "execute a conversão novamente para concluí-la.",
                                    file));
  }

  Context& ctx_;
  Listing& result_;
  const bool dry_ = ctx_.dry_run;
  FileHandle journal_;
  JournalMark mark_;
};

// Returns false when a write failed; the invoice phase then stops.
bool ConvertInvoiceFile(Context& ctx, std::int64_t n, const std::string& code, int year,
                        std::string_view path, Listing& result) {
  FileHandle file = ctx.dry_run ? OpenRead(ctx.fs, path) : OpenUpdate(ctx.fs, path);
  if (!file) return true;
  file->SetRecordLength(static_cast<std::uint32_t>(kInvoiceRecord));
  const std::uint64_t size = file->Size();
  int converted = 0;
  std::string copy;
  InvoiceSpan out;
  for (std::uint64_t start = 0; start < size; start += kInvoiceRecord) {
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(kInvoiceRecord, size - start));
    // The record where it lies in the file's block; a copy when it is not all there.
    std::string_view record = file->View(start, length);
    if (record.empty()) {
      ReadAt(*file, start, length, copy);
      record = copy;
    }
    if (!ConvertInvoiceRecord(record, out)) continue;
    if (!ctx.dry_run) {
      const std::uint64_t at = start + InvoiceLayout::kSpanStart;
      if (char* bytes = file->Modify(at, out.size())) {
        std::copy(out.begin(), out.end(), bytes);
      } else {
        file->Seek(at);
        file->Write(std::string_view(out.data(), out.size()));
      }
    }
    ++converted;
    ++result.converted;
    if (ctx.sink.StatusDue())
      ctx.sink.Status(Format("Empresa %ld (%s) - NF %d", n, code, result.converted));
  }
  bool ok = CloseFile(file);
  if (converted > 0) result.ChangedInvoiceFile(code, year, path, converted);
  if (!ok) {
    result.ok = false;
    ctx.sink.Fail(kCaption, Format("Erro ao gravar o arquivo %s.\nA conversão foi interrompida; "
                                   "execute-a novamente depois de corrigir o problema.",
                                   path));
  }
  return ok;
}

}  // namespace

Convert434Result Convert434(Context& ctx, Convert434Detail detail) {
  Listing result;
  result.list = detail == Convert434Detail::kFiles;
  bool stopped = false;
  result.register_found =
      ForEachCompany(ctx, OnlyUsableFolders(ctx, [&](std::int64_t n, const std::string& code) {
                       if (stopped) return;
                       result.companies.push_back(code);
                       ctx.sink.Status(Format("Empresa %ld (%s)", n, code));
                       for (int year = kFirstYear; year <= kLastYear && !stopped; ++year) {
                         std::string path = Format("R00\\%s\\L50A%04d.DAT", code, year);
                         stopped = !ConvertInvoiceFile(ctx, n, code, year, path, result);
                       }
                     }));
  Convert434Result& done = result;
  if (stopped) return std::move(done);
  if (result.register_found)
    ctx.sink.Inform(kCaption, Format("NF convertidas: %d", result.converted));
  PhasePhone(ctx, result).Run();
  return std::move(done);
}

}  // namespace livrana
