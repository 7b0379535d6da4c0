#include "records/values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "records/format.h"

namespace livrana {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The leading number of the characters from..from+count of text (counted from 0).
std::int32_t NumberAt(std::string_view text, std::size_t from, std::size_t count) {
  return LeadingNumber(text.substr(from, count));
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

std::string& Utf8ToAnsi(std::string& text) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
      auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0xBF) {
        unsigned char folded;
        if (c == 0xC3)
          folded = static_cast<unsigned char>(next + 0x40);
        else
          folded = next <= 0xA0 ? ' ' : next;
        text[out++] = static_cast<char>(folded);
        ++i;
        continue;
      }
    }
    text[out++] = static_cast<char>(c);
  }
  text.resize(out);
  return text;
}

std::string& CleanText(std::string& text) {
  Utf8ToAnsi(text);
  for (char& c : text) {
    if (c >= 1 && c <= 31) c = ' ';
  }
  return text;
}

bool HasText(std::string_view text) { return text.find_first_not_of(' ') != std::string::npos; }

std::string& PadText(std::string& text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

std::int32_t LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) magnitude = kLimit;  // saturates; later digits cannot lower it
  }
  std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

DateRec TextToDate(std::string_view text) {
  DateRec date;
  if (text.size() < 10) return date;
  text = text.substr(0, 10);
  date.day = static_cast<std::int8_t>(NumberAt(text, 0, 2));
  date.month = static_cast<std::int8_t>(NumberAt(text, 3, 2));
  date.year = NumberAt(text, 6, 4);
  return date;
}

std::string DateToText(DateRec date) {
  if (date.year == 0) return std::string();
  int day = date.day >= 1 && date.day <= 31 ? date.day : 0;
  int month = date.month >= 1 && date.month <= 13 ? date.month : 0;
  int year = date.year >= 1 && date.year <= 9999 ? date.year : 0;
  return Format("%02d/%02d/%04d", day, month, year);
}

int DaysInMonth(int year, int month) {
  switch (month) {
    case 1:
    case 3:
    case 5:
    case 7:
    case 8:
    case 10:
    case 12:
    case 13:
      return 31;
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    case 2:
      return year % 4 == 0 ? 29 : 28;
    default:
      return 0;
  }
}

int CompareDate(DateRec a, DateRec b) {
  if (int c = Order(a.year, b.year)) return c;
  if (int c = Order(a.month, b.month)) return c;
  return Order(a.day, b.day);
}

int CompareTime(TimeRec a, TimeRec b) {
  if (int c = Order(a.hour, b.hour)) return c;
  if (int c = Order(a.minute, b.minute)) return c;
  if (int c = Order(a.second, b.second)) return c;
  return Order(a.hundredths, b.hundredths);
}

std::uint32_t NextCounter(std::uint32_t current, int digits) {
  if (digits > 9) digits = 9;
  std::uint32_t largest = 0;
  for (int i = 0; i < digits; ++i) largest = largest * 10 + 9;
  return current != 0 && current < largest ? current + 1 : 1;
}

double Round2(double value) {
  if (!std::isfinite(value)) return value;
  if (value < 0) return -Round2(-value);
  // "%.6f" of the largest double has 316 characters.
  char text[400];
  char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6).ptr;
  char* point = std::find(text, end, '.');
  if (end - point <= 3) return value;
  double correction = point[3] >= '5' ? 0.01 : 0.0;
  double cut = 0;
  std::from_chars(text, point + 3, cut);
  return cut + correction;
}

double TextToValue(std::string_view text) {
  text = text.substr(0, 30);
  // The rightmost separator is the decimal point; the others and the letters e and E are
  // left out.
  std::size_t point = text.find_last_of(".,");
  char rebuilt[30];
  std::size_t size = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' || c == ',') {
      if (i == point) rebuilt[size++] = '.';
    } else if (c != 'e' && c != 'E') {
      rebuilt[size++] = c;
    }
  }
  // Only a plain decimal number is taken: no exponent, hexadecimal or infinity forms.
  std::size_t i = 0;
  while (i < size && IsBlank(rebuilt[i])) ++i;
  bool negative = false;
  if (i < size && (rebuilt[i] == '+' || rebuilt[i] == '-')) negative = rebuilt[i++] == '-';
  const std::size_t start = i;
  bool digits = false;
  for (; i < size && IsDigit(rebuilt[i]); ++i) digits = true;
  if (i < size && rebuilt[i] == '.') {
    for (++i; i < size && IsDigit(rebuilt[i]); ++i) digits = true;
  }
  if (!digits) return 0.0;
  double magnitude = 0;
  std::from_chars(rebuilt + start, rebuilt + i, magnitude);
  return negative ? -magnitude : magnitude;
}

std::string ValueToText(double value, int decimals) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e15) value = 0.0;
  decimals = std::clamp(decimals, 0, 6);
  char digits[32];  // at most 15 digits, the point and 6 decimals
  char* end = std::to_chars(digits, digits + sizeof digits, std::fabs(value),
                            std::chars_format::fixed, decimals)
                  .ptr;
  char* point = std::find(digits, end, '.');
  const std::size_t whole = static_cast<std::size_t>(point - digits);

  std::string out;
  out.reserve(whole + whole / 3 + 8);
  if (value < 0) out += '-';
  for (std::size_t i = 0; i < whole; ++i) {
    if (i > 0 && (whole - i) % 3 == 0) out += '.';
    out += digits[i];
  }
  if (decimals > 0 && point != end) {
    out += ',';
    out.append(point + 1, end);
  }
  return out;
}

}  // namespace livrana
