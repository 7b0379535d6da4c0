// Clears the data folder of the files that older versions of the product and of its older
// sibling left behind, moves the old folder R02 to R60 and moves six old folders to the
// safety folder.
#pragma once

#include "platform/outcome.h"
#include "records/context.h"

namespace livrana {

// Every deletion and move is made once, in order; a file or folder that is missing is
// passed over. The first failure stops the step, is told to the sink and given back; every
// action can be made again, so a rerun finishes what a stopped run began.
Outcome RemoveObsoleteFiles(Context& ctx);

// Whether any of the files or folders the step removes or moves is in the folder.
bool HasObsoleteFiles(platform::FileSystem& fs);

}  // namespace livrana
