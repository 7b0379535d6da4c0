// The charts of accounts from the company-folder layout on: the shared chart F20R0.DAT in
// the data folder and each company's <co>\G20R0.DAT, numbered records of 209 characters,
// made from the unnumbered charts of the same record length (F20.DAT and F21.DAT in the
// data folder, G20.DAT and G21.DAT in a company folder).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace livrana {

inline constexpr std::string_view kSharedChartFile = "F20R0.DAT";
inline constexpr std::string_view kCompanyChartFile = "%s\\G20R0.DAT";  // code
inline constexpr std::int32_t kChartRecordLength = 209;

// An unnumbered chart record (F20, F21, G20, G21):
//
//   offset width
//        0    15   account code
//       20    41   account text; its last character (60) is "1" for the accounts that
//                  ledgers post to
//       65    35   the rest of the account data, in F20 and G20
//       68     3   the rest of the account data, in F21 and G21
//      208     1   deletion mark
struct OldChartLayout {
  static constexpr std::size_t kCode = 0, kCodeWidth = 15;
  static constexpr std::size_t kText = 20, kTextWidth = 41;
  static constexpr std::size_t kPosted = kText + kTextWidth - 1;
  static constexpr std::size_t kRest20 = 65, kRest20Width = 35;
  static constexpr std::size_t kRest21 = 68, kRest21Width = 3;
  static constexpr std::size_t kDeleted = 208;
};

// A numbered chart record, written with "%05ld%-6s%-41s%d%-15s%-141s":
//
//   offset width
//        0     5   sequence number, zero-padded
//        5     6   spaces
//       11    41   the account text of the unnumbered record (the flag at 51)
//       52     1   kind: "0" from F20 or G20, "1" from F21 or G21
//       53    15   the old account code
//       68   141   the rest of the account data
//      208         deletion mark (the last character of the rest)
//
// From version 3.62 on, the first 35 characters of the rest hold the company marker ("1" and
// the code of the company whose chart the account came from, or "0"), and the text they
// held before moves to 173-207. Until then an account that 3.62 appends from a company's
// chart holds "1" at 176 and the company code from 179 on.
struct ChartLayout {
  static constexpr std::size_t kNumber = 0, kNumberWidth = 5;
  static constexpr std::size_t kText = 11, kTextWidth = 41;
  static constexpr std::size_t kFlag = 51;
  static constexpr std::size_t kKind = 52;
  static constexpr std::size_t kOldCode = 53, kOldCodeWidth = 15;
  static constexpr std::size_t kRest = 68, kRestWidth = 141;
  static constexpr std::size_t kMarker = kRest, kMoved = 173, kMarkerWidth = 35;
  static constexpr std::size_t kMerged = 176, kMergedCompany = 179;
  static constexpr std::size_t kDeleted = 208;
};
static_assert(ChartLayout::kText + ChartLayout::kTextWidth - 1 == ChartLayout::kFlag);
static_assert(ChartLayout::kRest + ChartLayout::kRestWidth == kChartRecordLength);
static_assert(OldChartLayout::kDeleted == kChartRecordLength - 1);

}  // namespace livrana
