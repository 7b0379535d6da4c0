// A file system held in memory with the Windows semantics of the host implementations:
// names matched without regard to case, rename that never replaces, read-only and hidden
// attributes. Relative paths are resolved below the data folder "/data"; the temporary
// folder is "/tmp/". Used by the tests and the fuzz targets; several can live in one
// process.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace livrana::platform {

class MemoryFileSystem final : public FileSystem {
 public:
  MemoryFileSystem();
  ~MemoryFileSystem() override;

  using FileSystem::Open;
  std::unique_ptr<File> Open(std::string_view path, Access access, Outcome& why) override;
  std::optional<std::uint32_t> Attributes(std::string_view path) override;
  Outcome SetReadOnly(std::string_view path, bool read_only) override;
  Outcome Rename(std::string_view from, std::string_view to) override;
  Outcome Replace(std::string_view from, std::string_view to) override;
  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override;
  Outcome Remove(std::string_view path) override;
  Outcome MakeFolder(std::string_view path) override;
  Outcome RemoveFolder(std::string_view path) override;
  using FileSystem::Find;
  std::vector<DirEntry> Find(std::string_view pattern, std::uint32_t mask, Outcome& why) override;
  std::string TempFolder() override { return temp_folder_; }
  bool Busy(std::string_view path) override;
  int CurrentYear() override { return year_; }
  void Pause(int milliseconds) override { paused_ms_ += milliseconds; }
  std::string Root() const override { return "/data"; }

  // Test controls.
  void SetCurrentYear(int year) { year_ = year; }
  void SetTempFolder(std::string folder) { temp_folder_ = std::move(folder); }
  void SetBusy(std::string_view path, bool busy);
  void SetAttributes(std::string_view path, std::uint32_t extra);  // hidden, system bits
  long long PausedMilliseconds() const { return paused_ms_; }
  // Every file below the data folder, by its path relative to it ("R00\0001\L50A1990.DAT"),
  // with its contents; folders end with a backslash and have no contents.
  std::map<std::string, std::string> Snapshot() const;
  // Everything outside the data folder, by absolute path, the same way.
  std::map<std::string, std::string> SnapshotOutside() const;

  struct Node;

 private:
  Node* Lookup(std::string_view path) const;
  Node* Parent(std::string_view path, std::string* leaf) const;

  std::unique_ptr<Node> top_;
  std::string temp_folder_ = "/tmp/";
  int year_ = 2026;
  long long paused_ms_ = 0;
};

}  // namespace livrana::platform
