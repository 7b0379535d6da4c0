// Invoice phase of step 4.34: the qualifying records of the yearly invoice files
// "R00\<code>\L50A<year>.DAT" (400-byte records, fields in records/layouts/invoices.h)
// are rewritten in place. The old field must not start with a space. The three fields are
// rewritten as one span, [52, 138), in a single write.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "convert/phases.h"
#include "records/format.h"
#include "records/guarded_open.h"
#include "records/layouts/invoices.h"
#include "records/record_file.h"

namespace livrana::convert434 {
namespace {

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

// What follows the failure that stops the phase: the records are either old or converted.
constexpr char kStoppedUnharmed[] =
    "\nA conversão foi interrompida sem perder nada; execute-a novamente depois de corrigir o "
    "problema.";

// The converted form of an old span [52, 138).
InvoiceSpan ConvertedSpan(std::string_view old) {
  std::string record(InvoiceLayout::kSpanEnd, ' ');
  record[InvoiceLayout::kKind] = '0';
  record.replace(InvoiceLayout::kSpanStart, old.size(), old);
  InvoiceSpan out;
  if (!ConvertInvoiceRecord(record, out)) std::copy(old.begin(), old.end(), out.begin());
  return out;
}

// ---------------------------------------------------------------------------------------
// Journal entry: the file's path (32, spaces after it), the span's position (12 digits), its
// old bytes (86), a check sum of those three (8 hexadecimal digits), CR LF.
// ---------------------------------------------------------------------------------------
constexpr std::size_t kJournalPath = 32, kJournalPosition = 12, kJournalSum = 8;
constexpr std::size_t kSpanBytes = InvoiceLayout::kSpanEnd - InvoiceLayout::kSpanStart;
constexpr std::size_t kJournalBody = kJournalPath + kJournalPosition + kSpanBytes;
constexpr std::size_t kJournalEntry = kJournalBody + kJournalSum + 2;

// The check sum of an entry: FNV-1a over 64-bit words (little-endian, the last bytes one by
// one), folded to 32 bits. An entry is made for every converted record, and a hash that
// takes a byte at a time would cost as much as the rest of the conversion.
std::uint32_t CheckSum(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037u;
  std::size_t at = 0;
  for (; at + 8 <= bytes.size(); at += 8) {
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&word, bytes.data() + at, sizeof word);
    } else {
      for (std::size_t i = 8; i-- > 0;)
        word = word << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    hash = (hash ^ word) * 1099511628211u;
  }
  for (; at < bytes.size(); ++at)
    hash = (hash ^ static_cast<unsigned char>(bytes[at])) * 1099511628211u;
  return static_cast<std::uint32_t>(hash ^ hash >> 32);
}

// The check sum of the first journals, FNV-1a a byte at a time: an entry it verifies is
// still taken, so that a journal left by an interrupted run of an earlier version is
// recovered all the same.
std::uint32_t ByteCheckSum(std::string_view bytes) {
  std::uint32_t hash = 2166136261u;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

// Writes the 8 hexadecimal digits of a check sum, and CR LF.
void PutSum(std::uint32_t sum, char* out) {
  for (std::size_t i = kJournalSum; i-- > 0; sum >>= 4) out[i] = "0123456789abcdef"[sum & 15];
  out[kJournalSum] = '\r';
  out[kJournalSum + 1] = '\n';
}

}  // namespace

Outcome InvoiceJournal::Keep(RecordFile& file, std::string_view path, std::uint64_t at,
                             std::string_view old) {
  if (!journal_) {
    Outcome why;
    journal_ = OpenCreateUpdate(ctx_.fs, kInvoiceJournal, FileMode::kBinary, &why);
    if (!journal_) return why;
    position_ = 0;
  }
  // The old bytes reach the journal before the file's block is written back.
  file.FlushFirst(journal_.get());
  if (path.size() > kJournalPath) {
    return Outcome::Failed(Operation::kWrite, kInvoiceJournal, Cause::kBadName);
  }
  std::array<char, kJournalEntry> entry;
  std::fill(std::copy(path.begin(), path.end(), entry.begin()), entry.begin() + kJournalPath, ' ');
  std::uint64_t digits = at;
  for (std::size_t i = kJournalPosition; i-- > 0; digits /= 10)
    entry[kJournalPath + i] = static_cast<char>('0' + digits % 10);
  if (digits != 0) return Outcome::Failed(Operation::kWrite, kInvoiceJournal, Cause::kTooLarge);
  std::copy(old.begin(), old.begin() + kSpanBytes, entry.begin() + kJournalPath + kJournalPosition);
  PutSum(CheckSum({entry.data(), kJournalBody}), entry.data() + kJournalBody);
  journal_->Seek(position_);
  journal_->Write({entry.data(), entry.size()});
  position_ += entry.size();
  return journal_->failure();
}

bool InvoiceJournal::Holds(std::string_view path) const {
  const std::string key = platform::FoldedPath(path);
  return std::any_of(held_.begin(), held_.end(), [&](const Held& held) {
    return platform::FoldedPath(held.counted.path) == key;
  });
}

Outcome InvoiceJournal::Hold(FileHandle file, InvoiceFileCount counted, Outcome kept) {
  // The batch ends before the journal's entries would outgrow one block (the next file may
  // take as many as the largest so far), or when it holds enough data or files.
  constexpr std::size_t kHeldFiles = 32;
  constexpr std::uint64_t kHeldBytes = 4 * RecordFile::kBlockBytes;
  const std::uint64_t entries = position_ - batch_entries_;
  batch_entries_ = position_;
  largest_entries_ = std::max(largest_entries_, entries);
  held_bytes_ += std::min<std::uint64_t>(file->Size(), RecordFile::kBlockBytes);
  const bool failed = !kept.ok();
  held_.push_back({std::move(file), std::move(counted), std::move(kept)});
  if (failed || held_.size() >= kHeldFiles || held_bytes_ >= kHeldBytes ||
      position_ + largest_entries_ > RecordFile::kBlockBytes) {
    return CloseHeld();
  }
  return {};
}

Outcome InvoiceJournal::CloseHeld() {
  Outcome first;
  for (Held& held : held_) {
    // The first write-back writes the journal's entries of the whole batch before its block.
    Outcome closed = CloseFile(held.file);
    closed.Also(std::move(held.kept));
    const InvoiceFileCount& counted = held.counted;
    if (closed) {
      if (counted.converted > 0)
        result_.ChangedInvoiceFile(counted.company, counted.year, counted.path, counted.converted);
      continue;
    }
    // What did not reach the disk is not counted.
    result_.converted -= counted.converted;
    if (first) {
      ctx_.sink.Fail(kCaption, Sentence(closed) + kStoppedUnharmed);
      first = std::move(closed);
    }
  }
  held_.clear();
  held_bytes_ = 0;
  // Every block of the batch is on the disk: the next batch writes the journal from its
  // start again.
  if (first) position_ = batch_entries_ = largest_entries_ = 0;
  return first;
}

Outcome InvoiceJournal::Finish() {
  if (!journal_) return {};
  Outcome closed = CloseFile(journal_);
  if (!closed) return closed;
  return ctx_.fs.Remove(kInvoiceJournal);
}

Outcome InvoiceJournal::Recover() {
  if (!ctx_.fs.Attributes(kInvoiceJournal)) return {};
  Outcome why;
  FileHandle journal = OpenRead(ctx_.fs, kInvoiceJournal, FileMode::kBinary, &why);
  if (!journal) return why;
  std::string data(static_cast<std::size_t>(journal->Size()), '\0');
  data.resize(journal->Read(data.data(), data.size()));
  if (Outcome read = CloseFile(journal); !read) return read;
  FileHandle file;
  std::string open_path, current;
  Outcome restored;
  for (std::size_t at = 0; at + kJournalEntry <= data.size() && restored; at += kJournalEntry) {
    std::string_view entry = std::string_view(data).substr(at, kJournalEntry);
    std::string_view body = entry.substr(0, kJournalBody);
    std::array<char, kJournalSum + 2> sum, first_sum;
    PutSum(CheckSum(body), sum.data());
    PutSum(ByteCheckSum(body), first_sum.data());
    const std::string_view stored = entry.substr(body.size());
    if (stored != std::string_view(sum.data(), sum.size()) &&
        stored != std::string_view(first_sum.data(), first_sum.size())) {
      continue;  // torn
    }
    std::string path(body.substr(0, kJournalPath));
    TrimRight(path);
    std::uint64_t position = 0;
    for (char c : body.substr(kJournalPath, kJournalPosition)) position = position * 10 + (c - '0');
    std::string_view old = body.substr(kJournalPath + kJournalPosition);
    if (path != open_path) {
      restored.Also(CloseFile(file));
      open_path = path;
      file = OpenUpdate(ctx_.fs, path, FileMode::kBinary, &why);
      if (!file) {
        if (why.cause() != Cause::kNotFound) restored.Also(std::move(why));
        continue;
      }
    }
    if (!file) continue;
    ReadBytes(*file, position, old.size(), current);
    const InvoiceSpan converted = ConvertedSpan(old);
    if (current == old || current == std::string_view(converted.data(), converted.size())) {
      continue;
    }
    // Torn by the interruption: the old bytes come back, and this run converts them again.
    file->Seek(position);
    file->Write(old);
  }
  restored.Also(CloseFile(file));
  if (!restored) return restored;
  return ctx_.fs.Remove(kInvoiceJournal);
}

void ReadBytes(RecordFile& file, std::uint64_t pos, std::size_t n, std::string& bytes) {
  bytes.resize(n);
  file.Seek(pos);
  bytes.resize(file.Read(bytes.data(), n));
}

Outcome ConvertInvoiceFile(Context& ctx, std::int64_t n, const std::string& code, int year,
                           std::string_view path, Listing& result, InvoiceJournal* journal) {
  // A company listed twice in the register: its file is written back before it is read again.
  if (journal != nullptr && journal->Holds(path)) {
    if (Outcome closed = journal->CloseHeld(); !closed) return closed;
  }
  Outcome why;
  FileHandle file =
      ctx.dry_run ? OpenRead(ctx.fs, path) : OpenUpdate(ctx.fs, path, FileMode::kBinary, &why);
  if (!file) {
    // A year without its file is passed over; a file that is there but cannot be written
    // (no permission, in use, a device error) stops the phase: its records still wait.
    if (ctx.dry_run || why.cause() == Cause::kNotFound) return {};
    if (journal != nullptr) {
      if (Outcome closed = journal->CloseHeld(); !closed) return closed;
    }
    ctx.sink.Fail(kCaption, Sentence(why) + kStoppedUnharmed);
    return why;
  }
  NoteClearedReadOnly(ctx, file.get());
  file->SetRecordLength(static_cast<std::uint32_t>(kInvoiceRecord));
  Outcome kept;
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
      ReadBytes(*file, start, length, copy);
      record = copy;
    }
    if (!ConvertInvoiceRecord(record, out)) continue;
    if (journal != nullptr) {
      const std::uint64_t at = start + InvoiceLayout::kSpanStart;
      kept = journal->Keep(*file, path, at, record.substr(InvoiceLayout::kSpanStart, out.size()));
      if (!kept) break;
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
  if (journal != nullptr && converted > 0) {
    return journal->Hold(std::move(file), {code, year, std::string(path), converted},
                         std::move(kept));
  }
  // Nothing pending (a dry run, or no record converted): closed at once.
  Outcome closed = CloseFile(file);
  closed.Also(std::move(kept));
  if (!closed) {
    // What did not reach the disk is not counted.
    result.converted -= converted;
    if (journal != nullptr) {
      if (Outcome held = journal->CloseHeld(); !held) return held;
    }
    ctx.sink.Fail(kCaption, Sentence(closed) + kStoppedUnharmed);
    return closed;
  }
  if (converted > 0) result.ChangedInvoiceFile(code, year, path, converted);
  return closed;
}

}  // namespace livrana::convert434
