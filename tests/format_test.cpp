#include "records/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <stdexcept>

namespace livrana {
namespace {

TEST(FormatTest, LayoutFormatsWriteExactWidths) {
  EXPECT_EQ(Format("%-9s|", "ABC"), "ABC      |");
  EXPECT_EQ(Format("%-9s|", "ABCDEFGHIJK"), "ABCDEFGHIJK|");  // never cuts
  EXPECT_EQ(Format("%05ld", 42L), "00042");
  EXPECT_EQ(Format("%05d", -42), "-0042");
  EXPECT_EQ(Format("%-10ld|", 154), "154       |");
  EXPECT_EQ(Format("%02d01%d%-10s%-23s\r\n", 8, 0, "C", "T"),
            "08010C         T                      \r\n");
  EXPECT_EQ(Format("R00\\%s\\L50A%04d.DAT", "0001", 1995), "R00\\0001\\L50A1995.DAT");
  EXPECT_EQ(Format("%.2f %.6f %5.1f", 1.005, 2.5, 3.25), "1.00 2.500000   3.2");
  EXPECT_EQ(Format("%.3s%%%c", "abcdef", 'x'), "abc%x");
  EXPECT_EQ(Format("%03d", 7), "007");
}

// The amounts of the layouts are written as the C runtime's printf writes them: the exact
// binary value rounded to the precision, a tie (0.125 to two decimals) to the even digit.
TEST(FormatTest, FixedPointMatchesPrintf) {
  std::mt19937_64 random(17);
  for (int i = 0; i < 20000; ++i) {
    double v =
        i % 2 == 0
            ? static_cast<double>(static_cast<std::int64_t>(random() % 2000001) - 1000000) / 8.0
            : std::ldexp(static_cast<double>(random() >> 11), -(i % 70));
    for (int precision : {0, 2, 6}) {
      char expected[400];
      std::snprintf(expected, sizeof expected, "%+.*f", precision, v);
      EXPECT_EQ(Format(precision == 0 ? "%+.0f" : precision == 2 ? "%+.2f" : "%+.6f", v), expected);
    }
  }
  EXPECT_EQ(Format("%.2f|% .1f|%+.0f", -0.0, 0.25, 2.5), "-0.00| 0.2|+2");
  const double infinity = std::numeric_limits<double>::infinity();
  EXPECT_EQ(Format("%f|%f", infinity, -infinity), "inf|-inf");
}

TEST(FormatTest, TextArgumentsKeepEveryByte) {
  std::string text("a\0b", 3);
  EXPECT_EQ(Format("%-5s", text), std::string("a\0b  ", 5));
}

TEST(FormatTest, MismatchedArgumentsAreRefused) {
  EXPECT_THROW(Format("%d", "text"), std::logic_error);
  EXPECT_THROW(Format("%s", 1), std::logic_error);
  EXPECT_THROW(Format("%s %s", "one"), std::logic_error);
  EXPECT_THROW(Format("%s", "one", "two"), std::logic_error);
}

}  // namespace
}  // namespace livrana
