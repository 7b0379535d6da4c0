// Clears the data folder of the files that older versions of the product and of its older
// sibling left behind, moves the old folder R02 to R60 and moves six old folders to the
// safety folder.
#pragma once

#include "records/context.h"

namespace livrana {

void RemoveObsoleteFiles(Context& ctx);

}  // namespace livrana
