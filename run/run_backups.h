// A run that can be undone. The step works through a file system that copies every file of
// the data folder to the run's own folder below the safety folder before its first change (a
// folder that the step renames has every file in it copied first), and the run's manifest
// records as it goes the data folder, the folders it held, each backup once its copy is
// whole and each path the run creates, so that a run stopped anywhere can still be undone
// (see run_manifest.h for the layout of the run's folder and of the manifest).
//
// An undo gives the data folder back as it was before the run, byte for byte: what the run
// created goes, the folders it removed are made again, every backup is copied back over its
// original, and then every original is checked against its backup. The runs of a data folder
// are undone from the last one back; the converter's own files (its lock and its history
// CONVHIST.DAT) are not part of it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "run/backup_file_system.h"

namespace livrana {

class ManifestWriter;

// What undoes a run (or, after an undo, what was undone). Paths are relative to the data
// folder; backup copies are absolute.
struct RunUndo {
  std::string id;                                 // the run's id (its folder's name)
  std::vector<BackupFileSystem::Backup> backups;  // copy each back to its original
  std::vector<std::string> created_files;         // delete
  std::vector<std::string> created_folders;       // delete, with everything in them
  std::vector<std::string> removed_folders;       // make again (before copying back)

  // Whether the run changed nothing that an undo would give back.
  bool empty() const {
    return backups.empty() && created_files.empty() && created_folders.empty() &&
           removed_folders.empty();
  }
};

class BackedUpRun {
 public:
  // Starts a run with backups over the data folder: makes the run's folder below the safety
  // folder and writes the start of its manifest (command says how the run was started).
  // Fails, with nothing changed, when they cannot be written; the outcome names the folder
  // and the cause.
  static Outcome Start(platform::FileSystem& data, std::string_view command,
                       std::unique_ptr<BackedUpRun>* run);
  ~BackedUpRun();
  BackedUpRun(const BackedUpRun&) = delete;
  BackedUpRun& operator=(const BackedUpRun&) = delete;

  // The file system the steps are to work through.
  platform::FileSystem& fs();
  // The run's id: the name of its folder below the safety folder.
  const std::string& id() const;
  // Records in the manifest that a step of the run ended, and how.
  Outcome StepEnded(std::string_view step, const Outcome& outcome);
  // Records the end of the run; nothing is recorded after it.
  Outcome Finish(const Outcome& outcome);
  // Removes the run's folder, once finished, when the run changed nothing: a run that left
  // nothing to undo is not one that an undo would take for the last.
  Outcome DiscardIfEmpty();
  // What undoes the run, as far as it has gone; why tells a folder that could not be listed
  // (a folder the run made below it is then missing), when it is given.
  RunUndo Undo(Outcome* why = nullptr);

 private:
  BackedUpRun() = default;
  class Folders;
  platform::FileSystem* data_ = nullptr;
  std::unique_ptr<ManifestWriter> manifest_;
  std::unique_ptr<BackupFileSystem> backup_;
  std::unique_ptr<platform::FileSystem> folders_;
};

// A run with backups as its manifest records it.
struct RecordedRun {
  std::string id;
  std::string folder;   // the run's folder below the safety folder (absolute)
  int sequence = 0;     // 1 for the data folder's first run with backups, 2 for the next, ...
  std::string started;  // dd/mm/yyyy hh:mm:ss
  std::string command;  // how it was started: "upgrade", "run split-ledgers"
  std::vector<std::string> steps;  // "<step> <result>" for each step that ended
  bool complete = false;           // it ended; otherwise it was interrupted
  std::string result, text;        // how it ended (history.h's result words)
  bool undone = false;
  std::string undone_at;  // dd/mm/yyyy hh:mm:ss
  std::size_t backups = 0, created = 0;
};

// The runs with backups of this data folder (the one whose RealRoot the manifests name;
// those of other data folders in the same safety folder are not listed), oldest first.
std::vector<RecordedRun> RecordedRuns(platform::FileSystem& data);

// The run that UndoRun would undo: the one of that id, or with an empty id the last run not
// undone. Fails (operation kUndo) when the safety folder holds no run of this data folder
// (kNoSafetyFolder, kNoRun), the id names none of them (kNoRun; the detail says when it is
// another data folder's), the run was undone already (kUndone), or a later run of the folder
// is not undone yet (kLaterRun, the detail naming it): runs are undone from the last back,
// since a later run may have changed what the earlier one left.
Outcome RunToUndo(platform::FileSystem& data, std::string_view id, RecordedRun* run);

struct UndoResult {
  RecordedRun run;
  RunUndo undone;                        // what was restored, deleted and made again
  std::vector<std::string> differences;  // what the check found different, one sentence each
  Outcome outcome;
};

// Undoes the run (see RunToUndo): every backup copy is checked to be whole first (nothing
// is changed when one is not: kCopyDamaged); then the files and folders the run created are
// deleted (a link to a folder as a link), the folders it removed made again and every backup
// copied back over its original (a read-only original made writable first, the attribute
// then set as it was). Then every original is compared with its backup byte for byte, and
// what the run created must be gone and its folders as they were: any difference fails the
// undo (kNotRestored, the differences listed) and the run stays to be undone again.
// Otherwise the run is marked undone in its manifest. The folder's lock must be held.
UndoResult UndoRun(platform::FileSystem& data, std::string_view id);

// Every folder below the data folder, as paths relative to it, parents before children. The
// walk stops at a folder that cannot be listed, why then telling it when it is given.
std::vector<std::string> FoldersBelow(platform::FileSystem& fs, std::string_view folder = "",
                                      Outcome* why = nullptr);

// The host's own form of a path of the data folder (or of an absolute one), each existing
// component spelt as it is on the disk and joined with the host's separator: a path that
// can be typed in a shell.
std::string HostPath(platform::FileSystem& fs, std::string_view path);

}  // namespace livrana
