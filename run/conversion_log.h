// The conversion log CONV.DAT: one line per version step that has run in this data folder,
// its tag followed by CR LF, in the order the steps first ran. A step that must run only
// once tests its tag before its work begins and records it once the work is complete, so
// that a run that fails or is interrupted is done again by the next one.
#pragma once

#include <span>
#include <string_view>

#include "platform/file_system.h"

namespace livrana {

inline constexpr std::string_view kConversionLog = "CONV.DAT";
// The log as it is being rewritten with a new tag, before it replaces CONV.DAT.
inline constexpr std::string_view kConversionLogNew = "CONV.NEW";

// The version marks that the steps of this program record, in the order of the product's
// history, with what each stands for (Windows-1252).
struct KnownMark {
  std::string_view tag;
  std::string_view text;
};
std::span<const KnownMark> KnownMarks();

// Whether some piece of the log begins with tag, letters a to z compared without regard to
// case. The log is read in pieces of at most 9 characters, a piece ending early after a
// line feed, so a tag is at most 9 characters and no tag may begin another. False when
// the log is missing or cannot be read.
bool ConvFind(platform::FileSystem& fs, std::string_view tag);

// True when the tag is already in the log (nothing is written). Otherwise appends the tag
// and CR LF to the log, creating it when missing, and gives false, also when the log could
// not be written.
bool ConvTestAndMark(platform::FileSystem& fs, std::string_view tag);

// Records the tag at the end of the log, unless it is there already, so that no run, however
// it ends, leaves a torn line: the log with its new line is written whole as CONV.NEW, made
// durable and put in the place of CONV.DAT in one step. A last line left without its line
// end (by another program) is ended first, so that the new tag begins a line of its own.
Outcome ConvMark(platform::FileSystem& fs, std::string_view tag);

}  // namespace livrana
