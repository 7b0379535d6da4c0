// A sample data folder of the oldest layout, the one that the import of the older file set
// starts from: the lowercase file set and the older company register F0.DAT, type folders,
// the tables that the earliest versions already kept in company folders, and the shared
// tables and leftovers that only later steps read. Taken through the library of conversion
// steps in order, every step finds work in its own input layout.
#pragma once

#include "platform/file_system.h"
#include "tools/sample.h"

namespace livrana {

// Writes the oldest folder into the data folder of fs, which the caller has found empty.
// Uses companies, records (records of each ledger table per company, their dates spread
// over first_year to last_year), seed, phone_records (records of f1.dat, f2.dat and
// F08.DAT) and gaps (a company registered without tables yet).
SampleResult WriteOldestFolder(platform::FileSystem& fs, const SampleOptions& options);

}  // namespace livrana
