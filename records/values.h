// The value helpers shared by the record layer and the conversion steps: texts cleaned and
// padded to a field's width, dates written as dd/mm/yyyy, amounts in the Brazilian form
// (1.234,50) and counter numbers. None keeps state or reports errors. Trimming and cutting
// a field are with the record layer (TrimRight, CutText in record_file.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace livrana {

// A calendar date; all zero when no date is set. Month 13 is the closing period (31 days).
struct DateRec {
  std::int32_t year = 0;
  std::int8_t day = 0;
  std::int8_t month = 0;
  friend bool operator==(const DateRec&, const DateRec&) = default;
};

// A clock time.
struct TimeRec {
  std::uint8_t minute = 0;
  std::uint8_t hour = 0;
  std::uint8_t hundredths = 0;
  std::uint8_t second = 0;
  friend bool operator==(const TimeRec&, const TimeRec&) = default;
};

// Folds the two-byte UTF-8 sequences of the Latin-1 range (C2 xx, C3 xx) into single
// Windows-1252 bytes in place; C2 80 to C2 A0 become a space. Every other byte, a lone C2
// or C3 included, stays as it is.
std::string& Utf8ToAnsi(std::string& text);
// Utf8ToAnsi, then every control character 1 to 31 becomes a space.
std::string& CleanText(std::string& text);
// Whether the text holds a character other than a space.
bool HasText(std::string_view text);
// Cuts the text to width characters or fills it with spaces up to width.
std::string& PadText(std::string& text, std::size_t width);

// The leading number of a text: leading blanks skipped, an optional sign, decimal digits up
// to the first other character; 0 without digits. Numbers beyond the 32-bit range give
// the nearest bound, as the C runtime's conversion does.
std::int32_t LeadingNumber(std::string_view text);

// Reads a dd/mm/yyyy date from the first 10 characters; a shorter text gives the all-zero
// date. Neither the separators nor the values are checked.
DateRec TextToDate(std::string_view text);
// "%02d/%02d/%04d" with day, month and year, each out of its range written as 0; the
// empty text for year 0.
std::string DateToText(DateRec date);
// 31, 30, 29 or 28 days (every year divisible by 4 is a leap year); month 13 has 31; any
// other month gives 0.
int DaysInMonth(int year, int month);
// -1, 0 or 1: by year, then month, then day.
int CompareDate(DateRec a, DateRec b);
// -1, 0 or 1: by hour, then minute, then second, then hundredths.
int CompareTime(TimeRec a, TimeRec b);

// The counter after current for a counter of that many digits (above 9 taken as 9):
// current + 1, or 1 when current is 0 or has reached the largest value of its digits.
std::uint32_t NextCounter(std::uint32_t current, int digits);

// Rounds to two decimals, half up, deciding on the number's six-decimal text, so that 1.005
// gives 1.01. A negative number is rounded by its magnitude and keeps its sign.
double Round2(double value);
// Reads an amount from the first 30 characters: the rightmost "." or "," is the decimal
// point, every other one a thousands separator ("1.234,56" and "1,234.56" both give
// 1234.56); the letters e and E are ignored; reading stops at the first other character.
double TextToValue(std::string_view text);
// Writes an amount with "." between thousands and "," before decimals (0 to 6):
// 1234567.891 with 2 gives "1.234.567,89". A magnitude of 1e15 or more is written as 0.
std::string ValueToText(double value, int decimals);

}  // namespace livrana
