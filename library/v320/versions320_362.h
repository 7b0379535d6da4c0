// Versions 3.20 to 3.62 in one pass, from the company-folder layout to the R00 layout:
// the company register's rate code and chart selector are recoded (3.20), per-company
// tables are renamed, widened and merged, every company folder moves below R00, the shared
// table F19.DAT is built from the companies' G06.DAT, the yearly invoice ledgers are
// repaired (3.60), the companies' charts of accounts join the shared chart (3.62), the old
// counters file CONFIGA.DAT is migrated, and company folders left behind move below R00.
//
// The marks "320", "360" and "362" govern the recoding, the repair and the chart merge
// with the field fix of F20R0.DAT; every other part runs on each call and finds its
// sources moved away or its targets present once converted.
#pragma once

#include "records/context.h"

namespace livrana {

inline constexpr std::string_view kOldCountersFile = "CONFIGA.DAT";
inline constexpr std::string_view kEcfTable = "F19.DAT";

// Gives false when a write failed; the step then stopped and told the user.
bool ConvertVersions320To362(Context& ctx);

}  // namespace livrana
