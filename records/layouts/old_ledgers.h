// The older ledgers of a company folder that the ledger split divides by year and gathers
// into the yearly ledgers L23 (see ledgers.h): L01 (the ledger), L07 (cash movements), L08
// and L09, and the balances L13 and L14B. Every record starts with its date, dd/mm/yyyy.
// L03, split by year beside them, is laid out in invoice_ledgers.h.
#pragma once

#include <cstddef>

namespace livrana {

// The date at the start of each record.
struct OldLedgerDate {
  static constexpr std::size_t kDate = 0, kDateWidth = 10;
  static constexpr std::size_t kSlash = 2;  // the "/" after the day
  static constexpr std::size_t kYear = 6, kYearWidth = 4;
};

// ---------------------------------------------------------------------------------------
// L01: records of 227 characters, "+" in the last when deleted.
//
//   offset width
//        0    10   date
//       10     1   flag
//       11    11   account
//       22    10   document
//       32   101   history
//      133    16   debit
//      149    16   credit
//      165     9   counterpart
//      174     2   branch
//      176    10   cost centre
//      186     5   lot
//      191    36   tail, the deletion mark last
// ---------------------------------------------------------------------------------------
inline constexpr std::size_t kL01Record = 227;
struct L01Layout {
  static constexpr std::size_t kDate = 0, kDateWidth = 10;
  static constexpr std::size_t kFlag = 10, kFlagWidth = 1;
  static constexpr std::size_t kAccount = 11, kAccountWidth = 11;
  static constexpr std::size_t kDocument = 22, kDocumentWidth = 10;
  static constexpr std::size_t kHistory = 32, kHistoryWidth = 101;
  static constexpr std::size_t kDebit = 133, kCredit = 149, kAmountWidth = 16;
  static constexpr std::size_t kCounterpart = 165, kCounterpartWidth = 9;
  static constexpr std::size_t kBranch = 174, kBranchWidth = 2;
  static constexpr std::size_t kCostCentre = 176, kCostCentreWidth = 10;
  static constexpr std::size_t kLot = 186, kLotWidth = 5;
  static constexpr std::size_t kTail = 191, kTailWidth = 36;
  static constexpr std::size_t kDeleted = kL01Record - 1;
};
static_assert(L01Layout::kTail + L01Layout::kTailWidth == kL01Record);

// ---------------------------------------------------------------------------------------
// L07: records of 250 characters, "+" in the last when deleted. Three fields are not carried
// into L23.
//
//   offset width
//        0    10   date
//       10     6   not carried
//       16    10   document
//       26    14   account
//       40    11   not carried
//       51    14   counterpart
//       65    11   not carried
//       76   100   history
//      176    16   amount
//      192    58   tail, the deletion mark last
// ---------------------------------------------------------------------------------------
inline constexpr std::size_t kL07Record = 250;
struct L07Layout {
  static constexpr std::size_t kDate = 0, kDateWidth = 10;
  static constexpr std::size_t kDropped1 = 10, kDropped1Width = 6;
  static constexpr std::size_t kDocument = 16, kDocumentWidth = 10;
  static constexpr std::size_t kAccount = 26, kAccountWidth = 14;
  static constexpr std::size_t kDropped2 = 40, kDropped2Width = 11;
  static constexpr std::size_t kCounterpart = 51, kCounterpartWidth = 14;
  static constexpr std::size_t kDropped3 = 65, kDropped3Width = 11;
  static constexpr std::size_t kHistory = 76, kHistoryWidth = 100;
  static constexpr std::size_t kAmount = 176, kAmountWidth = 16;
  static constexpr std::size_t kTail = 192, kTailWidth = 58;
  static constexpr std::size_t kDeleted = kL07Record - 1;
};
static_assert(L07Layout::kTail + L07Layout::kTailWidth == kL07Record);

// L08 and L09: records of 227 characters, "+" in the last when deleted; only the date is read.
inline constexpr std::size_t kL08Record = 227;
struct L08Layout {
  static constexpr std::size_t kDate = 0, kDateWidth = 10;
  static constexpr std::size_t kDeleted = kL08Record - 1;
};

// ---------------------------------------------------------------------------------------
// L13<year>: balances, records of 136 characters, "+" in the last when deleted; L14<year>
// has the same layout until the register rebuild widens its reference to 20 characters
// (L14B<year>, 146).
//
//   L13   L14B  width
//     0      0    10   date
//    10     10    10   reference (L14B: 20)
//    20     30    16   amount
//    36     46    99   text
//   135    145     1   deletion mark
// ---------------------------------------------------------------------------------------
inline constexpr std::size_t kL13Record = 136;  // and L14 before it is widened
struct L13Layout {
  static constexpr std::size_t kDate = 0, kDateWidth = 10;
  static constexpr std::size_t kReference = 10, kReferenceWidth = 10;
  static constexpr std::size_t kAmount = 20, kAmountWidth = 16;
  static constexpr std::size_t kText = 36, kTextWidth = 99;
  static constexpr std::size_t kDeleted = kL13Record - 1;
};
static_assert(L13Layout::kText + L13Layout::kTextWidth == L13Layout::kDeleted);

inline constexpr std::size_t kL14BRecord = 146;
struct L14BLayout {
  static constexpr std::size_t kDate = 0, kDateWidth = 10;
  static constexpr std::size_t kReference = 10, kReferenceWidth = 20;
  static constexpr std::size_t kAmount = 30, kAmountWidth = 16;
  static constexpr std::size_t kText = 46, kTextWidth = 99;
  static constexpr std::size_t kDeleted = kL14BRecord - 1;
};
static_assert(L14BLayout::kText + L14BLayout::kTextWidth == L14BLayout::kDeleted);
static_assert(kL14BRecord - kL13Record == L14BLayout::kReferenceWidth - L13Layout::kReferenceWidth);

}  // namespace livrana
