// A preload library that injects faults at the operating-system boundary into a real run of
// livrana-convert, for tests/fault/fault_harness.sh. It counts the calls that change the file
// system (data written, files created or emptied, written files closed, syncs, renames,
// deletions, folders made and removed, sizes, attributes, stamps) and makes the K-th of them
// fail, or kills the process there.
//
//   LIVRANA_FAULT_AT=K        1-based number of the counted call that gets the fault
//                             (absent or 0: only count)
//   LIVRANA_FAULT_MODE=M      kill   SIGKILL just before call K
//                             enospc call K fails with ENOSPC, and from then on every call
//                                    that needs space fails the same way (a full disk)
//                             eio    call K fails with EIO; later calls work
//                             short  write K stores the first half of its bytes (rounded
//                                    down, at least one byte less than asked) and returns
//                                    that count; later calls that need space fail with
//                                    ENOSPC
//                             torn   write K stores the first half of its bytes, then the
//                                    process is killed
//                             interrupt  SIGINT (the user's Ctrl-C) just before call K,
//                                    which goes ahead
//                             A short or torn fault at a call that writes no data does
//                             nothing (the log says so).
//   LIVRANA_FAULT_COUNT=PATH  at exit, the number of counted calls is written there
//   LIVRANA_FAULT_LOG=PATH    one line per counted call, "K kind path", appended as the
//                             call is made; the injected fault as "! K mode kind path"
//
// Only calls on regular files, folders and links count: writes to a terminal, a pipe or
// a device, and every call on the descriptors 0 to 2 (standard input, output and error,
// whatever they lead to), are passed through uncounted. The library's own files are
// written with raw system calls and never count.
//
// The real calls are found with dlsym(RTLD_NEXT). The converter's tests build it with
// AddressSanitizer, whose runtime (libasan, loaded as a shared library by GCC) refuses to
// start unless it comes first in the list of loaded libraries. The harness therefore
// preloads the program's own libasan ahead of this library (LD_PRELOAD=libasan.so:this.so)
// instead of switching the check off with ASAN_OPTIONS=verify_asan_link_order=0: the
// program's call then reaches ASan's interceptor first (which checks the buffer), ASan's
// REAL(write) is resolved with RTLD_NEXT from libasan and so finds this library, and this
// library's RTLD_NEXT finds the C library. Every interceptor of ASan stays in force.
//
// glibc calls its own system-call wrappers internally without going through the symbol
// table (stdio's fwrite reaches __write, posix_fallocate the fallocate system call,
// futimens utimensat), so such entry points are wrapped themselves where the program or
// libstdc++ may use them: posix_fallocate, futimens, and the fortified __open_2 family.
// The harness checks the coverage with strace (fault_harness.sh --coverage).
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <unistd.h>

enum fault_mode {
  MODE_NONE,
  MODE_KILL,
  MODE_ENOSPC,
  MODE_EIO,
  MODE_SHORT,
  MODE_TORN,
  MODE_INTERRUPT
};

// What a call needs: nothing beyond the count, space on the disk (fails once the disk is
// full), or space for data that may also be stored in part (short and torn faults).
enum need { NEED_NOTHING, NEED_SPACE, NEED_DATA };

enum action { ACT_PASS, ACT_FAIL, ACT_PARTIAL, ACT_PARTIAL_KILL };

static int initialised;
static long counter;
static long fault_at;
static enum fault_mode mode = MODE_NONE;
static int disk_full;
static int log_fd = -1;
static char count_path[PATH_MAX];

// Descriptors that have had data written through them: their close counts.
#define TRACKED_FDS 65536
static unsigned char written_fds[TRACKED_FDS];

// ---- raw output, outside every interposed function ------------------------------------

static void raw_write_all(int fd, const char* text, size_t n) {
  while (n > 0) {
    long put = syscall(SYS_write, fd, text, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    text += put;
    n -= (size_t)put;
  }
}

static int raw_open_append(const char* path, int truncate) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND);
  int fd = (int)syscall(SYS_openat, AT_FDCWD, path, flags, 0644);
  if (fd < 0) return -1;
  // Kept out of the range the program uses, so that its descriptor numbers do not change.
  int high = fcntl(fd, F_DUPFD_CLOEXEC, 900);
  if (high >= 0) {
    syscall(SYS_close, fd);
    fd = high;
  }
  return fd;
}

static void write_count(void) {
  if (count_path[0] == '\0') return;
  int fd = raw_open_append(count_path, 1);
  if (fd < 0) return;
  char line[32];
  int n = snprintf(line, sizeof line, "%ld\n", counter);
  raw_write_all(fd, line, (size_t)n);
  syscall(SYS_close, fd);
}

static void init(void) {
  if (initialised) return;
  initialised = 1;
  const char* at = getenv("LIVRANA_FAULT_AT");
  const char* m = getenv("LIVRANA_FAULT_MODE");
  const char* count = getenv("LIVRANA_FAULT_COUNT");
  const char* log = getenv("LIVRANA_FAULT_LOG");
  if (at != NULL) fault_at = strtol(at, NULL, 10);
  if (m != NULL) {
    static const struct {
      const char* name;
      enum fault_mode mode;
    } kModes[] = {{"kill", MODE_KILL},   {"enospc", MODE_ENOSPC}, {"eio", MODE_EIO},
                  {"short", MODE_SHORT}, {"torn", MODE_TORN},     {"interrupt", MODE_INTERRUPT}};
    for (size_t i = 0; i < sizeof kModes / sizeof kModes[0]; ++i) {
      if (strcmp(m, kModes[i].name) == 0) mode = kModes[i].mode;
    }
  }
  if (mode == MODE_NONE) fault_at = 0;
  if (count != NULL && strlen(count) < sizeof count_path) strcpy(count_path, count);
  if (log != NULL && *log != '\0') log_fd = raw_open_append(log, 0);
}

__attribute__((constructor)) static void fault_start(void) { init(); }
__attribute__((destructor)) static void fault_end(void) { write_count(); }

static void log_line(const char* prefix, long k, const char* kind, const char* path,
                     const char* suffix) {
  if (log_fd < 0) return;
  char line[PATH_MAX + 128];
  int n = snprintf(line, sizeof line, "%s%ld %s %s%s\n", prefix, k, kind, path != NULL ? path : "?",
                   suffix);
  if (n < 0) return;
  if ((size_t)n >= sizeof line) n = (int)sizeof line - 1;
  raw_write_all(log_fd, line, (size_t)n);
}

// The path of a descriptor, for the log.
static void fd_path(int fd, char* out, size_t size) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  long n = syscall(SYS_readlinkat, AT_FDCWD, link, out, size - 1);
  if (n < 0) n = snprintf(out, size, "fd%d", fd) < 0 ? 0 : (long)strlen(out);
  out[n] = '\0';
}

// A path relative to a folder descriptor, for the log.
static void at_path(int dirfd, const char* path, char* out, size_t size) {
  if (path == NULL) {
    snprintf(out, size, "?");
  } else if (path[0] == '/' || dirfd == AT_FDCWD) {
    snprintf(out, size, "%s", path);
  } else {
    char dir[PATH_MAX];
    fd_path(dirfd, dir, sizeof dir);
    if (snprintf(out, size, "%s/%s", dir, path) >= (int)size) out[size - 1] = '\0';
  }
}

// ---- what counts ----------------------------------------------------------------------

static int counted_fd(int fd) {
  if (fd <= 2) return 0;
  struct stat st;
  if (fstat(fd, &st) != 0) return 0;
  return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

// An entry named by a path: counted unless it exists as something other than a file, a
// folder or a link (a device, a pipe, a socket).
static int counted_path(int dirfd, const char* path) {
  if (path == NULL) return 0;
  struct stat st;
  if (fstatat(dirfd, path, &st, AT_SYMLINK_NOFOLLOW) != 0) return 1;
  return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode);
}

// Counts one call and says what to do with it. log_path: what the log shows.
static enum action decide(const char* kind, const char* log_path, enum need need, int* err) {
  init();
  long k = ++counter;
  if (fault_at == k) {
    switch (mode) {
      case MODE_KILL:
        log_line("! ", k, kind, log_path, " kill");
        syscall(SYS_kill, getpid(), SIGKILL);
        return ACT_PASS;
      case MODE_ENOSPC:
        log_line("! ", k, kind, log_path, " enospc");
        disk_full = 1;
        *err = ENOSPC;
        return ACT_FAIL;
      case MODE_EIO:
        log_line("! ", k, kind, log_path, " eio");
        *err = EIO;
        return ACT_FAIL;
      case MODE_INTERRUPT:
        // The user's Ctrl-C just before the call; the call itself goes ahead.
        log_line("! ", k, kind, log_path, " interrupt");
        syscall(SYS_kill, getpid(), SIGINT);
        return ACT_PASS;
      case MODE_SHORT:
      case MODE_TORN:
        if (need == NEED_DATA) {
          log_line("! ", k, kind, log_path, mode == MODE_SHORT ? " short" : " torn");
          if (mode == MODE_SHORT) disk_full = 1;
          return mode == MODE_SHORT ? ACT_PARTIAL : ACT_PARTIAL_KILL;
        }
        log_line("", k, kind, log_path, " (no data: no fault)");
        return ACT_PASS;
      default:
        break;
    }
  }
  if (disk_full && need != NEED_NOTHING) {
    log_line("", k, kind, log_path, " ENOSPC (disk full)");
    *err = ENOSPC;
    return ACT_FAIL;
  }
  log_line("", k, kind, log_path, "");
  return ACT_PASS;
}

static enum action decide_fd(const char* kind, int fd, enum need need, int* err) {
  char path[PATH_MAX];
  path[0] = '\0';
  init();
  if (log_fd >= 0) fd_path(fd, path, sizeof path);
  return decide(kind, path, need, err);
}

static enum action decide_path(const char* kind, int dirfd, const char* p, enum need need,
                               int* err) {
  char path[PATH_MAX];
  at_path(dirfd, p, path, sizeof path);
  return decide(kind, path, need, err);
}

static void mark_written(int fd) {
  if (fd >= 0 && fd < TRACKED_FDS) written_fds[fd] = 1;
}

static void die_now(void) { syscall(SYS_kill, getpid(), SIGKILL); }

// The part of a write that a short or torn fault stores: half, at least one byte less.
static size_t partial_size(size_t n) { return n / 2; }

// The next definition of a function after this library's own: dlsym gives an object
// pointer, copied into the function pointer (ISO C has no cast between the two).
#define REAL(name) real_##name
#define RESOLVE(name)                          \
  do {                                         \
    if (REAL(name) == NULL) {                  \
      void* next = dlsym(RTLD_NEXT, #name);    \
      memcpy(&REAL(name), &next, sizeof next); \
    }                                          \
  } while (0)

// ---- data writes ----------------------------------------------------------------------

// write, pwrite and pwrite64 share this: real(buf, n) makes the call.
#define DATA_WRITE(kind, fd, n, call_n)                     \
  do {                                                      \
    if (!counted_fd(fd) || (n) == 0) {                      \
      size_t todo = (n);                                    \
      return call_n(todo);                                  \
    }                                                       \
    int err = 0;                                            \
    enum action act = decide_fd(kind, fd, NEED_DATA, &err); \
    mark_written(fd);                                       \
    if (act == ACT_FAIL) {                                  \
      errno = err;                                          \
      return -1;                                            \
    }                                                       \
    if (act == ACT_PASS) {                                  \
      size_t todo = (n);                                    \
      return call_n(todo);                                  \
    }                                                       \
    size_t part = partial_size(n);                          \
    ssize_t put = part > 0 ? call_n(part) : 0;              \
    if (act == ACT_PARTIAL_KILL) die_now();                 \
    if (part == 0) {                                        \
      errno = ENOSPC;                                       \
      return -1;                                            \
    }                                                       \
    return put;                                             \
  } while (0)

static ssize_t (*real_write)(int, const void*, size_t);
ssize_t write(int fd, const void* buf, size_t n) {
  RESOLVE(write);
#define CALL(m) REAL(write)(fd, buf, m)
  DATA_WRITE("write", fd, n, CALL);
#undef CALL
}

static ssize_t (*real_pwrite)(int, const void*, size_t, off_t);
ssize_t pwrite(int fd, const void* buf, size_t n, off_t off) {
  RESOLVE(pwrite);
#define CALL(m) REAL(pwrite)(fd, buf, m, off)
  DATA_WRITE("pwrite", fd, n, CALL);
#undef CALL
}

static ssize_t (*real_pwrite64)(int, const void*, size_t, off64_t);
ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t off) {
  RESOLVE(pwrite64);
#define CALL(m) REAL(pwrite64)(fd, buf, m, off)
  DATA_WRITE("pwrite", fd, n, CALL);
#undef CALL
}

// The first `limit` bytes of an iovec array, in out (at most out_max entries).
static int cut_iov(const struct iovec* iov, int count, size_t limit, struct iovec* out,
                   int out_max) {
  int used = 0;
  for (int i = 0; i < count && used < out_max && limit > 0; ++i) {
    out[used] = iov[i];
    if (out[used].iov_len > limit) out[used].iov_len = limit;
    limit -= out[used].iov_len;
    ++used;
  }
  return used;
}

static size_t iov_total(const struct iovec* iov, int count) {
  size_t total = 0;
  for (int i = 0; i < count; ++i) total += iov[i].iov_len;
  return total;
}

#define VECTOR_WRITE(kind, fd, iov, count, call_v)                \
  do {                                                            \
    size_t total = iov_total(iov, count);                         \
    if (!counted_fd(fd) || total == 0) return call_v(iov, count); \
    int err = 0;                                                  \
    enum action act = decide_fd(kind, fd, NEED_DATA, &err);       \
    mark_written(fd);                                             \
    if (act == ACT_FAIL) {                                        \
      errno = err;                                                \
      return -1;                                                  \
    }                                                             \
    if (act == ACT_PASS) return call_v(iov, count);               \
    struct iovec cut[64];                                         \
    size_t part = partial_size(total);                            \
    int used = cut_iov(iov, count, part, cut, 64);                \
    ssize_t put = part > 0 ? call_v(cut, used) : 0;               \
    if (act == ACT_PARTIAL_KILL) die_now();                       \
    if (part == 0) {                                              \
      errno = ENOSPC;                                             \
      return -1;                                                  \
    }                                                             \
    return put;                                                   \
  } while (0)

static ssize_t (*real_writev)(int, const struct iovec*, int);
ssize_t writev(int fd, const struct iovec* iov, int count) {
  RESOLVE(writev);
#define CALL(v, c) REAL(writev)(fd, v, c)
  VECTOR_WRITE("writev", fd, iov, count, CALL);
#undef CALL
}

static ssize_t (*real_pwritev)(int, const struct iovec*, int, off_t);
ssize_t pwritev(int fd, const struct iovec* iov, int count, off_t off) {
  RESOLVE(pwritev);
#define CALL(v, c) REAL(pwritev)(fd, v, c, off)
  VECTOR_WRITE("pwritev", fd, iov, count, CALL);
#undef CALL
}

static ssize_t (*real_pwritev64)(int, const struct iovec*, int, off64_t);
ssize_t pwritev64(int fd, const struct iovec* iov, int count, off64_t off) {
  RESOLVE(pwritev64);
#define CALL(v, c) REAL(pwritev64)(fd, v, c, off)
  VECTOR_WRITE("pwritev", fd, iov, count, CALL);
#undef CALL
}

static ssize_t (*real_pwritev2)(int, const struct iovec*, int, off_t, int);
ssize_t pwritev2(int fd, const struct iovec* iov, int count, off_t off, int flags) {
  RESOLVE(pwritev2);
#define CALL(v, c) REAL(pwritev2)(fd, v, c, off, flags)
  VECTOR_WRITE("pwritev", fd, iov, count, CALL);
#undef CALL
}

static ssize_t (*real_copy_file_range)(int, off64_t*, int, off64_t*, size_t, unsigned);
ssize_t copy_file_range(int in, off64_t* in_off, int out, off64_t* out_off, size_t n,
                        unsigned flags) {
  RESOLVE(copy_file_range);
#define CALL(m) REAL(copy_file_range)(in, in_off, out, out_off, m, flags)
  DATA_WRITE("copy_file_range", out, n, CALL);
#undef CALL
}

static ssize_t (*real_sendfile)(int, int, off_t*, size_t);
ssize_t sendfile(int out, int in, off_t* off, size_t n) {
  RESOLVE(sendfile);
#define CALL(m) REAL(sendfile)(out, in, off, m)
  DATA_WRITE("sendfile", out, n, CALL);
#undef CALL
}

static ssize_t (*real_sendfile64)(int, int, off64_t*, size_t);
ssize_t sendfile64(int out, int in, off64_t* off, size_t n) {
  RESOLVE(sendfile64);
#define CALL(m) REAL(sendfile64)(out, in, off, m)
  DATA_WRITE("sendfile", out, n, CALL);
#undef CALL
}

// ---- calls on a descriptor ------------------------------------------------------------

// A counted call on a descriptor that either happens whole or fails.
#define FD_CALL(kind, fd, need, written, call)         \
  do {                                                 \
    if (!counted_fd(fd)) return call;                  \
    int err = 0;                                       \
    enum action act = decide_fd(kind, fd, need, &err); \
    if (written) mark_written(fd);                     \
    if (act == ACT_FAIL) {                             \
      errno = err;                                     \
      return -1;                                       \
    }                                                  \
    return call;                                       \
  } while (0)

static int (*real_close)(int);
int close(int fd) {
  RESOLVE(close);
  if (fd < 0 || fd >= TRACKED_FDS || !written_fds[fd]) return REAL(close)(fd);
  written_fds[fd] = 0;
  int err = 0;
  enum action act = decide_fd("close", fd, NEED_NOTHING, &err);
  int rc = REAL(close)(fd);
  if (act == ACT_FAIL) {
    // As Linux does: the descriptor is released even when close reports an error.
    errno = err;
    return -1;
  }
  return rc;
}

static int (*real_fsync)(int);
int fsync(int fd) {
  RESOLVE(fsync);
  FD_CALL("fsync", fd, NEED_NOTHING, 0, REAL(fsync)(fd));
}

static int (*real_fdatasync)(int);
int fdatasync(int fd) {
  RESOLVE(fdatasync);
  FD_CALL("fdatasync", fd, NEED_NOTHING, 0, REAL(fdatasync)(fd));
}

static int (*real_ftruncate)(int, off_t);
int ftruncate(int fd, off_t size) {
  RESOLVE(ftruncate);
  FD_CALL("ftruncate", fd, NEED_NOTHING, 1, REAL(ftruncate)(fd, size));
}

static int (*real_ftruncate64)(int, off64_t);
int ftruncate64(int fd, off64_t size) {
  RESOLVE(ftruncate64);
  FD_CALL("ftruncate", fd, NEED_NOTHING, 1, REAL(ftruncate64)(fd, size));
}

static int (*real_fallocate)(int, int, off_t, off_t);
int fallocate(int fd, int how, off_t off, off_t len) {
  RESOLVE(fallocate);
  FD_CALL("fallocate", fd, NEED_SPACE, 1, REAL(fallocate)(fd, how, off, len));
}

static int (*real_fallocate64)(int, int, off64_t, off64_t);
int fallocate64(int fd, int how, off64_t off, off64_t len) {
  RESOLVE(fallocate64);
  FD_CALL("fallocate", fd, NEED_SPACE, 1, REAL(fallocate64)(fd, how, off, len));
}

// posix_fallocate reports its error as its result, not through errno.
static int (*real_posix_fallocate)(int, off_t, off_t);
int posix_fallocate(int fd, off_t off, off_t len) {
  RESOLVE(posix_fallocate);
  if (!counted_fd(fd)) return REAL(posix_fallocate)(fd, off, len);
  int err = 0;
  enum action act = decide_fd("fallocate", fd, NEED_SPACE, &err);
  mark_written(fd);
  if (act == ACT_FAIL) return err;
  return REAL(posix_fallocate)(fd, off, len);
}

static int (*real_posix_fallocate64)(int, off64_t, off64_t);
int posix_fallocate64(int fd, off64_t off, off64_t len) {
  RESOLVE(posix_fallocate64);
  if (!counted_fd(fd)) return REAL(posix_fallocate64)(fd, off, len);
  int err = 0;
  enum action act = decide_fd("fallocate", fd, NEED_SPACE, &err);
  mark_written(fd);
  if (act == ACT_FAIL) return err;
  return REAL(posix_fallocate64)(fd, off, len);
}

static int (*real_fchmod)(int, mode_t);
int fchmod(int fd, mode_t m) {
  RESOLVE(fchmod);
  FD_CALL("fchmod", fd, NEED_NOTHING, 0, REAL(fchmod)(fd, m));
}

static int (*real_futimens)(int, const struct timespec[2]);
int futimens(int fd, const struct timespec times[2]) {
  RESOLVE(futimens);
  FD_CALL("futimens", fd, NEED_NOTHING, 0, REAL(futimens)(fd, times));
}

static int (*real_fsetxattr)(int, const char*, const void*, size_t, int);
int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
  RESOLVE(fsetxattr);
  FD_CALL("setxattr", fd, NEED_SPACE, 0, REAL(fsetxattr)(fd, name, value, size, flags));
}

static int (*real_fremovexattr)(int, const char*);
int fremovexattr(int fd, const char* name) {
  RESOLVE(fremovexattr);
  FD_CALL("removexattr", fd, NEED_NOTHING, 0, REAL(fremovexattr)(fd, name));
}

// ---- calls on a path ------------------------------------------------------------------

// A counted call on the entry at (dirfd, path) that either happens whole or fails.
#define PATH_CALL(kind, dirfd, path, need, call)                  \
  do {                                                            \
    if (!counted_path(dirfd, path)) return call;                  \
    int err = 0;                                                  \
    if (decide_path(kind, dirfd, path, need, &err) == ACT_FAIL) { \
      errno = err;                                                \
      return -1;                                                  \
    }                                                             \
    return call;                                                  \
  } while (0)

// Openings that create or empty a file count; the descriptor they give has then been
// written (its close counts).
static int open_counted(int dirfd, const char* path, int flags) {
  return (flags & (O_CREAT | O_TRUNC)) != 0 && counted_path(dirfd, path);
}

#define OPEN_CALL(kind, dirfd, path, flags, call)                         \
  do {                                                                    \
    if (!open_counted(dirfd, path, flags)) return call;                   \
    int err = 0;                                                          \
    if (decide_path(kind, dirfd, path, NEED_NOTHING, &err) == ACT_FAIL) { \
      errno = err;                                                        \
      return -1;                                                          \
    }                                                                     \
    int fd = call;                                                        \
    mark_written(fd);                                                     \
    return fd;                                                            \
  } while (0)

static mode_t mode_argument(int flags, va_list ap) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

static int (*real_open)(const char*, int, ...);
int open(const char* path, int flags, ...) {
  RESOLVE(open);
  va_list ap;
  va_start(ap, flags);
  mode_t m = mode_argument(flags, ap);
  va_end(ap);
  OPEN_CALL("open", AT_FDCWD, path, flags, REAL(open)(path, flags, m));
}

static int (*real_open64)(const char*, int, ...);
int open64(const char* path, int flags, ...) {
  RESOLVE(open64);
  va_list ap;
  va_start(ap, flags);
  mode_t m = mode_argument(flags, ap);
  va_end(ap);
  OPEN_CALL("open", AT_FDCWD, path, flags, REAL(open64)(path, flags, m));
}

static int (*real_openat)(int, const char*, int, ...);
int openat(int dirfd, const char* path, int flags, ...) {
  RESOLVE(openat);
  va_list ap;
  va_start(ap, flags);
  mode_t m = mode_argument(flags, ap);
  va_end(ap);
  OPEN_CALL("open", dirfd, path, flags, REAL(openat)(dirfd, path, flags, m));
}

static int (*real_openat64)(int, const char*, int, ...);
int openat64(int dirfd, const char* path, int flags, ...) {
  RESOLVE(openat64);
  va_list ap;
  va_start(ap, flags);
  mode_t m = mode_argument(flags, ap);
  va_end(ap);
  OPEN_CALL("open", dirfd, path, flags, REAL(openat64)(dirfd, path, flags, m));
}

// The fortified entry points of a build with _FORTIFY_SOURCE (no mode argument).
int __open_2(const char* path, int flags);
int __open64_2(const char* path, int flags);
int __openat_2(int dirfd, const char* path, int flags);
int __openat64_2(int dirfd, const char* path, int flags);

static int (*real___open_2)(const char*, int);
int __open_2(const char* path, int flags) {
  RESOLVE(__open_2);
  OPEN_CALL("open", AT_FDCWD, path, flags, REAL(__open_2)(path, flags));
}

static int (*real___open64_2)(const char*, int);
int __open64_2(const char* path, int flags) {
  RESOLVE(__open64_2);
  OPEN_CALL("open", AT_FDCWD, path, flags, REAL(__open64_2)(path, flags));
}

static int (*real___openat_2)(int, const char*, int);
int __openat_2(int dirfd, const char* path, int flags) {
  RESOLVE(__openat_2);
  OPEN_CALL("open", dirfd, path, flags, REAL(__openat_2)(dirfd, path, flags));
}

static int (*real___openat64_2)(int, const char*, int);
int __openat64_2(int dirfd, const char* path, int flags) {
  RESOLVE(__openat64_2);
  OPEN_CALL("open", dirfd, path, flags, REAL(__openat64_2)(dirfd, path, flags));
}

static int (*real_creat)(const char*, mode_t);
int creat(const char* path, mode_t m) {
  RESOLVE(creat);
  OPEN_CALL("open", AT_FDCWD, path, O_CREAT | O_TRUNC, REAL(creat)(path, m));
}

static int (*real_creat64)(const char*, mode_t);
int creat64(const char* path, mode_t m) {
  RESOLVE(creat64);
  OPEN_CALL("open", AT_FDCWD, path, O_CREAT | O_TRUNC, REAL(creat64)(path, m));
}

// A rename is logged with both names.
static int rename_decision(const char* kind, int from_dir, const char* from, int to_dir,
                           const char* to, int* err) {
  char a[PATH_MAX], b[PATH_MAX], both[2 * PATH_MAX + 8];
  at_path(from_dir, from, a, sizeof a);
  at_path(to_dir, to, b, sizeof b);
  snprintf(both, sizeof both, "%s -> %s", a, b);
  return decide(kind, both, NEED_NOTHING, err) == ACT_FAIL;
}

static int (*real_rename)(const char*, const char*);
int rename(const char* from, const char* to) {
  RESOLVE(rename);
  if (!counted_path(AT_FDCWD, from)) return REAL(rename)(from, to);
  int err = 0;
  if (rename_decision("rename", AT_FDCWD, from, AT_FDCWD, to, &err)) {
    errno = err;
    return -1;
  }
  return REAL(rename)(from, to);
}

static int (*real_renameat)(int, const char*, int, const char*);
int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  RESOLVE(renameat);
  if (!counted_path(from_dir, from)) return REAL(renameat)(from_dir, from, to_dir, to);
  int err = 0;
  if (rename_decision("rename", from_dir, from, to_dir, to, &err)) {
    errno = err;
    return -1;
  }
  return REAL(renameat)(from_dir, from, to_dir, to);
}

static int (*real_renameat2)(int, const char*, int, const char*, unsigned);
int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
  RESOLVE(renameat2);
  if (!counted_path(from_dir, from)) return REAL(renameat2)(from_dir, from, to_dir, to, flags);
  int err = 0;
  if (rename_decision("rename", from_dir, from, to_dir, to, &err)) {
    errno = err;
    return -1;
  }
  return REAL(renameat2)(from_dir, from, to_dir, to, flags);
}

static int (*real_link)(const char*, const char*);
int link(const char* from, const char* to) {
  RESOLVE(link);
  if (!counted_path(AT_FDCWD, from)) return REAL(link)(from, to);
  int err = 0;
  if (rename_decision("link", AT_FDCWD, from, AT_FDCWD, to, &err)) {
    errno = err;
    return -1;
  }
  return REAL(link)(from, to);
}

static int (*real_linkat)(int, const char*, int, const char*, int);
int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  RESOLVE(linkat);
  if (!counted_path(from_dir, from)) return REAL(linkat)(from_dir, from, to_dir, to, flags);
  int err = 0;
  if (rename_decision("link", from_dir, from, to_dir, to, &err)) {
    errno = err;
    return -1;
  }
  return REAL(linkat)(from_dir, from, to_dir, to, flags);
}

static int (*real_symlink)(const char*, const char*);
int symlink(const char* target, const char* path) {
  RESOLVE(symlink);
  PATH_CALL("symlink", AT_FDCWD, path, NEED_SPACE, REAL(symlink)(target, path));
}

static int (*real_symlinkat)(const char*, int, const char*);
int symlinkat(const char* target, int dirfd, const char* path) {
  RESOLVE(symlinkat);
  PATH_CALL("symlink", dirfd, path, NEED_SPACE, REAL(symlinkat)(target, dirfd, path));
}

static int (*real_unlink)(const char*);
int unlink(const char* path) {
  RESOLVE(unlink);
  PATH_CALL("unlink", AT_FDCWD, path, NEED_NOTHING, REAL(unlink)(path));
}

static int (*real_unlinkat)(int, const char*, int);
int unlinkat(int dirfd, const char* path, int flags) {
  RESOLVE(unlinkat);
  PATH_CALL((flags & AT_REMOVEDIR) ? "rmdir" : "unlink", dirfd, path, NEED_NOTHING,
            REAL(unlinkat)(dirfd, path, flags));
}

static int (*real_rmdir)(const char*);
int rmdir(const char* path) {
  RESOLVE(rmdir);
  PATH_CALL("rmdir", AT_FDCWD, path, NEED_NOTHING, REAL(rmdir)(path));
}

static int (*real_mkdir)(const char*, mode_t);
int mkdir(const char* path, mode_t m) {
  RESOLVE(mkdir);
  PATH_CALL("mkdir", AT_FDCWD, path, NEED_SPACE, REAL(mkdir)(path, m));
}

static int (*real_mkdirat)(int, const char*, mode_t);
int mkdirat(int dirfd, const char* path, mode_t m) {
  RESOLVE(mkdirat);
  PATH_CALL("mkdir", dirfd, path, NEED_SPACE, REAL(mkdirat)(dirfd, path, m));
}

static int (*real_truncate)(const char*, off_t);
int truncate(const char* path, off_t size) {
  RESOLVE(truncate);
  PATH_CALL("truncate", AT_FDCWD, path, NEED_NOTHING, REAL(truncate)(path, size));
}

static int (*real_truncate64)(const char*, off64_t);
int truncate64(const char* path, off64_t size) {
  RESOLVE(truncate64);
  PATH_CALL("truncate", AT_FDCWD, path, NEED_NOTHING, REAL(truncate64)(path, size));
}

static int (*real_chmod)(const char*, mode_t);
int chmod(const char* path, mode_t m) {
  RESOLVE(chmod);
  PATH_CALL("chmod", AT_FDCWD, path, NEED_NOTHING, REAL(chmod)(path, m));
}

static int (*real_fchmodat)(int, const char*, mode_t, int);
int fchmodat(int dirfd, const char* path, mode_t m, int flags) {
  RESOLVE(fchmodat);
  PATH_CALL("chmod", dirfd, path, NEED_NOTHING, REAL(fchmodat)(dirfd, path, m, flags));
}

// glibc declares the path of utimensat non-null, but a null path is its documented form
// for the descriptor itself.
#pragma GCC diagnostic ignored "-Wnonnull-compare"
static int (*real_utimensat)(int, const char*, const struct timespec[2], int);
int utimensat(int dirfd, const char* path, const struct timespec times[2], int flags) {
  RESOLVE(utimensat);
  if (path == NULL) {  // the form futimens uses: the descriptor itself
    FD_CALL("futimens", dirfd, NEED_NOTHING, 0, REAL(utimensat)(dirfd, path, times, flags));
  }
  PATH_CALL("utimens", dirfd, path, NEED_NOTHING, REAL(utimensat)(dirfd, path, times, flags));
}

static int (*real_setxattr)(const char*, const char*, const void*, size_t, int);
int setxattr(const char* path, const char* name, const void* value, size_t size, int flags) {
  RESOLVE(setxattr);
  PATH_CALL("setxattr", AT_FDCWD, path, NEED_SPACE, REAL(setxattr)(path, name, value, size, flags));
}

static int (*real_lsetxattr)(const char*, const char*, const void*, size_t, int);
int lsetxattr(const char* path, const char* name, const void* value, size_t size, int flags) {
  RESOLVE(lsetxattr);
  PATH_CALL("setxattr", AT_FDCWD, path, NEED_SPACE,
            REAL(lsetxattr)(path, name, value, size, flags));
}

static int (*real_removexattr)(const char*, const char*);
int removexattr(const char* path, const char* name) {
  RESOLVE(removexattr);
  PATH_CALL("removexattr", AT_FDCWD, path, NEED_NOTHING, REAL(removexattr)(path, name));
}

static int (*real_lremovexattr)(const char*, const char*);
int lremovexattr(const char* path, const char* name) {
  RESOLVE(lremovexattr);
  PATH_CALL("removexattr", AT_FDCWD, path, NEED_NOTHING, REAL(lremovexattr)(path, name));
}
