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
// The undo journal of step 4.34's invoice phase (see convert/phases.h).
inline constexpr std::string_view kInvoiceJournal = "CONV434.JNL";

}  // namespace livrana
