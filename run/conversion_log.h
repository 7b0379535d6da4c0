// The conversion log CONV.DAT: one line per version step that has run in this data folder,
// its tag followed by CR LF, in the order the steps first ran. A step that must run only
// once tests and records its tag before its work begins.
#pragma once

#include <string_view>

#include "platform/file_system.h"

namespace livrana {

inline constexpr std::string_view kConversionLog = "CONV.DAT";

// Whether some piece of the log begins with tag, letters a to z compared without regard to
// case. The log is read in pieces of at most 9 characters, a piece ending early after a
// line feed, so a tag is at most 9 characters and no tag may begin another. False when
// the log is missing or cannot be read.
bool ConvFind(platform::FileSystem& fs, std::string_view tag);

// True when the tag is already in the log (nothing is written). Otherwise appends the tag
// and CR LF to the log, creating it when missing, and gives false, also when the log could
// not be written.
bool ConvTestAndMark(platform::FileSystem& fs, std::string_view tag);

}  // namespace livrana
