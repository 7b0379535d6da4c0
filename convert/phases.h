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

// Invoice phase, one yearly invoice file of company n: converts its qualifying records in
// place. A missing file, or one that cannot be opened, is passed over. Fails when a write
// failed; the failure has then been told to the sink.
Outcome ConvertInvoiceFile(Context& ctx, std::int64_t n, const std::string& code, int year,
                           std::string_view path, Listing& result);

// Phone-table phase: builds FTEL1.DAT from the four tables while it is missing. A failure
// is told to the sink and left in result.outcome.
void ConvertPhoneTables(Context& ctx, Listing& result);

// Reads n bytes at pos exactly as stored (a line feed or a zero byte does not cut them);
// fewer at the end of the file.
void ReadBytes(RecordFile& file, std::uint64_t pos, std::size_t n, std::string& bytes);

}  // namespace livrana::convert434
