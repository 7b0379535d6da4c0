#include "run/backup_file_system.h"

#include "platform/cp1252.h"
#include "records/layouts/invoices.h"
#include "records/layouts/phone_tables.h"
#include "run/conversion_log.h"
#include "run/folder_lock.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

// The converter's own work files (its lock, journals and files written under work names)
// are not the product's data: they are never backed up, and nothing of them is undone.
bool WorkFile(std::string_view path) {
  auto parts = platform::SplitPath(path);
  if (parts.empty()) return false;
  std::string_view name = parts.back();
  auto is = [&](std::string_view known) { return platform::SameName(name, known); };
  if (is(kLockFile) || is(kStepJournal) || is(kInvoiceJournal) || is(kPhoneJournal) ||
      is(kPhoneNew) || is(kConversionLogNew)) {
    return true;
  }
  return platform::MatchPattern("LIVRANA.*.TMP", name) ||
         platform::MatchPattern(std::string("*") + std::string(kWorkSuffix), name);
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
  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n) override {
    return inner_->ReadAt(pos, buf, n);
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

Outcome BackupFileSystem::Before(std::string_view path) {
  if (OutsideDataFolder(path) || WorkFile(path) || done_.count(Key(path)) != 0) return {};
  auto attributes = inner_.Attributes(path);
  if (!attributes || (*attributes & platform::kDirectory) != 0) return {};
  Outcome why;
  auto copy = backup_(path, why);
  if (!copy) return why.ok() ? Outcome::Failed(Operation::kCopy, path, Cause::kOther) : why;
  done_.insert(Key(path));
  backups_.push_back({std::string(path), *copy});
  return {};
}

std::unique_ptr<platform::File> BackupFileSystem::Open(std::string_view path,
                                                       platform::Access access, Outcome& why) {
  if (access == platform::Access::kRead) return inner_.Open(path, access, why);
  bool existed = inner_.Attributes(path).has_value();
  // Emptying an existing file changes it at once.
  if (access == platform::Access::kCreate) {
    if (Outcome saved = Before(path); !saved) {
      why = std::move(saved);
      return nullptr;
    }
  }
  auto file = inner_.Open(path, access, why);
  if (!file) return nullptr;
  if (!existed) Created(path);
  return std::make_unique<BackedUpFile>(*this, std::string(path), std::move(file));
}

}  // namespace livrana
