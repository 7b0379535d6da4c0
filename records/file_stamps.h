// File stamps (last-write date and time and size, as a directory search gives them), their
// comparison, and the copy of a file over a target that has not changed since a reference.
#pragma once

#include <cstdint>
#include <string_view>

#include "records/context.h"
#include "records/values.h"

namespace livrana {

// Decodes the MS-DOS date and time fields of a directory entry. A date field of 0 gives
// the all-zero date; seconds are even, hundredths 0.
void DecodeFileStamp(std::uint16_t fat_date, DateRec& date, std::uint16_t fat_time, TimeRec& time);

// -1, 0 or 1: a is older than b, has the same stamp (to the two seconds of the FAT time)
// and size, or is newer; at the same stamp the smaller file is the lesser. A missing file
// has the all-zero stamp and size 0, so two missing files compare equal.
int CompareFiles(platform::FileSystem& fs, std::string_view a, std::string_view b);

// When target has the same stamp and size as reference, copies source over target. Then
// deletes source when delete_source is set, and reference when delete_reference is set,
// whether a copy was made or not; but a source whose copy was attempted and failed is
// kept (with a note to the sink), so that what it holds is not lost. Gives whether the
// copy was made.
bool CopyIfUnchanged(Context& ctx, std::string_view source, bool delete_source,
                     std::string_view target, std::string_view reference, bool delete_reference);

}  // namespace livrana
