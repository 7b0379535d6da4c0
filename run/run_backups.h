// A run that can be undone: the step works through a file system that copies every file of
// the data folder to its safety copy (the numbered names below the temporary folder) before
// its first change; a folder that the step renames has every file in it copied first. At
// the end the run tells what to undo: the backups to copy back, and the files and folders
// that it created or removed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "run/backup_file_system.h"

namespace livrana {

struct RunUndo {
  std::vector<BackupFileSystem::Backup> backups;  // copy each back to its original
  std::vector<std::string> created_files;         // delete
  std::vector<std::string> created_folders;       // delete, with everything in them
  std::vector<std::string> removed_folders;       // make again (before copying back)
};

class BackedUpRun {
 public:
  // Notes the folders of the data folder as they are before the run.
  explicit BackedUpRun(platform::FileSystem& data);
  ~BackedUpRun();
  BackedUpRun(const BackedUpRun&) = delete;
  BackedUpRun& operator=(const BackedUpRun&) = delete;

  // The file system the step is to work through.
  platform::FileSystem& fs();
  // What undoes the run, as far as it has gone. Paths are relative to the data folder;
  // backup copies are absolute.
  RunUndo Undo();

 private:
  class Folders;
  platform::FileSystem& data_;
  std::unique_ptr<BackupFileSystem> backup_;
  std::unique_ptr<platform::FileSystem> folders_;
  std::vector<std::string> folders_before_;
};

// Every folder below the data folder, as paths relative to it, parents before children.
std::vector<std::string> FoldersBelow(platform::FileSystem& fs, std::string_view folder = "");

// The host's own form of a path of the data folder (or of an absolute one), each existing
// component spelt as it is on the disk: a path that can be typed in a shell.
std::string HostPath(platform::FileSystem& fs, std::string_view path);

}  // namespace livrana
