// The yearly invoice files of the current layout: "R00\<code>\L50A<year>.DAT", records of
// 400 bytes, one file per company and year. Step 4.34 rewrites them in place for the years
// 1990 to 2018; version 3.73 writes them from the 200-byte fiscal files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace livrana {

inline constexpr std::string_view kInvoiceFile = "R00\\%s\\L50A%04d.DAT";  // code, year
inline constexpr std::int64_t kInvoiceRecord = 400;
inline constexpr int kInvoiceFirstYear = 1990;
inline constexpr int kInvoiceLastYear = 2018;

// The fields of an invoice record that step 4.34 tests and rewrites:
//
//   offset width
//        0     1   kind: "0" for the record to qualify
//       51     1   a space for the record to qualify
//       52    10   old field: its first 9 characters move to 80, then it is filled with spaces
//       80     9   receives the first 9 characters of the old field; its text moves to 127
//      127    11   receives the previous text of 80, followed by 2 spaces
struct InvoiceLayout {
  static constexpr std::size_t kKind = 0;
  static constexpr std::size_t kGap = 51;
  static constexpr std::size_t kOld = 52, kOldWidth = 10;
  static constexpr std::size_t kMid = 80, kMidWidth = 9;
  static constexpr std::size_t kNew = 127, kNewWidth = 11;
  static constexpr std::size_t kSpanStart = kOld;
  static constexpr std::size_t kSpanEnd = kNew + kNewWidth;  // 138
};
// The undo journal of step 4.34's invoice phase (see convert/phases.h).
inline constexpr std::string_view kInvoiceJournal = "CONV434.JNL";

// The link fields of an invoice header: the record number of its last item or reference
// and of its last text, decimal text in 10 characters.
inline constexpr std::size_t kInvoiceItemLink = 160;
inline constexpr std::size_t kInvoiceTextLink = 170;
inline constexpr std::size_t kInvoiceLinkWidth = 10;

}  // namespace livrana
