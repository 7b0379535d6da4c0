// The regrouping of the type-folder layout (one folder per table, one file per company,
// named by the company code) into the company-folder layout (one folder per company, named
// by its code, one file per table, a yearly table with the year in its name).
#pragma once

#include "records/context.h"

namespace livrana {

// Copies every file of the sixteen type folders into its company folder, moves each copied
// file to its safety copy and removes the type folders that have become empty. A file whose
// target exists already stays where it is, so a second run changes nothing. Gives true: no
// write of its own can fail half-way.
bool MoveToCompanyFolders(Context& ctx);

}  // namespace livrana
