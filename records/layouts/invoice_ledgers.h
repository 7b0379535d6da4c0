// The yearly invoice ledgers of the company folders, R00\<code>\L26<year>.DAT: one record of
// 600 bytes per invoice (version 3.64 turns them into the fiscal files L50<year>.DAT).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace livrana {

inline constexpr std::size_t kInvoiceLedgerRecord = 600;

// Offsets and widths of the ledger's fields.
struct InvoiceLedgerLayout {
  static constexpr std::size_t kFirstDate = 0, kDateWidth = 10;
  static constexpr std::size_t kKind = 10;
  static constexpr std::size_t kSecondDate = 11;
  static constexpr std::size_t kPair = 21, kPairWidth = 2;
  static constexpr std::size_t kSubseries = 24, kSubseriesWidth = 3;
  static constexpr std::size_t kSeries = 30, kSeriesWidth = 6, kShortSeriesWidth = 3;
  static constexpr std::size_t kNumber = 36, kNumberWidth = 20, kShortNumberWidth = 10;
  static constexpr std::size_t kDocument = 46, kDocumentWidth = 10;
  static constexpr std::size_t kCode = 58, kCodeWidth = 3, kShortCodeWidth = 2;
  static constexpr std::size_t kState = 61, kOrigin = 62;
  static constexpr std::size_t kIssuer = 63, kIssuerWidth = 10;
  static constexpr std::size_t kOperation = 73, kOperationWidth = 4;
  static constexpr std::size_t kClass = 78, kItemFlag = 79, kModel = 80;
  static constexpr std::size_t kText = 81, kTextWidth = 24, kReferenceWidth = 10;
  static constexpr std::size_t kAccount = 105, kAccountWidth = 9;
  static constexpr std::size_t kExtraNumber = 114, kExtraNumberWidth = 6;
  static constexpr std::size_t kAmountWidth = 18;  // every amount field
  static constexpr std::size_t kAmount = 240;
  static constexpr std::size_t kTax1 = 281, kTax1Alt = 525;  // the second for kinds "2", "4"
  static constexpr std::size_t kThirdBase = 335, kThirdBaseSpan = 41, kThirdTaxInSpan = 23;
  static constexpr std::size_t kTax2 = 358, kOther = 430;
  static constexpr std::size_t kSecondBase = 412;
  static constexpr std::size_t kNote = 412, kNoteWidth = 54;
  static constexpr std::size_t kRateWidth = 5;  // the rate after the amounts of positions 4, 7
  static constexpr std::size_t kDeleted = kInvoiceLedgerRecord - 1;
};

// The ledger offset of each amount position 1 to 7 of an invoice (index 0 unused);
// positions 4 and 7 have their rate in the kRateWidth characters after the amount.
inline constexpr std::array<std::size_t, 8> kInvoiceLedgerPositions = {0,   448, 466, 484,
                                                                       258, 317, 299, 502};

}  // namespace livrana
