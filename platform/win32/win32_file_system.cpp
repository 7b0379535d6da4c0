// The file system of a Windows host, through the ANSI calls of KERNEL32. Names are
// Windows-1252 texts as the core keeps them; letter case is the file system's business.
//
// Relative paths are resolved below the data folder the file system was opened on (the
// current directory when that is empty). A relative path may not leave that folder: "."
// and ".." components, drive or stream prefixes (":"), device names (CON, NUL, COM1, ...)
// and names that Windows would cut (trailing dots or spaces) are refused.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "platform/file_system.h"
#include "platform/host_calls.h"

namespace livrana::platform {
namespace {

#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#endif

// The cause of a GetLastError code.
Cause CauseOfError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
      return Cause::kNotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Cause::kExists;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
      return Cause::kPermission;
    case ERROR_WRITE_PROTECT:
      return Cause::kReadOnly;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_QUOTA_EXCEEDED:
      return Cause::kDiskFull;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_IO_DEVICE:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETNAME_DELETED:
    case ERROR_SEM_TIMEOUT:
      return Cause::kIo;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return Cause::kBusy;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME:
      return Cause::kBadName;
    case ERROR_DIR_NOT_EMPTY:
      return Cause::kNotEmpty;
    case ERROR_DIRECTORY:
      return Cause::kNotAFile;
    default:
      return Cause::kOther;
  }
}

// A failure of the call just made, the file named by the caller.
Outcome LastFailure(Operation operation, std::string_view path = {}) {
  DWORD error = GetLastError();
  return Outcome::Failed(operation, path, CauseOfError(error), static_cast<int>(error));
}

// Largest piece handed to one ReadFile or WriteFile call.
constexpr std::size_t kMaxPiece = 1u << 30;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "C:\...", "\\server\share\...", "\\?\..." or "\..." (the root of the current drive).
bool IsAbsolute(std::string_view path) {
  if (!path.empty() && IsSeparator(path[0])) return true;
  return path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]);
}

// A component of a relative path that names an entry of its folder and nothing else.
bool IsPlainComponent(std::string_view part) {
  if (part == "." || part == "..") return false;
  if (part.find(':') != std::string_view::npos) return false;
  if (part.back() == '.' || part.back() == ' ') return false;
  return !IsReservedDeviceName(part);
}

// Whether a host path may lead to a device or a pipe rather than to a file: the device
// namespaces ("\\.\", "\\?\"), the pipes of a server ("\\server\pipe\...") and device
// names (CON, NUL, ...) in an absolute path. The paths of a drive or a share do not.
bool MayNameADevice(std::string_view host) {
  const bool unc = host.size() >= 2 && IsSeparator(host[0]) && IsSeparator(host[1]);
  if (unc && host.size() >= 4 && (host[2] == '.' || host[2] == '?') && IsSeparator(host[3]))
    return true;
  auto parts = SplitPath(host);
  if (unc && parts.size() >= 2 && SameName(parts[1], "pipe")) return true;
  return std::any_of(parts.begin(), parts.end(), IsReservedDeviceName);
}

std::string WithBackslashes(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

void FatStamp(const FILETIME& utc, std::uint16_t* date, std::uint16_t* time) {
  *date = 0;
  *time = 0;
  FILETIME local;
  WORD fat_date = 0, fat_time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local)) return;
  if (!FileTimeToDosDateTime(&local, &fat_date, &fat_time)) return;
  *date = fat_date;
  *time = fat_time;
}

// The attribute bits the core knows, as Windows reports them.
std::uint32_t CoreAttributes(DWORD attributes) {
  return attributes & (kReadOnly | kHidden | kSystem | kDirectory | kArchive | kReparsePoint);
}

// The calls that several places make, each counted as the host calls of its kind.
BOOL CloseFile(HANDLE handle) {
  NoteHostCall(HostCall::kClose);
  return CloseHandle(handle);
}

DWORD AttributesOf(const std::string& host) {
  NoteHostCall(HostCall::kQuery);
  return GetFileAttributesA(host.c_str());
}

HANDLE FindFirst(const std::string& pattern, WIN32_FIND_DATAA* data) {
  NoteHostCall(HostCall::kList);
  return FindFirstFileA(pattern.c_str(), data);
}

BOOL FindNext(HANDLE find, WIN32_FIND_DATAA* data) {
  NoteHostCall(HostCall::kList);
  return FindNextFileA(find, data);
}

void FindEnd(HANDLE find) {
  NoteHostCall(HostCall::kList);
  FindClose(find);
}

BOOL Move(const std::string& from, const std::string& to) {
  NoteHostCall(HostCall::kChange);
  return MoveFileA(from.c_str(), to.c_str());
}

class Win32File final : public File {
 public:
  // opened_size: the size that the opening learnt, when it did; the first Size() reports
  // it when nothing was written in between.
  Win32File(HANDLE handle, std::optional<std::uint64_t> opened_size)
      : handle_(handle), opened_size_(opened_size) {}
  ~Win32File() override { (void)Close(); }

  using File::ReadAt;
  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n, Outcome& why) override {
    std::size_t done = 0;
    while (done < n) {
      OVERLAPPED at = Offset(pos + done);
      DWORD want = static_cast<DWORD>(std::min(n - done, kMaxPiece));
      DWORD got = 0;
      NoteHostCall(HostCall::kRead);
      if (!ReadFile(handle_, buf + done, want, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        why = LastFailure(Operation::kRead);
        return -1;
      }
      if (got == 0) break;
      done += got;
    }
    return static_cast<std::int64_t>(done);
  }

  Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
    opened_size_.reset();
    std::size_t done = 0;
    while (done < n) {
      // A write the system takes only in part is continued with the rest.
      OVERLAPPED at = Offset(pos + done);
      DWORD want = static_cast<DWORD>(std::min(n - done, kMaxPiece));
      DWORD put = 0;
      NoteHostCall(HostCall::kWrite);
      if (!WriteFile(handle_, buf + done, want, &put, &at)) return LastFailure(Operation::kWrite);
      if (put == 0) return Outcome::Failed(Operation::kWrite, "", Cause::kShortWrite);
      done += put;
    }
    return {};
  }

  std::optional<std::uint64_t> Size() override {
    if (auto size = std::exchange(opened_size_, std::nullopt)) return size;
    LARGE_INTEGER size;
    NoteHostCall(HostCall::kSize);
    if (!GetFileSizeEx(handle_, &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  Outcome Truncate(std::uint64_t size) override {
    opened_size_.reset();
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(size);
    NoteHostCall(HostCall::kOther);
    if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN))
      return LastFailure(Operation::kTruncate);
    NoteHostCall(HostCall::kOther);
    if (!SetEndOfFile(handle_)) return LastFailure(Operation::kTruncate);
    return {};
  }

  Outcome Sync() override {
    NoteHostCall(HostCall::kOther);
    if (!FlushFileBuffers(handle_)) return LastFailure(Operation::kSync);
    return {};
  }

  Outcome Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return {};
    BOOL ok = CloseFile(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (!ok) return LastFailure(Operation::kClose);
    return {};
  }

 private:
  static OVERLAPPED Offset(std::uint64_t pos) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(pos & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(pos >> 32);
    return at;
  }

  HANDLE handle_;
  std::optional<std::uint64_t> opened_size_;
};

class Win32FileSystem final : public FileSystem {
 public:
  explicit Win32FileSystem(std::string root) : root_(WithBackslashes(root)) {}

  using FileSystem::Open;
  std::unique_ptr<File> Open(std::string_view path, Access access, Outcome& why) override {
    const Operation op = access == Access::kCreate || access == Access::kOpenAlways
                             ? Operation::kCreate
                             : Operation::kOpen;
    auto host = Resolve(path);
    if (!host) {
      why = Outcome::Failed(op, path, Cause::kBadName);
      return nullptr;
    }
    DWORD rights = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (access) {
      case Access::kRead:
        break;
      case Access::kReadWrite:
        rights |= GENERIC_WRITE;
        break;
      case Access::kCreate:
        rights |= GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
      case Access::kOpenAlways:
        rights |= GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        break;
    }
    // Windows refuses to write a read-only file; Wine run by root would not, so the
    // attribute is looked at here as well: before an opening that empties the file, after
    // the others (their file's information tells it).
    if (access == Access::kCreate && IsReadOnly(*host)) {
      why = Outcome::Failed(op, path, Cause::kReadOnly);
      return nullptr;
    }
    // Others may read and write meanwhile, as the C runtime's openings allow.
    NoteHostCall(HostCall::kOpen);
    HANDLE handle = CreateFileA(host->c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      why = LastFailure(op, path);
      // Windows refuses to write a read-only file as an access denied.
      if (why.cause() == Cause::kPermission && access != Access::kRead && IsReadOnly(*host))
        why = Outcome::Failed(op, path, Cause::kReadOnly);
      return nullptr;
    }
    auto refuse = [&](Cause cause) {
      CloseFile(handle);
      why = Outcome::Failed(op, path, cause);
      return nullptr;
    };
    // The file's information gives its size and attributes in one call. It is not meant for
    // devices and pipes (which mostly fail it), so the handle's type decides where it fails
    // (some servers do not give it) or where the name may lead to a device or a pipe.
    BY_HANDLE_FILE_INFORMATION info;
    NoteHostCall(HostCall::kSize);
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    if (known && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return refuse(Cause::kNotAFile);
    if (!known || MayNameADevice(*host)) {
      NoteHostCall(HostCall::kSize);
      if (GetFileType(handle) != FILE_TYPE_DISK) return refuse(Cause::kNotAFile);
    }
    if (access != Access::kRead && access != Access::kCreate &&
        (known ? (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 : IsReadOnly(*host)))
      return refuse(Cause::kReadOnly);
    std::optional<std::uint64_t> size;
    if (known) size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return std::make_unique<Win32File>(handle, size);
  }

  std::optional<std::uint32_t> Attributes(std::string_view path) override {
    auto host = Resolve(path);
    if (!host) return std::nullopt;
    DWORD attributes = AttributesOf(*host);
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return CoreAttributes(attributes);
  }

  Outcome SetReadOnly(std::string_view path, bool read_only) override {
    auto host = Resolve(path);
    if (!host) return Outcome::Failed(Operation::kAttributes, path, Cause::kBadName);
    DWORD attributes = AttributesOf(*host);
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastFailure(Operation::kAttributes, path);
    attributes = read_only ? (attributes | FILE_ATTRIBUTE_READONLY)
                           : (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    // Only these bits can be set; none of them means a plain file.
    attributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    NoteHostCall(HostCall::kChange);
    if (!SetFileAttributesA(host->c_str(), attributes))
      return LastFailure(Operation::kAttributes, path);
    return {};
  }

  Outcome Rename(std::string_view from, std::string_view to) override {
    // MoveFileA never replaces its target; between volumes it copies a file and deletes
    // the source, and refuses to move a folder.
    auto src = Resolve(from);
    auto dst = Resolve(to);
    if (!src || !dst) return Outcome::Failed(Operation::kRename, from, Cause::kBadName);
    if (Move(*src, *dst) == 0) return LastFailure(Operation::kRename, from);
    // A change of letter case only: Wine keeps the old name, so go through a free name.
    auto parts = SplitPath(to);
    std::string wanted = parts.empty() ? std::string() : std::string(parts.back());
    std::optional<std::string> now = EntryName(*dst);
    if (!now || *now == wanted || !SameName(*now, wanted)) return {};
    for (int n = 0; n < 1000; ++n) {
      std::string step = *dst + ".~" + std::to_string(n);
      if (AttributesOf(step) != INVALID_FILE_ATTRIBUTES) continue;
      if (Move(*dst, step) == 0) return {};
      if (Move(step, *dst) == 0) Move(step, *src);
      return {};
    }
    return {};
  }

  Outcome Replace(std::string_view from, std::string_view to) override {
    auto src = Resolve(from);
    auto dst = Resolve(to);
    if (!src || !dst) return Outcome::Failed(Operation::kRename, from, Cause::kBadName);
    // Wine run by root would replace a read-only file; Windows refuses.
    if (IsReadOnly(*dst)) return Outcome::Failed(Operation::kRename, to, Cause::kReadOnly);
    NoteHostCall(HostCall::kChange);
    if (!MoveFileExA(src->c_str(), dst->c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return LastFailure(Operation::kRename, from);
    }
    return {};
  }

  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    auto src = Resolve(from);
    auto dst = Resolve(to);
    if (!src || !dst) return Outcome::Failed(Operation::kCopy, !src ? from : to, Cause::kBadName);
    // As Windows refuses, whoever runs it.
    if (overwrite && IsReadOnly(*dst))
      return Outcome::Failed(Operation::kCopy, to, Cause::kReadOnly);
    NoteHostCall(HostCall::kChange);
    if (!CopyFileA(src->c_str(), dst->c_str(), overwrite ? FALSE : TRUE)) {
      Outcome failed = LastFailure(Operation::kCopy, to);
      // A missing source names the source.
      if (failed.cause() == Cause::kNotFound && !Attributes(from)) {
        return Outcome::Failed(Operation::kCopy, from, Cause::kNotFound, failed.system_code());
      }
      return failed;
    }
    return {};
  }

  Outcome Remove(std::string_view path) override {
    auto host = Resolve(path);
    if (!host) return Outcome::Failed(Operation::kRemove, path, Cause::kBadName);
    NoteHostCall(HostCall::kChange);
    if (!DeleteFileA(host->c_str())) return LastFailure(Operation::kRemove, path);
    return {};
  }

  Outcome MakeFolder(std::string_view path) override {
    auto host = Resolve(path);
    if (!host) return Outcome::Failed(Operation::kMakeFolder, path, Cause::kBadName);
    NoteHostCall(HostCall::kChange);
    if (!CreateDirectoryA(host->c_str(), nullptr)) return LastFailure(Operation::kMakeFolder, path);
    return {};
  }

  Outcome RemoveFolder(std::string_view path) override {
    auto host = Resolve(path);
    if (!host) return Outcome::Failed(Operation::kRemoveFolder, path, Cause::kBadName);
    NoteHostCall(HostCall::kChange);
    if (!RemoveDirectoryA(host->c_str())) return LastFailure(Operation::kRemoveFolder, path);
    return {};
  }

  using FileSystem::Find;
  std::vector<DirEntry> Find(std::string_view pattern, std::uint32_t mask, Outcome& why) override {
    std::vector<DirEntry> found;
    PatternParts parts;
    if (!SplitPattern(pattern, parts)) return found;
    const std::string_view folder = parts.folder, name_pattern = parts.name;
    std::optional<std::string> host_folder = Resolve(folder);
    if (!host_folder) {
      why = Outcome::Failed(Operation::kList, ListedFolder(folder), Cause::kBadName);
      return found;
    }
    // Every entry is listed and matched here, so that the names match exactly as on the
    // other hosts (no match through the short 8.3 names).
    std::string search = *host_folder;
    if (!search.empty() && !IsSeparator(search.back()) && search.back() != ':') search += '\\';
    search += '*';
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirst(search, &data);
    if (find == INVALID_HANDLE_VALUE) {
      // A folder that does not exist holds nothing.
      DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
          error != ERROR_DIRECTORY && error != ERROR_NO_MORE_FILES) {
        why = Outcome::Failed(Operation::kList, ListedFolder(folder), CauseOfError(error),
                              static_cast<int>(error));
      }
      return found;
    }
    const bool names_only = (mask & kNamesOnly) != 0;
    if (names_only) mask |= kHidden | kSystem;
    do {
      std::string_view name = data.cFileName;
      if (name == "." || name == "..") continue;
      if (!MatchPattern(name_pattern, name)) continue;
      DirEntry entry;
      entry.name = std::string(name);
      entry.attributes = CoreAttributes(data.dwFileAttributes);
      std::uint32_t special = entry.attributes & (kHidden | kSystem | kDirectory);
      if ((special & ~mask) != 0) continue;
      if (names_only) {
        entry.attributes &= kDirectory | kReparsePoint;
      } else {
        if ((entry.attributes & kDirectory) == 0) {
          entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
        FatStamp(data.ftLastWriteTime, &entry.fat_date, &entry.fat_time);
      }
      found.push_back(std::move(entry));
    } while (FindNext(find, &data));
    // The search ends with ERROR_NO_MORE_FILES; anything else cut it short, and a listing
    // cut short lists nothing.
    if (DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
      why = Outcome::Failed(Operation::kList, ListedFolder(folder), CauseOfError(error),
                            static_cast<int>(error));
      found.clear();
    }
    FindEnd(find);
    return found;
  }

  std::string TempFolder() override {
    char buf[MAX_PATH + 1];
    DWORD len = GetTempPathA(sizeof buf, buf);
    if (len == 0 || len >= sizeof buf) return std::string();
    std::string folder(buf, len);
    if (!IsSeparator(folder.back())) folder += '\\';
    return folder;
  }

  bool Busy(std::string_view path) override {
    // Busy while another program writes the file or does not let others read it: then an
    // opening for reading that lets others read only is refused for sharing.
    auto host = Resolve(path);
    if (!host) return false;
    NoteHostCall(HostCall::kOpen);
    HANDLE handle = CreateFileA(host->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    CloseFile(handle);
    return false;
  }

  int CurrentYear() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now.wYear;
  }

  void Pause(int milliseconds) override { Sleep(static_cast<DWORD>(std::max(milliseconds, 0))); }

  std::string Root() const override {
    if (!root_.empty()) return root_;
    char buf[MAX_PATH + 1];
    DWORD len = GetCurrentDirectoryA(sizeof buf, buf);
    return (len == 0 || len >= sizeof buf) ? std::string() : std::string(buf, len);
  }

  std::string RealRoot() const override {
    const std::string root = root_.empty() ? std::string(".") : root_;
    char buf[MAX_PATH + 1];
    DWORD len = GetFullPathNameA(root.c_str(), sizeof buf, buf, nullptr);
    if (len == 0 || len >= sizeof buf) return Root();
    std::string full(buf, len);
    // The long form of every component (a folder typed in its 8.3 form is the same folder).
    char long_buf[MAX_PATH + 1];
    NoteHostCall(HostCall::kQuery);
    DWORD long_len = GetLongPathNameA(full.c_str(), long_buf, sizeof long_buf);
    if (long_len != 0 && long_len < sizeof long_buf) full.assign(long_buf, long_len);
    while (full.size() > 3 && IsSeparator(full.back())) full.pop_back();
    return full;
  }

 private:
  static bool IsReadOnly(const std::string& host) {
    DWORD attributes = AttributesOf(host);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  }

  // The folder part of a search pattern as a failure names it: without its final separator,
  // the data folder by its own name.
  std::string ListedFolder(std::string_view folder) const {
    while (folder.size() > 1 && IsSeparator(folder.back())) folder.remove_suffix(1);
    return folder.empty() ? Root() : std::string(folder);
  }

  // The name of an existing entry as its folder lists it.
  static std::optional<std::string> EntryName(const std::string& host) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirst(host, &data);
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    FindEnd(find);
    return std::string(data.cFileName);
  }

  // The host path of a core path; nothing for a relative path that could name something
  // outside the data folder.
  std::optional<std::string> Resolve(std::string_view path) const {
    if (IsAbsolute(path)) return WithBackslashes(path);
    if (path.size() >= 2 && path[1] == ':') return std::nullopt;  // "C:name", drive-relative
    std::string relative;
    for (std::string_view part : SplitPath(path)) {
      if (!IsPlainComponent(part)) return std::nullopt;
      if (!relative.empty()) relative += '\\';
      relative += part;
    }
    if (root_.empty()) return relative.empty() ? std::string(".") : relative;
    if (relative.empty()) return root_;
    std::string host = root_;
    if (!IsSeparator(host.back()) && host.back() != ':') host += '\\';
    return host + relative;
  }

  std::string root_;
};

}  // namespace

std::unique_ptr<FileSystem> OpenHostFileSystem(const std::string& data_folder) {
  return std::make_unique<Win32FileSystem>(data_folder);
}

}  // namespace livrana::platform
