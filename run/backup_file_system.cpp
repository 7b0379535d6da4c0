#include "run/backup_file_system.h"

#include "platform/cp1252.h"

namespace livrana {
namespace {

bool OutsideDataFolder(std::string_view path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
         (path.size() >= 2 && path[1] == ':');
}

// A file whose first change is preceded by its backup.
class BackedUpFile final : public platform::File {
 public:
  BackedUpFile(BackupFileSystem& fs, std::string path, std::unique_ptr<platform::File> inner)
      : fs_(fs), path_(std::move(path)), inner_(std::move(inner)) {}
  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n) override {
    return inner_->ReadAt(pos, buf, n);
  }
  bool WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
    return fs_.Before(path_) && inner_->WriteAt(pos, buf, n);
  }
  std::optional<std::uint64_t> Size() override { return inner_->Size(); }
  bool Truncate(std::uint64_t size) override { return fs_.Before(path_) && inner_->Truncate(size); }
  bool Sync() override { return inner_->Sync(); }
  bool Close() override { return inner_->Close(); }

 private:
  BackupFileSystem& fs_;
  std::string path_;
  std::unique_ptr<platform::File> inner_;
};

}  // namespace

std::string BackupFileSystem::Key(std::string_view path) {
  std::string key;
  for (auto part : platform::SplitPath(path)) {
    key += '\\';
    for (char c : part) key += static_cast<char>(platform::FoldCase(static_cast<unsigned char>(c)));
  }
  return key;
}

void BackupFileSystem::Created(std::string_view path) {
  if (OutsideDataFolder(path) || !done_.insert(Key(path)).second) return;
  created_.emplace_back(path);
}

std::vector<std::string> BackupFileSystem::Created() {
  std::vector<std::string> present;
  for (const auto& path : created_) {
    if (inner_.Attributes(path)) present.push_back(path);
  }
  return present;
}

bool BackupFileSystem::Before(std::string_view path) {
  if (OutsideDataFolder(path) || done_.count(Key(path)) != 0) return true;
  auto attributes = inner_.Attributes(path);
  if (!attributes || (*attributes & platform::kDirectory) != 0) return true;
  auto copy = backup_(path);
  if (!copy) return false;
  done_.insert(Key(path));
  backups_.push_back({std::string(path), *copy});
  return true;
}

std::unique_ptr<platform::File> BackupFileSystem::Open(std::string_view path,
                                                       platform::Access access) {
  if (access == platform::Access::kRead) return inner_.Open(path, access);
  bool existed = inner_.Attributes(path).has_value();
  // Emptying an existing file changes it at once.
  if (access == platform::Access::kCreate && !Before(path)) return nullptr;
  auto file = inner_.Open(path, access);
  if (!file) return nullptr;
  if (!existed) Created(path);
  return std::make_unique<BackedUpFile>(*this, std::string(path), std::move(file));
}

}  // namespace livrana
