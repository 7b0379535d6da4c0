// Version 3.01, in the company-folder layout (one folder per company code in the data
// folder). Three phases in one call:
//   1. every call: each selected company's table G04.DAT (220 characters) is widened into
//      G04R0.DAT (950 characters) with default number texts, and G04.DAT is deleted;
//   2. the marker file "Vuk301.con" left by an older converter records the version mark
//      "301" without converting;
//   3. once per data folder (mark "301"): the address fields of F00R0.DAT, F01R0.DAT and
//      F02R1.DAT are folded together, after a backup copy of each table.
// Each company's G04 and the three tables with the mark are converted as wholes through the
// step journal: a run stopped anywhere is rolled back or finished by the next one, and the
// mark is recorded together with the folded tables, never before them.
#pragma once

#include <string_view>

#include "records/context.h"

namespace livrana {

inline constexpr std::string_view kVersion301Marker = "Vuk301.con";

// Done, or the failure that stopped the step (told to the sink as well).
Outcome ConvertVersion301(Context& ctx);

// Whether the data folder holds what the step converts: the company register in the data
// folder with the company folders beside it (not yet below R00), and the register tables
// still to fold (no mark "301"), the marker, or a live company's G04.DAT not yet widened.
bool Version301HasInput(platform::FileSystem& fs);

}  // namespace livrana
