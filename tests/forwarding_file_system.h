// A file system that passes every call to another one; tests derive from it to change one
// behaviour (a temporary folder elsewhere, renames that cannot cross file systems).
#pragma once

#include "platform/file_system.h"

namespace livrana::test {

class ForwardingFileSystem : public platform::FileSystem {
 public:
  explicit ForwardingFileSystem(platform::FileSystem& inner) : inner_(inner) {}

  std::unique_ptr<platform::File> Open(std::string_view path, platform::Access access) override {
    return inner_.Open(path, access);
  }
  std::optional<std::uint32_t> Attributes(std::string_view path) override {
    return inner_.Attributes(path);
  }
  bool SetReadOnly(std::string_view path, bool read_only) override {
    return inner_.SetReadOnly(path, read_only);
  }
  bool Rename(std::string_view from, std::string_view to) override {
    return inner_.Rename(from, to);
  }
  bool Copy(std::string_view from, std::string_view to, bool overwrite) override {
    return inner_.Copy(from, to, overwrite);
  }
  bool Remove(std::string_view path) override { return inner_.Remove(path); }
  bool MakeFolder(std::string_view path) override { return inner_.MakeFolder(path); }
  bool RemoveFolder(std::string_view path) override { return inner_.RemoveFolder(path); }
  std::vector<platform::DirEntry> Find(std::string_view pattern, std::uint32_t mask) override {
    return inner_.Find(pattern, mask);
  }
  std::string TempFolder() override { return inner_.TempFolder(); }
  bool Busy(std::string_view path) override { return inner_.Busy(path); }
  int CurrentYear() override { return inner_.CurrentYear(); }
  void Pause(int milliseconds) override { inner_.Pause(milliseconds); }
  std::string Root() const override { return inner_.Root(); }

 protected:
  platform::FileSystem& inner_;
};

}  // namespace livrana::test
