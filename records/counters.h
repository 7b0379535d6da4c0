// The counters file F34.DAT: named counters that the product advances as it numbers new
// records, one 30-character record per counter (group, key, value, 10 characters each).
#pragma once

#include <cstdint>
#include <string_view>

#include "records/context.h"

namespace livrana {

inline constexpr std::string_view kCountersFile = "F34.DAT";
inline constexpr std::int32_t kCounterRecordLength = 30;
// Stored values outside 0 to this read as 0.
inline constexpr std::int32_t kLargestCounter = 999'999'999;

enum class CounterMode { kRead = 0, kNext = 1, kSet = 2 };

// Reads, advances or sets the counter of group and key (each at most 10 characters).
// kRead: value receives the stored value, 0 for a missing counter; false when the file
// could not be read. kNext: value becomes the next value for a counter of digits digits
// (outside 1 to 9 taken as 6) and is stored; false when nothing was stored. kSet: value is
// stored; false when nothing was stored. A counter that is not found is added after the
// last record. Failures to position or write are shown to the user; why, when given, then
// tells what failed.
bool MacroCodeCad(Context& ctx, std::string_view group, std::string_view key, std::int32_t& value,
                  int digits, CounterMode mode, Outcome* why = nullptr);

// The three entry points of the counters file (see MacroCodeCad).
bool ReadCounter(Context& ctx, std::string_view group, std::string_view key, std::int32_t& value);
bool BumpCounter(Context& ctx, std::string_view group, std::string_view key, std::int32_t& value,
                 int digits);
bool SetCounter(Context& ctx, std::string_view group, std::string_view key, std::int32_t value,
                Outcome* why = nullptr);

}  // namespace livrana
