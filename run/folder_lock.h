// The lock that keeps two converters off one data folder: the file LIVRANA.LCK, created
// exclusively while a step runs, holding the process id, the machine, the time and the task
// ("run chart-r1", "convert"), so that the next run can tell whose work a stopped run left.
#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace livrana {

inline constexpr std::string_view kLockFile = "LIVRANA.LCK";

struct LockHolder {
  int pid = 0;
  std::string host;
  std::string time;  // UTC, as "2026-12-08 04:30:00"
  std::string task;  // what the holder runs: the command and its step ("run chart-r1")
};

// Whether an outcome is that of a lock another converter holds.
inline bool LockHeld(const Outcome& outcome) {
  return outcome.operation() == Operation::kLock && outcome.cause() == Cause::kBusy;
}

class FolderLock {
 public:
  // Takes the lock of the data folder for the task. A lock left by a process of this machine
  // that no longer runs is taken over; break_lock takes over any lock. Fails with the
  // operation kLock: cause kBusy when another converter holds it (holder then tells who, as
  // far as the lock file can be read), else the cause for which the lock file cannot be
  // written. On success, holder tells whose lock was taken over (pid 0 when none was).
  static Outcome Acquire(platform::FileSystem& fs, std::string_view task, bool break_lock,
                         std::optional<FolderLock>* lock, LockHolder* holder);

  FolderLock(FolderLock&& other) noexcept : fs_(other.fs_), me_(other.me_) { other.fs_ = nullptr; }
  FolderLock& operator=(FolderLock&&) = delete;
  ~FolderLock() { (void)Release(); }
  // Removes the lock file when it is still this process's; fails when it could not be
  // removed (the next run would find the folder locked).
  Outcome Release();

 private:
  FolderLock(platform::FileSystem& fs, LockHolder me) : fs_(&fs), me_(std::move(me)) {}
  platform::FileSystem* fs_;
  LockHolder me_;
};

// The holder written in a lock file, or nothing when there is none or it cannot be read.
std::optional<LockHolder> ReadLock(platform::FileSystem& fs);

}  // namespace livrana
