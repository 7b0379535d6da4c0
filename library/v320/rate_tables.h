// The per-company table conversions of version 3.20, run in the company folder before it
// moves below R00: the rate table read from G16.DAT, the 719-character records of G15.DAT
// rewritten into the yearly 900-character table L15<year>.DAT, and the 200-character
// records of G07.DAT widened into the 809-character records of G07R0.DAT. Each source goes
// to its safety copy once converted, so that a later run finds nothing to do.
#pragma once

#include <array>
#include <string_view>

#include "library/step_io.h"
#include "records/context.h"
#include "records/layouts/rate_tables.h"
#include "run/step_journal.h"

namespace livrana {

struct RatePair {
  double first = 0;
  double second = 0;
};

// Entries 1 to 16 at indexes 0 to 15.
using RateTable = std::array<RatePair, kRateEntries>;

// Reads the rate table of a company from <co>\G16.DAT (all zero when it is not there) and
// lists the move of G16.DAT to its safety copy in the conversion, which also converts G15.DAT
// with these rates: a run stopped before that conversion is done finds G16.DAT again.
[[nodiscard]] Outcome ReadRateTable(Context& ctx, Conversion& conversion, std::string_view co,
                                    RateTable& rates);

// Rewrites the live records of <co>\G15.DAT into <co>\L15<year>.DAT through the conversion,
// dated the last day of the year, unless that file exists already; G15.DAT goes to its safety
// copy when the conversion commits.
[[nodiscard]] Outcome ConvertG15(Context& ctx, Conversion& conversion, std::string_view co,
                                 int year, const RateTable& rates);

// Widens the live records of <co>\G07.DAT into <co>\G07R0.DAT, unless that file exists
// already, and moves G07.DAT to its safety copy, in one conversion.
[[nodiscard]] Outcome ConvertG07(Context& ctx, std::string_view co);

}  // namespace livrana
