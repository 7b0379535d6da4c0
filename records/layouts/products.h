// The product items of the invoices of every company, R63\<year>.DAT in the data folder:
// records of 230 characters, "+" in the last one when deleted. Version 3.64 adds them to the
// invoices they name and sets each table aside as R63\<year>.BAK.
#pragma once

#include <cstddef>
#include <string_view>

namespace livrana {

inline constexpr std::string_view kProductFolder = "R63";
inline constexpr std::size_t kProductRecord = 230;

//   offset width
//        0    10   company code
//       10    10   invoice number
//       20    14   product code
//       34     1   kind digit
//       35     1   marker: "1" when the item takes its invoice's item flag
//       36     4   operation code
//       40     3   type
//       43     6   three codes of 2 characters
//       49    18   quantity text
//       67    18   value
//      103    27   three rates of 5, the first two each followed by a share of 6
//      130    10   two fixed rates of 5
//      229     1   deletion mark
struct ProductLayout {
  static constexpr std::size_t kCompany = 0, kCompanyWidth = 10;
  static constexpr std::size_t kInvoice = 10, kInvoiceWidth = 10;
  static constexpr std::size_t kCode = 20, kCodeWidth = 14;
  static constexpr std::size_t kKind = 34;
  static constexpr std::size_t kMarker = 35;
  static constexpr std::size_t kOperation = 36, kOperationWidth = 4;
  static constexpr std::size_t kType = 40, kTypeWidth = 3;
  static constexpr std::size_t kCode1 = 43, kCode2 = 45, kCode3 = 47, kCodeWidthShort = 2;
  static constexpr std::size_t kText = 49, kTextWidth = 18;
  static constexpr std::size_t kValue = 67, kValueWidth = 18;
  static constexpr std::size_t kRate1 = 103, kRate2 = 114, kRate3 = 125, kRateWidth = 5;
  static constexpr std::size_t kShare1 = 108, kShare2 = 119, kShareWidth = 6;
  static constexpr std::size_t kFixed1 = 130, kFixed2 = 135, kFixedWidth = 5;
  static constexpr std::size_t kDeleted = kProductRecord - 1;
};

}  // namespace livrana
