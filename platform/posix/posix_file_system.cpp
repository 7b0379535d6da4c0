// The file system of a Linux host with the semantics of the Windows file system, so that
// the converter can run on the file server that holds the data folder.
//
// Names are Windows-1252 in the core and UTF-8 on disk, as a Samba server stores them.
// Every path component is looked up without regard to letter case, an exact match
// winning; components that do not exist are created with the case the caller gave.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/cp1252.h"
#include "platform/file_system.h"

namespace livrana::platform {
namespace {

// A failure of the system call just made, the file named by the caller.
Outcome Failure(Operation operation, int error, std::string_view path = {}) {
  return Outcome::Failed(operation, path, CauseOfErrno(error), error);
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
      ssize_t got = ::pread(fd_, buf + done, n - done, static_cast<off_t>(pos + done));
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
      ssize_t put = ::pwrite(fd_, buf + done, n - done, static_cast<off_t>(pos + done));
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
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
  }

  Outcome Truncate(std::uint64_t size) override {
    opened_size_.reset();
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
      return Failure(Operation::kTruncate, errno);
    return {};
  }

  Outcome Sync() override {
    if (::fsync(fd_) != 0) return Failure(Operation::kSync, errno);
    return {};
  }

  Outcome Close() override {
    if (fd_ < 0) return {};
    int rc = ::close(fd_);
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

// The Windows-1252 form of a name read from the disk; a name that is not UTF-8 is taken
// byte for byte.
std::string CoreName(const char* disk_name) {
  auto name = Utf8ToCp1252(disk_name);
  return name ? *name : std::string(disk_name);
}

// The DOS attributes that Samba keeps in an extended attribute, when present.
std::uint32_t SambaAttributes(const std::string& host_path) {
  char value[64];
  ssize_t len = ::getxattr(host_path.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
  if (len <= 2) return 0;
  value[len] = '\0';
  if (value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
  return static_cast<std::uint32_t>(std::strtoul(value + 2, nullptr, 16)) &
         (kHidden | kSystem | kArchive);
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

class PosixFileSystem final : public FileSystem {
 public:
  explicit PosixFileSystem(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
    if (root_.empty()) root_ = ".";
    char* real = ::realpath(root_.c_str(), nullptr);
    real_root_ = real != nullptr ? real : root_;
    std::free(real);
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
      if (auto quick = OpenInKnownFolder(path, access)) {
        if (!*quick) return fail(quick_failure_, quick_errno_);
        return std::move(*quick);
      }
    }
    auto entry = ResolveEntry(path);
    if (!entry) return fail(HasDrive(path) ? Cause::kBadName : Cause::kOutside);
    if (!entry->found && !creates) return fail(Cause::kNotFound, ENOENT);
    const std::string& host = entry->host;
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
      if (S_ISLNK(before.st_mode) && ::stat(host.c_str(), &before) != 0)
        return fail(CauseOfErrno(errno), errno);
      // Only a plain file opens as a file: a folder, a pipe (whose opening would wait for
      // a writer) or a device is refused before it is opened.
      if (!S_ISREG(before.st_mode)) return fail(Cause::kNotAFile);
      // The read-only attribute refuses every opening that may write, as on Windows (and
      // also for a process that the permission bits would not stop).
      if (access != Access::kRead && (before.st_mode & S_IWUSR) == 0) return fail(Cause::kReadOnly);
    }
    int fd = ::open(host.c_str(), flags, 0666);
    if (fd < 0) return fail(CauseOfErrno(errno), errno);
    if (!entry->found) NamesChanged();
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return fail(Cause::kNotAFile);
    }
    return std::make_unique<PosixFile>(fd, static_cast<std::uint64_t>(st.st_size));
  }

  std::optional<std::uint32_t> Attributes(std::string_view path) override {
    auto entry = ResolveEntry(path);
    if (!entry || !entry->found) return std::nullopt;
    struct stat st = entry->st;
    const bool link = S_ISLNK(st.st_mode);
    if (link && ::stat(entry->host.c_str(), &st) != 0) return std::nullopt;
    auto parts = SplitPath(path);
    std::string name = parts.empty() ? std::string() : std::string(parts.back());
    return AttributesOf(entry->host, name, st, link);
  }

  Outcome SetReadOnly(std::string_view path, bool read_only) override {
    auto host = Resolve(path);
    if (!host) return Outcome::Failed(Operation::kAttributes, path, Cause::kOutside);
    struct stat st;
    if (::stat(host->c_str(), &st) != 0) return Failure(Operation::kAttributes, errno, path);
    mode_t mode = st.st_mode & 07777;
    mode = read_only ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    if (::chmod(host->c_str(), mode) != 0) return Failure(Operation::kAttributes, errno, path);
    return {};
  }

  Outcome Rename(std::string_view from, std::string_view to) override {
    NamesChange change(*this);
    auto fail = [&](Cause cause, int error = 0) {
      return Outcome::Failed(Operation::kRename, from, cause, error);
    };
    auto src = Resolve(from);
    auto dst = Resolve(to);
    if (!src || !dst) return fail(Cause::kOutside);
    struct stat s1, s2;
    if (::lstat(src->c_str(), &s1) != 0) return fail(CauseOfErrno(errno), errno);
    if (::lstat(dst->c_str(), &s2) == 0) {
      // The target exists. Only a change of letter case of the same entry goes on.
      if (s1.st_dev != s2.st_dev || s1.st_ino != s2.st_ino) return fail(Cause::kExists, EEXIST);
      std::string wanted = WithLastComponent(*dst, to);
      if (wanted == *src || ::rename(src->c_str(), wanted.c_str()) == 0) return {};
      return fail(CauseOfErrno(errno), errno);
    }
    if (::renameat2(AT_FDCWD, src->c_str(), AT_FDCWD, dst->c_str(), RENAME_NOREPLACE) == 0)
      return {};
    if (errno == EINVAL || errno == ENOSYS) {
      // A file system without the no-replace rename: link and unlink keep the guarantee
      // for files; folders were checked just above.
      if (S_ISDIR(s1.st_mode)) {
        if (::rename(src->c_str(), dst->c_str()) == 0) return {};
        return fail(CauseOfErrno(errno), errno);
      }
      if (::link(src->c_str(), dst->c_str()) != 0) return fail(CauseOfErrno(errno), errno);
      if (::unlink(src->c_str()) != 0) return fail(CauseOfErrno(errno), errno);
      return {};
    }
    if (errno == EXDEV && S_ISREG(s1.st_mode)) {
      // Across file systems a file is copied and the source deleted only when the copy is
      // complete, as Windows moves a file between volumes; a folder does not move.
      if (Outcome copied = CopyHost(*src, *dst, false); !copied) return copied.InFile(from);
      if (::unlink(src->c_str()) != 0) {
        int error = errno;
        ::unlink(dst->c_str());
        return fail(CauseOfErrno(error), error);
      }
      return {};
    }
    return fail(CauseOfErrno(errno), errno);
  }

  Outcome Replace(std::string_view from, std::string_view to) override {
    NamesChange change(*this);
    auto fail = [&](Cause cause, int error = 0) {
      return Outcome::Failed(Operation::kRename, from, cause, error);
    };
    auto src = Resolve(from);
    auto dst = Resolve(to);
    if (!src || !dst) return fail(Cause::kOutside);
    struct stat s1, s2;
    if (::lstat(src->c_str(), &s1) != 0) return fail(CauseOfErrno(errno), errno);
    if (!S_ISREG(s1.st_mode)) return fail(Cause::kNotAFile);
    if (::lstat(dst->c_str(), &s2) == 0) {
      if (S_ISDIR(s2.st_mode)) return fail(Cause::kNotAFile);
      if ((s2.st_mode & S_IWUSR) == 0) return fail(Cause::kReadOnly);  // as Windows refuses
    }
    if (::rename(src->c_str(), dst->c_str()) != 0) return fail(CauseOfErrno(errno), errno);
    return {};
  }

  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    NamesChange change(*this);
    auto src = Resolve(from);
    auto dst = Resolve(to);
    if (!src || !dst) return Outcome::Failed(Operation::kCopy, !src ? from : to, Cause::kOutside);
    Outcome copied = CopyHost(*src, *dst, overwrite);
    // A failure to read names the source, every other the target.
    return copied.InFile(copied.operation() == Operation::kRead ? from : to);
  }

  Outcome Remove(std::string_view path) override {
    NamesChange change(*this);
    auto fail = [&](Cause cause, int error = 0) {
      return Outcome::Failed(Operation::kRemove, path, cause, error);
    };
    auto host = Resolve(path);
    if (!host) return fail(Cause::kOutside);
    struct stat st;
    if (::lstat(host->c_str(), &st) != 0) return fail(CauseOfErrno(errno), errno);
    if (S_ISDIR(st.st_mode)) return fail(Cause::kNotAFile);
    if ((st.st_mode & S_IWUSR) == 0) return fail(Cause::kReadOnly);  // as Windows refuses
    if (::unlink(host->c_str()) != 0) return fail(CauseOfErrno(errno), errno);
    return {};
  }

  Outcome MakeFolder(std::string_view path) override {
    NamesChange change(*this);
    auto host = Resolve(path);
    if (!host) return Outcome::Failed(Operation::kMakeFolder, path, Cause::kOutside);
    if (::mkdir(host->c_str(), 0777) != 0) return Failure(Operation::kMakeFolder, errno, path);
    return {};
  }

  Outcome RemoveFolder(std::string_view path) override {
    NamesChange change(*this);
    auto host = Resolve(path);
    if (!host) return Outcome::Failed(Operation::kRemoveFolder, path, Cause::kOutside);
    // A link to a folder is removed as a link, as Windows removes a folder link or
    // junction: what it leads to stays.
    struct stat st, target;
    if (::lstat(host->c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      if (::stat(host->c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
        return Outcome::Failed(Operation::kRemoveFolder, path, Cause::kNotAFile);
      if (::unlink(host->c_str()) != 0) return Failure(Operation::kRemoveFolder, errno, path);
      return {};
    }
    if (::rmdir(host->c_str()) != 0) return Failure(Operation::kRemoveFolder, errno, path);
    return {};
  }

  using FileSystem::Find;
  std::vector<DirEntry> Find(std::string_view pattern, std::uint32_t mask, Outcome& why) override {
    std::vector<DirEntry> found;
    PatternParts parts;
    if (!SplitPattern(pattern, parts)) return found;
    const std::string_view folder = parts.folder, name_pattern = parts.name;
    auto host_folder =
        folder.empty() && !IsAbsolute(pattern) ? std::optional(root_) : Resolve(folder);
    // The system's error of a listing that failed (errno is read before the folder is named).
    auto failure = [this, folder](int error) {
      return Failure(Operation::kList, error, ListedFolder(folder));
    };
    if (!host_folder) {
      why = Outcome::Failed(Operation::kList, ListedFolder(folder),
                            HasDrive(folder) ? Cause::kBadName : Cause::kOutside);
      return found;
    }
    DIR* dir = ::opendir(host_folder->c_str());
    if (dir == nullptr) {
      // A folder that does not exist holds nothing.
      if (errno != ENOENT && errno != ENOTDIR) why = failure(errno);
      return found;
    }
    Outcome failed;  // a listing cut short lists nothing
    for (;;) {
      errno = 0;
      struct dirent* ent = ::readdir(dir);
      if (ent == nullptr) {
        if (errno != 0) failed = failure(errno);
        break;
      }
      std::string disk_name = ent->d_name;
      if (disk_name == "." || disk_name == "..") continue;
      std::string name = CoreName(ent->d_name);
      if (!MatchPattern(name_pattern, name)) continue;
      std::string host = *host_folder + "/" + disk_name;
      struct stat st;
      if (::stat(host.c_str(), &st) != 0) {
        // A link that leads nowhere, or an entry removed meanwhile, is not listed.
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) continue;
        failed = failure(errno);
        break;
      }
      DirEntry entry;
      entry.name = name;
      entry.attributes = AttributesOf(host, name, st);
      std::uint32_t special = entry.attributes & (kHidden | kSystem | kDirectory);
      if ((special & ~mask) != 0) continue;
      entry.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
      FatStamp(st.st_mtime, &entry.fat_date, &entry.fat_time);
      found.push_back(std::move(entry));
    }
    ::closedir(dir);
    if (!failed) {
      why = std::move(failed);
      found.clear();
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
    auto host = Resolve(path);
    if (!host) return false;
    int fd = ::open(host->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno != ENOENT && errno != ENOTDIR;
    struct flock lock = {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    bool busy = ::fcntl(fd, F_OFD_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES);
    ::close(fd);
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
  // A core path resolved on the host: its host path and, when the entry exists, what
  // lstat says of it.
  struct Entry {
    std::string host;
    bool found = false;
    struct stat st = {};
  };

  // The host path of a core path, each existing component matched without regard to case.
  // Nothing for a path that cannot name an entry: a drive prefix (not on this host) or a
  // relative path that climbs out of the data folder.
  std::optional<std::string> Resolve(std::string_view path) const {
    auto entry = ResolveEntry(path);
    if (!entry) return std::nullopt;
    return std::move(entry->host);
  }

  // Whether the folders of path may be kept in the cache of resolved folders: a path of a
  // file inside a folder, without "." or "..".
  static bool Cacheable(const std::vector<std::string_view>& parts) {
    return parts.size() > 1 &&
           std::none_of(parts.begin(), parts.end(), [](auto p) { return p == "." || p == ".."; });
  }
  // The key of the folder that holds the last component of parts.
  static std::string FolderKey(const std::vector<std::string_view>& parts, bool absolute) {
    std::string key = absolute ? "/" : "";
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      key += parts[i];
      key += '\\';
    }
    return key;
  }

  // Opens a file of a folder resolved before, by its exact name, without looking at the
  // name first: the company loop opens the 29 yearly files of one folder in turn, on a file
  // server each query is a round trip. Nothing when that cannot decide; the full lookup
  // then runs. A null file when the file does not exist or the opening is refused, the
  // cause left in quick_failure_.
  std::optional<std::unique_ptr<File>> OpenInKnownFolder(std::string_view path, Access access) {
    if (HasDrive(path)) return std::nullopt;
    auto parts = SplitPath(path);
    if (!Cacheable(parts)) return std::nullopt;
    auto it = folders_.find(FolderKey(parts, IsAbsolute(path)));
    if (it == folders_.end()) return std::nullopt;
    const std::string host = it->second + "/" + Cp1252ToUtf8(parts.back());
    // A link is left to the full lookup, which checks where it leads. The opening does not
    // wait: not for a pipe's writer, and not for a lease that a file server holds on the
    // file for a workstation (the full lookup then opens it and waits for the server).
    const int flags =
        O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (access == Access::kRead ? O_RDONLY : O_RDWR);
    int fd = ::open(host.c_str(), flags);
    if (fd < 0) {
      // Not under its exact name and not under another letter case: it does not exist.
      if (errno == ENOENT && !LookUp(it->second, parts.back())) {
        quick_failure_ = Cause::kNotFound;
        quick_errno_ = ENOENT;
        return nullptr;
      }
      return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return std::nullopt;
    }
    if (access != Access::kRead && (st.st_mode & S_IWUSR) == 0) {
      ::close(fd);  // read-only: refused, as on Windows
      quick_failure_ = Cause::kReadOnly;
      quick_errno_ = 0;
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd, static_cast<std::uint64_t>(st.st_size));
  }

  std::optional<Entry> ResolveEntry(std::string_view path) const {
    if (HasDrive(path)) return std::nullopt;
    const bool absolute = IsAbsolute(path);
    auto parts = SplitPath(path);
    Entry entry;
    entry.host = absolute ? std::string() : root_;
    std::size_t first = 0;
    // The folder that holds the entry, when it was resolved before: the company loop opens
    // the 29 yearly files of one folder in turn.
    std::string folder_key;
    const bool cacheable = Cacheable(parts);
    if (cacheable) {
      folder_key = FolderKey(parts, absolute);
      auto it = folders_.find(folder_key);
      if (it != folders_.end()) {
        entry.host = it->second;
        first = parts.size() - 1;
      }
    }
    bool exists = true;  // while every component so far exists, look the next one up
    for (std::size_t i = first; i < parts.size(); ++i) {
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
      if (::lstat(exact.c_str(), &st) == 0) {
        entry.host = std::move(exact);
      } else if (auto match = LookUp(entry.host.empty() ? "/" : entry.host, part)) {
        entry.host += "/" + *match;
        if (::lstat(entry.host.c_str(), &st) != 0) st.st_mode = 0;
      } else {
        exists = false;
        entry.host = std::move(exact);
        continue;
      }
      // A link inside the data folder may not lead out of it.
      if (S_ISLNK(st.st_mode) && !absolute && !LeadsInside(entry.host)) return std::nullopt;
      if (i + 1 == parts.size()) {
        entry.found = st.st_mode != 0;
        entry.st = st;
      } else if (cacheable && i + 2 == parts.size()) {
        if (folders_.size() >= kCachedFolders) folders_.clear();
        folders_.emplace(folder_key, entry.host);
      }
    }
    if (parts.empty()) {
      entry.found = ::lstat(entry.host.empty() ? "/" : entry.host.c_str(), &entry.st) == 0;
    }
    if (entry.host.empty()) entry.host = "/";
    return entry;
  }

  // Forgets every resolution and listing: called for every change of the names in the
  // tree (a new, renamed or removed entry), so that the caches never disagree with what
  // this process did. A file's own name is always looked up on the disk first; the caches
  // assume that no other program renames or creates folders, or creates a file under a
  // name that differs only in case, while the converter holds the data folder.
  void NamesChanged() {
    folders_.clear();
    listings_.clear();
  }
  // Calls NamesChanged at the end of an operation that may change names, whatever its
  // outcome.
  struct NamesChange {
    explicit NamesChange(PosixFileSystem& fs) : fs_(fs) {}
    ~NamesChange() { fs_.NamesChanged(); }
    NamesChange(const NamesChange&) = delete;
    NamesChange& operator=(const NamesChange&) = delete;
    PosixFileSystem& fs_;
  };

  // The folder part of a search pattern as a failure names it: without its final separator,
  // the data folder by its own name.
  std::string ListedFolder(std::string_view folder) const {
    while (folder.size() > 1 && IsSeparator(folder.back())) folder.remove_suffix(1);
    return folder.empty() ? Root() : std::string(folder);
  }

  // Whether a link's target lies in the data folder (or is the data folder).
  bool LeadsInside(const std::string& host) const {
    char* real = ::realpath(host.c_str(), nullptr);
    if (real == nullptr) return false;  // a dangling link could create a file anywhere
    std::string target = real;
    std::free(real);
    return target == real_root_ || (target.size() > real_root_.size() &&
                                    target.compare(0, real_root_.size(), real_root_) == 0 &&
                                    target[real_root_.size()] == '/');
  }

  // The disk name of the entry of folder whose name equals name without regard to case,
  // the first in directory order. The listings of the last few folders are kept.
  std::optional<std::string> LookUp(const std::string& folder, std::string_view name) const {
    auto it = listings_.find(folder);
    if (it == listings_.end()) {
      DIR* dir = ::opendir(folder.c_str());
      if (dir == nullptr) return std::nullopt;
      Listing listing;
      while (struct dirent* ent = ::readdir(dir)) {
        listing.push_back({CoreName(ent->d_name), ent->d_name});
      }
      ::closedir(dir);
      if (listings_.size() >= kCachedListings) listings_.clear();
      it = listings_.emplace(folder, std::move(listing)).first;
    }
    for (const auto& [core, disk] : it->second) {
      if (SameName(core, name)) return disk;
    }
    return std::nullopt;
  }

  // host with its last component replaced by the last component of the core path.
  static std::string WithLastComponent(const std::string& host, std::string_view path) {
    auto parts = SplitPath(path);
    std::size_t slash = host.rfind('/');
    return host.substr(0, slash + 1) + Cp1252ToUtf8(parts.empty() ? "" : parts.back());
  }

  static std::uint32_t AttributesOf(const std::string& host, const std::string& name,
                                    const struct stat& st) {
    struct stat entry;
    return AttributesOf(host, name, st,
                        ::lstat(host.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode));
  }

  // st: what stat says of the entry; link: whether the entry itself is a link.
  static std::uint32_t AttributesOf(const std::string& host, const std::string& name,
                                    const struct stat& st, bool link) {
    std::uint32_t attributes = SambaAttributes(host);
    if (link) attributes |= kReparsePoint;
    if (S_ISDIR(st.st_mode)) attributes |= kDirectory;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= kReadOnly;
    if (!name.empty() && name[0] == '.') attributes |= kHidden;
    if (attributes == 0) attributes = kArchive;
    return attributes;
  }

  // Copies a host file; the outcome names no file (the caller knows which is which) and
  // tells by its operation whether reading the source (kRead) or making the target failed.
  static Outcome CopyHost(const std::string& src, const std::string& dst, bool overwrite) {
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return Failure(Operation::kRead, errno);
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(in);
      return Outcome::Failed(Operation::kRead, "", Cause::kNotAFile);
    }
    struct stat target;
    if (overwrite && ::stat(dst.c_str(), &target) == 0 && (target.st_mode & S_IWUSR) == 0) {
      ::close(in);
      // Windows refuses to overwrite a read-only target.
      return Outcome::Failed(Operation::kCopy, "", Cause::kReadOnly);
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    int out = ::open(dst.c_str(), flags, st.st_mode & 0777);
    if (out < 0) {
      Outcome failed = Failure(Operation::kCopy, errno);
      ::close(in);
      return failed;
    }
    std::vector<char> buf(1 << 20);
    Outcome copied;
    while (copied) {
      ssize_t got = ::read(in, buf.data(), buf.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        copied = Failure(Operation::kRead, errno);
        break;
      }
      if (got == 0) break;
      for (ssize_t done = 0; done < got;) {
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
    if (copied && ::futimens(out, times) != 0) copied = Failure(Operation::kCopy, errno);
    if (::close(out) != 0 && copied) copied = Failure(Operation::kClose, errno);
    ::close(in);
    if (!copied) ::unlink(dst.c_str());
    return copied;
  }

  std::string root_;
  std::string real_root_;  // the data folder with every link resolved

  // Resolved folders by the core path that leads to them ("R00\\0001\\"), and directory
  // listings (core name, disk name) by host folder; both small and dropped whole when full.
  static constexpr std::size_t kCachedFolders = 1024;
  static constexpr std::size_t kCachedListings = 8;
  using Listing = std::vector<std::pair<std::string, std::string>>;
  mutable std::unordered_map<std::string, std::string> folders_;
  mutable std::unordered_map<std::string, Listing> listings_;
  // Why the last opening in a known folder was refused.
  Cause quick_failure_ = Cause::kNone;
  int quick_errno_ = 0;
};

}  // namespace

std::unique_ptr<FileSystem> OpenHostFileSystem(const std::string& data_folder) {
  return std::make_unique<PosixFileSystem>(data_folder);
}

}  // namespace livrana::platform
