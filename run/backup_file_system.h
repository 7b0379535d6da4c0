// A file system that keeps a backup of every file of the data folder before a step first
// changes it: the file is copied to its safety copy before its first write, truncation,
// emptying, change of attribute, rename or deletion; then the step changes it. A file about to be
// created where none was is told first as well. A run with backups can be undone by copying the
// backups back and deleting the files that the run created (both are listed).
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/forwarding_file_system.h"

namespace livrana {

class BackupFileSystem final : public platform::ForwardingFileSystem {
 public:
  // backup copies a file of the data folder to its safety copy and gives the copy's path,
  // or nothing when that failed (why then says why); the change that needed it is then
  // refused.
  using BackupFn = std::function<std::optional<std::string>(std::string_view path, Outcome& why)>;
  // creating is told of a path of the data folder where nothing is yet, before something is
  // created there (once a path); when it fails, the creation is refused.
  using CreateFn = std::function<Outcome(std::string_view path)>;

  BackupFileSystem(platform::FileSystem& inner, BackupFn backup, CreateFn creating = nullptr)
      : ForwardingFileSystem(inner), backup_(std::move(backup)), creating_(std::move(creating)) {}

  // The folders of the data folder before the run (paths relative to it). A file in a folder
  // that is not among them was not there before the run, wherever it came from: it needs no
  // backup of its own (deleting the folder undoes it; a folder renamed there had every file
  // backed up under its old name first).
  void SetFoldersBefore(const std::vector<std::string>& folders);

  struct Backup {
    std::string original;  // path in the data folder
    std::string copy;      // path of the safety copy
  };
  const std::vector<Backup>& backups() const { return backups_; }
  // Paths of the data folder where nothing was before the run, something was created by it
  // and is still there (files, and folders that a rename made).
  std::vector<std::string> Created();

  // Backs the file up unless it was already, or it is new, or it lies outside the data
  // folder. Fails when a backup was needed and could not be made.
  Outcome Before(std::string_view path);

  using FileSystem::Open;
  std::unique_ptr<platform::File> Open(std::string_view path, platform::Access access,
                                       Outcome& why) override;
  Outcome Rename(std::string_view from, std::string_view to) override {
    if (Outcome saved = Before(from); !saved) return saved;
    if (Outcome told = Creating(to); !told) return told;
    return inner_.Rename(from, to);
  }
  Outcome Replace(std::string_view from, std::string_view to) override {
    if (Outcome saved = Before(to); !saved) return saved;
    if (Outcome saved = Before(from); !saved) return saved;
    if (Outcome told = Creating(to); !told) return told;
    return inner_.Replace(from, to);
  }
  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    if (overwrite) {
      if (Outcome saved = Before(to); !saved) return saved;
    }
    if (Outcome told = Creating(to); !told) return told;
    return inner_.Copy(from, to, overwrite);
  }
  Outcome Remove(std::string_view path) override {
    if (Outcome saved = Before(path); !saved) return saved;
    return inner_.Remove(path);
  }
  // The attribute is part of what the backup keeps.
  Outcome SetReadOnly(std::string_view path, bool read_only) override {
    if (Outcome saved = Before(path); !saved) return saved;
    return inner_.SetReadOnly(path, read_only);
  }

 private:
  static std::string Key(std::string_view path);
  // Notes path as created by the run, unless something is there already or it was backed
  // up or noted before; tells creating_ first.
  Outcome Creating(std::string_view path);

  // Whether path lies in a folder the run made (see SetFoldersBefore).
  bool InNewFolder(std::string_view path) const;

  BackupFn backup_;
  CreateFn creating_;
  std::optional<std::set<std::string>> folders_before_;  // folded paths
  std::set<std::string> done_;  // folded paths already backed up or created by the run
  std::vector<Backup> backups_;
  std::vector<std::string> created_;
};

// A path of the data folder (or an absolute one) with every existing component spelt as it is
// on the disk (names are matched without regard to letter case); the components that do not
// exist stay as given. Paths in the core's form, with backslashes.
std::string DiskSpelling(platform::FileSystem& fs, std::string_view path);

}  // namespace livrana
