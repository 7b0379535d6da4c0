// The yearly fiscal files of version 3.64, R00\<code>\L50<year>.DAT: records of 200 bytes
// whose first character gives their kind ("0" header, "1" item, "2" text, "3" extra,
// "4" reference). Version 3.73 rewrites them as L50A<year>.DAT of 400 bytes.
#pragma once

#include <cstddef>

namespace livrana {

inline constexpr std::size_t kFiscalRecord364 = 200;

struct FiscalLayout364 {
  static constexpr std::size_t kKind = 0;
  // Items, texts and references: the number of their invoice's header; a header: its own.
  static constexpr std::size_t kHeader = 1, kHeaderWidth = 10;
  static constexpr std::size_t kPosition = 11;  // of an item: the amount slot digit
  // The key by which a reference finds its header: the flags, dates, issuer, series and
  // number of the header.
  static constexpr std::size_t kKey = 11, kKeyWidth = 41;
  static constexpr std::size_t kDeleted = kFiscalRecord364 - 1;
};

}  // namespace livrana
