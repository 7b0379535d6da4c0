// The regrouping of the type-folder layout (one folder per table, one file per company,
// named by the company code) into the company-folder layout (one folder per company, named
// by its code, one file per table, a yearly table with the year in its name).
#pragma once

#include "records/context.h"

namespace livrana {

// Copies every file of the sixteen type folders into its company folder, moves each copied
// file to its safety copy and removes the type folders that have become empty. A file whose
// target exists already stays where it is, so a second run changes nothing. Each file is
// copied and moved in one conversion of the step journal, so that a run stopped anywhere is
// finished by the next. The first failure stops the step: told to the sink and given back.
Outcome MoveToCompanyFolders(Context& ctx);

// Whether the data folder holds the type-folder layout: a type folder with a file to
// regroup, or an empty one (which an interrupted run left before removing it).
bool CompanyFoldersHasInput(platform::FileSystem& fs);

}  // namespace livrana
