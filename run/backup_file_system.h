// A file system that keeps a backup of every file of the data folder before a step first
// changes it: the file is copied to its safety copy (the numbered names of the safety
// folder) before its first write, truncation, emptying, rename or deletion; then the step
// changes it. A run with backups can be undone by copying the backups back and deleting
// the files that the run created (both are listed).
#pragma once

#include <functional>
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

  BackupFileSystem(platform::FileSystem& inner, BackupFn backup)
      : ForwardingFileSystem(inner), backup_(std::move(backup)) {}

  struct Backup {
    std::string original;  // path in the data folder
    std::string copy;      // path of the safety copy
  };
  const std::vector<Backup>& backups() const { return backups_; }
  // Files of the data folder that did not exist before the run, were created by it and
  // are still there.
  std::vector<std::string> Created();

  // Backs the file up unless it was already, or it is new, or it lies outside the data
  // folder. Fails when a backup was needed and could not be made.
  Outcome Before(std::string_view path);

  using FileSystem::Open;
  std::unique_ptr<platform::File> Open(std::string_view path, platform::Access access,
                                       Outcome& why) override;
  Outcome Rename(std::string_view from, std::string_view to) override {
    if (Outcome saved = Before(from); !saved) return saved;
    Outcome renamed = inner_.Rename(from, to);
    if (renamed) Created(to);
    return renamed;
  }
  Outcome Replace(std::string_view from, std::string_view to) override {
    if (Outcome saved = Before(to); !saved) return saved;
    if (Outcome saved = Before(from); !saved) return saved;
    bool existed = inner_.Attributes(to).has_value();
    Outcome replaced = inner_.Replace(from, to);
    if (replaced && !existed) Created(to);
    return replaced;
  }
  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    if (overwrite) {
      if (Outcome saved = Before(to); !saved) return saved;
    }
    bool existed = inner_.Attributes(to).has_value();
    Outcome copied = inner_.Copy(from, to, overwrite);
    if (copied && !existed) Created(to);
    return copied;
  }
  Outcome Remove(std::string_view path) override {
    if (Outcome saved = Before(path); !saved) return saved;
    return inner_.Remove(path);
  }

 private:
  static std::string Key(std::string_view path);
  void Created(std::string_view path);

  BackupFn backup_;
  std::set<std::string> done_;  // folded paths already backed up or created by the run
  std::vector<Backup> backups_;
  std::vector<std::string> created_;
};

}  // namespace livrana
