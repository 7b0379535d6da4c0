// Invoice phase of step 4.34: the qualifying records of the yearly invoice files
// "R00\<code>\L50A<year>.DAT" (400-byte records) are rewritten in place.
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
#include <algorithm>
#include <array>

#include "convert/phases.h"
#include "records/format.h"
#include "records/layouts/invoices.h"
#include "records/record_file.h"

namespace livrana::convert434 {
namespace {

struct InvoiceLayout {
  static constexpr std::size_t kKind = 0;
  static constexpr std::size_t kGap = 51;
  static constexpr std::size_t kOld = 52, kOldWidth = 10;
  static constexpr std::size_t kMid = 80, kMidWidth = 9;
  static constexpr std::size_t kNew = 127, kNewWidth = 11;
  static constexpr std::size_t kSpanStart = kOld;
  static constexpr std::size_t kSpanEnd = kNew + kNewWidth;  // 138
};

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

}  // namespace

void ReadBytes(RecordFile& file, std::uint64_t pos, std::size_t n, std::string& bytes) {
  bytes.resize(n);
  file.Seek(pos);
  bytes.resize(file.Read(bytes.data(), n));
}

Outcome ConvertInvoiceFile(Context& ctx, std::int64_t n, const std::string& code, int year,
                           std::string_view path, Listing& result) {
  FileHandle file = ctx.dry_run ? OpenRead(ctx.fs, path) : OpenUpdate(ctx.fs, path);
  if (!file) return {};
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
      ReadBytes(*file, start, length, copy);
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
  Outcome closed = CloseFile(file);
  if (converted > 0) result.ChangedInvoiceFile(code, year, path, converted);
  if (!closed) {
    ctx.sink.Fail(kCaption, Format("Erro ao gravar o arquivo %s: %s.\nA conversão foi "
                                   "interrompida; execute-a novamente depois de corrigir o "
                                   "problema.",
                                   path, CauseText(closed.cause())));
  }
  return closed;
}

}  // namespace livrana::convert434
