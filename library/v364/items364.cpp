#include "library/v364/items364.h"

#include "records/format.h"
#include "records/layouts/fiscal.h"
#include "records/record_file.h"
#include "records/values.h"

namespace livrana {
namespace {

// The characters of a record at offset, at most width of them; fewer when the record ends
// first.
// Round2 of a value; zero, the most common one, as it is.
double Rounded(double value) { return value == 0 ? value : Round2(value); }

std::string_view At(std::string_view record, std::size_t offset, std::size_t width) {
  if (offset >= record.size()) return {};
  return record.substr(offset, width);
}

// ---------------------------------------------------------------------------------------
// Item record, kind "1" (200 characters):
//
//   offset width  ledger item (position i)            product item
//        0     1  "1"                                  "1"
//        1    10  ledger record number                 invoice number
//       11     1  i + 1 (1-3), 0 (4-6), 1 (7)          R63 offset 34
//       12    14  spaces                               R63 offsets 20-33
//       26     4  operation code                       R63 offsets 36-39
//       30     1  item flag for i = 7, else "0"        item flag when R63 offset 35 is "1"
//       31    18  "1,000"                              R63 offsets 49-66
//       49    36  B                                    B
//       85     3  "060" (i = 5), "040" (i = 6)         R63 offsets 40-42
//       88     5  p1                                   p1
//       93     7  u * 100 / B                          u * 100 / B
//      100     3  spaces                               spaces
//      103     5  p2                                   p2
//      108     7  v * 100 / B                          v * 100 / B
//      115     2  spaces                               R63 offsets 43-44
//      117     5  p3                                   p3
//      122     7  w * 100 / B                          w * 100 / B
//      129     2  spaces                               R63 offsets 45-46
//      131     7  q1                                   R63 offsets 130-134 (not for class 8, 9)
//      138     7  100 when q1 > 0, else 0              "100,00" when that rate > 0
//      145     2  spaces                               R63 offsets 47-48
//      147     7  q2                                   R63 offsets 135-139 (not for class 8, 9)
//      154    46  100 when q2 > 0, else 0              "100,00" when that rate > 0
// ---------------------------------------------------------------------------------------
constexpr std::string_view kLedgerItemHead = "1%-10ld%d%-14s%-4s%c%-18s%-36s";
constexpr std::string_view kBase = "%-3s%-5s%-7s";
constexpr std::string_view kThirdBase = "%-2s%-5s%-7s";
constexpr std::string_view kFirstFixed = "%-2s%-7s%-7s";
constexpr std::string_view kSecondFixed = "%-2s%-7s%-46s";

// A base as a percentage of the value.
double Share(double base, double value) { return base * 100 / value; }

std::string Hundred(bool positive) { return ValueToFieldText(positive ? 100 : 0, 6); }

}  // namespace

void Apportion(ItemAmounts& item, InvoiceBalances& balances) {
  double& b = item.value;
  if (b > 0 && balances.remaining < b) b = b * (balances.remaining / b);
  balances.remaining -= b;

  double x = item.base3 * item.rate3 * 0.01;
  if (x > 0 && balances.tax2 < x) item.base3 *= balances.tax2 / x;
  if (item.base3 > b)
    b = item.base3;
  else if (Rounded(item.base3) <= 0)
    item.rate3 = 0;
  balances.tax2 -= Rounded(item.base3 * item.rate3 * 0.01);

  x = item.base1 * item.rate1 * 0.01;
  if (x > 0 && balances.tax1 < x) {
    item.base1 *= balances.tax1 / x;
    item.base2 *= balances.tax1 / x;
  }
  if (item.base1 > b)
    b = item.base1;
  else if (Rounded(item.base1) <= 0)
    item.rate1 = 0;
  if (item.base2 == 0) item.rate2 = 0;
  balances.tax1 -= Rounded(item.base1 * item.rate1 * 0.01);
}

FixedRates FixedRatesFor(int rate_code) {
  switch (rate_code) {
    case 40:
      return {1.65, 7.6};
    case 30:
      return {0.65, 3.0};
    default:
      return {};
  }
}

std::string ValueToFieldText(double value, std::size_t n) {
  // Zero, the most common value of these fields, as ValueToText writes it.
  std::string text = value == 0 ? std::string("0,00") : ValueToText(value, 2);
  return CutText(text, n);
}

std::string LedgerItemRecord(const LedgerItem& item) {
  const ItemAmounts& a = item.amounts;
  const int i = item.position;
  const int digit = i <= 3 ? i + 1 : (i == 7 ? 1 : 0);
  const char flag = i == 7 ? item.item_flag : '0';
  const std::string_view type = i == 5 ? "060" : (i == 6 ? "040" : "");
  auto share = [&](double base, double rate) {
    return ValueToFieldText(rate > 0 && a.value > 0 ? Share(base, a.value) : 0, 6);
  };
  std::string record;
  record.reserve(kFiscalRecord364);
  AppendFormat(record, kLedgerItemHead, item.record, digit, "", item.operation, flag, "1,000",
               ValueToFieldText(a.value, 18));
  AppendFormat(record, kBase, type, ValueToFieldText(a.rate1, 5), share(a.base1, a.rate1));
  AppendFormat(record, kBase, "", ValueToFieldText(a.rate2, 5), share(a.base2, a.rate2));
  AppendFormat(record, kThirdBase, "", ValueToFieldText(a.rate3, 5), share(a.base3, a.rate3));
  AppendFormat(record, kFirstFixed, "", ValueToFieldText(item.fixed.q1, 5),
               Hundred(item.fixed.q1 > 0));
  AppendFormat(record, kSecondFixed, "", ValueToFieldText(item.fixed.q2, 5),
               Hundred(item.fixed.q2 > 0));
  return record;
}

std::string ProductItemRecord(const ProductItem& item) {
  using L = ProductLayout;
  const std::string_view p = item.product;
  const ItemAmounts& a = item.amounts;
  auto chr = [&](std::size_t offset) {
    std::string_view c = At(p, offset, 1);
    return c.empty() ? ' ' : c[0];
  };
  auto share = [&](double base) {
    return a.value == 0 ? std::string("0,00") : ValueToFieldText(Share(base, a.value), 7);
  };
  // The fixed rates of the product; an invoice of class 8 or 9 carries none.
  const bool fixed = item.class_digit != 8 && item.class_digit != 9;
  std::string fixed1(fixed ? At(p, L::kFixed1, L::kFixedWidth) : "");
  std::string fixed2(fixed ? At(p, L::kFixed2, L::kFixedWidth) : "");
  const char flag = chr(L::kMarker) == '1' ? item.item_flag : '0';

  std::string record;
  record.reserve(kFiscalRecord364);
  AppendFormat(record, "1%-10ld%c", item.invoice, chr(L::kKind));
  AppendFormat(record, "%-14s", At(p, L::kCode, L::kCodeWidth));
  AppendFormat(record, "%-4s%c", At(p, L::kOperation, L::kOperationWidth), flag);
  AppendFormat(record, "%-18s%-36s", At(p, L::kText, L::kTextWidth), ValueToText(a.value, 2));
  AppendFormat(record, kBase, At(p, L::kType, L::kTypeWidth), ValueToFieldText(a.rate1, 5),
               share(a.base1));
  AppendFormat(record, kBase, "", ValueToFieldText(a.rate2, 5), share(a.base2));
  AppendFormat(record, kThirdBase, At(p, L::kCode1, L::kCodeWidthShort),
               ValueToFieldText(a.rate3, 5), share(a.base3));
  AppendFormat(record, "%-2s", At(p, L::kCode2, L::kCodeWidthShort));
  AppendFormat(record, "%-7s%-7s", fixed1, TextToValue(fixed1) > 0 ? "100,00" : "0,00");
  AppendFormat(record, "%-2s", At(p, L::kCode3, L::kCodeWidthShort));
  AppendFormat(record, "%-7s%-46s", fixed2, TextToValue(fixed2) > 0 ? "100,00" : "0,00");
  return record;
}

std::string TextRecord(std::int64_t record, std::string_view text) {
  std::string trimmed(text);
  return Format("2%-10ld%-189s", record, TrimRight(trimmed));
}

// ---------------------------------------------------------------------------------------
// Extra record, kind "3" (200 characters):
//   0 (11) "3"; 11 (4) ledger 30-32; 15 (10) first date; 25 (10) ledger 46-55;
//   35 (6) ledger 114-119; 41 (3) ledger 58-60; 44 (156) ledger 412-465.
// ---------------------------------------------------------------------------------------
std::string ExtraRecord(const ExtraFields& f) {
  std::string record;
  record.reserve(kFiscalRecord364);
  AppendFormat(record, "%-11s%-4s%-10s", "3", f.series, f.first_date);
  AppendFormat(record, "%-10s%-6s", f.document, f.number);
  AppendFormat(record, "%-3s", f.code);
  AppendFormat(record, "%-156s", f.note);
  return record;
}

}  // namespace livrana
