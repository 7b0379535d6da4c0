// The yearly cash and accounting ledgers <co>\L23<year>.DAT (in a company folder, later below
// R00): records of 300 characters that post to the chart of accounts through three account
// fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace livrana {

inline constexpr std::string_view kLedger23File = "%s\\L23%04d.DAT";  // company folder, year
inline constexpr std::string_view kLedger23Pattern = "%s\\L23*.DAT";  // company folder
inline constexpr std::int32_t kLedger23RecordLength = 300;

//   offset width
//        0    10   date
//       10     1   kind
//       11     1   side: "C" or "D" (a space in kind "F")
//       12    18   amount (kind "F": 20)
//       42          history (100 to 140 characters by kind)
//      167    15   first account (a code of the chart's kind 0)
//      182    15   second account (kind 1)
//      197    15   third account (kind 1)
//      299     1   deletion mark
//
// and the fields of the kinds that the old ledgers bring: the opening balances, kind "A"
// (from L13: its reference at 162, 20 characters) and kind "E" (from L14: its reference at
// 182, 30 characters), and
//
//   kind "B" (from L01)              kind "F" (from L07)
//       30     2   branch                32    10   document
//       32    10   account              212    88   tail, right-aligned
//      142    10   document
//      152    10   counterpart
//      162     5   lot
//      212     1   flag
//      213    87   tail, right-aligned
struct Ledger23Layout {
  static constexpr std::size_t kDate = 0, kDateWidth = 10, kKind = 10;
  static constexpr std::size_t kSide = 11, kAmount = 12, kAmountWidth = 18;
  static constexpr std::size_t kHistory = 42;
  static constexpr std::size_t kAccount = 167, kAccountWidth = 15;
  static constexpr std::size_t kSecondAccount = kAccount + kAccountWidth;
  static constexpr std::size_t kThirdAccount = kSecondAccount + kAccountWidth;
  static constexpr int kAccounts = 3;
  static constexpr std::size_t kDeleted = static_cast<std::size_t>(kLedger23RecordLength) - 1;
  // Kinds "A" and "E".
  static constexpr std::size_t kBalanceReference = 162, kL14BalanceReference = 182;
  // Kind "B".
  static constexpr std::size_t kBranch = 30, kLedgerAccount = 32, kLedgerDocument = 142;
  static constexpr std::size_t kCounterpart = 152, kLot = 162, kFlag = 212;
  static constexpr std::size_t kLedgerTail = 213, kLedgerTailWidth = 87;
  // Kind "F".
  static constexpr std::size_t kMovementDocument = 32;
  static constexpr std::size_t kMovementTail = 212, kMovementTailWidth = 88;
};
static_assert(Ledger23Layout::kLedgerTail + Ledger23Layout::kLedgerTailWidth ==
              static_cast<std::size_t>(kLedger23RecordLength));
static_assert(Ledger23Layout::kMovementTail + Ledger23Layout::kMovementTailWidth ==
              static_cast<std::size_t>(kLedger23RecordLength));

}  // namespace livrana
