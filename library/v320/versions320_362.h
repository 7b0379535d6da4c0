// Versions 3.20 to 3.62 in one pass, from the company-folder layout to the R00 layout:
// the company register's rate code and chart selector are recoded (3.20), per-company
// tables are renamed, widened and merged, every company folder moves below R00, the shared
// table F19.DAT is built from the companies' G06.DAT, the yearly invoice ledgers are
// repaired (3.60), the companies' charts of accounts join the shared chart (3.62), the old
// counters file CONFIGA.DAT is migrated, and company folders left behind move below R00.
//
// The marks "320", "360" and "362" govern the recoding, the repair and the chart merge
// with the field fix of F20R0.DAT; every other part runs on each call and finds its
// sources moved away or its targets present once converted. The marks are recorded when
// the whole call is done. Until then the state of the call is kept in LIVRANA.320: its
// current year, whether F34.DAT was there when it began, how far the numbering of F19.DAT
// got, and which of the recodings that cannot be made twice are done (the register, each
// company's ledgers, each company's chart), each written in the same step as the files it
// stands for. A call stopped anywhere is finished by the next one as if it had not stopped.
#pragma once

#include <string_view>

#include "platform/outcome.h"
#include "records/context.h"

namespace livrana {

inline constexpr std::string_view kOldCountersFile = "CONFIGA.DAT";
inline constexpr std::string_view kEcfTable = "F19.DAT";
// The state of a call that has not finished.
inline constexpr std::string_view kVersions320State = "LIVRANA.320";

// Runs the step: done, or the failure that stopped it (told to the sink as well).
Outcome ConvertVersions320To362(Context& ctx);

// Whether the data folder holds what the step converts: a company folder in the data folder
// (some companies may already be below R00), or the state of a call that did not finish.
bool HasVersions320To362Input(platform::FileSystem& fs);

}  // namespace livrana
