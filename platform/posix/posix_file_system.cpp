// The file system of a Linux host with the semantics of the Windows file system, so that
// the converter can run on the file server that holds the data folder, or on a workstation
// that reaches it through a share.
//
// Names are Windows-1252 in the core and UTF-8 on disk, as a Samba server stores them.
// Every path component is looked up without regard to letter case, an exact match
// winning; components that do not exist are created with the case the caller gave.
//
// On a share every system call is a round trip to the server, and a call that names a path
// costs one more for each folder on the way. So the folders of the data folder are opened
// once (handles that name nothing but the folder) and their entries are named relative to
// them; a path is first opened as it is written, which is what the case-insensitive lookup
// would choose whenever it exists; the listings that the lookup reads are kept and follow
// the converter's own changes; and nothing is asked twice in one operation.
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/cp1252.h"
#include "platform/file_system.h"
#include "platform/host_calls.h"

namespace livrana::platform {
namespace {

// ---- The system calls, each counted for the tests ------------------------------------------

int OpenAt(int dir, const char* path, int flags, mode_t mode = 0) {
  NoteHostCall(HostCall::kOpen);
  return ::openat(dir, path, flags, mode);
}
// Opens path below dir with the resolve rules of openat2; -1 with errno ENOSYS (or EPERM
// under some container filters) where the kernel lacks the call.
int OpenBeneath(int dir, const char* path, int flags, std::uint64_t resolve) {
  NoteHostCall(HostCall::kOpen);
  struct open_how how = {};
  how.flags = static_cast<std::uint64_t>(flags);
  how.resolve = resolve;
  return static_cast<int>(::syscall(SYS_openat2, dir, path, &how, sizeof how));
}
int CloseFd(int fd) {
  NoteHostCall(HostCall::kClose);
  return ::close(fd);
}
int StatFd(int fd, struct stat* st) {
  NoteHostCall(HostCall::kSize);
  return ::fstat(fd, st);
}
int StatAt(int dir, const char* path, struct stat* st, int flags) {
  NoteHostCall(HostCall::kQuery);
  return ::fstatat(dir, path, st, flags);
}
ssize_t ReadFd(int fd, void* buf, std::size_t n, off_t pos) {
  NoteHostCall(HostCall::kRead);
  return ::pread(fd, buf, n, pos);
}
ssize_t WriteFd(int fd, const void* buf, std::size_t n, off_t pos) {
  NoteHostCall(HostCall::kWrite);
  return ::pwrite(fd, buf, n, pos);
}
int ChangeMode(int dir, const char* path, mode_t mode) {
  NoteHostCall(HostCall::kChange);
  return ::fchmodat(dir, path, mode, 0);
}
int RenameAt(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
  NoteHostCall(HostCall::kChange);
  return flags == 0 ? ::renameat(from_dir, from, to_dir, to)
                    : ::renameat2(from_dir, from, to_dir, to, flags);
}
int UnlinkAt(int dir, const char* path, int flags) {
  NoteHostCall(HostCall::kChange);
  return ::unlinkat(dir, path, flags);
}
int MakeFolderAt(int dir, const char* path) {
  NoteHostCall(HostCall::kChange);
  return ::mkdirat(dir, path, 0777);
}

// A failure of the system call just made, the file named by the caller.
Outcome Failure(Operation operation, int error, std::string_view path = {}) {
  return Outcome::Failed(operation, path, CauseOfErrno(error), error);
}

// Calls each(disk_name, d_type) for every entry of an open folder but "." and "..", in
// directory order; false (errno set) when the listing failed.
template <typename Each>
bool ReadFolder(int fd, Each each) {
  alignas(struct dirent64) char buf[32 * 1024];
  for (;;) {
    NoteHostCall(HostCall::kList);
    ssize_t got = ::getdents64(fd, buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t at = 0; at < got;) {
      const auto* ent = reinterpret_cast<const struct dirent64*>(buf + at);
      at += ent->d_reclen;
      std::string_view name = ent->d_name;
      if (name == "." || name == "..") continue;
      each(ent->d_name, ent->d_type);
    }
  }
}

class PosixFile final : public File {
 public:
  // opened_size: the size that fstat gave when the file was opened; the first Size()
  // reports it when nothing was written in between.
  PosixFile(int fd, std::uint64_t opened_size) : fd_(fd), opened_size_(opened_size) {}
  ~PosixFile() override { (void)Close(); }

  using File::ReadAt;
  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n, Outcome& why) override {
    std::size_t done = 0;
    while (done < n) {
      ssize_t got = ReadFd(fd_, buf + done, n - done, static_cast<off_t>(pos + done));
      if (got < 0) {
        if (errno == EINTR) continue;
        why = Failure(Operation::kRead, errno);
        return -1;
      }
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
  }

  Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
    opened_size_.reset();
    std::size_t done = 0;
    while (done < n) {
      // A write the system takes only in part is continued with the rest.
      ssize_t put = WriteFd(fd_, buf + done, n - done, static_cast<off_t>(pos + done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return Failure(Operation::kWrite, errno);
      }
      if (put == 0) return Outcome::Failed(Operation::kWrite, "", Cause::kShortWrite);
      done += static_cast<std::size_t>(put);
    }
    return {};
  }

  std::optional<std::uint64_t> Size() override {
    if (auto size = std::exchange(opened_size_, std::nullopt)) return size;
    struct stat st;
    if (StatFd(fd_, &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
  }

  Outcome Truncate(std::uint64_t size) override {
    opened_size_.reset();
    NoteHostCall(HostCall::kOther);
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
      return Failure(Operation::kTruncate, errno);
    return {};
  }

  Outcome Sync() override {
    NoteHostCall(HostCall::kOther);
    if (::fsync(fd_) != 0) return Failure(Operation::kSync, errno);
    return {};
  }

  Outcome Close() override {
    if (fd_ < 0) return {};
    int rc = CloseFd(fd_);
    fd_ = -1;
    // A close that fails after delayed writes (a file server, a full disk) lost them.
    if (rc != 0 && errno != EINTR) return Failure(Operation::kClose, errno);
    return {};
  }

 private:
  int fd_;
  std::optional<std::uint64_t> opened_size_;
};

bool IsAbsolute(std::string_view path) { return !path.empty() && path[0] == '/'; }

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// A relative path of entries below the data folder: at least one component, none of them
// "." or "..".
bool Plain(const std::vector<std::string_view>& parts) {
  return !parts.empty() &&
         std::none_of(parts.begin(), parts.end(), [](auto p) { return p == "." || p == ".."; });
}

// The Windows-1252 form of a name read from the disk; a name that is not UTF-8 is taken
// byte for byte.
std::string CoreName(const char* disk_name) {
  auto name = Utf8ToCp1252(disk_name);
  return name ? *name : std::string(disk_name);
}

// The DOS attributes that Samba keeps in an extended attribute, when present.
std::uint32_t SambaAttributes(const std::string& host_path) {
  char value[64];
  NoteHostCall(HostCall::kQuery);
  ssize_t len = ::getxattr(host_path.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
  if (len <= 2) return 0;
  value[len] = '\0';
  if (value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
  return static_cast<std::uint32_t>(std::strtoul(value + 2, nullptr, 16)) &
         (kHidden | kSystem | kArchive);
}

// st: what stat says of the entry; link: whether the entry itself is a link; xattr_path:
// a path that leads to it.
std::uint32_t AttributesOf(const std::string& xattr_path, const std::string& name,
                           const struct stat& st, bool link) {
  std::uint32_t attributes = SambaAttributes(xattr_path);
  if (link) attributes |= kReparsePoint;
  if (S_ISDIR(st.st_mode)) attributes |= kDirectory;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kReadOnly;
  if (!name.empty() && name[0] == '.') attributes |= kHidden;
  if (attributes == 0) attributes = kArchive;
  return attributes;
}

void FatStamp(std::time_t t, std::uint16_t* date, std::uint16_t* time) {
  struct tm tm;
  *date = 0;
  *time = 0;
  if (::localtime_r(&t, &tm) == nullptr) return;
  int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return;
  *date = static_cast<std::uint16_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  *time = static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
}

// A folder resolved on the host: its host path and a handle that names the folder (O_PATH),
// -1 where none could be opened (its entries are then named by their paths). Shared by the
// cache of folders and the operations under way, closed when the last lets it go.
struct FolderHandle {
  FolderHandle(std::string h, int f, bool in = true) : host(std::move(h)), fd(f), inside(in) {}
  ~FolderHandle() {
    if (fd >= 0) CloseFd(fd);
  }
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  std::string host;
  int fd;
  bool inside;  // a folder of the data folder, whose links may not lead out of it
};
using Folder = std::shared_ptr<const FolderHandle>;

// A core path resolved on the host: its host path and, when the entry exists, what lstat
// says of it. Resolved in a folder known by its handle, the entry is named by its disk
// name relative to the handle, which costs no lookup of the folders on the way.
struct Entry {
  std::string host;
  Folder folder;     // the folder that holds the entry, when resolved through its handle
  std::string name;  // the disk name in that folder
  bool found = false;
  struct stat st = {};

  int dir() const { return folder && folder->fd >= 0 ? folder->fd : AT_FDCWD; }
  const char* at() const { return dir() == AT_FDCWD ? host.c_str() : name.c_str(); }
  // The host path of the folder that holds the entry.
  std::string parent() const {
    if (folder) return folder->host;
    std::size_t slash = host.rfind('/');
    return slash == 0 ? "/" : host.substr(0, slash == std::string::npos ? 0 : slash);
  }
  // The disk name of the entry in that folder.
  std::string leaf() const {
    if (folder) return name;
    std::size_t slash = host.rfind('/');
    return slash == std::string::npos ? host : host.substr(slash + 1);
  }
};

class PosixFileSystem final : public FileSystem {
 public:
  explicit PosixFileSystem(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
    if (root_.empty()) root_ = ".";
    NoteHostCall(HostCall::kQuery);
    char* real = ::realpath(root_.c_str(), nullptr);
    real_root_ = real != nullptr ? real : root_;
    std::free(real);
    root_folder_ =
        std::make_shared<FolderHandle>(root_, OpenAt(AT_FDCWD, root_.c_str(), kFolderFlags));
    // The extended attributes of an entry named relative to a handle are read through the
    // handle's entry in /proc.
    struct stat st;
    proc_fds_ = ::lstat("/proc/self/fd", &st) == 0 && S_ISDIR(st.st_mode);
  }

  using FileSystem::Open;
  std::unique_ptr<File> Open(std::string_view path, Access access, Outcome& why) override {
    const bool creates = access == Access::kCreate || access == Access::kOpenAlways;
    const Operation op = creates ? Operation::kCreate : Operation::kOpen;
    auto fail = [&](Cause cause, int error = 0) -> std::unique_ptr<File> {
      why = Outcome::Failed(op, path, cause, error);
      return nullptr;
    };
    if (access == Access::kRead || access == Access::kReadWrite) {
      if (auto quick = OpenExact(path, access)) {
        if (!*quick) return fail(quick_failure_, quick_errno_);
        return std::move(*quick);
      }
    }
    auto entry = ResolveEntry(path);
    if (!entry) return fail(HasDrive(path) ? Cause::kBadName : Cause::kOutside);
    if (!entry->found && !creates) return fail(Cause::kNotFound, ENOENT);
    int flags = O_CLOEXEC;
    switch (access) {
      case Access::kRead:
        flags |= O_RDONLY;
        break;
      case Access::kReadWrite:
        flags |= O_RDWR;
        break;
      case Access::kCreate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
      case Access::kOpenAlways:
        flags |= O_RDWR | O_CREAT;
        break;
    }
    if (entry->found) {
      struct stat before = entry->st;
      if (S_ISLNK(before.st_mode) && StatAt(entry->dir(), entry->at(), &before, 0) != 0)
        return fail(CauseOfErrno(errno), errno);
      // Only a plain file opens as a file: a folder, a pipe (whose opening would wait for
      // a writer) or a device is refused before it is opened.
      if (!S_ISREG(before.st_mode)) return fail(Cause::kNotAFile);
      // The read-only attribute refuses every opening that may write, as on Windows (and
      // also for a process that the permission bits would not stop).
      if (access != Access::kRead && (before.st_mode & S_IWUSR) == 0) return fail(Cause::kReadOnly);
    }
    int fd = OpenAt(entry->dir(), entry->at(), flags, 0666);
    if (fd < 0) return fail(CauseOfErrno(errno), errno);
    if (!entry->found) Created(*entry);
    struct stat st;
    if (StatFd(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      CloseFd(fd);
      return fail(Cause::kNotAFile);
    }
    return std::make_unique<PosixFile>(fd, static_cast<std::uint64_t>(st.st_size));
  }

  std::optional<std::uint32_t> Attributes(std::string_view path) override {
    auto entry = ResolveEntry(path);
    if (!entry || !entry->found) return std::nullopt;
    struct stat st = entry->st;
    const bool link = S_ISLNK(st.st_mode);
    if (link && StatAt(entry->dir(), entry->at(), &st, 0) != 0) return std::nullopt;
    auto parts = SplitPath(path);
    std::string name = parts.empty() ? std::string() : std::string(parts.back());
    return AttributesOf(XattrPath(*entry), name, st, link);
  }

  Outcome SetReadOnly(std::string_view path, bool read_only) override {
    auto entry = ResolveEntry(path);
    if (!entry) return Outcome::Failed(Operation::kAttributes, path, Cause::kOutside);
    struct stat st = entry->st;
    if ((!entry->found || S_ISLNK(st.st_mode)) && StatAt(entry->dir(), entry->at(), &st, 0) != 0)
      return Failure(Operation::kAttributes, errno, path);
    mode_t mode = st.st_mode & 07777;
    mode = read_only ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    if (ChangeMode(entry->dir(), entry->at(), mode) != 0)
      return Failure(Operation::kAttributes, errno, path);
    return {};
  }

  Outcome Rename(std::string_view from, std::string_view to) override {
    NamesChange change(*this);
    auto fail = [&](Cause cause, int error = 0) {
      return Outcome::Failed(Operation::kRename, from, cause, error);
    };
    auto src = ResolveEntry(from);
    auto dst = ResolveEntry(to);
    if (!src || !dst) return fail(Cause::kOutside);
    struct stat s1 = src->st;
    if (!src->found && StatAt(src->dir(), src->at(), &s1, AT_SYMLINK_NOFOLLOW) != 0)
      return fail(CauseOfErrno(errno), errno);
    if (dst->found) {
      // The target exists. Only a change of letter case of the same entry goes on.
      if (s1.st_dev != dst->st.st_dev || s1.st_ino != dst->st.st_ino)
        return fail(Cause::kExists, EEXIST);
      Entry wanted = *dst;
      auto parts = SplitPath(to);
      wanted.name = Cp1252ToUtf8(parts.empty() ? "" : parts.back());
      wanted.host = wanted.parent() + "/" + wanted.name;
      if (wanted.host == src->host) return change.Keep();
      if (RenameAt(src->dir(), src->at(), wanted.dir(), wanted.at(), 0) != 0)
        return fail(CauseOfErrno(errno), errno);
      return S_ISDIR(s1.st_mode) ? Outcome() : change.Moved(*src, wanted);
    }
    if (RenameAt(src->dir(), src->at(), dst->dir(), dst->at(), RENAME_NOREPLACE) == 0)
      return S_ISDIR(s1.st_mode) ? Outcome() : change.Moved(*src, *dst);
    const std::string& from_host = src->host;
    const std::string& to_host = dst->host;
    if (errno == EINVAL || errno == ENOSYS) {
      // A file system without the no-replace rename: link and unlink keep the guarantee
      // for files; folders were checked just above.
      if (S_ISDIR(s1.st_mode)) {
        if (RenameAt(AT_FDCWD, from_host.c_str(), AT_FDCWD, to_host.c_str(), 0) == 0) return {};
        return fail(CauseOfErrno(errno), errno);
      }
      NoteHostCall(HostCall::kChange);
      if (::link(from_host.c_str(), to_host.c_str()) != 0) return fail(CauseOfErrno(errno), errno);
      if (UnlinkAt(AT_FDCWD, from_host.c_str(), 0) != 0) return fail(CauseOfErrno(errno), errno);
      return change.Moved(*src, *dst);
    }
    if (errno == EXDEV && S_ISREG(s1.st_mode)) {
      // Across file systems a file is copied and the source deleted only when the copy is
      // complete, as Windows moves a file between volumes; a folder does not move.
      if (Outcome copied = CopyHost(from_host, to_host, false); !copied) return copied.InFile(from);
      if (UnlinkAt(AT_FDCWD, from_host.c_str(), 0) != 0) {
        int error = errno;
        UnlinkAt(AT_FDCWD, to_host.c_str(), 0);
        return fail(CauseOfErrno(error), error);
      }
      return change.Moved(*src, *dst);
    }
    return fail(CauseOfErrno(errno), errno);
  }

  Outcome Replace(std::string_view from, std::string_view to) override {
    NamesChange change(*this);
    auto fail = [&](Cause cause, int error = 0) {
      return Outcome::Failed(Operation::kRename, from, cause, error);
    };
    auto src = ResolveEntry(from);
    auto dst = ResolveEntry(to);
    if (!src || !dst) return fail(Cause::kOutside);
    struct stat s1 = src->st;
    if (!src->found && StatAt(src->dir(), src->at(), &s1, AT_SYMLINK_NOFOLLOW) != 0)
      return fail(CauseOfErrno(errno), errno);
    if (!S_ISREG(s1.st_mode)) return fail(Cause::kNotAFile);
    if (dst->found) {
      if (S_ISDIR(dst->st.st_mode)) return fail(Cause::kNotAFile);
      // As Windows refuses.
      if ((dst->st.st_mode & S_IWUSR) == 0) return fail(Cause::kReadOnly);
    }
    if (RenameAt(src->dir(), src->at(), dst->dir(), dst->at(), 0) != 0)
      return fail(CauseOfErrno(errno), errno);
    return change.Moved(*src, *dst);
  }

  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    NamesChange change(*this);
    auto src = ResolveEntry(from);
    auto dst = ResolveEntry(to);
    if (!src || !dst) return Outcome::Failed(Operation::kCopy, !src ? from : to, Cause::kOutside);
    Outcome copied = CopyHost(src->host, dst->host, overwrite);
    // A failure to read names the source, every other the target.
    if (!copied) return copied.InFile(copied.operation() == Operation::kRead ? from : to);
    return change.Made(*dst);
  }

  Outcome Remove(std::string_view path) override {
    NamesChange change(*this);
    auto fail = [&](Cause cause, int error = 0) {
      return Outcome::Failed(Operation::kRemove, path, cause, error);
    };
    auto entry = ResolveEntry(path);
    if (!entry) return fail(Cause::kOutside);
    struct stat st = entry->st;
    if (!entry->found && StatAt(entry->dir(), entry->at(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      return fail(CauseOfErrno(errno), errno);
    if (S_ISDIR(st.st_mode)) return fail(Cause::kNotAFile);
    if ((st.st_mode & S_IWUSR) == 0) return fail(Cause::kReadOnly);  // as Windows refuses
    if (UnlinkAt(entry->dir(), entry->at(), 0) != 0) return fail(CauseOfErrno(errno), errno);
    return change.Gone(*entry);
  }

  Outcome MakeFolder(std::string_view path) override {
    NamesChange change(*this);
    auto entry = ResolveEntry(path);
    if (!entry) return Outcome::Failed(Operation::kMakeFolder, path, Cause::kOutside);
    if (MakeFolderAt(entry->dir(), entry->at()) != 0) {
      // A folder that is there already changed nothing: the safety copies make their
      // folder before each move rather than ask first.
      if (errno == EEXIST) change.Keep();
      return Failure(Operation::kMakeFolder, errno, path);
    }
    return change.Made(*entry);
  }

  Outcome RemoveFolder(std::string_view path) override {
    NamesChange change(*this);
    auto entry = ResolveEntry(path);
    if (!entry) return Outcome::Failed(Operation::kRemoveFolder, path, Cause::kOutside);
    // A link to a folder is removed as a link, as Windows removes a folder link or
    // junction: what it leads to stays.
    if (entry->found && S_ISLNK(entry->st.st_mode)) {
      struct stat target;
      if (StatAt(entry->dir(), entry->at(), &target, 0) != 0 || !S_ISDIR(target.st_mode))
        return Outcome::Failed(Operation::kRemoveFolder, path, Cause::kNotAFile);
      if (UnlinkAt(entry->dir(), entry->at(), 0) != 0)
        return Failure(Operation::kRemoveFolder, errno, path);
      return {};
    }
    if (UnlinkAt(entry->dir(), entry->at(), AT_REMOVEDIR) != 0)
      return Failure(Operation::kRemoveFolder, errno, path);
    return {};
  }

  using FileSystem::Find;
  std::vector<DirEntry> Find(std::string_view pattern, std::uint32_t mask, Outcome& why) override {
    std::vector<DirEntry> found;
    PatternParts parts;
    if (!SplitPattern(pattern, parts)) return found;
    const std::string_view folder_part = parts.folder, name_pattern = parts.name;
    const bool names_only = (mask & kNamesOnly) != 0;
    // The system's error of a listing that failed (errno is read before the folder is named).
    auto failure = [this, folder_part](int error) {
      return Failure(Operation::kList, error, ListedFolder(folder_part));
    };
    auto folder = FolderToList(folder_part, IsAbsolute(pattern));
    if (!folder) {
      why = Outcome::Failed(Operation::kList, ListedFolder(folder_part),
                            HasDrive(folder_part) ? Cause::kBadName : Cause::kOutside);
      return found;
    }
    if (!*folder) return found;  // a folder that does not exist holds nothing
    const Folder& dir = *folder;
    int fd = dir->fd >= 0 ? ListOpen(dir->fd, ".") : ListOpen(AT_FDCWD, dir->host.c_str());
    if (fd < 0) {
      // A folder that does not exist holds nothing.
      if (errno != ENOENT && errno != ENOTDIR) why = failure(errno);
      return found;
    }
    // A listing read whole brings the one kept for the lookups up to date.
    Listing* kept = KeptListing(dir->host);
    Listing names;
    Outcome failed;  // a listing cut short lists nothing
    const std::string proc = ProcPath(fd);
    bool listed = ReadFolder(fd, [&](const char* disk_name, unsigned char type) {
      if (!failed) return;
      std::string name = CoreName(disk_name);
      if (kept != nullptr) names.push_back({name, disk_name});
      if (!MatchPattern(name_pattern, name)) return;
      DirEntry entry;
      struct stat st;
      if (names_only && type != DT_UNKNOWN && type != DT_LNK) {
        entry.attributes = type == DT_DIR ? kDirectory : 0u;
      } else {
        if (StatAt(fd, disk_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
          // An entry removed meanwhile is not listed.
          if (errno != ENOENT && errno != ENOTDIR) failed = failure(errno);
          return;
        }
        const bool link = S_ISLNK(st.st_mode);
        if (link && StatAt(fd, disk_name, &st, 0) != 0) {
          // A link that leads nowhere is not listed.
          if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP) failed = failure(errno);
          return;
        }
        if (names_only) {
          entry.attributes = (S_ISDIR(st.st_mode) ? kDirectory : 0u) | (link ? kReparsePoint : 0u);
        } else {
          entry.attributes = AttributesOf(
              proc.empty() ? dir->host + "/" + disk_name : proc + "/" + disk_name, name, st, link);
          entry.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
          FatStamp(st.st_mtime, &entry.fat_date, &entry.fat_time);
        }
      }
      std::uint32_t special = entry.attributes & (kHidden | kSystem | kDirectory);
      if ((special & ~mask) != 0) return;
      entry.name = std::move(name);
      found.push_back(std::move(entry));
    });
    if (!listed && failed) failed = failure(errno);
    CloseFd(fd);
    if (!failed) {
      why = std::move(failed);
      found.clear();
    } else if (kept != nullptr) {
      *kept = std::move(names);
    }
    return found;
  }

  std::string TempFolder() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    auto core = Utf8ToCp1252(folder);
    if (!core) return std::string();
    if (core->back() != '/') *core += '/';
    return *core;
  }

  bool Busy(std::string_view path) override {
    auto entry = ResolveEntry(path);
    if (!entry) return false;
    int fd = OpenAt(entry->dir(), entry->at(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno != ENOENT && errno != ENOTDIR;
    struct flock lock = {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    NoteHostCall(HostCall::kOther);
    bool busy = ::fcntl(fd, F_OFD_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES);
    CloseFd(fd);
    return busy;
  }

  int CurrentYear() override {
    std::time_t now = std::time(nullptr);
    struct tm tm;
    if (::localtime_r(&now, &tm) == nullptr) return 1970;
    return tm.tm_year + 1900;
  }

  void Pause(int milliseconds) override {
    struct timespec ts = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }

  std::string Root() const override {
    auto core = Utf8ToCp1252(root_);
    return core ? *core : root_;
  }

  std::string RealRoot() const override {
    auto core = Utf8ToCp1252(real_root_);
    return core ? *core : real_root_;
  }

 private:
  static constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

  // A core path resolved on the host, each existing component matched without regard to
  // case. Nothing for a path that cannot name an entry: a drive prefix (not on this host) or
  // a relative path that climbs out of the data folder.
  std::optional<Entry> ResolveEntry(std::string_view path) {
    if (HasDrive(path)) return std::nullopt;
    const bool absolute = IsAbsolute(path);
    auto parts = SplitPath(path);
    if (Plain(parts) && (!absolute || parts.size() > 1)) {
      auto folder = FolderOf(parts, parts.size() - 1, absolute);
      if (!folder) return std::nullopt;
      if (*folder) return InFolder(*folder, parts.back());
      // A folder on the way does not exist (or is no folder): neither does the entry.
    }
    return Walk(parts, parts.size(), absolute);
  }

  // The key of the folder made of the first n components ("R00\0001\"; "\tmp\" for an
  // absolute path).
  static std::string FolderKey(const std::vector<std::string_view>& parts, std::size_t n,
                               bool absolute) {
    std::string key = absolute ? "\\" : "";
    for (std::size_t i = 0; i < n; ++i) {
      key += parts[i];
      key += '\\';
    }
    return key;
  }

  // The folder made of the first n components of a path without "." or "..": nothing when a
  // link on the way leads out of the data folder; null when it does not exist (or is no
  // folder).
  // Folders are kept once resolved: the company loop works in one folder after another, and
  // the safety copies go to one folder of the temporary folder after another.
  std::optional<Folder> FolderOf(const std::vector<std::string_view>& parts, std::size_t n,
                                 bool absolute = false) {
    if (n == 0 && !absolute) return root_folder_;
    std::string key = FolderKey(parts, n, absolute);
    if (auto it = folders_.find(key); it != folders_.end()) return it->second;
    Folder folder;
    if (!absolute && root_folder_->fd >= 0 && openat2_) {
      // The path as written, without links: each component that exists under its exact
      // name is what the lookup without regard to case would choose.
      std::string relative;
      for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) relative += '/';
        relative += Cp1252ToUtf8(parts[i]);
      }
      int fd = OpenBeneath(root_folder_->fd, relative.c_str(), kFolderFlags,
                           RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS);
      if (fd >= 0) {
        folder = std::make_shared<FolderHandle>(root_ + "/" + relative, fd);
      } else if (errno == ENOSYS || errno == EPERM) {
        openat2_ = false;  // a kernel (or a container's filter) without openat2
      }
    }
    if (!folder) {
      // A component in another letter case, a link, a folder that is missing, or a folder
      // outside the data folder (the temporary folder): each component is looked up in turn.
      auto entry = Walk(parts, n, absolute);
      if (!entry) return std::nullopt;
      if (!entry->found) return Folder();
      int fd = OpenAt(AT_FDCWD, entry->host.c_str(), kFolderFlags);
      if (fd < 0) return Folder();
      folder = std::make_shared<FolderHandle>(entry->host, fd, !absolute);
    }
    if (folders_.size() >= kCachedFolders) folders_.clear();
    folders_.emplace(std::move(key), folder);
    return folder;
  }

  // The entry of a resolved folder named part: its exact name first, else the first entry
  // in directory order whose name differs only in case.
  std::optional<Entry> InFolder(const Folder& folder, std::string_view part) {
    Entry entry;
    entry.folder = folder;
    entry.name = Cp1252ToUtf8(part);
    entry.host = folder->host + "/" + entry.name;
    if (StatAt(entry.dir(), entry.at(), &entry.st, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.found = true;
    } else if (auto match = LookUp(folder->host, folder->fd, part)) {
      entry.name = *match;
      entry.host = folder->host + "/" + *match;
      entry.found = StatAt(entry.dir(), entry.at(), &entry.st, AT_SYMLINK_NOFOLLOW) == 0;
    }
    if (!entry.found) entry.st = {};
    // A link inside the data folder may not lead out of it.
    if (entry.found && folder->inside && S_ISLNK(entry.st.st_mode) && !LeadsInside(entry.host))
      return std::nullopt;
    return entry;
  }

  // The lookup of the first n components one at a time, for absolute paths, paths with "."
  // or "..", and folders that the direct opening did not find.
  std::optional<Entry> Walk(const std::vector<std::string_view>& parts, std::size_t n,
                            bool absolute) {
    Entry entry;
    entry.host = absolute ? std::string() : root_;
    bool exists = true;  // while every component so far exists, look the next one up
    for (std::size_t i = 0; i < n; ++i) {
      std::string_view part = parts[i];
      if (part == "." || part == "..") {
        if (!absolute) return std::nullopt;
        entry.host += '/';
        entry.host += part;
        continue;
      }
      std::string exact = entry.host + "/" + Cp1252ToUtf8(part);
      struct stat st;
      if (!exists) {
        entry.host = std::move(exact);
        continue;
      }
      if (StatAt(AT_FDCWD, exact.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        entry.host = std::move(exact);
      } else if (auto match = LookUp(entry.host.empty() ? "/" : entry.host, -1, part)) {
        entry.host += "/" + *match;
        if (StatAt(AT_FDCWD, entry.host.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) st.st_mode = 0;
      } else {
        exists = false;
        entry.host = std::move(exact);
        continue;
      }
      // A link inside the data folder may not lead out of it.
      if (S_ISLNK(st.st_mode) && !absolute && !LeadsInside(entry.host)) return std::nullopt;
      if (i + 1 == n) {
        entry.found = st.st_mode != 0;
        entry.st = st;
      }
    }
    if (n == 0) {
      entry.found = StatAt(AT_FDCWD, entry.host.empty() ? "/" : entry.host.c_str(), &entry.st,
                           AT_SYMLINK_NOFOLLOW) == 0;
    }
    if (entry.host.empty()) entry.host = "/";
    return entry;
  }

  // The folder that a search lists: nothing when its path cannot name a folder of the data
  // folder; null when it does not exist.
  std::optional<Folder> FolderToList(std::string_view folder, bool absolute) {
    if (HasDrive(folder)) return std::nullopt;
    auto parts = SplitPath(folder);
    if (parts.empty() && !absolute) return root_folder_;
    if (Plain(parts)) return FolderOf(parts, parts.size(), absolute);
    auto entry = Walk(parts, parts.size(), absolute);
    if (!entry) return std::nullopt;
    return std::make_shared<FolderHandle>(entry->host, -1);
  }

  // Opens a folder for listing.
  static int ListOpen(int dir, const char* path) {
    NoteHostCall(HostCall::kList);
    return ::openat(dir, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }

  // The path in /proc that leads to what the descriptor names (its extended attributes are
  // read through it); empty where /proc is not there.
  std::string ProcPath(int fd) const {
    return proc_fds_ ? "/proc/self/fd/" + std::to_string(fd) : std::string();
  }
  std::string XattrPath(const Entry& entry) const {
    if (entry.dir() == AT_FDCWD || !proc_fds_) return entry.host;
    return ProcPath(entry.dir()) + "/" + entry.name;
  }

  // ---- Caches ----------------------------------------------------------------------------
  // The resolved folders and the listings of the folders last looked in. Both assume that
  // no other program renames or creates folders, or creates a file under a name that
  // differs only in case, while the converter holds the data folder; a file's own name is
  // always looked up on the disk first. A change of names by the converter is carried into
  // the listing of its folder; a folder renamed or removed, or a change that failed, forgets
  // every folder and listing.

  // A listing: the core name and the disk name of every entry, in directory order.
  using Listing = std::vector<std::pair<std::string, std::string>>;

  void NamesChanged() {
    folders_.clear();
    listings_.clear();
  }
  // Where the listing of a host folder is kept, or the end.
  auto KeptAt(const std::string& folder) {
    return std::find_if(listings_.begin(), listings_.end(),
                        [&](const auto& kept) { return kept.first == folder; });
  }
  // The kept listing of a host folder, without changing which is the most recently used.
  Listing* ListingOf(const std::string& folder) {
    auto it = KeptAt(folder);
    return it == listings_.end() ? nullptr : &it->second;
  }
  // An entry made by the converter: listed last, where a listing read again would show it
  // too, since nothing of another name in any case was there (the lookup found none).
  void ListingAdds(const std::string& folder, const std::string& disk_name) {
    Listing* kept = ListingOf(folder);
    if (kept == nullptr) return;
    auto same = [&](const auto& entry) { return entry.second == disk_name; };
    if (std::none_of(kept->begin(), kept->end(), same))
      kept->push_back({CoreName(disk_name.c_str()), disk_name});
  }
  void ListingDrops(const std::string& folder, const std::string& disk_name) {
    if (Listing* kept = ListingOf(folder)) {
      std::erase_if(*kept, [&](const auto& entry) { return entry.second == disk_name; });
    }
  }

  // The listing of a host folder when it is kept, the most recently used first.
  Listing* KeptListing(const std::string& folder) {
    auto it = KeptAt(folder);
    if (it == listings_.end()) return nullptr;
    std::rotate(listings_.begin(), it, it + 1);
    return &listings_.front().second;
  }

  // The disk name of the entry of folder whose name equals name without regard to case,
  // the first in directory order.
  std::optional<std::string> LookUp(const std::string& folder, int fd, std::string_view name) {
    Listing* listing = KeptListing(folder);
    if (listing == nullptr) {
      int dir = fd >= 0 ? ListOpen(fd, ".") : ListOpen(AT_FDCWD, folder.c_str());
      if (dir < 0) return std::nullopt;
      Listing read;
      ReadFolder(dir, [&](const char* disk_name, unsigned char) {
        read.push_back({CoreName(disk_name), disk_name});
      });
      CloseFd(dir);
      if (listings_.size() >= kCachedListings) listings_.pop_back();
      listings_.insert(listings_.begin(), {folder, std::move(read)});
      listing = &listings_.front().second;
    }
    for (const auto& [core, disk] : *listing) {
      if (SameName(core, name)) return disk;
    }
    return std::nullopt;
  }

  // Notes a change of names that succeeded in the listings kept; unless told, forgets
  // every folder and listing at its end, whatever the outcome.
  class NamesChange {
   public:
    explicit NamesChange(PosixFileSystem& fs) : fs_(fs) {}
    ~NamesChange() {
      if (!kept_) fs_.NamesChanged();
    }
    NamesChange(const NamesChange&) = delete;
    NamesChange& operator=(const NamesChange&) = delete;
    // Nothing changed.
    Outcome Keep() {
      kept_ = true;
      return {};
    }
    // The entry was made (a file, a folder, a copy, or one replaced), or is gone: the
    // listing of its folder, when kept, follows the change, so that a company folder of
    // hundreds of files is not read again after each file the step writes there; the
    // folders stay resolved.
    Outcome Made(const Entry& entry) {
      fs_.ListingAdds(entry.parent(), entry.leaf());
      return Keep();
    }
    Outcome Gone(const Entry& entry) {
      fs_.ListingDrops(entry.parent(), entry.leaf());
      return Keep();
    }
    // A file moved from one name to another.
    Outcome Moved(const Entry& from, const Entry& to) {
      Gone(from);
      return Made(to);
    }

   private:
    PosixFileSystem& fs_;
    bool kept_ = false;
  };

  // Notes a file that an opening created.
  void Created(const Entry& entry) {
    NamesChange change(*this);
    change.Made(entry);
  }

  // ---- Openings --------------------------------------------------------------------------

  // Opens an existing file of the data folder by its exact name in its folder, without
  // looking at the name first: the company loop opens the 29 yearly files of one folder in
  // turn, and on a file server each query is a round trip. Nothing when that cannot
  // decide; the full lookup then runs. A null file when the file does not exist or the
  // opening is refused, the cause left in quick_failure_.
  std::optional<std::unique_ptr<File>> OpenExact(std::string_view path, Access access) {
    if (HasDrive(path) || IsAbsolute(path)) return std::nullopt;
    auto parts = SplitPath(path);
    if (!Plain(parts)) return std::nullopt;
    auto folder = FolderOf(parts, parts.size() - 1);
    if (!folder) return std::nullopt;
    if (!*folder) {
      // A folder on the way does not exist: neither does the file.
      quick_failure_ = Cause::kNotFound;
      quick_errno_ = ENOENT;
      return nullptr;
    }
    const Folder& dir = *folder;
    if (dir->fd < 0) return std::nullopt;
    // A link is left to the full lookup, which checks where it leads. The opening does not
    // wait: not for a pipe's writer, and not for a lease that a file server holds on the
    // file for a workstation (the full lookup then opens it and waits for the server).
    const int flags =
        O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (access == Access::kRead ? O_RDONLY : O_RDWR);
    int fd = OpenAt(dir->fd, Cp1252ToUtf8(parts.back()).c_str(), flags);
    if (fd < 0) {
      // Not under its exact name and not under another letter case: it does not exist.
      if (errno == ENOENT && !LookUp(dir->host, dir->fd, parts.back())) {
        quick_failure_ = Cause::kNotFound;
        quick_errno_ = ENOENT;
        return nullptr;
      }
      return std::nullopt;
    }
    struct stat st;
    if (StatFd(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      CloseFd(fd);
      return std::nullopt;
    }
    if (access != Access::kRead && (st.st_mode & S_IWUSR) == 0) {
      CloseFd(fd);  // read-only: refused, as on Windows
      quick_failure_ = Cause::kReadOnly;
      quick_errno_ = 0;
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd, static_cast<std::uint64_t>(st.st_size));
  }

  // The folder part of a search pattern as a failure names it: without its final separator,
  // the data folder by its own name.
  std::string ListedFolder(std::string_view folder) const {
    while (folder.size() > 1 && IsSeparator(folder.back())) folder.remove_suffix(1);
    return folder.empty() ? Root() : std::string(folder);
  }

  // Whether a link's target lies in the data folder (or is the data folder).
  bool LeadsInside(const std::string& host) const {
    NoteHostCall(HostCall::kQuery);
    char* real = ::realpath(host.c_str(), nullptr);
    if (real == nullptr) return false;  // a dangling link could create a file anywhere
    std::string target = real;
    std::free(real);
    return target == real_root_ || (target.size() > real_root_.size() &&
                                    target.compare(0, real_root_.size(), real_root_) == 0 &&
                                    target[real_root_.size()] == '/');
  }

  // Copies a host file; the outcome names no file (the caller knows which is which) and
  // tells by its operation whether reading the source (kRead) or making the target failed.
  static Outcome CopyHost(const std::string& src, const std::string& dst, bool overwrite) {
    int in = OpenAt(AT_FDCWD, src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return Failure(Operation::kRead, errno);
    struct stat st;
    if (StatFd(in, &st) != 0 || !S_ISREG(st.st_mode)) {
      CloseFd(in);
      return Outcome::Failed(Operation::kRead, "", Cause::kNotAFile);
    }
    struct stat target;
    if (overwrite && StatAt(AT_FDCWD, dst.c_str(), &target, 0) == 0 &&
        (target.st_mode & S_IWUSR) == 0) {
      CloseFd(in);
      // Windows refuses to overwrite a read-only target.
      return Outcome::Failed(Operation::kCopy, "", Cause::kReadOnly);
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    int out = OpenAt(AT_FDCWD, dst.c_str(), flags, st.st_mode & 0777);
    if (out < 0) {
      Outcome failed = Failure(Operation::kCopy, errno);
      CloseFd(in);
      return failed;
    }
    std::vector<char> buf(1 << 20);
    Outcome copied;
    while (copied) {
      NoteHostCall(HostCall::kRead);
      ssize_t got = ::read(in, buf.data(), buf.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        copied = Failure(Operation::kRead, errno);
        break;
      }
      if (got == 0) break;
      for (ssize_t done = 0; done < got;) {
        NoteHostCall(HostCall::kWrite);
        ssize_t put = ::write(out, buf.data() + done, static_cast<std::size_t>(got - done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
          copied = put < 0 ? Failure(Operation::kWrite, errno)
                           : Outcome::Failed(Operation::kWrite, "", Cause::kShortWrite);
          break;
        }
        done += put;
      }
    }
    // The copy keeps the last-write stamp, as a Windows copy does.
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    NoteHostCall(HostCall::kChange);
    if (copied && ::futimens(out, times) != 0) copied = Failure(Operation::kCopy, errno);
    if (CloseFd(out) != 0 && copied) copied = Failure(Operation::kClose, errno);
    CloseFd(in);
    if (!copied) UnlinkAt(AT_FDCWD, dst.c_str(), 0);
    return copied;
  }

  std::string root_;
  std::string real_root_;  // the data folder with every link resolved
  Folder root_folder_;
  bool openat2_ = true;   // false once the kernel has refused openat2
  bool proc_fds_ = true;  // /proc/self/fd is there

  // Resolved folders by the core path that leads to them ("R00\\0001\\"), holding a handle
  // each: dropped whole when full. Listings (core name, disk name) of the folders last
  // looked in, by host folder, the most recently used first.
  static constexpr std::size_t kCachedFolders = 64;
  static constexpr std::size_t kCachedListings = 8;
  std::unordered_map<std::string, Folder> folders_;
  std::vector<std::pair<std::string, Listing>> listings_;
  // Why the last opening by exact name was refused.
  Cause quick_failure_ = Cause::kNone;
  int quick_errno_ = 0;
};

}  // namespace

std::unique_ptr<FileSystem> OpenHostFileSystem(const std::string& data_folder) {
  return std::make_unique<PosixFileSystem>(data_folder);
}

}  // namespace livrana::platform
