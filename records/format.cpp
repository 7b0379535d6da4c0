#include "records/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace livrana {
namespace {

struct Conversion {
  bool left = false, zero = false, plus = false, space = false;
  int width = 0;
  int precision = -1;
  char conversion = 0;
};

void Pad(std::string& out, std::string_view body, const Conversion& conv, bool numeric) {
  std::size_t width = conv.width > 0 ? static_cast<std::size_t>(conv.width) : 0;
  if (body.size() >= width) {
    out += body;
  } else if (conv.left) {
    out += body;
    out.append(width - body.size(), ' ');
  } else if (conv.zero && numeric && conv.precision < 0) {
    // Zeros go between the sign and the digits.
    std::size_t sign = (!body.empty() && (body[0] == '-' || body[0] == '+' || body[0] == ' '));
    out += body.substr(0, sign);
    out.append(width - body.size(), '0');
    out += body.substr(sign);
  } else {
    out.append(width - body.size(), ' ');
    out += body;
  }
}

const FormatArg& Next(std::span<const FormatArg> args, std::size_t& index, FormatArg::Kind kind) {
  if (index >= args.size()) throw std::logic_error("Format: missing argument");
  const FormatArg& arg = args[index++];
  bool ok = arg.kind() == kind ||
            (kind == FormatArg::Kind::kSigned && arg.kind() == FormatArg::Kind::kUnsigned) ||
            (kind == FormatArg::Kind::kUnsigned && arg.kind() == FormatArg::Kind::kSigned);
  if (!ok) throw std::logic_error("Format: argument of the wrong kind");
  return arg;
}

// The digits of value in base, at least precision of them (none for 0 with precision 0).
// Written backwards into a small buffer: formatting a number costs no allocation.
class Digits {
 public:
  Digits(unsigned long long value, int base, bool upper, int precision) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char* p = buf_ + sizeof buf_;
    do {
      *--p = digits[value % static_cast<unsigned>(base)];
      value /= static_cast<unsigned>(base);
    } while (value != 0);
    std::size_t len = static_cast<std::size_t>(buf_ + sizeof buf_ - p);
    if (precision == 0 && len == 1 && *p == '0') ++p;
    // A precision wider than the buffer is not used by any layout; it is cut to the buffer.
    std::size_t want =
        precision > 0 ? std::min<std::size_t>(static_cast<std::size_t>(precision), sizeof buf_ - 1)
                      : 0;
    while (static_cast<std::size_t>(buf_ + sizeof buf_ - p) < want) *--p = '0';
    start_ = p;
  }
  // With room for one sign character in front.
  std::string_view text() const {
    return {start_, static_cast<std::size_t>(buf_ + sizeof buf_ - start_)};
  }
  std::string_view WithSign(char sign) {
    *--start_ = sign;
    return text();
  }

 private:
  char buf_[128];
  char* start_;
};

}  // namespace

std::string FormatArgs(std::string_view format, std::span<const FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 16);
  AppendFormatArgs(out, format, args);
  return out;
}

void AppendFormatArgs(std::string& out, std::string_view format, std::span<const FormatArg> args) {
  std::size_t index = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      std::size_t next = format.find('%', i);
      if (next == std::string_view::npos) next = format.size();
      out.append(format.substr(i, next - i));
      i = next - 1;
      continue;
    }
    Conversion conv;
    ++i;
    for (; i < format.size(); ++i) {
      char f = format[i];
      if (f == '-')
        conv.left = true;
      else if (f == '0')
        conv.zero = true;
      else if (f == '+')
        conv.plus = true;
      else if (f == ' ')
        conv.space = true;
      else
        break;
    }
    for (; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i)
      conv.width = conv.width * 10 + (format[i] - '0');
    if (i < format.size() && format[i] == '.') {
      conv.precision = 0;
      for (++i; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i)
        conv.precision = conv.precision * 10 + (format[i] - '0');
    }
    while (i < format.size() && (format[i] == 'l' || format[i] == 'h')) ++i;
    if (i >= format.size()) throw std::logic_error("Format: conversion missing");
    conv.conversion = format[i];
    switch (conv.conversion) {
      case '%':
        out += '%';
        break;
      case 'd':
      case 'i': {
        const FormatArg& arg = Next(args, index, FormatArg::Kind::kSigned);
        long long v = arg.kind() == FormatArg::Kind::kSigned
                          ? arg.as_signed()
                          : static_cast<long long>(arg.as_unsigned());
        unsigned long long magnitude =
            v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        Digits body(magnitude, 10, false, conv.precision);
        char sign = v < 0 ? '-' : conv.plus ? '+' : conv.space ? ' ' : '\0';
        Pad(out, sign != '\0' ? body.WithSign(sign) : body.text(), conv, true);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        const FormatArg& arg = Next(args, index, FormatArg::Kind::kUnsigned);
        unsigned long long v = arg.kind() == FormatArg::Kind::kUnsigned
                                   ? arg.as_unsigned()
                                   : static_cast<unsigned long long>(arg.as_signed());
        int base = conv.conversion == 'u' ? 10 : 16;
        Pad(out, Digits(v, base, conv.conversion == 'X', conv.precision).text(), conv, true);
        break;
      }
      case 'c': {
        const FormatArg& arg = Next(args, index, FormatArg::Kind::kSigned);
        char ch = static_cast<char>(arg.kind() == FormatArg::Kind::kSigned ? arg.as_signed()
                                                                           : arg.as_unsigned());
        Pad(out, std::string_view(&ch, 1), conv, false);
        break;
      }
      case 's': {
        std::string_view text = Next(args, index, FormatArg::Kind::kText).as_text();
        if (conv.precision >= 0 && text.size() > static_cast<std::size_t>(conv.precision))
          text = text.substr(0, static_cast<std::size_t>(conv.precision));
        Pad(out, text, conv, false);
        break;
      }
      case 'f': {
        // The exact binary value rounded to the precision, a tie to the even digit, as the
        // C runtime's printf writes it, without the cost of its locale and stream machinery.
        double v = Next(args, index, FormatArg::Kind::kDouble).as_double();
        char buf[400];
        char* start = buf;
        if (!std::signbit(v) && (conv.plus || conv.space)) *start++ = conv.plus ? '+' : ' ';
        auto [end, ec] = std::to_chars(start, buf + sizeof buf, v, std::chars_format::fixed,
                                       conv.precision < 0 ? 6 : conv.precision);
        if (ec != std::errc()) throw std::logic_error("Format: number too long");
        Pad(out, std::string_view(buf, static_cast<std::size_t>(end - buf)), conv, true);
        break;
      }
      default:
        throw std::logic_error("Format: unknown conversion");
    }
  }
  if (index != args.size()) throw std::logic_error("Format: too many arguments");
}

}  // namespace livrana
