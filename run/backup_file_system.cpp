#include "run/backup_file_system.h"

#include <algorithm>

#include "platform/cp1252.h"
#include "run/folder_lock.h"
#include "run/history.h"

namespace livrana {
namespace {

// The converter's own files of the run itself (its lock with the lock's work file, and the
// history with its work file) are not the product's data: they are never backed up, and
// nothing of them is undone. The journals and work files of the steps are backed up like
// the data when a run finds them (an interrupted run left them): the run finishes or rolls
// back what they record, and an undo must give them back with the files they belong to.
bool WorkFile(std::string_view path) {
  auto parts = platform::SplitPath(path);
  if (parts.size() != 1) return false;
  std::string_view name = parts.back();
  auto is = [&](std::string_view known) { return platform::SameName(name, known); };
  return is(kLockFile) || is(kHistoryFile) || is(kHistoryNew) ||
         platform::MatchPattern("LIVRANA.*.TMP", name);
}

bool OutsideDataFolder(std::string_view path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
         (path.size() >= 2 && path[1] == ':');
}

// A file whose first change is preceded by its backup.
class BackedUpFile final : public platform::File {
 public:
  BackedUpFile(BackupFileSystem& fs, std::string path, std::unique_ptr<platform::File> inner)
      : fs_(fs), path_(std::move(path)), inner_(std::move(inner)) {}
  using File::ReadAt;
  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n, Outcome& why) override {
    return inner_->ReadAt(pos, buf, n, why);
  }
  Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
    if (Outcome saved = fs_.Before(path_); !saved) return saved;
    return inner_->WriteAt(pos, buf, n);
  }
  std::optional<std::uint64_t> Size() override { return inner_->Size(); }
  Outcome Truncate(std::uint64_t size) override {
    if (Outcome saved = fs_.Before(path_); !saved) return saved;
    return inner_->Truncate(size);
  }
  Outcome Sync() override { return inner_->Sync(); }
  Outcome Close() override { return inner_->Close(); }

 private:
  BackupFileSystem& fs_;
  std::string path_;
  std::unique_ptr<platform::File> inner_;
};

}  // namespace

std::string BackupFileSystem::Key(std::string_view path) { return platform::FoldedPath(path); }

Outcome BackupFileSystem::Creating(std::string_view path) {
  if (OutsideDataFolder(path) || WorkFile(path) || done_.count(Key(path)) != 0) return {};
  if (inner_.Attributes(path)) return {};  // not a creation; the operation says what it gives
  if (creating_) {
    if (Outcome told = creating_(path); !told) return told;
  }
  done_.insert(Key(path));
  created_.emplace_back(path);
  return {};
}

std::vector<std::string> BackupFileSystem::Created() {
  std::vector<std::string> present;
  for (const auto& path : created_) {
    if (inner_.Attributes(path)) present.push_back(path);
  }
  return present;
}

void BackupFileSystem::SetFoldersBefore(const std::vector<std::string>& folders) {
  folders_before_.emplace();
  for (const auto& folder : folders) folders_before_->insert(Key(folder));
}

bool BackupFileSystem::InNewFolder(std::string_view path) const {
  if (!folders_before_) return false;
  auto parts = platform::SplitPath(path);
  if (parts.size() < 2) return false;  // in the data folder itself
  std::string parent;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    parent += (i ? "\\" : "") + std::string(parts[i]);
  }
  return folders_before_->count(Key(parent)) == 0;
}

Outcome BackupFileSystem::Before(std::string_view path) {
  if (OutsideDataFolder(path) || WorkFile(path) || done_.count(Key(path)) != 0) return {};
  auto attributes = inner_.Attributes(path);
  if (!attributes || (*attributes & platform::kDirectory) != 0) return {};
  if (InNewFolder(path)) return {};
  // The backup names the file as it is spelt on the disk, so that an undo that has to make
  // it again gives it its own name back, whatever letter case the step asked for.
  const std::string original = DiskSpelling(inner_, path);
  Outcome why;
  auto copy = backup_(original, why);
  if (!copy) {
    return why.ok() ? Outcome::Failed(Operation::kCopy, original, Cause::kCopyDamaged) : why;
  }
  done_.insert(Key(path));
  backups_.push_back({original, *copy});
  return {};
}

std::unique_ptr<platform::File> BackupFileSystem::Open(std::string_view path,
                                                       platform::Access access, Outcome& why) {
  if (access == platform::Access::kRead) return inner_.Open(path, access, why);
  // Emptying an existing file changes it at once.
  Outcome ready = access == platform::Access::kCreate ? Before(path) : Outcome();
  if (ready && access != platform::Access::kReadWrite) ready = Creating(path);
  if (!ready) {
    why = std::move(ready);
    return nullptr;
  }
  auto file = inner_.Open(path, access, why);
  if (!file) return nullptr;
  return std::make_unique<BackedUpFile>(*this, std::string(path), std::move(file));
}

std::string DiskSpelling(platform::FileSystem& fs, std::string_view path) {
  std::string spelt;
  if (!path.empty() && platform::IsSeparator(path[0])) spelt = "\\";
  bool first = true;
  for (auto part : platform::SplitPath(path)) {
    std::string name(part);
    if (first && name.size() == 2 && name[1] == ':') {  // a drive
      spelt = name + "\\";
      first = false;
      continue;
    }
    first = false;
    if (name.find_first_of("*?") == std::string::npos) {
      auto found = fs.Find(spelt + name, platform::kEveryEntry);
      auto exact = std::find_if(found.begin(), found.end(),
                                [&](const platform::DirEntry& e) { return e.name == name; });
      if (exact == found.end() && !found.empty()) name = found.front().name;
    }
    spelt += name + "\\";
  }
  if (!spelt.empty() && spelt.back() == '\\' && !path.empty() &&
      !platform::IsSeparator(path.back()) && spelt.size() > 1) {
    spelt.pop_back();
  }
  return spelt;
}

}  // namespace livrana
