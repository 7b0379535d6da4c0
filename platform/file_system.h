// The file system as the converter sees it: Windows semantics on every host.
//
// Paths are Windows-1252 texts in Windows form ("R00\0001\L50A1990.DAT"): a backslash
// (or a slash) separates components, and every component is matched without regard to
// letter case, an exact match winning. A relative path is resolved below the data folder
// that the file system was opened on; an absolute path (the safety folder below the system
// temporary folder) is taken as it stands.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/outcome.h"

namespace livrana::platform {

// Attribute bits with the values of the Windows file attributes, so that the attribute
// masks of directory searches read as they do on Windows (55 = every kind of entry).
enum Attribute : std::uint32_t {
  kReadOnly = 0x01,
  kHidden = 0x02,
  kSystem = 0x04,
  kDirectory = 0x10,
  kArchive = 0x20,
  kReparsePoint = 0x400,  // a symbolic link (or junction): the entry stands for another
};
// The search mask that finds every kind of entry (55).
inline constexpr std::uint32_t kEveryEntry = kReadOnly | kHidden | kSystem | kDirectory | kArchive;

// How a file is opened at the operating-system level. The record layer builds its five
// openings (and text mode) on these.
enum class Access {
  kRead,        // existing file, reading only
  kReadWrite,   // existing file, reading and writing, not emptied
  kCreate,      // created or emptied, reading and writing
  kOpenAlways,  // created when missing, not emptied, reading and writing
};

// One open file. Positions are absolute byte offsets; no call moves a shared position.
// Failures come back as outcomes with the operation and the system's cause; the file does
// not know its own path, so its owner names it (Outcome::InFile).
class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes at pos; gives the count read (0 at or past the end), or -1 on
  // error, why then telling the cause.
  virtual std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n, Outcome& why) = 0;
  // The same where the cause does not matter.
  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n) {
    Outcome why;
    return ReadAt(pos, buf, n, why);
  }
  // Writes all n bytes at pos: a write that the system takes only in part is continued
  // with the rest; fails when the system takes no more (a full disk included).
  virtual Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) = 0;
  virtual std::optional<std::uint64_t> Size() = 0;
  // Cuts the file to size bytes (a torn tail of a work file after an interruption).
  virtual Outcome Truncate(std::uint64_t size) = 0;
  // Makes what was written durable (fsync).
  virtual Outcome Sync() = 0;
  virtual Outcome Close() = 0;
};

struct DirEntry {
  std::string name;        // Windows-1252, as the entry is named
  std::uint64_t size = 0;  // 0 for folders
  std::uint32_t attributes = 0;
  std::uint16_t fat_date = 0;  // last write, MS-DOS date bits (0 when out of range)
  std::uint16_t fat_time = 0;  // last write, MS-DOS time bits
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens path; null when that fails, why then telling the operation and the cause.
  virtual std::unique_ptr<File> Open(std::string_view path, Access access, Outcome& why) = 0;
  // The same where the cause does not matter.
  std::unique_ptr<File> Open(std::string_view path, Access access) {
    Outcome why;
    return Open(path, access, why);
  }

  // The attribute bits of an existing entry; nothing when it does not exist.
  virtual std::optional<std::uint32_t> Attributes(std::string_view path) = 0;
  // Sets or clears the read-only attribute, leaving the other attributes as they are.
  virtual Outcome SetReadOnly(std::string_view path, bool read_only) = 0;

  // Renames a file or folder; fails when the target exists (never replaces).
  virtual Outcome Rename(std::string_view from, std::string_view to) = 0;
  // Renames a file over another one in one step: the target, when it exists, is replaced,
  // so that a reader sees the old file or the new one, never neither nor half of one (a
  // file written whole under a work name is published this way). A folder, or a target
  // with the read-only attribute, is refused.
  virtual Outcome Replace(std::string_view from, std::string_view to) = 0;
  // Copies a file; without overwrite it fails when the target exists.
  virtual Outcome Copy(std::string_view from, std::string_view to, bool overwrite) = 0;
  virtual Outcome Remove(std::string_view path) = 0;
  virtual Outcome MakeFolder(std::string_view path) = 0;
  // Removes an empty folder.
  virtual Outcome RemoveFolder(std::string_view path) = 0;

  // Directory search: the entries of the pattern's folder whose names match its last
  // component (`*` and `?`, letter case ignored) and whose attributes fall within mask
  // (plain files always match; folders, hidden and system entries only when their bits are
  // in the mask). "." and ".." are never listed. A folder that does not exist holds no
  // entries; a folder that cannot be listed (no permission, a device error) lists nothing,
  // why then telling the cause (kList, the folder named).
  virtual std::vector<DirEntry> Find(std::string_view pattern, std::uint32_t mask,
                                     Outcome& why) = 0;
  // The same where a failure may pass for an empty folder.
  std::vector<DirEntry> Find(std::string_view pattern, std::uint32_t mask) {
    Outcome why;
    return Find(pattern, mask, why);
  }

  // The system temporary folder, ending with a separator; empty when the system has none.
  virtual std::string TempFolder() = 0;

  // One attempt of the busy test: true while another program holds the file open for
  // writing (or open without letting others read it). A missing file is not busy.
  virtual bool Busy(std::string_view path) = 0;

  virtual int CurrentYear() = 0;
  virtual void Pause(int milliseconds) = 0;

  // The folder that relative paths are resolved in, as a Windows-1252 text for display.
  virtual std::string Root() const = 0;
  // The same folder as an absolute path with every link resolved, as far as the host can
  // tell: what tells two data folders apart, however each was named. Root() where the host
  // knows no better.
  virtual std::string RealRoot() const { return Root(); }
};

// The file system of the host, opened on a data folder (a host path).
std::unique_ptr<FileSystem> OpenHostFileSystem(const std::string& data_folder);

// A path separator: the backslash of the Windows form, or a slash.
inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Splits a Windows-form path into its components (empty components dropped).
std::vector<std::string_view> SplitPath(std::string_view path);

// folder, a backslash (unless folder is empty or ends with a separator) and name.
std::string JoinPath(std::string_view folder, std::string_view name);

// A key under which two spellings of one path are equal, as Windows compares them: every
// component after a backslash, letters folded ("\\R00\\0001\\l50a1990.dat").
std::string FoldedPath(std::string_view path);

// Whether a name opens a device on Windows instead of a file, whatever extension and
// trailing spaces follow it: CON, PRN, AUX, NUL, CONIN$, CONOUT$, CLOCK$, COM1 to COM9 and
// LPT1 to LPT9, with the superscript digits that Windows reserves as well.
bool IsReservedDeviceName(std::string_view name);

// A search pattern split into the folder part (as written, with its trailing separator;
// empty for the data folder) and the name pattern; false when there is no name pattern.
struct PatternParts {
  std::string_view folder;
  std::string_view name;
};
bool SplitPattern(std::string_view pattern, PatternParts& parts);

// Case-insensitive comparison of Windows-1252 names (ASCII and Latin-1 letters).
bool SameName(std::string_view a, std::string_view b);

// Matches a Windows-1252 name against a pattern with `*` and `?`, letter case ignored.
bool MatchPattern(std::string_view pattern, std::string_view name);

}  // namespace livrana::platform
