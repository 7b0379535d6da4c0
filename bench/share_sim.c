/*
 * A file-server share simulator for the benchmark: a pass-through FUSE file system of a
 * backing folder in which every request that the kernel waits for costs a fixed delay, as a
 * network round trip to a file server does, and every request is counted by kind.
 *
 *   livrana-share-sim BACKING MOUNTPOINT [--delay=US] [--spin=US] [--stats=FILE]
 *                     [--trace=FILE] [--timeout=S] [--dir-timeout=S] [--page-cache] [--debug]
 *
 *   --delay=US        round trip per request, in microseconds (default 200)
 *   --spin=US         the last US microseconds of each delay are busy-waited, the rest is
 *                     slept (default: the wake-up latency seen so far, a few microseconds
 *                     more; 0 sleeps only, a value >= the delay only spins)
 *   --stats=FILE      where the counts go when the file system is unmounted (default: the
 *                     standard error only)
 *   --trace=FILE      one line per request: kind, path below the root, detail
 *   --timeout=S       how long the kernel may trust a name or the attributes of a file
 *                     (default 0: every use is asked again, as on a share mounted without
 *                     metadata caching)
 *   --dir-timeout=S   the same for folders (default: the value of --timeout); a value above 0
 *                     models a client that caches the folders of a path (a Windows client
 *                     sends the whole path in one request)
 *   --page-cache      file data through the kernel's page cache instead of direct I/O
 *
 * It runs in the foreground, single-threaded, until the mount point is unmounted (umount or
 * fusermount3 -u) or it gets SIGINT or SIGTERM; then it prints the counts.
 *
 * What a request costs follows an SMB client without metadata or data caching (the Linux
 * client mounted with actimeo=0,cache=none; a Windows client with its file-information,
 * not-found and directory caches off), which is what several workstations sharing one data
 * folder need to see each other's changes:
 *
 *   - names and attributes are never cached (timeout 0), so that each path component of each
 *     call is looked up again and each stat asks for the attributes: what the client asks the
 *     server each time when it keeps nothing;
 *   - file data bypass the page cache (direct I/O) with requests of up to 1 MiB, so that each
 *     read or write call of the program is one request, as an SMB READ or WRITE of up to the
 *     server's maximum size (1 MiB or more); no read-ahead, no write-back;
 *   - opening with O_TRUNC is one request (atomic truncation), as an SMB CREATE that
 *     overwrites; opening with O_CREAT is a lookup and a create, as on the Linux client;
 *   - closing a file sends FLUSH, which the caller waits for, and RELEASE, which the kernel
 *     sends without waiting: FLUSH stands for the SMB CLOSE and is delayed, RELEASE is counted
 *     but not delayed. A folder has no FLUSH: its RELEASEDIR is the CLOSE and is delayed;
 *   - listings carry names only (no READDIRPLUS), as a listing followed by a stat of each
 *     entry costs on a client that caches nothing; a listing is read in requests of the
 *     kernel's buffer size (4 KiB), one more request finding its end, as SMB's
 *     QUERY_DIRECTORY ends with STATUS_NO_MORE_FILES;
 *   - byte-range locks (the busy test) are sent to the server (SMB2 LOCK) and tried once;
 *   - extended attributes (Samba's user.DOSATTRIB) are a request each, as SMB extended
 *     attributes are;
 *   - FORGET, which the kernel sends without waiting, is counted and not delayed.
 *
 * The kernel checks no permissions itself (no default_permissions): the backing file system
 * decides, as the server does in its CREATE.
 */
#define _GNU_SOURCE
#define FUSE_USE_VERSION 34

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <inttypes.h>
#include <stdarg.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

/* ---- Request kinds and counters -------------------------------------------------------- */

enum kind {
  K_LOOKUP,
  K_GETATTR,
  K_SETATTR,
  K_ACCESS,
  K_OPEN,
  K_CREATE,
  K_READ,
  K_WRITE,
  K_FLUSH,
  K_RELEASE,
  K_FSYNC,
  K_OPENDIR,
  K_READDIR,
  K_RELEASEDIR,
  K_FSYNCDIR,
  K_MKDIR,
  K_RMDIR,
  K_UNLINK,
  K_RENAME,
  K_LINK,
  K_SYMLINK,
  K_READLINK,
  K_MKNOD,
  K_STATFS,
  K_GETXATTR,
  K_LISTXATTR,
  K_SETXATTR,
  K_REMOVEXATTR,
  K_GETLK,
  K_SETLK,
  K_FALLOCATE,
  K_LSEEK,
  K_COPY_FILE_RANGE,
  K_FORGET,
  K_BATCH_FORGET,
  K_COUNT
};

static const char* const kind_names[K_COUNT] = {
    "lookup",    "getattr",    "setattr",         "access",      "open",        "create",
    "read",      "write",      "flush",           "release",     "fsync",       "opendir",
    "readdir",   "releasedir", "fsyncdir",        "mkdir",       "rmdir",       "unlink",
    "rename",    "link",       "symlink",         "readlink",    "mknod",       "statfs",
    "getxattr",  "listxattr",  "setxattr",        "removexattr", "getlk",       "setlk",
    "fallocate", "lseek",      "copy_file_range", "forget",      "batch_forget"};

/* Requests the kernel sends without waiting for them: counted, not delayed. */
static bool delayed(enum kind k) { return k != K_RELEASE && k != K_FORGET && k != K_BATCH_FORGET; }

/* Finer counts, by what a request met or asked for. */
enum detail {
  D_LOOKUP_FOLDER,
  D_LOOKUP_FILE,
  D_LOOKUP_MISSING,
  D_GETATTR_FOLDER,
  D_GETATTR_FILE,
  D_GETATTR_OPEN,
  D_OPEN_READ,
  D_OPEN_WRITE,
  D_OPEN_TRUNC,
  D_READ_EMPTY,
  D_SETATTR_MODE,
  D_SETATTR_SIZE,
  D_SETATTR_TIMES,
  D_SETATTR_OWNER,
  D_COUNT
};

static const char* const detail_names[D_COUNT] = {
    "lookup.folder", "lookup.file",  "lookup.missing", "getattr.folder", "getattr.file",
    "getattr.open",  "open.read",    "open.write",     "open.trunc",     "read.at_end",
    "setattr.mode",  "setattr.size", "setattr.times",  "setattr.owner"};

#define MAX_XATTR_NAMES 16

static struct {
  uint64_t kind[K_COUNT];
  uint64_t detail[D_COUNT];
  uint64_t read_bytes, write_bytes;
  struct {
    char name[64];
    uint64_t count;
  } xattr[MAX_XATTR_NAMES];
  uint64_t late_ns_sum, late_ns_max, delays;
} stats;

static void count_xattr(const char* name) {
  for (int i = 0; i < MAX_XATTR_NAMES; ++i) {
    if (stats.xattr[i].count == 0) {
      snprintf(stats.xattr[i].name, sizeof stats.xattr[i].name, "%s", name);
    } else if (strcmp(stats.xattr[i].name, name) != 0) {
      continue;
    }
    ++stats.xattr[i].count;
    return;
  }
}

/* ---- Options ---------------------------------------------------------------------------- */

static struct {
  const char* backing;
  const char* mountpoint;
  long delay_ns;
  long spin_ns;
  const char* stats_file;
  const char* trace_file;
  double timeout;
  double dir_timeout;
  bool dir_timeout_given;
  bool page_cache;
  bool debug;
} opt = {.delay_ns = 200000, .spin_ns = -1};

static FILE* trace;

/* ---- The round trip --------------------------------------------------------------------- */

static int64_t now_ns(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

/* Waits the delay from now: sleeps up to a margin before its end, busy-waits the rest.
 * Sleeping alone wakes late by the timer's and the scheduler's latency (tens of
 * microseconds in a virtual machine); spinning the whole delay is exact on an idle machine
 * but is preempted by other work on a busy one. By default the margin follows the wake-up
 * latency seen so far (a running mean), so that only a few microseconds are spun. */
static int64_t wake_late_ns = 30000; /* running mean of how late a sleep wakes */

static void round_trip(void) {
  const int64_t start = now_ns();
  const int64_t deadline = start + opt.delay_ns;
  const int64_t margin = opt.spin_ns >= 0 ? opt.spin_ns : wake_late_ns + 5000;
  if (opt.delay_ns > margin) {
    const int64_t wake = deadline - margin;
    struct timespec ts = {.tv_sec = wake / 1000000000, .tv_nsec = wake % 1000000000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, NULL) == EINTR) {
    }
    /* A wake-up delayed by other work (a preemption) does not move the mean much. */
    int64_t late = now_ns() - wake;
    if (late > 2 * wake_late_ns + 10000) late = 2 * wake_late_ns + 10000;
    wake_late_ns += (late - wake_late_ns) / 16;
    if (wake_late_ns > opt.delay_ns / 2) wake_late_ns = opt.delay_ns / 2;
  }
  int64_t t;
  while ((t = now_ns()) < deadline) {
  }
  const uint64_t late = (uint64_t)(t - deadline);
  stats.late_ns_sum += late;
  if (late > stats.late_ns_max) stats.late_ns_max = late;
  ++stats.delays;
}

/* ---- Inodes ----------------------------------------------------------------------------- */

/* An entry the kernel knows, held by an O_PATH descriptor of the backing entry. */
struct inode {
  struct inode* next; /* in its hash bucket */
  int fd;
  dev_t dev;
  ino_t ino;
  uint64_t nlookup;
  char* path; /* below the root, as first looked up: for the trace only */
};

#define BUCKETS 4096
static struct inode* buckets[BUCKETS];
static struct inode root;

static struct inode* inode_of(fuse_ino_t ino) {
  return ino == FUSE_ROOT_ID ? &root : (struct inode*)(uintptr_t)ino;
}

static size_t bucket_of(dev_t dev, ino_t ino) {
  return (size_t)((ino * 2654435761u) ^ dev) % BUCKETS;
}

static char* joined(const char* folder, const char* name) {
  size_t n = strlen(folder) + strlen(name) + 2;
  char* path = malloc(n);
  if (path != NULL) snprintf(path, n, "%s/%s", folder, name);
  return path;
}

/* The inode of (dev, ino), made when new; takes fd (closes it when the inode was known). */
static struct inode* inode_for(int fd, const struct stat* st, const char* path) {
  if (st->st_dev == root.dev && st->st_ino == root.ino) {
    close(fd);
    return &root;
  }
  size_t b = bucket_of(st->st_dev, st->st_ino);
  for (struct inode* i = buckets[b]; i != NULL; i = i->next) {
    if (i->dev == st->st_dev && i->ino == st->st_ino) {
      close(fd);
      return i;
    }
  }
  struct inode* i = calloc(1, sizeof *i);
  if (i == NULL) {
    close(fd);
    return NULL;
  }
  i->fd = fd;
  i->dev = st->st_dev;
  i->ino = st->st_ino;
  i->path = strdup(path);
  i->next = buckets[b];
  buckets[b] = i;
  return i;
}

static void forget_one(fuse_ino_t ino, uint64_t n) {
  struct inode* i = inode_of(ino);
  if (i == &root) return;
  i->nlookup = n >= i->nlookup ? 0 : i->nlookup - n;
  if (i->nlookup > 0) return;
  size_t b = bucket_of(i->dev, i->ino);
  for (struct inode** p = &buckets[b]; *p != NULL; p = &(*p)->next) {
    if (*p == i) {
      *p = i->next;
      break;
    }
  }
  close(i->fd);
  free(i->path);
  free(i);
}

/* "/proc/self/fd/N" for an O_PATH descriptor: the calls that take no such descriptor. */
static const char* proc_path(const struct inode* i, char buf[64]) {
  snprintf(buf, 64, "/proc/self/fd/%d", i->fd);
  return buf;
}

static double timeout_for(mode_t mode) { return S_ISDIR(mode) ? opt.dir_timeout : opt.timeout; }

/* ---- Every request starts here ---------------------------------------------------------- */

static void begin(enum kind k, const struct inode* i, const char* name, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

static void begin(enum kind k, const struct inode* i, const char* name, const char* fmt, ...) {
  ++stats.kind[k];
  if (trace != NULL) {
    fprintf(trace, "%s %s%s%s", kind_names[k], i != NULL && i->path != NULL ? i->path : "",
            name != NULL ? "/" : "", name != NULL ? name : "");
    if (fmt != NULL) {
      va_list ap;
      va_start(ap, fmt);
      fputc(' ', trace);
      vfprintf(trace, fmt, ap);
      va_end(ap);
    }
    fputc('\n', trace);
  }
  if (delayed(k)) round_trip();
}

/* The entry of name in parent, for lookup and the requests that make an entry. */
static int make_entry(struct inode* parent, const char* name, struct fuse_entry_param* e) {
  memset(e, 0, sizeof *e);
  int fd = openat(parent->fd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  if (fstatat(fd, "", &e->attr, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) {
    int err = errno;
    close(fd);
    return err;
  }
  char* path = joined(parent->path, name);
  struct inode* i = inode_for(fd, &e->attr, path != NULL ? path : "?");
  free(path);
  if (i == NULL) return ENOMEM;
  ++i->nlookup;
  e->ino = (fuse_ino_t)(uintptr_t)i;
  if (i == &root) e->ino = FUSE_ROOT_ID;
  e->attr_timeout = e->entry_timeout = timeout_for(e->attr.st_mode);
  return 0;
}

static void reply_entry(fuse_req_t req, struct inode* parent, const char* name) {
  struct fuse_entry_param e;
  int err = make_entry(parent, name, &e);
  if (err != 0) {
    fuse_reply_err(req, err);
  } else {
    fuse_reply_entry(req, &e);
  }
}

/* ---- Names ------------------------------------------------------------------------------ */

static void sim_lookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
  struct inode* p = inode_of(parent);
  begin(K_LOOKUP, p, name, NULL);
  struct fuse_entry_param e;
  int err = make_entry(p, name, &e);
  if (err != 0) {
    if (err == ENOENT) ++stats.detail[D_LOOKUP_MISSING];
    fuse_reply_err(req, err);
    return;
  }
  ++stats.detail[S_ISDIR(e.attr.st_mode) ? D_LOOKUP_FOLDER : D_LOOKUP_FILE];
  fuse_reply_entry(req, &e);
}

static void sim_forget(fuse_req_t req, fuse_ino_t ino, uint64_t nlookup) {
  begin(K_FORGET, NULL, NULL, NULL);
  forget_one(ino, nlookup);
  fuse_reply_none(req);
}

static void sim_forget_multi(fuse_req_t req, size_t count, struct fuse_forget_data* forgets) {
  begin(K_BATCH_FORGET, NULL, NULL, "%zu", count);
  for (size_t n = 0; n < count; ++n) forget_one(forgets[n].ino, forgets[n].nlookup);
  fuse_reply_none(req);
}

static void sim_getattr(fuse_req_t req, fuse_ino_t ino, struct fuse_file_info* fi) {
  struct inode* i = inode_of(ino);
  begin(K_GETATTR, i, NULL, fi != NULL ? "open" : NULL);
  struct stat st;
  int rc = fi != NULL ? fstat((int)fi->fh, &st)
                      : fstatat(i->fd, "", &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
  if (rc != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  ++stats.detail[fi != NULL            ? D_GETATTR_OPEN
                 : S_ISDIR(st.st_mode) ? D_GETATTR_FOLDER
                                       : D_GETATTR_FILE];
  fuse_reply_attr(req, &st, timeout_for(st.st_mode));
}

static void sim_setattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int valid,
                        struct fuse_file_info* fi) {
  struct inode* i = inode_of(ino);
  begin(K_SETATTR, i, NULL, "valid=0x%x", (unsigned)valid);
  char buf[64];
  const char* path = proc_path(i, buf);
  int rc = 0;
  if (valid & FUSE_SET_ATTR_MODE) {
    ++stats.detail[D_SETATTR_MODE];
    rc = fi != NULL ? fchmod((int)fi->fh, attr->st_mode) : chmod(path, attr->st_mode);
  }
  if (rc == 0 && (valid & (FUSE_SET_ATTR_UID | FUSE_SET_ATTR_GID))) {
    ++stats.detail[D_SETATTR_OWNER];
    uid_t uid = (valid & FUSE_SET_ATTR_UID) ? attr->st_uid : (uid_t)-1;
    gid_t gid = (valid & FUSE_SET_ATTR_GID) ? attr->st_gid : (gid_t)-1;
    rc = fchownat(i->fd, "", uid, gid, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
  }
  if (rc == 0 && (valid & FUSE_SET_ATTR_SIZE)) {
    ++stats.detail[D_SETATTR_SIZE];
    rc = fi != NULL ? ftruncate((int)fi->fh, attr->st_size) : truncate(path, attr->st_size);
  }
  if (rc == 0 && (valid & (FUSE_SET_ATTR_ATIME | FUSE_SET_ATTR_MTIME))) {
    ++stats.detail[D_SETATTR_TIMES];
    struct timespec tv[2] = {{.tv_nsec = UTIME_OMIT}, {.tv_nsec = UTIME_OMIT}};
    if (valid & FUSE_SET_ATTR_ATIME_NOW) {
      tv[0].tv_nsec = UTIME_NOW;
    } else if (valid & FUSE_SET_ATTR_ATIME) {
      tv[0] = attr->st_atim;
    }
    if (valid & FUSE_SET_ATTR_MTIME_NOW) {
      tv[1].tv_nsec = UTIME_NOW;
    } else if (valid & FUSE_SET_ATTR_MTIME) {
      tv[1] = attr->st_mtim;
    }
    rc = fi != NULL ? futimens((int)fi->fh, tv) : utimensat(AT_FDCWD, path, tv, 0);
  }
  if (rc != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  struct stat st;
  rc = fi != NULL ? fstat((int)fi->fh, &st)
                  : fstatat(i->fd, "", &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
  if (rc != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  fuse_reply_attr(req, &st, timeout_for(st.st_mode));
}

static void sim_access(fuse_req_t req, fuse_ino_t ino, int mask) {
  struct inode* i = inode_of(ino);
  begin(K_ACCESS, i, NULL, "mask=%d", mask);
  char buf[64];
  fuse_reply_err(req, faccessat(AT_FDCWD, proc_path(i, buf), mask, 0) == 0 ? 0 : errno);
}

static void sim_readlink(fuse_req_t req, fuse_ino_t ino) {
  struct inode* i = inode_of(ino);
  begin(K_READLINK, i, NULL, NULL);
  char target[PATH_MAX + 1];
  ssize_t n = readlinkat(i->fd, "", target, sizeof target - 1);
  if (n < 0) {
    fuse_reply_err(req, errno);
    return;
  }
  target[n] = '\0';
  fuse_reply_readlink(req, target);
}

static void sim_mknod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode,
                      dev_t rdev) {
  struct inode* p = inode_of(parent);
  begin(K_MKNOD, p, name, NULL);
  if (mknodat(p->fd, name, mode, rdev) != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  reply_entry(req, p, name);
}

static void sim_mkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode) {
  struct inode* p = inode_of(parent);
  begin(K_MKDIR, p, name, NULL);
  if (mkdirat(p->fd, name, mode) != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  reply_entry(req, p, name);
}

static void sim_symlink(fuse_req_t req, const char* link, fuse_ino_t parent, const char* name) {
  struct inode* p = inode_of(parent);
  begin(K_SYMLINK, p, name, NULL);
  if (symlinkat(link, p->fd, name) != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  reply_entry(req, p, name);
}

static void sim_link(fuse_req_t req, fuse_ino_t ino, fuse_ino_t newparent, const char* newname) {
  struct inode* i = inode_of(ino);
  struct inode* p = inode_of(newparent);
  begin(K_LINK, p, newname, NULL);
  char buf[64];
  if (linkat(AT_FDCWD, proc_path(i, buf), p->fd, newname, AT_SYMLINK_FOLLOW) != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  reply_entry(req, p, newname);
}

static void sim_unlink(fuse_req_t req, fuse_ino_t parent, const char* name) {
  struct inode* p = inode_of(parent);
  begin(K_UNLINK, p, name, NULL);
  fuse_reply_err(req, unlinkat(p->fd, name, 0) == 0 ? 0 : errno);
}

static void sim_rmdir(fuse_req_t req, fuse_ino_t parent, const char* name) {
  struct inode* p = inode_of(parent);
  begin(K_RMDIR, p, name, NULL);
  fuse_reply_err(req, unlinkat(p->fd, name, AT_REMOVEDIR) == 0 ? 0 : errno);
}

static void sim_rename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newparent,
                       const char* newname, unsigned int flags) {
  struct inode* p = inode_of(parent);
  struct inode* np = inode_of(newparent);
  begin(K_RENAME, p, name, "-> %s/%s flags=%u", np->path, newname, flags);
  fuse_reply_err(req, renameat2(p->fd, name, np->fd, newname, flags) == 0 ? 0 : errno);
}

static void sim_statfs(fuse_req_t req, fuse_ino_t ino) {
  struct inode* i = inode_of(ino);
  begin(K_STATFS, i, NULL, NULL);
  struct statvfs sv;
  if (fstatvfs(i->fd, &sv) != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  fuse_reply_statfs(req, &sv);
}

/* ---- Files ------------------------------------------------------------------------------ */

static void opened(struct fuse_file_info* fi, int fd) {
  fi->fh = (uint64_t)fd;
  fi->direct_io = !opt.page_cache;
  fi->keep_cache = 0;
}

static void count_open_flags(int flags) {
  ++stats.detail[(flags & O_ACCMODE) == O_RDONLY ? D_OPEN_READ : D_OPEN_WRITE];
  if (flags & O_TRUNC) ++stats.detail[D_OPEN_TRUNC];
}

static void sim_open(fuse_req_t req, fuse_ino_t ino, struct fuse_file_info* fi) {
  struct inode* i = inode_of(ino);
  begin(K_OPEN, i, NULL, "flags=0%o", (unsigned)fi->flags);
  count_open_flags(fi->flags);
  char buf[64];
  int fd = open(proc_path(i, buf), (fi->flags & ~O_NOFOLLOW) | O_CLOEXEC);
  if (fd < 0) {
    fuse_reply_err(req, errno);
    return;
  }
  opened(fi, fd);
  fuse_reply_open(req, fi);
}

static void sim_create(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode,
                       struct fuse_file_info* fi) {
  struct inode* p = inode_of(parent);
  begin(K_CREATE, p, name, "flags=0%o", (unsigned)fi->flags);
  count_open_flags(fi->flags);
  int fd = openat(p->fd, name, (fi->flags | O_CREAT | O_CLOEXEC) & ~O_NOFOLLOW, mode);
  if (fd < 0) {
    fuse_reply_err(req, errno);
    return;
  }
  struct fuse_entry_param e;
  int err = make_entry(p, name, &e);
  if (err != 0) {
    close(fd);
    fuse_reply_err(req, err);
    return;
  }
  opened(fi, fd);
  if (fuse_reply_create(req, &e, fi) != 0) close(fd);
}

static char* read_buf;
static size_t read_buf_size;

static void sim_read(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off,
                     struct fuse_file_info* fi) {
  begin(K_READ, inode_of(ino), NULL, "%zu@%jd", size, (intmax_t)off);
  if (size > read_buf_size) {
    char* grown = realloc(read_buf, size);
    if (grown == NULL) {
      fuse_reply_err(req, ENOMEM);
      return;
    }
    read_buf = grown;
    read_buf_size = size;
  }
  ssize_t got = pread((int)fi->fh, read_buf, size, off);
  if (got < 0) {
    fuse_reply_err(req, errno);
    return;
  }
  if (got == 0) ++stats.detail[D_READ_EMPTY];
  stats.read_bytes += (uint64_t)got;
  fuse_reply_buf(req, read_buf, (size_t)got);
}

static void sim_write(fuse_req_t req, fuse_ino_t ino, const char* data, size_t size, off_t off,
                      struct fuse_file_info* fi) {
  begin(K_WRITE, inode_of(ino), NULL, "%zu@%jd", size, (intmax_t)off);
  ssize_t put = pwrite((int)fi->fh, data, size, off);
  if (put < 0) {
    fuse_reply_err(req, errno);
    return;
  }
  stats.write_bytes += (uint64_t)put;
  fuse_reply_write(req, (size_t)put);
}

static void sim_flush(fuse_req_t req, fuse_ino_t ino, struct fuse_file_info* fi) {
  begin(K_FLUSH, inode_of(ino), NULL, NULL);
  /* Closing a duplicate ends the POSIX locks of the closing process, as close does. */
  int fd = dup((int)fi->fh);
  fuse_reply_err(req, fd >= 0 && close(fd) == 0 ? 0 : errno);
}

static void sim_release(fuse_req_t req, fuse_ino_t ino, struct fuse_file_info* fi) {
  begin(K_RELEASE, inode_of(ino), NULL, NULL);
  close((int)fi->fh);
  fuse_reply_err(req, 0);
}

static void sim_fsync(fuse_req_t req, fuse_ino_t ino, int datasync, struct fuse_file_info* fi) {
  begin(K_FSYNC, inode_of(ino), NULL, NULL);
  int rc = datasync ? fdatasync((int)fi->fh) : fsync((int)fi->fh);
  fuse_reply_err(req, rc == 0 ? 0 : errno);
}

static void sim_fallocate(fuse_req_t req, fuse_ino_t ino, int mode, off_t offset, off_t length,
                          struct fuse_file_info* fi) {
  begin(K_FALLOCATE, inode_of(ino), NULL, NULL);
  fuse_reply_err(req, fallocate((int)fi->fh, mode, offset, length) == 0 ? 0 : errno);
}

static void sim_lseek(fuse_req_t req, fuse_ino_t ino, off_t off, int whence,
                      struct fuse_file_info* fi) {
  begin(K_LSEEK, inode_of(ino), NULL, NULL);
  off_t at = lseek((int)fi->fh, off, whence);
  if (at < 0) {
    fuse_reply_err(req, errno);
  } else {
    fuse_reply_lseek(req, at);
  }
}

static void sim_copy_file_range(fuse_req_t req, fuse_ino_t ino_in, off_t off_in,
                                struct fuse_file_info* fi_in, fuse_ino_t ino_out, off_t off_out,
                                struct fuse_file_info* fi_out, size_t len, int flags) {
  (void)ino_out;
  begin(K_COPY_FILE_RANGE, inode_of(ino_in), NULL, NULL);
  ssize_t n =
      copy_file_range((int)fi_in->fh, &off_in, (int)fi_out->fh, &off_out, len, (unsigned)flags);
  if (n < 0) {
    fuse_reply_err(req, errno);
  } else {
    fuse_reply_write(req, (size_t)n);
  }
}

/* Byte-range locks on the backing file, as open-file-description locks of the backing
 * descriptor of this opening. A lock that would wait is tried once: a single-threaded server
 * that waited would stop every other request. */
static void sim_getlk(fuse_req_t req, fuse_ino_t ino, struct fuse_file_info* fi,
                      struct flock* lock) {
  begin(K_GETLK, inode_of(ino), NULL, "type=%d", lock->l_type);
  struct flock l = *lock;
  l.l_pid = 0;
  if (fcntl((int)fi->fh, F_OFD_GETLK, &l) != 0) {
    fuse_reply_err(req, errno);
    return;
  }
  fuse_reply_lock(req, &l);
}

static void sim_setlk(fuse_req_t req, fuse_ino_t ino, struct fuse_file_info* fi, struct flock* lock,
                      int sleep) {
  begin(K_SETLK, inode_of(ino), NULL, "type=%d%s", lock->l_type, sleep ? " wait" : "");
  struct flock l = *lock;
  l.l_pid = 0;
  fuse_reply_err(req, fcntl((int)fi->fh, F_OFD_SETLK, &l) == 0 ? 0 : errno);
}

/* ---- Folders ---------------------------------------------------------------------------- */

struct dir {
  DIR* dp;
  struct dirent* entry; /* read but not yet given */
  off_t offset;
};

static void sim_opendir(fuse_req_t req, fuse_ino_t ino, struct fuse_file_info* fi) {
  struct inode* i = inode_of(ino);
  begin(K_OPENDIR, i, NULL, NULL);
  struct dir* d = calloc(1, sizeof *d);
  int fd = openat(i->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d == NULL || fd < 0 || (d->dp = fdopendir(fd)) == NULL) {
    int err = d == NULL ? ENOMEM : errno;
    if (fd >= 0) close(fd);
    free(d);
    fuse_reply_err(req, err);
    return;
  }
  fi->fh = (uint64_t)(uintptr_t)d;
  fi->keep_cache = 0;
  fi->cache_readdir = 0;
  if (fuse_reply_open(req, fi) != 0) {
    closedir(d->dp);
    free(d);
  }
}

static void sim_readdir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off,
                        struct fuse_file_info* fi) {
  begin(K_READDIR, inode_of(ino), NULL, "%zu@%jd", size, (intmax_t)off);
  struct dir* d = (struct dir*)(uintptr_t)fi->fh;
  char* buf = calloc(1, size);
  if (buf == NULL) {
    fuse_reply_err(req, ENOMEM);
    return;
  }
  if (off != d->offset) {
    seekdir(d->dp, off);
    d->entry = NULL;
    d->offset = off;
  }
  size_t used = 0;
  int err = 0;
  for (;;) {
    if (d->entry == NULL) {
      errno = 0;
      d->entry = readdir(d->dp);
      if (d->entry == NULL) {
        err = errno;
        break;
      }
    }
    struct stat st = {.st_ino = d->entry->d_ino, .st_mode = (mode_t)(d->entry->d_type << 12)};
    size_t n =
        fuse_add_direntry(req, buf + used, size - used, d->entry->d_name, &st, d->entry->d_off);
    if (n > size - used) break;
    used += n;
    d->offset = d->entry->d_off;
    d->entry = NULL;
  }
  if (err != 0 && used == 0) {
    fuse_reply_err(req, err);
  } else {
    fuse_reply_buf(req, buf, used);
  }
  free(buf);
}

static void sim_releasedir(fuse_req_t req, fuse_ino_t ino, struct fuse_file_info* fi) {
  begin(K_RELEASEDIR, inode_of(ino), NULL, NULL);
  struct dir* d = (struct dir*)(uintptr_t)fi->fh;
  closedir(d->dp);
  free(d);
  fuse_reply_err(req, 0);
}

static void sim_fsyncdir(fuse_req_t req, fuse_ino_t ino, int datasync, struct fuse_file_info* fi) {
  begin(K_FSYNCDIR, inode_of(ino), NULL, NULL);
  struct dir* d = (struct dir*)(uintptr_t)fi->fh;
  int fd = dirfd(d->dp);
  int rc = datasync ? fdatasync(fd) : fsync(fd);
  fuse_reply_err(req, rc == 0 ? 0 : errno);
}

/* ---- Extended attributes ---------------------------------------------------------------- */

static void reply_xattr_result(fuse_req_t req, ssize_t n, size_t size, const char* value) {
  if (n < 0) {
    fuse_reply_err(req, errno);
  } else if (size == 0) {
    fuse_reply_xattr(req, (size_t)n);
  } else {
    fuse_reply_buf(req, value, (size_t)n);
  }
}

static void sim_getxattr(fuse_req_t req, fuse_ino_t ino, const char* name, size_t size) {
  struct inode* i = inode_of(ino);
  begin(K_GETXATTR, i, NULL, "%s", name);
  count_xattr(name);
  char buf[64];
  char* value = size > 0 ? malloc(size) : NULL;
  if (size > 0 && value == NULL) {
    fuse_reply_err(req, ENOMEM);
    return;
  }
  reply_xattr_result(req, getxattr(proc_path(i, buf), name, value, size), size, value);
  free(value);
}

static void sim_listxattr(fuse_req_t req, fuse_ino_t ino, size_t size) {
  struct inode* i = inode_of(ino);
  begin(K_LISTXATTR, i, NULL, NULL);
  char buf[64];
  char* value = size > 0 ? malloc(size) : NULL;
  if (size > 0 && value == NULL) {
    fuse_reply_err(req, ENOMEM);
    return;
  }
  reply_xattr_result(req, listxattr(proc_path(i, buf), value, size), size, value);
  free(value);
}

static void sim_setxattr(fuse_req_t req, fuse_ino_t ino, const char* name, const char* value,
                         size_t size, int flags) {
  struct inode* i = inode_of(ino);
  begin(K_SETXATTR, i, NULL, "%s", name);
  char buf[64];
  fuse_reply_err(req, setxattr(proc_path(i, buf), name, value, size, flags) == 0 ? 0 : errno);
}

static void sim_removexattr(fuse_req_t req, fuse_ino_t ino, const char* name) {
  struct inode* i = inode_of(ino);
  begin(K_REMOVEXATTR, i, NULL, "%s", name);
  char buf[64];
  fuse_reply_err(req, removexattr(proc_path(i, buf), name) == 0 ? 0 : errno);
}

/* ---- Session ---------------------------------------------------------------------------- */

static void sim_init(void* userdata, struct fuse_conn_info* conn) {
  (void)userdata;
  /* Listings without attributes, no write-back caching: see the head of this file. */
  conn->want &= ~(unsigned)(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO |
                            FUSE_CAP_WRITEBACK_CACHE | FUSE_CAP_AUTO_INVAL_DATA);
  if (conn->capable & FUSE_CAP_ATOMIC_O_TRUNC) conn->want |= FUSE_CAP_ATOMIC_O_TRUNC;
  /* Requests of up to 1 MiB, as an SMB READ or WRITE. */
  conn->max_write = 1u << 20;
  conn->max_readahead = 0;
}

static const struct fuse_lowlevel_ops ops = {
    .init = sim_init,
    .lookup = sim_lookup,
    .forget = sim_forget,
    .forget_multi = sim_forget_multi,
    .getattr = sim_getattr,
    .setattr = sim_setattr,
    .access = sim_access,
    .readlink = sim_readlink,
    .mknod = sim_mknod,
    .mkdir = sim_mkdir,
    .symlink = sim_symlink,
    .link = sim_link,
    .unlink = sim_unlink,
    .rmdir = sim_rmdir,
    .rename = sim_rename,
    .statfs = sim_statfs,
    .open = sim_open,
    .create = sim_create,
    .read = sim_read,
    .write = sim_write,
    .flush = sim_flush,
    .release = sim_release,
    .fsync = sim_fsync,
    .fallocate = sim_fallocate,
    .lseek = sim_lseek,
    .copy_file_range = sim_copy_file_range,
    .getlk = sim_getlk,
    .setlk = sim_setlk,
    .opendir = sim_opendir,
    .readdir = sim_readdir,
    .releasedir = sim_releasedir,
    .fsyncdir = sim_fsyncdir,
    .getxattr = sim_getxattr,
    .listxattr = sim_listxattr,
    .setxattr = sim_setxattr,
    .removexattr = sim_removexattr,
};

static void print_stats(FILE* out) {
  uint64_t requests = 0, trips = 0;
  for (int k = 0; k < K_COUNT; ++k) {
    requests += stats.kind[k];
    if (delayed((enum kind)k)) trips += stats.kind[k];
  }
  fprintf(out, "# share-sim: %ld us per round trip; %s; timeout %g s, folders %g s\n",
          opt.delay_ns / 1000, opt.page_cache ? "page cache" : "direct I/O", opt.timeout,
          opt.dir_timeout);
  fprintf(out, "round_trips %" PRIu64 "\n", trips);
  fprintf(out, "requests %" PRIu64 "\n", requests);
  /* Every kind, each followed by its finer counts. */
  for (int k = 0; k < K_COUNT; ++k) {
    const char* kind = kind_names[k];
    const size_t n = strlen(kind);
    fprintf(out, "%s %" PRIu64 "\n", kind, stats.kind[k]);
    for (int d = 0; d < D_COUNT; ++d) {
      if (strncmp(detail_names[d], kind, n) == 0 && detail_names[d][n] == '.')
        fprintf(out, "%s %" PRIu64 "\n", detail_names[d], stats.detail[d]);
    }
    if (k == K_GETXATTR) {
      for (int x = 0; x < MAX_XATTR_NAMES && stats.xattr[x].count > 0; ++x)
        fprintf(out, "getxattr.%s %" PRIu64 "\n", stats.xattr[x].name, stats.xattr[x].count);
    }
    if (k == K_READ) fprintf(out, "read.bytes %" PRIu64 "\n", stats.read_bytes);
    if (k == K_WRITE) fprintf(out, "write.bytes %" PRIu64 "\n", stats.write_bytes);
  }
  if (stats.delays > 0) {
    fprintf(out, "delay.late_us_mean %.1f\n",
            (double)stats.late_ns_sum / (double)stats.delays / 1000.0);
    fprintf(out, "delay.late_us_max %.1f\n", (double)stats.late_ns_max / 1000.0);
  }
}

static void usage(const char* argv0) {
  fprintf(stderr,
          "usage: %s BACKING MOUNTPOINT [--delay=US] [--spin=US] [--stats=FILE] [--trace=FILE]\n"
          "       [--timeout=S] [--dir-timeout=S] [--page-cache] [--debug]\n",
          argv0);
}

static bool number_option(const char* arg, const char* name, double* out) {
  size_t n = strlen(name);
  if (strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
  char* end;
  errno = 0;
  *out = strtod(arg + n + 1, &end);
  if (errno != 0 || end == arg + n + 1 || *end != '\0' || *out < 0) {
    fprintf(stderr, "share-sim: %s wants a number not below 0\n", name);
    exit(2);
  }
  return true;
}

static void parse(int argc, char** argv) {
  for (int a = 1; a < argc; ++a) {
    const char* arg = argv[a];
    double v;
    if (number_option(arg, "--delay", &v)) {
      opt.delay_ns = (long)(v * 1000);
    } else if (number_option(arg, "--spin", &v)) {
      opt.spin_ns = (long)(v * 1000);
    } else if (number_option(arg, "--timeout", &v)) {
      opt.timeout = v;
    } else if (number_option(arg, "--dir-timeout", &v)) {
      opt.dir_timeout = v;
      opt.dir_timeout_given = true;
    } else if (strncmp(arg, "--stats=", 8) == 0) {
      opt.stats_file = arg + 8;
    } else if (strncmp(arg, "--trace=", 8) == 0) {
      opt.trace_file = arg + 8;
    } else if (strcmp(arg, "--page-cache") == 0) {
      opt.page_cache = true;
    } else if (strcmp(arg, "--debug") == 0) {
      opt.debug = true;
    } else if (arg[0] == '-') {
      usage(argv[0]);
      exit(2);
    } else if (opt.backing == NULL) {
      opt.backing = arg;
    } else if (opt.mountpoint == NULL) {
      opt.mountpoint = arg;
    } else {
      usage(argv[0]);
      exit(2);
    }
  }
  if (opt.mountpoint == NULL) {
    usage(argv[0]);
    exit(2);
  }
  if (!opt.dir_timeout_given) opt.dir_timeout = opt.timeout;
}

int main(int argc, char** argv) {
  parse(argc, argv);
  /* Wake-ups as close to the asked time as the kernel gives them. */
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

  root.fd = open(opt.backing, O_PATH | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (root.fd < 0 || fstat(root.fd, &st) != 0) {
    fprintf(stderr, "share-sim: %s: %s\n", opt.backing, strerror(errno));
    return 1;
  }
  root.dev = st.st_dev;
  root.ino = st.st_ino;
  root.nlookup = 2;
  root.path = "";
  if (opt.trace_file != NULL && (trace = fopen(opt.trace_file, "w")) == NULL) {
    fprintf(stderr, "share-sim: %s: %s\n", opt.trace_file, strerror(errno));
    return 1;
  }

  char* fuse_argv[] = {argv[0], "-o", "fsname=share-sim,subtype=share-sim", "-d", NULL};
  struct fuse_args args = FUSE_ARGS_INIT(opt.debug ? 4 : 3, fuse_argv);
  struct fuse_session* se = fuse_session_new(&args, &ops, sizeof ops, NULL);
  if (se == NULL) return 1;
  int status = 1;
  if (fuse_set_signal_handlers(se) == 0) {
    if (fuse_session_mount(se, opt.mountpoint) == 0) {
      status = fuse_session_loop(se) == 0 ? 0 : 1;
      fuse_session_unmount(se);
    }
    fuse_remove_signal_handlers(se);
  }
  fuse_session_destroy(se);
  fuse_opt_free_args(&args);

  if (trace != NULL) fclose(trace);
  print_stats(stderr);
  if (opt.stats_file != NULL) {
    FILE* out = fopen(opt.stats_file, "w");
    if (out == NULL) {
      fprintf(stderr, "share-sim: %s: %s\n", opt.stats_file, strerror(errno));
      return 1;
    }
    print_stats(out);
    if (fclose(out) != 0) status = 1;
  }
  return status;
}
