// The yearly invoice ledgers of the company folders, R00\<code>\L26<year>.DAT: one record of
// 600 bytes per invoice (version 3.64 turns them into the fiscal files L50<year>.DAT).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace livrana {

inline constexpr std::string_view kInvoiceLedgerFile = "%s\\L26%04d.DAT";  // company folder, year
inline constexpr std::string_view kInvoiceLedgerPattern = "L26*.DAT";      // in a company folder
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
  // Before version 3.60 the document held 6 characters and a ticket number followed it;
  // 3.60 moves the ticket number to kExtraNumber.
  static constexpr std::size_t kTicket = 52, kTicketWidth = 6;
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
// The rate of an amount position that has one (4 and 7).
constexpr std::size_t InvoiceLedgerRate(std::size_t position) {
  return kInvoiceLedgerPositions[position] + InvoiceLedgerLayout::kAmountWidth;
}

// ---------------------------------------------------------------------------------------
// The older yearly tables of a company folder that the ledgers are made of, each file
// <co>\Lnn<year>.DAT: L03 (invoices and purchases, L02 appended to it), L12 (their
// complements) and L17 (service invoices) give one ledger record per record, L10 and L11
// (monthly summaries) two per month.
// ---------------------------------------------------------------------------------------
inline constexpr std::size_t kL03Record = 549;
struct L03Layout {
  static constexpr std::size_t kDate = 0, kDateWidth = 10;
  static constexpr std::size_t kIssued = 10, kIssuedWidth = 10;
  static constexpr std::size_t kModel = 20, kModelWidth = 2;
  static constexpr std::size_t kSubseries = 23, kSubseriesWidth = 3;
  static constexpr std::size_t kSeries = 33, kSeriesWidth = 3;
  static constexpr std::size_t kNumberLead = 36;  // two characters carried with the number
  static constexpr std::size_t kNumber = 38, kNumberWidth = 10;
  static constexpr std::size_t kDocument = 58, kDocumentWidth = 6;
  static constexpr std::size_t kTicket = 64, kTicketWidth = 6;
  static constexpr std::size_t kCode = 70, kCodeWidth = 3;
  static constexpr std::size_t kState = 89;
  static constexpr std::size_t kOrigin = 90;  // "S" or "s": yes
  static constexpr std::size_t kIssuer = 91, kIssuerWidth = 10;
  static constexpr std::size_t kOperation = 101, kOperationWidth = 4;
  static constexpr std::size_t kClass = 105;
  static constexpr std::size_t kKind = 115;  // "0" in the records of L02; the ledger's kind
  static constexpr std::size_t kText = 125, kTextWidth = 24;
  static constexpr std::size_t kAmountWidth = 18, kShortAmountWidth = 15;
  static constexpr std::size_t kTotal = 189, kBase4 = 207, kRate4 = 225, kRateWidth = 5;
  static constexpr std::size_t kTax1 = 231, kInsurance = 249, kFreight = 267;
  static constexpr std::size_t kThirdBase = 285, kTax2 = 309;
  // Amounts of kShortAmountWidth.
  static constexpr std::size_t kSecondBase = 363, kOther = 379;
  static constexpr std::size_t kItem1 = 395, kItem2 = 411, kItem3 = 427;
  static constexpr std::size_t kItem7 = 443, kItem7Width = 5;
  static constexpr std::size_t kDeleted = kL03Record - 1;
};

// L12: the fields of L03 before kTotal, for the invoice it completes, then its own.
inline constexpr std::size_t kL12Record = 329;
struct L12Layout {
  static constexpr std::size_t kTotal = L03Layout::kTotal;
  static constexpr std::size_t kCode = 207, kCodeWidth = 3;
  static constexpr std::size_t kSubseries = 210, kSubseriesWidth = 3;
  static constexpr std::size_t kReference = 213, kReferenceWidth = 10;
  static constexpr std::size_t kDocument = 223, kDocumentWidth = 6;
  static constexpr std::size_t kDeleted = kL12Record - 1;
};

// L17: no deletion mark.
inline constexpr std::size_t kL17Record = 227;
struct L17Layout {
  static constexpr std::size_t kDate = 0, kDateWidth = 10;
  static constexpr std::size_t kService = 10, kServiceWidth = 20;
  static constexpr std::size_t kText = 30, kTextWidth = 122;
  static constexpr std::size_t kBase = 152, kBaseWidth = 18;
  static constexpr std::size_t kRate = 170, kRateWidth = 5;
  static constexpr std::size_t kCustomer = 175, kCustomerWidth = 51;  // and the last character
};

// L10 and L11: a month a record, seventeen columns of amounts and a tail.
inline constexpr std::size_t kMonthlyRecord = 642;
struct MonthlyLayout {
  static constexpr std::size_t kMonth = 0, kMonthWidth = 2;
  static constexpr std::size_t kFirstColumn = 2, kColumnWidth = 20, kColumns = 17;
  static constexpr std::size_t kTail = kFirstColumn + kColumns * kColumnWidth;
  static constexpr std::size_t kTailWidth = kMonthlyRecord - kTail;
};

}  // namespace livrana
