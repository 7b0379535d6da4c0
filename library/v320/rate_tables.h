// The per-company table conversions of version 3.20, run in the company folder before it
// moves below R00: the rate table read from G16.DAT, the 719-character records of G15.DAT
// rewritten into the yearly 900-character table L15<year>.DAT, and the 200-character
// records of G07.DAT widened into the 809-character records of G07R0.DAT. Each source goes
// to its safety copy once converted, so that a later run finds nothing to do.
#pragma once

#include <array>
#include <string_view>

#include "records/context.h"
#include "library/step_io.h"

namespace livrana {

struct RatePair {
  double first = 0;
  double second = 0;
};

// Entries 1 to 16 at indexes 0 to 15.
using RateTable = std::array<RatePair, 16>;

// Reads the rate table of a company from <co>\G16.DAT (all zero when it cannot be opened)
// and moves G16.DAT to its safety copy.
RateTable ReadRateTable(Context& ctx, std::string_view co);

// Rewrites the live records of <co>\G15.DAT into <co>\L15<year>.DAT, dated the last day of
// the year, unless that file exists already.
[[nodiscard]] FailedFile ConvertG15(Context& ctx, std::string_view co, int year,
                                             const RateTable& rates);

// Widens the live records of <co>\G07.DAT into <co>\G07R0.DAT, unless that file exists
// already.
[[nodiscard]] FailedFile ConvertG07(Context& ctx, std::string_view co);

}  // namespace livrana
