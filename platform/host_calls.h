// The calls that the host file systems make to the operating system, counted by kind for the
// tests that check what an operation costs: on a file server's share each of them is a round
// trip. Counting is compiled in only where the tests are built (LIVRANA_COUNT_HOST_CALLS);
// elsewhere NoteHostCall is empty.
#pragma once

#include <array>
#include <cstddef>

namespace livrana::platform {

enum class HostCall {
  kOpen,    // a file or folder opened: CreateFileA; open, openat, openat2
  kSize,    // the size or attributes of an open file: GetFileInformationByHandle,
            // GetFileSizeEx, GetFileType; fstat
  kRead,    // ReadFile; pread
  kWrite,   // WriteFile; pwrite
  kClose,   // CloseHandle; close
  kQuery,   // the attributes of a named entry: GetFileAttributesA, GetLongPathNameA; stat,
            // lstat, fstatat, getxattr, realpath
  kList,    // a folder listed: FindFirstFileA, FindNextFileA, FindClose; getdents64
  kChange,  // a name or attribute changed: MoveFileA, MoveFileExA, DeleteFileA,
            // CreateDirectoryA, RemoveDirectoryA, SetFileAttributesA, CopyFileA; rename,
            // link, unlink, mkdir, rmdir, chmod
  kOther,   // syncs, truncations, locks and the rest
  kKinds
};

struct HostCalls {
  std::array<long, static_cast<std::size_t>(HostCall::kKinds)> counts{};
  long operator[](HostCall kind) const { return counts[static_cast<std::size_t>(kind)]; }
  long Total() const {
    long total = 0;
    for (long n : counts) total += n;
    return total;
  }
};

#ifdef LIVRANA_COUNT_HOST_CALLS
// Counts the calls of every host file system into calls, until it is called with null.
void CountHostCalls(HostCalls* calls);
// One call of the kind, made by a host file system.
void NoteHostCall(HostCall kind);
#else
inline void NoteHostCall(HostCall) {}
#endif

}  // namespace livrana::platform
