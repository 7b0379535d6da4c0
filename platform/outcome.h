// The one error currency of the converter: what a file-system call, a record file or a whole
// step gives back. Done, or failed with the operation that failed, the file it failed on and
// the cause, kept both in the system's terms (disk full, no permission, ...) and as the
// operating system's own code (errno, GetLastError), so that the user is told why instead of
// being left to guess.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace livrana {

// What was being done.
enum class Operation : std::uint8_t {
  kNone,
  kOpen,    // opening an existing file
  kCreate,  // creating or emptying a file
  kRead,
  kWrite,
  kTruncate,
  kSync,  // making what was written durable
  kClose,
  kAttributes,  // reading or changing the attributes (read-only)
  kRename,
  kCopy,
  kRemove,
  kMakeFolder,
  kRemoveFolder,
  kList,   // listing a folder
  kLock,   // taking the data folder's lock
  kCheck,  // checking that the folder can be converted (layout, register, filter)
  kRun,    // running a step (an interruption)
  kUndo,   // undoing a run made with backups
};

// Why it failed, in the system's terms.
enum class Cause : std::uint8_t {
  kNone,            // it did not fail
  kNotFound,        // the file or a folder on its way does not exist
  kExists,          // the target exists already
  kPermission,      // the system refuses access (owner, share permissions)
  kReadOnly,        // the file has the read-only attribute
  kDiskFull,        // no space left (or quota)
  kIo,              // the device reported a read or write error
  kShortWrite,      // the system took fewer bytes than asked and no more after them
  kBusy,            // another program holds the file
  kBadName,         // the name cannot be used (too long, reserved, invalid characters)
  kOutside,         // the path leads out of the data folder
  kNotAFile,        // a folder, a pipe or a device where a file is expected
  kNotEmpty,        // a folder that still holds entries
  kNoSafetyFolder,  // the safety folder below the temporary folder cannot be made or used
  kNoSafetyName,    // every numbered name of a safety copy is taken
  kLayout,          // the folder is not in the layout the step converts
  kNotDataFolder,   // the folder holds none of the product's data files
  kNoCompany,       // the company filter matches no company of the register
  kInterrupted,     // the user stopped the run
  kNoRun,           // no run with backups of this data folder is left to undo
  kLaterRun,        // a later run of the data folder is not undone yet
  kUndone,          // the run was undone already
  kCopyDamaged,     // a backup copy is missing or not whole
  kNotRestored,     // after an undo the folder is not as it was before the run
  kDamaged,         // the file's content is not in its format (a journal, a run's manifest)
  kNoRecord,        // the record asked for lies outside the file
  kTooLarge,        // the file is larger than the record files may grow (2 GB)
  kNotLocked,       // the data folder's lock is not held by this run
  kClosed,          // the file was closed already (a run's manifest after its end)
  kOther,           // any other failure the system reported
};

class Outcome {
 public:
  Outcome() = default;  // done

  static Outcome Failed(Operation operation, std::string_view file, Cause cause,
                        int system_code = 0) {
    Outcome outcome;
    outcome.operation_ = operation;
    outcome.file_ = file;
    outcome.cause_ = cause == Cause::kNone ? Cause::kOther : cause;
    outcome.system_code_ = system_code;
    return outcome;
  }

  bool ok() const { return cause_ == Cause::kNone; }
  explicit operator bool() const { return ok(); }

  Operation operation() const { return operation_; }
  const std::string& file() const { return file_; }
  Cause cause() const { return cause_; }
  // The operating system's own code (errno, GetLastError); 0 when the cause is not the
  // system's.
  int system_code() const { return system_code_; }
  // More about the cause, in Portuguese (Windows-1252): the layout found, the code typed.
  const std::string& detail() const { return detail_; }

  // Names the file when the failure does not name one yet (a file reports its failures
  // without knowing its own path; its owner knows it).
  Outcome& InFile(std::string_view file) {
    if (!ok() && file_.empty()) file_ = file;
    return *this;
  }
  Outcome& WithDetail(std::string_view detail) {
    detail_ = detail;
    return *this;
  }
  // Keeps the first failure: a later one does not replace it.
  Outcome& Also(Outcome other) {
    if (ok()) *this = std::move(other);
    return *this;
  }

 private:
  Operation operation_ = Operation::kNone;
  Cause cause_ = Cause::kNone;
  int system_code_ = 0;
  std::string file_;
  std::string detail_;
};

// The cause in Portuguese, as the user reads it: "disco cheio", "sem permissão", ...
std::string_view CauseText(Cause cause);
// The operation as a verb for "não foi possível %s %s": "gravar", "criar", ...
std::string_view OperationText(Operation operation);
// The whole failure in one sentence without a final stop, Windows-1252:
// "não foi possível gravar R00\0001\L50A1990.DAT: disco cheio"; the detail, when there is
// one, follows. Empty when the outcome is done.
std::string Describe(const Outcome& outcome);

// Describe as a sentence of its own: first letter in capitals, a final stop.
std::string Sentence(const Outcome& outcome);

// The cause of an errno value (POSIX hosts; the Win32 layer maps GetLastError itself).
Cause CauseOfErrno(int error);

}  // namespace livrana
