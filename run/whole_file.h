// Small files of the converter's own that are rewritten whole (the conversion log CONV.DAT,
// the history CONVHIST.DAT): read in one piece, and put in place in one step so that no
// interruption leaves a torn line behind.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace livrana {

// The bytes of a file; nothing when it cannot be read (why then says why; a missing file is
// Cause::kNotFound).
std::optional<std::string> ReadWholeFile(platform::FileSystem& fs, std::string_view path,
                                         Outcome* why = nullptr);

// Puts text in place of the file at path: it is written whole under the work name, made
// durable and renamed over path in one step (FileSystem::Replace), so that a reader finds
// the old file or the new one, never a part of one. A work file that an interrupted run
// left is removed first; a read-only file at path is made writable first, as the product's
// openings do. The work file does not stay after a failure.
Outcome ReplaceWholeFile(platform::FileSystem& fs, std::string_view path, std::string_view work,
                         std::string_view text);

}  // namespace livrana
