// The company register F00R0.DAT: one record of 1000 bytes per company, laid out by the
// 49 field widths below; the company code is field 0 and also names the company's folder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace livrana {

inline constexpr std::string_view kCompanyRegister = "F00R0.DAT";
inline constexpr std::int32_t kCompanyRecordLength = 1000;
// The folder that holds one folder per company, named by its code (version 3.20 on).
inline constexpr std::string_view kCompanyRoot = "R00";

// The register's field widths (49 fields, 1000 bytes).
inline constexpr std::array<std::int32_t, 49> kCompanyFieldWidths = {
    11, 40, 40, 40, 5, 8, 17, 30, 9, 30, 2, 3, 3, 1, 1, 10, 18, 18, 4, 41, 23,  18,  60,  60, 10,
    10, 40, 61, 18, 2, 1, 1,  5,  5, 5,  5, 5, 4, 4, 4, 4,  4,  1,  6, 6,  106, 100, 100, 1};

// Field numbers of the register that the steps name.
enum CompanyField : int {
  kCompanyCode = 0,
  kCompanyPhone1 = 19,       // first telephone text
  kCompanyPhone2 = 20,       // second telephone text
  kCompanyRateCode = 29,     // two-digit rate code
  kCompanyMergesChart = 42,  // "1": the company takes part in the chart-of-accounts merge
  kCompanyDeleted = 48,      // deletion mark
};

// The byte offset of field k in a register record: the sum of the widths before it.
constexpr std::size_t CompanyFieldOffset(int k) {
  std::size_t offset = 0;
  for (int i = 0; i < k; ++i) offset += static_cast<std::size_t>(kCompanyFieldWidths[i]);
  return offset;
}
constexpr std::size_t CompanyFieldWidth(int k) {
  return static_cast<std::size_t>(kCompanyFieldWidths[static_cast<std::size_t>(k)]);
}

// The same fields as byte offsets, for the steps that work on whole records.
struct RegisterLayout {
  static constexpr std::size_t kCode = CompanyFieldOffset(kCompanyCode);
  static constexpr std::size_t kCodeWidth = CompanyFieldWidth(kCompanyCode);
  static constexpr std::size_t kRateCode = CompanyFieldOffset(kCompanyRateCode);
  static constexpr std::size_t kRateCodeWidth = CompanyFieldWidth(kCompanyRateCode);
  static constexpr std::size_t kMergesChart = CompanyFieldOffset(kCompanyMergesChart);
  static constexpr std::size_t kDeleted = CompanyFieldOffset(kCompanyDeleted);
};
static_assert(CompanyFieldOffset(49) == kCompanyRecordLength);
static_assert(RegisterLayout::kRateCode == 631 && RegisterLayout::kMergesChart == 680);
static_assert(RegisterLayout::kDeleted == kCompanyRecordLength - 1);

}  // namespace livrana
