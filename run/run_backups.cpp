#include "run/run_backups.h"

#include <algorithm>
#include <set>

#include "platform/cp1252.h"
#include "platform/forwarding_file_system.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::uint32_t kEveryEntry = platform::kReadOnly | platform::kHidden | platform::kSystem |
                                      platform::kDirectory | platform::kArchive;
// Folders nested deeper than this are not walked.
constexpr int kMaxDepth = 64;

bool IsAbsolute(std::string_view path) {
  return (!path.empty() && platform::IsSeparator(path[0])) || (path.size() >= 2 && path[1] == ':');
}

void WalkFolders(platform::FileSystem& fs, const std::string& folder, int depth,
                 std::vector<std::string>& out) {
  if (depth > kMaxDepth) return;
  for (const auto& entry : fs.Find(platform::JoinPath(folder, "*"), kEveryEntry)) {
    if ((entry.attributes & platform::kDirectory) == 0) continue;
    std::string path = platform::JoinPath(folder, entry.name);
    out.push_back(path);
    WalkFolders(fs, path, depth + 1, out);
  }
}

void FilesBelow(platform::FileSystem& fs, const std::string& folder, int depth,
                std::vector<std::string>& out) {
  if (depth > kMaxDepth) return;
  for (const auto& entry : fs.Find(platform::JoinPath(folder, "*"), kEveryEntry)) {
    std::string path = platform::JoinPath(folder, entry.name);
    if ((entry.attributes & platform::kDirectory) != 0) {
      FilesBelow(fs, path, depth + 1, out);
    } else {
      out.push_back(path);
    }
  }
}

std::string Folded(std::string_view path) {
  std::string key;
  for (auto part : platform::SplitPath(path)) {
    key += '\\';
    for (char c : part) key += static_cast<char>(platform::FoldCase(static_cast<unsigned char>(c)));
  }
  return key;
}

}  // namespace

// Passes everything to the backing-up file system; a folder about to be renamed has every
// file in it backed up first, since its files change place with it.
class BackedUpRun::Folders final : public platform::ForwardingFileSystem {
 public:
  explicit Folders(BackupFileSystem& backup) : ForwardingFileSystem(backup), backup_(backup) {}

  Outcome Rename(std::string_view from, std::string_view to) override {
    auto attributes = inner_.Attributes(from);
    if (attributes && (*attributes & platform::kDirectory) != 0 && !IsAbsolute(from)) {
      std::vector<std::string> files;
      FilesBelow(inner_, std::string(from), 0, files);
      for (const auto& file : files) {
        if (Outcome saved = backup_.Before(file); !saved) return saved;
      }
    }
    return inner_.Rename(from, to);
  }

 private:
  BackupFileSystem& backup_;
};

BackedUpRun::BackedUpRun(platform::FileSystem& data)
    : data_(data),
      backup_(std::make_unique<BackupFileSystem>(data,
                                                 [&data](std::string_view path, Outcome& why) {
                                                   return CopyToSafety(data, path, kSafetySubfolder,
                                                                       &why);
                                                 })),
      folders_(std::make_unique<Folders>(*backup_)),
      folders_before_(FoldersBelow(data)) {}

BackedUpRun::~BackedUpRun() = default;

platform::FileSystem& BackedUpRun::fs() { return *folders_; }

RunUndo BackedUpRun::Undo() {
  RunUndo undo;
  undo.backups = backup_->backups();
  std::vector<std::string> after = FoldersBelow(data_);
  std::set<std::string> before_keys, after_keys;
  for (const auto& folder : folders_before_) before_keys.insert(Folded(folder));
  for (const auto& folder : after) after_keys.insert(Folded(folder));
  for (const auto& folder : after) {
    if (before_keys.count(Folded(folder)) != 0) continue;
    // Only the outermost of the new folders: deleting it deletes what is in it.
    bool inside_new = std::any_of(
        undo.created_folders.begin(), undo.created_folders.end(),
        [&](const std::string& outer) { return Folded(folder).starts_with(Folded(outer) + "\\"); });
    if (!inside_new) undo.created_folders.push_back(folder);
  }
  for (const auto& folder : folders_before_) {
    if (after_keys.count(Folded(folder)) == 0) undo.removed_folders.push_back(folder);
  }
  for (const auto& path : backup_->Created()) {
    auto attributes = data_.Attributes(path);
    if (!attributes || (*attributes & platform::kDirectory) != 0) continue;
    std::string key = Folded(path);
    bool inside_new = std::any_of(
        undo.created_folders.begin(), undo.created_folders.end(),
        [&](const std::string& folder) { return key.starts_with(Folded(folder) + "\\"); });
    if (!inside_new) undo.created_files.push_back(path);
  }
  return undo;
}

std::vector<std::string> FoldersBelow(platform::FileSystem& fs, std::string_view folder) {
  std::vector<std::string> folders;
  WalkFolders(fs, std::string(folder), 0, folders);
  return folders;
}

std::string HostPath(platform::FileSystem& fs, std::string_view path) {
  std::string root = fs.Root();
  const bool posix = !root.empty() && root[0] == '/';
  const char separator = posix ? '/' : '\\';
  std::string core;  // the path so far, in the core's form
  std::string host;
  if (IsAbsolute(path)) {
    if (platform::IsSeparator(path[0])) core = host = std::string(1, separator);
  } else {
    host = root;
  }
  bool first = true;
  for (auto part : platform::SplitPath(path)) {
    std::string name(part);
    if (first && part.size() == 2 && part[1] == ':') {
      core = host = name + separator;  // a drive
      first = false;
      continue;
    }
    first = false;
    std::string probe = core + name;
    auto found = fs.Find(probe, kEveryEntry);
    auto exact = std::find_if(found.begin(), found.end(),
                              [&](const platform::DirEntry& e) { return e.name == name; });
    if (exact == found.end() && !found.empty() && name.find_first_of("*?") == std::string::npos) {
      name = found.front().name;
    }
    core += name + "\\";
    if (!host.empty() && !platform::IsSeparator(host.back())) host += separator;
    host += name;
  }
  return host;
}

}  // namespace livrana
