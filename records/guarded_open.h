// The guarded opening through which a record is added to or rewritten in a file that other
// workstations may share: it waits briefly for a file that another program is writing,
// refuses files that have grown too large, finds the place of the record (reusing a
// deleted record's place when asked, completing a partial last record) and tells the user
// what went wrong.
#pragma once

#include <cstdint>
#include <string_view>

#include "records/context.h"
#include "records/record_file.h"

namespace livrana {

// The busy test: up to 21 attempts, 50 milliseconds apart.
inline constexpr int kBusyAttempts = 21;
inline constexpr int kBusyPauseMilliseconds = 50;

// File sizes, in bytes, above which a file is refused or the user is asked to go on.
inline constexpr std::uint64_t kRefusedFileSize = 2'000'000'000;
inline constexpr std::uint64_t kQuestionFileSize = 512'000'000;

enum class BusyMode {
  kSilent = 0,   // busy is reported by the result only
  kMessage = 1,  // busy is shown to the user ("FileBusy") and reported by the result
  kGoOn = 2,     // waits as the others do, then reports free in any case
};

// Whether another program holds the file open for writing (or without letting others read
// it), after the last of the attempts. A missing file is free. Shows the wait cursor while
// it tests.
bool FileBusy(Context& ctx, std::string_view path, BusyMode mode);

// Tells the user, by a note naming the file, that its opening for writing cleared its
// read-only attribute (the file stays writable after the step); nothing otherwise.
void NoteClearedReadOnly(Context& ctx, const RecordFile* file);

enum class Reuse {
  kNone = 0,   // a new record goes after the last one
  kFirst = 1,  // the first deleted record of the file is reused
  kAfter = 2,  // the first deleted record after the record number passed in is reused
};

// Opens the file at path (record length w, 0 for plain appending) for writing one record.
// Adding, record receives the number of the place found: a deleted record's (as reuse
// asks), or the one after the last record, the file being created when missing and a
// partial last record completed with spaces first. Not adding, the handle is positioned at
// the existing record whose number record holds. Gives the handle positioned where the
// record is to be written, or null after a message to the user (or when the user declined
// to go on with a very large file); why, when given, then tells what failed. A file with the
// read-only attribute loses it, and a note says so. The caller writes the record and closes
// the handle.
FileHandle FOpen2(Context& ctx, std::string_view path, std::int32_t w, std::int32_t& record,
                  bool adding, Reuse reuse = Reuse::kNone, Outcome* why = nullptr);

}  // namespace livrana
