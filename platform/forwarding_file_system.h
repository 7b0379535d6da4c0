// A file system that passes every call to another one. The file systems that add one
// behaviour to another (fault injection, backups before change, the tests' variations)
// derive from it and override only what they change.
#pragma once

#include "platform/file_system.h"

namespace livrana::platform {

// A file that passes every call to the file it wraps; the files of the forwarding file
// systems derive from it and override only what they change.
class ForwardingFile : public File {
 public:
  explicit ForwardingFile(std::unique_ptr<File> inner) : inner_(std::move(inner)) {}
  using File::ReadAt;
  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n, Outcome& why) override {
    return inner_->ReadAt(pos, buf, n, why);
  }
  Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
    return inner_->WriteAt(pos, buf, n);
  }
  std::optional<std::uint64_t> Size() override { return inner_->Size(); }
  Outcome Truncate(std::uint64_t size) override { return inner_->Truncate(size); }
  Outcome Sync() override { return inner_->Sync(); }
  Outcome Close() override { return inner_->Close(); }

 private:
  std::unique_ptr<File> inner_;
};

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}
  // Another forwarding file system is wrapped too, never copied: a copy would forward to
  // that one's inner file system and pass over what it adds.
  explicit ForwardingFileSystem(ForwardingFileSystem& inner) : inner_(inner) {}
  ForwardingFileSystem(const ForwardingFileSystem&) = delete;
  ForwardingFileSystem& operator=(const ForwardingFileSystem&) = delete;

  using FileSystem::Open;
  std::unique_ptr<File> Open(std::string_view path, Access access, Outcome& why) override {
    return inner_.Open(path, access, why);
  }
  std::optional<std::uint32_t> Attributes(std::string_view path) override {
    return inner_.Attributes(path);
  }
  Outcome SetReadOnly(std::string_view path, bool read_only) override {
    return inner_.SetReadOnly(path, read_only);
  }
  Outcome Rename(std::string_view from, std::string_view to) override {
    return inner_.Rename(from, to);
  }
  Outcome Replace(std::string_view from, std::string_view to) override {
    return inner_.Replace(from, to);
  }
  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    return inner_.Copy(from, to, overwrite);
  }
  Outcome Remove(std::string_view path) override { return inner_.Remove(path); }
  Outcome MakeFolder(std::string_view path) override { return inner_.MakeFolder(path); }
  Outcome RemoveFolder(std::string_view path) override { return inner_.RemoveFolder(path); }
  using FileSystem::Find;
  std::vector<DirEntry> Find(std::string_view pattern, std::uint32_t mask, Outcome& why) override {
    return inner_.Find(pattern, mask, why);
  }
  std::string TempFolder() override { return inner_.TempFolder(); }
  bool Busy(std::string_view path) override { return inner_.Busy(path); }
  int CurrentYear() override { return inner_.CurrentYear(); }
  void Pause(int milliseconds) override { inner_.Pause(milliseconds); }
  std::string Root() const override { return inner_.Root(); }
  std::string RealRoot() const override { return inner_.RealRoot(); }

 protected:
  FileSystem& inner_;
};

}  // namespace livrana::platform
