// The invoice items of version 3.64: the apportionment of an invoice's remaining value and
// tax amounts over its items, and the item ("1"), text ("2") and extra ("3") records of the
// 200-character fiscal files L50<year>.DAT.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "records/layouts/fiscal.h"
#include "records/layouts/products.h"

namespace livrana {

// What is left of one invoice while its items are written: the remaining value and the
// two remaining tax amounts.
struct InvoiceBalances {
  double remaining = 0;  // R
  double tax1 = 0;       // T1, drawn down by the first base
  double tax2 = 0;       // T2, drawn down by the third base
};

// One item under construction: its value, three bases with their rates (12.00 = 12 %).
struct ItemAmounts {
  double value = 0;  // B
  double base1 = 0;  // u
  double rate1 = 0;  // p1
  double base2 = 0;  // v
  double rate2 = 0;  // p2
  double base3 = 0;  // w
  double rate3 = 0;  // p3
};

// Draws one item down against the invoice: the value never exceeds what remains, the
// bases never carry more tax than remains; a base larger than the value raises it.
void Apportion(ItemAmounts& item, InvoiceBalances& balances);

// The two fixed rates chosen by the company's rate code.
struct FixedRates {
  double q1 = 0;
  double q2 = 0;
};
FixedRates FixedRatesFor(int rate_code);

// An amount with two decimals in the Brazilian form, cut to its first n characters (the
// end is lost, not rounded).
std::string ValueToFieldText(double value, std::size_t n);

// An item of pass 1: amount position 1 to 7 of a ledger record.
struct LedgerItem {
  std::int64_t record = 0;  // ledger record number, the header it belongs to
  int position = 1;
  std::string operation;  // operation code, 4 characters
  char item_flag = '1';
  ItemAmounts amounts;
  FixedRates fixed;
};
std::string LedgerItemRecord(const LedgerItem& item);

// An item of the product table R63<year>.DAT: the 230-character product record and what
// the balance file gave for its invoice.
struct ProductItem {
  std::string_view product;  // the R63 record as read
  std::int64_t invoice = 0;
  char item_flag = '1';  // of the invoice
  int class_digit = 0;   // of the invoice
  ItemAmounts amounts;
};
std::string ProductItemRecord(const ProductItem& item);

// The text record: the ledger's 24-character text (trailing spaces removed).
std::string TextRecord(std::int64_t record, std::string_view text);

// The pieces of a ledger record that its extra record carries.
struct ExtraFields {
  std::string_view series;      // ledger offsets 30-32
  std::string_view first_date;  // ledger offsets 0-9
  std::string_view document;    // ledger offsets 46-55
  std::string_view number;      // ledger offsets 114-119
  std::string_view code;        // ledger offsets 58-60
  std::string_view note;        // ledger offsets 412-465
};
std::string ExtraRecord(const ExtraFields& fields);

}  // namespace livrana
