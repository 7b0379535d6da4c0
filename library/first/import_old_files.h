// The import of the oldest file set: the lowercase tables "f1.dat", "f2.dat", "f0dp.dat",
// "f3.dat", the group files and the six lowercase type folders of the data folder become the
// tables "F1R0.DAT" and "F2R0.DAT", the per-company files of the type folders "G01", "G04"
// and "G06", and the type folders "L01" to "L06".
#pragma once

#include "records/context.h"

namespace livrana {

// Runs the six parts of the import in order. Every part consumes its source, and the two
// tables are made only while they are missing, so a second run changes nothing. Each
// source is converted in one conversion of the step journal, so that a run stopped anywhere
// is finished by the next. The first failure stops the step: told to the sink and given
// back, that part's source and targets as they were.
Outcome ImportOldFileSet(Context& ctx);

// Whether the data folder holds the oldest file set: one of the lowercase tables (f1.dat and
// f2.dat only while their new tables are missing) or one of the lowercase folders.
bool ImportOldFilesHasInput(platform::FileSystem& fs);

}  // namespace livrana
