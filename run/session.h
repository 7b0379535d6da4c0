// One run over a data folder, as every front end makes it: the folder's file system is
// opened, the folder's lock taken, the context built (through the backing-up file system
// when the run is to be undoable), the step run with the front end's sink, and the lock
// given back. The command line and the dialog both run their steps through it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/forwarding_file_system.h"
#include "records/context.h"
#include "run/folder_lock.h"
#include "run/run_backups.h"

namespace livrana {

struct SessionOptions {
  std::string company_filter;  // as typed, at most 10 characters, not trimmed
  bool backup = false;         // keep a safety copy of every file before its first change
  bool break_lock = false;     // take the lock even from another converter
  // The user's interruption (see platform::CatchInterrupts) stops the step at its next
  // change of a file, with Cause::kInterrupted.
  bool interruptible = false;
};

class Session {
 public:
  // host: the data folder's file system.
  Session(std::unique_ptr<platform::FileSystem> host, SessionOptions options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Takes the data folder's lock (see FolderLock::Acquire); holder() tells who holds it
  // when another converter does.
  Outcome Lock();
  const LockHolder& holder() const { return holder_; }

  // Runs a step over the folder with the sink; the lock must have been taken.
  Outcome Run(Sink& sink, const std::function<Outcome(Context&)>& step);

  // Gives the lock back; fails when the lock file could not be removed.
  Outcome Unlock();

  // The data folder's own file system, and the one the steps work through.
  platform::FileSystem& host() { return *host_; }
  platform::FileSystem& fs();
  // The files of the data folder that the steps changed, created or removed so far.
  std::int64_t FilesChanged() const;
  // With backups: what undoes the run, as far as it has gone.
  std::optional<RunUndo> Undo() {
    return backups_ ? std::optional<RunUndo>(backups_->Undo()) : std::nullopt;
  }

 private:
  std::unique_ptr<platform::FileSystem> host_;
  SessionOptions options_;
  std::optional<BackedUpRun> backups_;
  class RunFileSystem;
  std::unique_ptr<RunFileSystem> run_fs_;
  std::optional<FolderLock> lock_;
  LockHolder holder_;
};

}  // namespace livrana
