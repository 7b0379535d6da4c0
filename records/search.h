// The record search shared by the tables that are looked up by a key field: a linear scan
// for the first live record whose key field equals a key.
#pragma once

#include <cstdint>
#include <string_view>

#include "records/context.h"
#include "records/record_file.h"

namespace livrana {

// The widest key field a search compares; wider fields are compared on this many.
inline constexpr std::int32_t kMaxKeyWidth = 50;

// Finds the first record of a file of record length w that is not deleted and whose key
// field (width characters at offset) equals key, cut and padded to the width, letters a to z
// compared without regard to case. Searches file when it is not null (its position moves),
// else the file at path, opened and closed for the search. A key of spaces only is never
// searched for. Gives true with the record number (from 0) in record, or false with -1.
// Shows the wait cursor during the scan.
bool FindRecordByKey(Context& ctx, RecordFile* file, std::string_view path, std::int32_t w,
                     std::int32_t& record, std::string_view key, std::int32_t offset,
                     std::int32_t width);

}  // namespace livrana
