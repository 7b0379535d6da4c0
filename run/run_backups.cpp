#include "run/run_backups.h"

#include <algorithm>
#include <set>

#include "platform/cp1252.h"
#include "platform/forwarding_file_system.h"
#include "records/format.h"
#include "run/history.h"
#include "run/run_manifest.h"
#include "run/safety.h"

namespace livrana {
namespace {

using platform::kEveryEntry;
// Folders nested deeper than this are not walked.
constexpr int kMaxDepth = 64;

// The walks below stop at the first folder that cannot be listed, why then telling it.
void WalkFolders(platform::FileSystem& fs, const std::string& folder, int depth,
                 std::vector<std::string>& out, Outcome& why) {
  if (depth > kMaxDepth) return;
  for (const auto& entry : fs.Find(platform::JoinPath(folder, "*"), kEveryEntry, why)) {
    if ((entry.attributes & platform::kDirectory) == 0) continue;
    std::string path = platform::JoinPath(folder, entry.name);
    out.push_back(path);
    WalkFolders(fs, path, depth + 1, out, why);
    if (!why) return;
  }
}

void FilesBelow(platform::FileSystem& fs, const std::string& folder, int depth,
                std::vector<std::string>& out, Outcome& why) {
  if (depth > kMaxDepth) return;
  for (const auto& entry : fs.Find(platform::JoinPath(folder, "*"), kEveryEntry, why)) {
    std::string path = platform::JoinPath(folder, entry.name);
    if ((entry.attributes & platform::kDirectory) != 0) {
      FilesBelow(fs, path, depth + 1, out, why);
      if (!why) return;
    } else {
      out.push_back(path);
    }
  }
}

// The separator of the host's paths: that of the data folder's path when it tells (a POSIX
// path, a drive or a share), else the host's own.
char HostSeparator(std::string_view root) {
  if (!root.empty() && root[0] == '/') return '/';
  if (root.size() >= 2 && (root[1] == ':' || (root[0] == '\\' && root[1] == '\\'))) return '\\';
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

// The size of a file as its directory entry gives it.
std::optional<std::uint64_t> SizeOf(platform::FileSystem& fs, std::string_view path) {
  for (const auto& entry : fs.Find(path, kEveryEntry & ~platform::kDirectory)) {
    if ((entry.attributes & platform::kDirectory) == 0) return entry.size;
  }
  return std::nullopt;
}

// Whether path lies inside one of the folders.
bool InsideOneOf(const std::vector<std::string>& folders, std::string_view path) {
  std::string key = platform::FoldedPath(path);
  return std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
    return key.starts_with(platform::FoldedPath(folder) + "\\");
  });
}

// The folders of after that are not in before, only the outermost of them (deleting it
// deletes what is in it).
std::vector<std::string> NewFolders(const std::vector<std::string>& before,
                                    const std::vector<std::string>& after) {
  std::set<std::string> keys;
  for (const auto& folder : before) keys.insert(platform::FoldedPath(folder));
  std::vector<std::string> created;
  for (const auto& folder : after) {
    if (keys.count(platform::FoldedPath(folder)) == 0 && !InsideOneOf(created, folder)) {
      created.push_back(folder);
    }
  }
  return created;
}

// The folders of before that are not in after.
std::vector<std::string> GoneFolders(const std::vector<std::string>& before,
                                     const std::vector<std::string>& after) {
  std::set<std::string> keys;
  for (const auto& folder : after) keys.insert(platform::FoldedPath(folder));
  std::vector<std::string> gone;
  for (const auto& folder : before) {
    if (keys.count(platform::FoldedPath(folder)) == 0) gone.push_back(folder);
  }
  return gone;
}

}  // namespace

// Passes everything to the backing-up file system; a folder about to be renamed has every
// file in it backed up first, since its files change place with it.
class BackedUpRun::Folders final : public platform::ForwardingFileSystem {
 public:
  explicit Folders(BackupFileSystem& backup) : ForwardingFileSystem(backup), backup_(backup) {}

  Outcome Rename(std::string_view from, std::string_view to) override {
    auto attributes = inner_.Attributes(from);
    if (attributes && (*attributes & platform::kDirectory) != 0 &&
        !platform::IsAbsolutePath(from)) {
      std::vector<std::string> files;
      Outcome listed;
      FilesBelow(inner_, std::string(from), 0, files, listed);
      if (!listed) return listed;
      for (const auto& file : files) {
        if (Outcome saved = backup_.Before(file); !saved) return saved;
      }
    }
    return inner_.Rename(from, to);
  }

 private:
  BackupFileSystem& backup_;
};

Outcome BackedUpRun::Start(platform::FileSystem& data, std::string_view command,
                           std::unique_ptr<BackedUpRun>* run) {
  std::unique_ptr<BackedUpRun> started(new BackedUpRun());
  started->data_ = &data;
  if (Outcome begun = ManifestWriter::Start(data, command, &started->manifest_); !begun) {
    return begun;
  }
  ManifestWriter& manifest = *started->manifest_;
  auto backup = [&data, &manifest](std::string_view path,
                                   Outcome& why) -> std::optional<std::string> {
    auto attributes = data.Attributes(path);
    const bool read_only = attributes && (*attributes & platform::kReadOnly) != 0;
    auto copy = CopyToSafety(data, path, manifest.CopiesSubfolder(), &why);
    if (!copy) return std::nullopt;
    // The copy is made durable before the change it allows, as far as the host lets a copy
    // be synced through a reading handle.
    if (auto file = data.Open(*copy, platform::Access::kRead)) {
      (void)file->Sync();
      (void)file->Close();
    }
    auto size = SizeOf(data, *copy);
    if (!size) {
      why = Outcome::Failed(Operation::kCopy, *copy, Cause::kNotFound);
      return std::nullopt;
    }
    if (Outcome recorded = manifest.Backup(path, *copy, *size, read_only); !recorded) {
      why = std::move(recorded);
      return std::nullopt;
    }
    return copy;
  };
  auto creating = [&manifest](std::string_view path) { return manifest.Creating(path); };
  started->backup_ = std::make_unique<BackupFileSystem>(data, backup, creating);
  started->backup_->SetFoldersBefore(manifest.folders_before());
  started->folders_ = std::make_unique<Folders>(*started->backup_);
  *run = std::move(started);
  return {};
}

BackedUpRun::~BackedUpRun() = default;

platform::FileSystem& BackedUpRun::fs() { return *folders_; }

const std::string& BackedUpRun::id() const { return manifest_->id(); }

Outcome BackedUpRun::StepEnded(std::string_view step, const Outcome& outcome) {
  return manifest_->Step(step, ResultOf(outcome));
}

Outcome BackedUpRun::Finish(const Outcome& outcome) {
  return manifest_->End(ResultOf(outcome), Describe(outcome));
}

Outcome BackedUpRun::DiscardIfEmpty() {
  Outcome listed;
  // A run whose folders could not all be listed may have made one: it stays.
  if (!Undo(&listed).empty() || !listed) return {};
  return RemoveFolderTree(*data_, manifest_->folder());
}

RunUndo BackedUpRun::Undo(Outcome* why) {
  RunUndo undo;
  undo.id = manifest_->id();
  undo.backups = backup_->backups();
  const std::vector<std::string>& before = manifest_->folders_before();
  std::vector<std::string> after = FoldersBelow(*data_, "", why);
  undo.created_folders = NewFolders(before, after);
  undo.removed_folders = GoneFolders(before, after);
  for (const auto& path : backup_->Created()) {
    auto attributes = data_->Attributes(path);
    if (!attributes || (*attributes & platform::kDirectory) != 0) continue;
    if (!InsideOneOf(undo.created_folders, path)) undo.created_files.push_back(path);
  }
  return undo;
}

// ---- The recorded runs and their undo ------------------------------------------------------

namespace {

RecordedRun Recorded(std::string id, std::string folder, const Manifest& manifest) {
  RecordedRun run;
  run.id = std::move(id);
  run.folder = std::move(folder);
  run.sequence = manifest.sequence;
  run.started = manifest.started;
  run.command = manifest.command;
  run.steps = manifest.steps;
  run.complete = manifest.ended;
  run.result = manifest.result;
  run.text = manifest.text;
  run.undone = manifest.undone;
  run.undone_at = manifest.undone_at;
  run.backups = manifest.backups.size();
  run.created = manifest.created.size();
  return run;
}

constexpr std::size_t kChunk = 1 << 16;

// Where the file differs from its backup copy; empty when they are equal byte for byte.
std::string Difference(platform::FileSystem& fs, const Manifest::Backup& backup) {
  const std::string& original = backup.original;
  auto attributes = fs.Attributes(original);
  if (!attributes) return Format("%s não existe", original);
  if ((*attributes & platform::kDirectory) != 0) return Format("%s é uma pasta", original);
  auto file = fs.Open(original, platform::Access::kRead);
  auto copy = fs.Open(backup.copy, platform::Access::kRead);
  if (!file) return Format("%s não pôde ser lido", original);
  if (!copy) return Format("a cópia %s não pôde ser lida", backup.copy);
  auto size = file->Size(), copy_size = copy->Size();
  if (!size || !copy_size) return Format("o tamanho de %s não pôde ser lido", original);
  std::string a(kChunk, '\0'), b(kChunk, '\0');
  for (std::uint64_t pos = 0; pos < std::min(*size, *copy_size);) {
    std::int64_t got = file->ReadAt(pos, a.data(), kChunk);
    std::int64_t got_copy = copy->ReadAt(pos, b.data(), kChunk);
    if (got <= 0 || got_copy <= 0) return Format("%s não pôde ser lido", original);
    auto n = static_cast<std::size_t>(std::min(got, got_copy));
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) {
        return Format("%s difere da cópia de segurança a partir do byte %lu", original,
                      static_cast<unsigned long>(pos + i));
      }
    }
    pos += n;
  }
  if (*size != *copy_size) {
    return Format("%s tem %lu bytes, a cópia de segurança %lu", original,
                  static_cast<unsigned long>(*size), static_cast<unsigned long>(*copy_size));
  }
  if (((*attributes & platform::kReadOnly) != 0) != backup.read_only) {
    return Format("%s %s somente leitura, como era antes", original,
                  backup.read_only ? "não está" : "está");
  }
  return {};
}

// The originals of the run's backups, folded.
std::set<std::string> Originals(const Manifest& manifest) {
  std::set<std::string> keys;
  for (const auto& backup : manifest.backups) keys.insert(platform::FoldedPath(backup.original));
  return keys;
}

// What still differs from the folder before the run, after the undo.
std::vector<std::string> Check(platform::FileSystem& fs, const Manifest& manifest) {
  std::vector<std::string> differences;
  for (const auto& backup : manifest.backups) {
    if (std::string difference = Difference(fs, backup); !difference.empty()) {
      differences.push_back(std::move(difference));
    }
  }
  const std::set<std::string> restored = Originals(manifest);
  for (const auto& path : manifest.created) {
    if (restored.count(platform::FoldedPath(path)) != 0) continue;
    auto attributes = fs.Attributes(path);
    if (attributes && (*attributes & platform::kDirectory) == 0) {
      differences.push_back(Format("%s, criado pela execução, ainda existe", path));
    }
  }
  Outcome listed;
  std::vector<std::string> now = FoldersBelow(fs, "", &listed);
  if (!listed) {
    // Folders that could not be listed cannot be checked.
    differences.push_back(Describe(listed));
    return differences;
  }
  for (const auto& folder : NewFolders(manifest.folders_before, now)) {
    differences.push_back(Format("a pasta %s, que não existia, ainda existe", folder));
  }
  for (const auto& folder : GoneFolders(manifest.folders_before, now)) {
    differences.push_back(Format("a pasta %s não existe mais", folder));
  }
  return differences;
}

}  // namespace

std::vector<RecordedRun> RecordedRuns(platform::FileSystem& data) {
  std::vector<RecordedRun> runs;
  const std::string folder = RunsFolder(data);
  const std::string real_root = data.RealRoot();
  for (const auto& entry : data.Find(folder + "\\*", platform::kDirectory | platform::kHidden)) {
    if ((entry.attributes & platform::kDirectory) == 0) continue;
    std::string run_folder = folder + "\\" + entry.name;
    Manifest manifest;
    if (!ReadManifest(data, run_folder, &manifest)) continue;
    if (!SameDataFolder(manifest.data_folder, real_root)) continue;
    runs.push_back(Recorded(entry.name, std::move(run_folder), manifest));
  }
  std::stable_sort(runs.begin(), runs.end(), [](const RecordedRun& a, const RecordedRun& b) {
    return a.sequence < b.sequence;
  });
  return runs;
}

Outcome RunToUndo(platform::FileSystem& data, std::string_view id, RecordedRun* run) {
  const std::string folder = RunsFolder(data);
  auto attributes = data.Attributes(folder);
  if (!attributes || (*attributes & platform::kDirectory) == 0) {
    return Outcome::Failed(Operation::kUndo, folder, Cause::kNoSafetyFolder);
  }
  std::vector<RecordedRun> runs = RecordedRuns(data);
  auto chosen = runs.end();
  if (id.empty()) {
    for (auto it = runs.begin(); it != runs.end(); ++it) {
      if (!it->undone) chosen = it;
    }
    if (chosen == runs.end()) {
      return Outcome::Failed(Operation::kUndo, data.Root(), Cause::kNoRun)
          .WithDetail(runs.empty()
                          ? Format("nenhuma execução desta pasta em %s", HostPath(data, folder))
                          : "todas as execuções desta pasta já foram desfeitas");
    }
  } else {
    chosen = std::find_if(runs.begin(), runs.end(),
                          [&](const RecordedRun& r) { return platform::SameName(r.id, id); });
    if (chosen == runs.end()) {
      Manifest other;
      std::string detail = Format("não há execução com este nome em %s", HostPath(data, folder));
      if (id.find_first_of("\\/") == std::string_view::npos &&
          ReadManifest(data, folder + "\\" + std::string(id), &other)) {
        detail = "é uma execução de outra pasta de dados, " + other.data_folder;
      }
      return Outcome::Failed(Operation::kUndo, id, Cause::kNoRun).WithDetail(detail);
    }
    if (chosen->undone) {
      return Outcome::Failed(Operation::kUndo, chosen->id, Cause::kUndone)
          .WithDetail("em " + chosen->undone_at);
    }
  }
  for (auto later = chosen + 1; later != runs.end(); ++later) {
    if (!later->undone) {
      return Outcome::Failed(Operation::kUndo, chosen->id, Cause::kLaterRun)
          .WithDetail(Format("desfaça antes %s", later->id));
    }
  }
  *run = *chosen;
  return {};
}

UndoResult UndoRun(platform::FileSystem& data, std::string_view id) {
  UndoResult result;
  result.outcome = RunToUndo(data, id, &result.run);
  if (!result.outcome) return result;
  result.undone.id = result.run.id;
  Manifest manifest;
  if (Outcome read = ReadManifest(data, result.run.folder, &manifest); !read) {
    result.outcome = std::move(read);
    return result;
  }
  // Every copy must be whole before anything is changed.
  for (const auto& backup : manifest.backups) {
    if (SizeOf(data, backup.copy) != backup.size) {
      result.outcome = Outcome::Failed(Operation::kUndo, backup.copy, Cause::kCopyDamaged);
      return result;
    }
  }
  Outcome& outcome = result.outcome;
  RunUndo& undone = result.undone;

  // What the run created goes first: a file or folder of the run may stand where a folder
  // is to be made again or a file copied back.
  const std::set<std::string> restored = Originals(manifest);
  undone.created_folders = NewFolders(manifest.folders_before, FoldersBelow(data, "", &outcome));
  for (auto it = manifest.created.rbegin(); it != manifest.created.rend(); ++it) {
    const std::string& path = *it;
    if (restored.count(platform::FoldedPath(path)) != 0 ||
        InsideOneOf(undone.created_folders, path))
      continue;
    auto attributes = data.Attributes(path);
    if (!attributes || (*attributes & platform::kDirectory) != 0) continue;
    if (Outcome removed = RemoveFileAnyway(data, path); removed) {
      undone.created_files.push_back(path);
    } else {
      outcome.Also(std::move(removed));
    }
  }
  for (const auto& folder : undone.created_folders) outcome.Also(RemoveFolderTree(data, folder));
  // Then the folders the run removed, parents first.
  for (const auto& folder : manifest.folders_before) {
    if (data.Attributes(folder)) continue;
    if (Outcome made = data.MakeFolder(folder); made) {
      undone.removed_folders.push_back(folder);
    } else {
      outcome.Also(std::move(made));
    }
  }
  // Then every backup over its original, with its read-only attribute as it was.
  for (const auto& backup : manifest.backups) {
    auto attributes = data.Attributes(backup.original);
    if (attributes && (*attributes & platform::kReadOnly) != 0) {
      (void)data.SetReadOnly(backup.original, false);
    }
    Outcome copied = data.Copy(backup.copy, backup.original, true);
    if (copied) {
      auto now = data.Attributes(backup.original);
      if (now && ((*now & platform::kReadOnly) != 0) != backup.read_only) {
        copied = data.SetReadOnly(backup.original, backup.read_only);
      }
    }
    if (copied) {
      undone.backups.push_back({backup.original, backup.copy});
    } else {
      outcome.Also(std::move(copied));
    }
  }

  result.differences = Check(data, manifest);
  if (!result.differences.empty()) {
    std::string detail = result.differences.front();
    if (result.differences.size() > 1) {
      detail += Format(" (e mais %d diferenças)", static_cast<int>(result.differences.size() - 1));
    }
    // The check tells what is wrong better than the first failure on the way, which tells
    // why.
    if (!outcome) detail += "; " + Describe(outcome);
    outcome =
        Outcome::Failed(Operation::kUndo, result.run.id, Cause::kNotRestored).WithDetail(detail);
    return result;
  }
  // Everything is as it was: a failure on the way did no harm that the check could see.
  outcome = {};
  if (Outcome marked = MarkUndone(data, result.run.folder); !marked) {
    outcome = std::move(marked);
    return result;
  }
  result.run.undone = true;
  return result;
}

std::vector<std::string> FoldersBelow(platform::FileSystem& fs, std::string_view folder,
                                      Outcome* why) {
  std::vector<std::string> folders;
  Outcome listed;
  WalkFolders(fs, std::string(folder), 0, folders, listed);
  if (!listed && why != nullptr) *why = std::move(listed);
  return folders;
}

std::string HostPath(platform::FileSystem& fs, std::string_view path) {
  const std::string root = fs.Root();
  const char separator = HostSeparator(root);
  std::string host = DiskSpelling(fs, path);
  if (separator != '\\') std::replace(host.begin(), host.end(), '\\', separator);
  if (platform::IsAbsolutePath(path)) return host;
  if (host.empty()) return root;
  if (!root.empty() && !platform::IsSeparator(root.back())) return root + separator + host;
  return root + host;
}

}  // namespace livrana
