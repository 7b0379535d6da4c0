// The rebuild of the register and company tables of the company-folder generation: in the
// data folder the older company register and table 1 are renamed and table 2 and the
// company register rebuilt at 1000 characters a record; in each company folder two tables
// are dropped, four renamed and four rebuilt at new widths.
#pragma once

#include "records/context.h"

namespace livrana {

// Every rebuild is guarded by the absence of its target or consumes its source, so a second
// run changes nothing. Gives false when a write failed; the step then stops, leaving that
// rebuild's source as it was and its target as it was before.
bool RebuildRegisterFiles(Context& ctx);

}  // namespace livrana
