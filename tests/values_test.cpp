#include "records/values.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace livrana {
namespace {

TEST(ValuesTest, ValueToTextWritesTheBrazilianForm) {
  struct Case {
    double value;
    int decimals;
    const char* text;
  } cases[] = {
      {1234567.891, 2, "1.234.567,89"},
      {-1500, 0, "-1.500"},
      {12.3, 6, "12,300000"},
      {12.3, 9, "12,300000"},
      {1e15, 2, "0,00"},
      {-1e15, 0, "0"},
      {-0.001, 2, "-0,00"},
      {999, 0, "999"},
      {1000, 0, "1.000"},
      {999.999, 2, "1.000,00"},
      {123456, 2, "123.456,00"},
      {0.5, 4, "0,5000"},
      {2000000001, 0, "2.000.000.001"},
      {999999999999999, 0, "999.999.999.999.999"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ValueToText(c.value, c.decimals), c.text) << c.value << " with " << c.decimals;
  }
}

TEST(ValuesTest, TextToValueTakesTheRightmostSeparatorAsThePoint) {
  EXPECT_DOUBLE_EQ(TextToValue("1.234,56"), 1234.56);
  EXPECT_DOUBLE_EQ(TextToValue("1,234.56"), 1234.56);
  EXPECT_DOUBLE_EQ(TextToValue("1234.56"), 1234.56);
  EXPECT_DOUBLE_EQ(TextToValue("12,5"), 12.5);
  EXPECT_DOUBLE_EQ(TextToValue("  -1.234.567,5 "), -1234567.5);
  EXPECT_DOUBLE_EQ(TextToValue("1e5"), 15);  // the exponent letter is dropped
  EXPECT_DOUBLE_EQ(TextToValue("0x10"), 0);  // no hexadecimal form
  EXPECT_DOUBLE_EQ(TextToValue("inf"), 0);
  EXPECT_DOUBLE_EQ(TextToValue(""), 0);
  EXPECT_DOUBLE_EQ(TextToValue("R$ 10,00"), 0);
  // Only the first 30 characters count.
  EXPECT_DOUBLE_EQ(TextToValue(std::string(29, ' ') + "7" + "99999999"), 7);
}

TEST(ValuesTest, AmountsSurviveTheRoundTrip) {
  for (double v : {0.0, 0.01, 1.5, -2.25, 1234.56, -987654.32, 100000000.0}) {
    EXPECT_DOUBLE_EQ(TextToValue(ValueToText(v, 2)), v) << v;
  }
}

TEST(ValuesTest, Round2DecidesOnTheSixDecimalText) {
  EXPECT_EQ(ValueToText(Round2(1.005), 6), "1,010000");
  EXPECT_EQ(ValueToText(Round2(1.004999), 6), "1,000000");
  EXPECT_EQ(ValueToText(Round2(2.675), 6), "2,680000");
  EXPECT_DOUBLE_EQ(Round2(0.0), 0.0);
  EXPECT_DOUBLE_EQ(Round2(12.344), 12.34);
  // A negative number is rounded by its magnitude and keeps its sign.
  EXPECT_DOUBLE_EQ(Round2(-1.236), -1.24);
  EXPECT_DOUBLE_EQ(Round2(-0.015), -0.02);
  EXPECT_DOUBLE_EQ(Round2(-1.234), -1.23);
  EXPECT_LT(Round2(-0.005), 0.0);
  // Numbers without a short six-decimal text.
  EXPECT_DOUBLE_EQ(Round2(1e300), 1e300);
  EXPECT_TRUE(std::isnan(Round2(std::nan(""))));
  EXPECT_EQ(ValueToText(std::nan(""), 2), "0,00");
}

TEST(ValuesTest, TextToDateReadsTheFixedPositions) {
  EXPECT_EQ(TextToDate("01/02/2001"), (DateRec{2001, 1, 2}));
  EXPECT_EQ(TextToDate("01/02/2001xyz"), (DateRec{2001, 1, 2}));
  EXPECT_EQ(TextToDate("31/02/2001"), (DateRec{2001, 31, 2}));  // not validated
  EXPECT_EQ(TextToDate("1/2/2001"), DateRec{});                 // too short
  EXPECT_EQ(TextToDate(" 5- 7-1999"), (DateRec{1999, 5, 7}));   // separators not checked
  EXPECT_EQ(TextToDate("          "), DateRec{});
}

TEST(ValuesTest, DateToTextWritesOutOfRangePartsAsZero) {
  EXPECT_EQ(DateToText(DateRec{2001, 15, 6}), "15/06/2001");
  EXPECT_EQ(DateToText(DateRec{0, 15, 6}), "");
  EXPECT_EQ(DateToText(DateRec{10000, 15, 6}), "15/06/0000");
  EXPECT_EQ(DateToText(DateRec{2001, 0, 13}), "00/13/2001");
  EXPECT_EQ(DateToText(DateRec{2001, 32, 14}), "00/00/2001");
  EXPECT_EQ(DateToText(DateRec{-5, 1, 1}), "01/01/0000");
  for (DateRec d : {DateRec{1990, 1, 1}, DateRec{2018, 31, 12}, DateRec{2001, 31, 13}}) {
    EXPECT_EQ(TextToDate(DateToText(d)), d);
  }
}

TEST(ValuesTest, CalendarHelpers) {
  EXPECT_EQ(DaysInMonth(1900, 2), 29);  // no century rule
  EXPECT_EQ(DaysInMonth(2001, 2), 28);
  EXPECT_EQ(DaysInMonth(2001, 13), 31);
  EXPECT_EQ(DaysInMonth(2001, 11), 30);
  EXPECT_EQ(DaysInMonth(2001, 0), 0);
  EXPECT_EQ(DaysInMonth(2001, 14), 0);
  // The month weighs more than the day, whatever their order in the record.
  EXPECT_EQ(CompareDate(DateRec{2001, 31, 1}, DateRec{2001, 1, 2}), -1);
  EXPECT_EQ(CompareDate(DateRec{2002, 1, 1}, DateRec{2001, 31, 13}), 1);
  EXPECT_EQ(CompareDate(DateRec{2001, 5, 5}, DateRec{2001, 5, 5}), 0);
  // Hour over minute over second over hundredths.
  EXPECT_EQ(CompareTime(TimeRec{59, 1, 0, 0}, TimeRec{0, 2, 0, 0}), -1);
  EXPECT_EQ(CompareTime(TimeRec{0, 0, 99, 1}, TimeRec{0, 0, 0, 2}), -1);
  EXPECT_EQ(CompareTime(TimeRec{0, 0, 1, 2}, TimeRec{0, 0, 0, 2}), 1);
  EXPECT_EQ(CompareTime(TimeRec{200, 0, 0, 0}, TimeRec{100, 0, 0, 0}), 1);  // unsigned
}

TEST(ValuesTest, NextCounterWrapsAtTheLargestValueOfItsDigits) {
  EXPECT_EQ(NextCounter(0, 3), 1u);
  EXPECT_EQ(NextCounter(998, 3), 999u);
  EXPECT_EQ(NextCounter(999, 3), 1u);
  EXPECT_EQ(NextCounter(5000, 3), 1u);
  EXPECT_EQ(NextCounter(5, 12), 6u);  // taken as 9 digits
  EXPECT_EQ(NextCounter(999999998, 9), 999999999u);
  EXPECT_EQ(NextCounter(999999999, 9), 1u);
  EXPECT_EQ(NextCounter(999999999, 12), 1u);
  EXPECT_EQ(NextCounter(5, 0), 1u);
  EXPECT_EQ(NextCounter(5, -3), 1u);
}

TEST(ValuesTest, Utf8ToAnsiFoldsTheLatin1Pairs) {
  auto fold = [](std::string s) { return Utf8ToAnsi(s); };
  EXPECT_EQ(fold("\xC3\xA7"), "\xE7");
  EXPECT_EQ(fold("a\xC2\xA0"
                 "b"),
            "a b");
  EXPECT_EQ(fold("\xC2\x85"), " ");  // C1 controls become spaces
  EXPECT_EQ(fold("\xC2\xA9\xC3\x80\xC3\xBF"), "\xA9\xC0\xFF");
  EXPECT_EQ(fold("ab\xC3"), "ab\xC3");  // lone lead byte at the end stays
  EXPECT_EQ(fold("\xC3"
                 "A"),
            "\xC3"
            "A");                               // lead byte before a non-continuation stays
  EXPECT_EQ(fold("\xE7\xC3\xA9"), "\xE7\xE9");  // Windows-1252 bytes pass through
  std::string clean = "a\tb\x01\x1F\x7F\xC3\xA3\x80";
  EXPECT_EQ(CleanText(clean), "a b  \x7F\xE3\x80");
}

TEST(ValuesTest, TextHelpers) {
  std::string s = "ABCDEF";
  EXPECT_EQ(PadText(s, 4), "ABCD");
  s = "AB";
  EXPECT_EQ(PadText(s, 4), "AB  ");
  EXPECT_FALSE(HasText(""));
  EXPECT_FALSE(HasText("    "));
  EXPECT_TRUE(HasText("  x "));
  EXPECT_TRUE(HasText("\t"));
  EXPECT_EQ(LeadingNumber("  -42abc"), -42);
  EXPECT_EQ(LeadingNumber("+7"), 7);
  EXPECT_EQ(LeadingNumber("x5"), 0);
  EXPECT_EQ(LeadingNumber("- 5"), 0);
  EXPECT_EQ(LeadingNumber("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(LeadingNumber("-99999999999999999999"), INT32_MIN);
}

}  // namespace
}  // namespace livrana
