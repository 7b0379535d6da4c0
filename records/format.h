// printf-style formatting into std::string for the formats that are part of the file
// layouts ("%-9s", "%05ld", "%02d01%d%-10s%-23s\r\n"). Each conversion is checked against
// the kind of its argument; a text argument may hold any byte, a zero byte included, so a
// field is written exactly as it was read.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace livrana {

class FormatArg {
 public:
  enum class Kind { kSigned, kUnsigned, kDouble, kText };
  template <typename T>
  requires std::is_integral_v<T> && std::is_signed_v<T> FormatArg(T v)
      : kind_(Kind::kSigned), i_(v) {}
  template <typename T>
  requires std::is_integral_v<T> && std::is_unsigned_v<T> &&(!std::is_same_v<T, bool>)FormatArg(T v)
      : kind_(Kind::kUnsigned), u_(v) {}
  FormatArg(double v) : kind_(Kind::kDouble), d_(v) {}
  FormatArg(long double v) : kind_(Kind::kDouble), d_(static_cast<double>(v)) {}
  FormatArg(std::string_view v) : kind_(Kind::kText), s_(v) {}
  FormatArg(const std::string& v) : kind_(Kind::kText), s_(v) {}
  FormatArg(const char* v) : kind_(Kind::kText), s_(v) {}

  Kind kind() const { return kind_; }
  long long as_signed() const { return i_; }
  unsigned long long as_unsigned() const { return u_; }
  double as_double() const { return d_; }
  std::string_view as_text() const { return s_; }

 private:
  Kind kind_;
  long long i_ = 0;
  unsigned long long u_ = 0;
  double d_ = 0;
  std::string_view s_;
};

// Formats with the conversions d, i, u, x, X, c, s, f and %, the flags "-", "0", "+" and
// " ", a width and a precision ("*" is not used by the layouts). A conversion whose
// argument is of another kind, or a missing argument, is a programming error: it throws
// std::logic_error, which the tests of every layout would show at once.
std::string FormatArgs(std::string_view format, std::span<const FormatArg> args);
// The same, appended to out: a record built field by field costs no string per field.
void AppendFormatArgs(std::string& out, std::string_view format, std::span<const FormatArg> args);

template <typename... Args>
std::string Format(std::string_view format, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> list = {FormatArg(args)...};
  return FormatArgs(format, list);
}

template <typename... Args>
void AppendFormat(std::string& out, std::string_view format, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> list = {FormatArg(args)...};
  AppendFormatArgs(out, format, list);
}

}  // namespace livrana
