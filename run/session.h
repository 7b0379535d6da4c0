// One run over a data folder, as every front end makes it: the folder's file system is
// opened, the folder's lock taken, the context built (through the backing-up file system
// when the run is to be undoable), the step run with the front end's sink, its line added to
// the folder's history, and the lock given back. The command line and the dialog both run
// their steps through it; the command line undoes runs with backups through it too.
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
  // How the front end started the run, as the history and the manifest of a run with
  // backups record it: "convert", "upgrade", "run", "undo", "dialogo".
  std::string command;
  // What the lock names while the session holds it: the command and, for one library step,
  // its name ("run chart-r1"). A later run of the same task that takes over the lock of a
  // stopped one knows whose work it finds (see TookOverStopped).
  std::string task;
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
  // Whether the lock taken was that of a run of the same task that was stopped (its process
  // no longer runs, or the lock was broken): its work may be done, only its end unrecorded.
  bool TookOverStopped() const {
    return lock_ && holder_.pid != 0 && !options_.task.empty() && holder_.task == options_.task;
  }

  // Runs a step over the folder with the sink; the lock must have been taken. With backups,
  // the run's folder and manifest below the safety folder are made first (see
  // BackedUpRun::Start); when they cannot be, nothing runs. When the step ends, Record
  // records it under the name step.
  Outcome Run(Sink& sink, std::string_view step, const std::function<Outcome(Context&)>& work);
  // The same for work of several steps (an upgrade), which records each step with Record.
  Outcome Run(Sink& sink, const std::function<Outcome(Context&)>& work);
  // Records that a step ended with outcome: a line of the folder's history, written through
  // host() (never backed up), and with backups a line of the run's manifest. A line that
  // cannot be written is told to the sink of the Run as a warning, and given back; the step's
  // own outcome stays as it is. A folder refused as no data folder gets no history.
  Outcome Record(std::string_view step, const Outcome& outcome);

  // Gives the lock back, after the end of a run with backups is recorded in its manifest;
  // fails when the lock file could not be removed.
  Outcome Unlock();

  // The data folder's own file system, and the one the steps work through (once a Run has
  // begun; the data folder's own before).
  platform::FileSystem& host() { return *host_; }
  platform::FileSystem& fs();
  // The files of the data folder that the steps changed, created or removed so far.
  std::int64_t FilesChanged() const;
  // With backups, once a Run has started: what undoes the run, as far as it has gone, and
  // the run's id (empty before).
  std::optional<RunUndo> Undo() {
    return backups_ ? std::optional<RunUndo>(backups_->Undo()) : std::nullopt;
  }
  std::string RunId() const { return backups_ ? backups_->id() : std::string(); }

  // The runs with backups of the data folder, oldest first (see RecordedRuns).
  std::vector<RecordedRun> RecordedRuns();
  // The run that UndoRun(id) would undo, or why there is none (see RunToUndo).
  Outcome RunToUndo(std::string_view id, RecordedRun* run);
  // Undoes a run with backups of the data folder (see UndoRun); the lock must have been
  // taken. The history records it as the command's, with the run's id.
  UndoResult UndoRun(std::string_view id);

 private:
  Outcome Begin();

  std::unique_ptr<platform::FileSystem> host_;
  SessionOptions options_;
  std::unique_ptr<BackedUpRun> backups_;
  bool finished_ = false;  // the end of the run with backups is recorded
  Outcome result_;         // the first failure of the runs
  Sink* sink_ = nullptr;   // the sink of the Run under way
  class RunFileSystem;
  std::unique_ptr<RunFileSystem> run_fs_;
  std::optional<FolderLock> lock_;
  LockHolder holder_;
};

}  // namespace livrana
