// Version 3.01, in the company-folder layout (one folder per company code in the data
// folder). Three phases in one call:
//   1. every call: each selected company's table G04.DAT (220 characters) is widened into
//      G04R0.DAT (950 characters) with default number texts, and G04.DAT is deleted;
//   2. the marker file "Vuk301.con" left by an older converter records the version mark
//      "301" without converting;
//   3. once per data folder (mark "301"): the address fields of F00R0.DAT, F01R0.DAT and
//      F02R1.DAT are folded together in place, after a backup copy of each table.
#pragma once

#include "records/context.h"

namespace livrana {

inline constexpr std::string_view kVersion301Marker = "Vuk301.con";

// Gives false when a write failed; the step then stopped and told the user.
bool ConvertVersion301(Context& ctx);

}  // namespace livrana
