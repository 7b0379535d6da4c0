#include "library/v364/items364.h"

#include <gtest/gtest.h>

#include "records/values.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

using test::Record;
using F = FiscalLayout364;

TEST(Apportion, ValueIsScaledToWhatRemainsAndLaterItemsGetNothing) {
  InvoiceBalances balances{100, 0, 0};
  ItemAmounts first{.value = 150};
  Apportion(first, balances);
  EXPECT_EQ(Round2(first.value), 100.0);
  EXPECT_EQ(Round2(balances.remaining), 0.0);

  ItemAmounts second{.value = 30};
  Apportion(second, balances);
  EXPECT_LE(Round2(second.value), 0.0);
}

TEST(Apportion, TaxBasesAreLimitedByTheRemainingTaxAndCanRaiseTheValue) {
  // Nothing of the value remains, but the first base still carries its tax: the value is
  // raised to the base.
  InvoiceBalances balances{0, 6, 0};
  ItemAmounts item{.value = 50, .base1 = 50, .rate1 = 12, .base2 = 50, .rate2 = 12};
  Apportion(item, balances);
  EXPECT_DOUBLE_EQ(item.value, 50);
  EXPECT_DOUBLE_EQ(item.rate1, 12);
  EXPECT_NEAR(balances.tax1, 0, 1e-9);

  // Only 3,00 of tax left for a base that would carry 6,00: both first bases are halved.
  balances = {100, 3, 0};
  item = {.value = 50, .base1 = 50, .rate1 = 12, .base2 = 40, .rate2 = 12};
  Apportion(item, balances);
  EXPECT_DOUBLE_EQ(item.base1, 25);
  EXPECT_DOUBLE_EQ(item.base2, 20);
  EXPECT_NEAR(balances.tax1, 0, 1e-9);

  // The third base against the second tax; a base that comes to nothing drops its rate,
  // and the second rate goes with an empty second base.
  balances = {100, 0, 1};
  item = {.value = 10, .rate1 = 5, .rate2 = 5, .base3 = 10, .rate3 = 20};
  Apportion(item, balances);
  EXPECT_DOUBLE_EQ(item.base3, 5);
  EXPECT_DOUBLE_EQ(item.rate3, 20);
  EXPECT_DOUBLE_EQ(item.rate1, 0);
  EXPECT_DOUBLE_EQ(item.rate2, 0);
  EXPECT_NEAR(balances.tax2, 0, 1e-9);
}

TEST(FixedRates, ByRateCode) {
  EXPECT_DOUBLE_EQ(FixedRatesFor(40).q1, 1.65);
  EXPECT_DOUBLE_EQ(FixedRatesFor(40).q2, 7.6);
  EXPECT_DOUBLE_EQ(FixedRatesFor(30).q1, 0.65);
  EXPECT_DOUBLE_EQ(FixedRatesFor(30).q2, 3.0);
  EXPECT_DOUBLE_EQ(FixedRatesFor(10).q1, 0);
  EXPECT_EQ(ValueToFieldText(1000000, 5), "1.000");  // the end is lost, not rounded
}

TEST(ItemRecords, LedgerItemPositions) {
  LedgerItem item;
  item.record = 12;
  item.position = 6;
  item.operation = "5102";
  item.item_flag = '2';
  item.amounts = {.value = 80, .base1 = 0, .rate1 = 0, .base3 = 40, .rate3 = 18};
  item.fixed = FixedRatesFor(30);
  EXPECT_EQ(LedgerItemRecord(item), Record(kFiscalRecord364, {{F::kKind, "1"},
                                                              {F::kHeader, "12"},
                                                              {F::kPosition, "0"},
                                                              {26, "5102"},
                                                              {30, "0"},
                                                              {31, "1,000"},
                                                              {49, "80,00"},
                                                              {85, "040"},
                                                              {88, "0,00"},
                                                              {93, "0,00"},
                                                              {103, "0,00"},
                                                              {108, "0,00"},
                                                              {117, "18,00"},
                                                              {122, "50,00"},
                                                              {131, "0,65"},
                                                              {138, "100,00"},
                                                              {147, "3,00"},
                                                              {154, "100,00"}}));
  // Positions 1 to 3 carry their own digit; a negative value gives no share.
  item.position = 2;
  item.amounts = {.value = -5, .base3 = 5, .rate3 = 10};
  std::string record = LedgerItemRecord(item);
  EXPECT_EQ(record.substr(F::kPosition, 1), "3");
  EXPECT_EQ(record.substr(49, 6), "-5,00 ");
  EXPECT_EQ(record.substr(85, 3), "   ");
  EXPECT_EQ(record.substr(122, 7), "0,00   ");
}

TEST(ItemRecords, TextRecordIsTrimmedAndPadded) {
  EXPECT_EQ(TextRecord(7, "ABC   "),
            Record(kFiscalRecord364, {{F::kKind, "2"}, {F::kHeader, "7"}, {11, "ABC"}}));
}

}  // namespace
}  // namespace livrana
