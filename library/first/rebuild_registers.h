// The rebuild of the register and company tables of the company-folder generation: in the
// data folder the older company register and table 1 are renamed and table 2 and the
// company register rebuilt at 1000 characters a record; in each company folder two tables
// are dropped, four renamed and four rebuilt at new widths.
#pragma once

#include "records/context.h"

namespace livrana {

// Every rebuild is guarded by the absence of its target or consumes its source, so a second
// run changes nothing. Each rebuild is one conversion of the step journal (the source
// consumed at its commit), so that a run stopped anywhere is finished by the next. The
// first failure stops the step: told to the sink and given back, that rebuild's source and
// target as they were.
Outcome RebuildRegisterFiles(Context& ctx);

// Whether the data folder holds what the rebuild converts: the older register, table 1 or
// table 2 under their older names, or, with a register, a company folder with a table to
// delete, rename or rebuild (a rebuild only while its target is missing).
bool RebuildRegistersHasInput(platform::FileSystem& fs);

}  // namespace livrana
