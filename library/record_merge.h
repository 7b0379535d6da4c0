// Two routines of the version steps that follow the company-folder layout: the merge of a
// 227-character table into a 260-character one, which marks the source of each record in
// its offset 66, and the next free number of a table whose records begin with a number.
#pragma once

#include <cstdint>
#include <string_view>

#include "library/step_io.h"
#include "records/context.h"

namespace livrana {

inline constexpr std::size_t kNarrowRecord = 227;
inline constexpr std::size_t kWideRecord = 260;

// Appends every live record of source (227 characters) to target (260 characters, created
// when missing), both in text mode: a blank offset 66 receives fill, the two 5-character
// fields at 138 and 148 move to 133 and 138, the rest of the source record is dropped; a
// piece of the source that holds only line ends is no record. The source goes to its safety
// copy in the same step as the appended records become durable (one conversion of the step
// journal), so that a run stopped anywhere appends them once. A missing source does
// nothing; any other failure leaves source and target as they were and is given back.
[[nodiscard]] Outcome AppendWidenedRecords(Context& ctx, std::string_view source,
                                           std::string_view target, char fill);

// One more than the largest number at the start (first 9 characters) of the live records
// of a table of record length width; 1 for a missing or empty table.
std::int32_t NextRecordNumber(platform::FileSystem& fs, std::string_view path, std::int64_t width);

}  // namespace livrana
