#include "run/safety.h"

#include <algorithm>
#include <optional>

#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"

namespace livrana {
namespace {

using platform::FileSystem;

using platform::kEveryEntry;
constexpr std::uint32_t kEveryFile = kEveryEntry & ~platform::kDirectory;
// Folders nested deeper than this are not copied: such a tree can only be one that holds
// the copy being made.
constexpr int kMaxFolderDepth = 64;
constexpr std::int32_t kLargestRecordNumber = 999'999'998;
constexpr std::int32_t kMaxNumberWidth = 23;

// A path below the data folder: relative, without a drive and without "." or "..".
bool InsideDataFolder(std::string_view path) {
  if (path.empty() || platform::IsAbsolutePath(path)) return false;
  for (auto part : platform::SplitPath(path)) {
    if (part == "." || part == "..") return false;
  }
  return true;
}

// The size of a file as its directory entry gives it.
std::optional<std::uint64_t> SizeOf(FileSystem& fs, std::string_view path) {
  for (const auto& entry : fs.Find(path, kEveryFile)) {
    if ((entry.attributes & platform::kDirectory) == 0) return entry.size;
  }
  return std::nullopt;
}

bool ReadOnly(FileSystem& fs, std::string_view path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & platform::kReadOnly) != 0;
}

// Copies a file to a new name and checks that the copy is whole. The copy is made under a
// work name beside the new one (".~CP" appended; one an interrupted copy left is replaced)
// and takes the new name only when whole, so that no interruption leaves a copy cut short
// under the new name.
Outcome CopyWhole(FileSystem& fs, std::string_view from, std::string_view to) {
  auto size = SizeOf(fs, from);
  if (!size) return Outcome::Failed(Operation::kCopy, from, Cause::kNotFound);
  const std::string work = std::string(to) + ".~CP";
  if (fs.Attributes(work)) {
    if (Outcome removed = fs.Remove(work); !removed) return removed;
  }
  if (Outcome copied = fs.Copy(from, work, false); !copied) return copied.InFile(to);
  if (SizeOf(fs, work) != size) {
    (void)RemoveFileAnyway(fs, work);
    return Outcome::Failed(Operation::kCopy, to, Cause::kShortWrite);
  }
  if (Outcome renamed = fs.Rename(work, to); !renamed) {
    (void)RemoveFileAnyway(fs, work);
    return renamed.cause() == Cause::kExists
               ? Outcome::Failed(Operation::kCopy, to, Cause::kExists)
               : Outcome::Failed(Operation::kCopy, to, renamed.cause(), renamed.system_code());
  }
  return {};
}

// Copies a folder with everything in it to a new folder; a folder that cannot be listed is
// not copied.
bool CopyTree(FileSystem& fs, std::string_view from, std::string_view to, int depth) {
  if (depth > kMaxFolderDepth || !fs.MakeFolder(to)) return false;
  Outcome listed;
  for (const auto& entry : fs.Find(platform::JoinPath(from, "*"), kEveryEntry, listed)) {
    std::string source = platform::JoinPath(from, entry.name);
    std::string target = platform::JoinPath(to, entry.name);
    bool copied = (entry.attributes & platform::kDirectory) != 0
                      ? CopyTree(fs, source, target, depth + 1)
                      : CopyWhole(fs, source, target).ok();
    if (!copied) return false;
  }
  return listed.ok();
}

// Removes what an interrupted copy left at a work name: a file, or a folder with everything
// in it.
bool RemoveWork(FileSystem& fs, std::string_view work) {
  auto attributes = fs.Attributes(work);
  if (!attributes) return true;
  return ((*attributes & platform::kDirectory) != 0 ? RemoveFolderTree(fs, work, false)
                                                    : RemoveFileAnyway(fs, work))
      .ok();
}

// The name a source takes, beside itself, once its copy is whole and before the copy gets
// its name; what has this name is deleted once the copy has its name. It tells a later run
// that the copy was whole (see FinishRetired).
constexpr std::string_view kRetiredSuffix = ".~DL";

std::string Retired(std::string_view from) {
  return std::string(from) + std::string(kRetiredSuffix);
}

// Moves a file or folder to a free target that a rename could not reach: copies it whole
// under the work name, gives the source its retired name, gives the copy the target's name
// and deletes the retired source. A copy left at the work name by an interrupted run is
// removed first, so that the target never holds an incomplete copy; a run stopped after the
// source was retired is finished by the next move of the same source (FinishRetired), so
// that the source is never copied twice. On failure the source stays and what was copied is
// removed; problem says what went wrong.
bool MoveByCopy(FileSystem& fs, std::string_view from, std::string_view to, std::string_view work,
                bool folder, std::string& problem) {
  if (!RemoveWork(fs, work)) {
    problem = "a cópia incompleta de uma execução interrompida não pôde ser apagada";
    return false;
  }
  bool copied = folder ? CopyTree(fs, from, work, 0) : CopyWhole(fs, from, work).ok();
  if (!copied) {
    RemoveWork(fs, work);
    problem = folder ? "a cópia da pasta não pôde ser feita" : "a cópia não pôde ser feita";
    return false;
  }
  const std::string retired = Retired(from);
  if (!RemoveWork(fs, retired) || !fs.Rename(from, retired)) {
    RemoveWork(fs, work);
    problem = "o original não pôde ser apagado";
    return false;
  }
  if (!fs.Rename(work, to)) {
    // The source back under its name; while it is not, the whole copy stays for the next
    // move to finish.
    if (fs.Rename(retired, from)) RemoveWork(fs, work);
    problem = "a cópia não pôde receber o seu nome";
    return false;
  }
  if (!RemoveWork(fs, retired)) {
    // The source, or what is left of a folder, takes its name again; a file's copy is
    // taken back.
    if (fs.Rename(retired, from) && !folder) (void)RemoveFileAnyway(fs, to);
    problem = folder ? "a pasta foi copiada, mas parte do original não pôde ser apagada"
                     : "o original não pôde ser apagado";
    return false;
  }
  return true;
}

// Removes the folders on the way to a work name that have become empty, up to the work
// folder itself (its first length characters); a folder that still holds something stays.
void RemoveEmptyFoldersOnTheWay(FileSystem& fs, std::string_view work, std::size_t length) {
  for (std::size_t i = work.size(); i > length; --i) {
    if (platform::IsSeparator(work[i - 1]) && !fs.RemoveFolder(work.substr(0, i - 1))) return;
  }
}

// Creates every folder on the way to target after the temporary folder's part. The folder
// that holds target is tried first: once it exists, so do the others, and the moves of a
// company's files into one folder cost one call each instead of one per folder.
void MakeFoldersOnTheWay(FileSystem& fs, std::string_view target, std::size_t temp_length) {
  std::size_t last = target.size();
  while (last > temp_length + 1 && !platform::IsSeparator(target[last - 1])) --last;
  if (last > temp_length + 1) {
    Outcome made = fs.MakeFolder(target.substr(0, last - 1));
    if (made || made.cause() == Cause::kExists) return;
  }
  for (std::size_t i = temp_length + 1; i < target.size(); ++i) {
    if (platform::IsSeparator(target[i])) fs.MakeFolder(target.substr(0, i));
  }
}

enum class Placing { kPlaced, kTaken, kFailed };

struct Placed {
  std::optional<std::string> target;  // where the copy went
  std::string base;                   // the plain name of the safety copy
  bool every_name_taken = false;
};

// Tries the names of file's safety copy in order (the plain name, then .001 to .100),
// making the folders on the way to each, until place puts the copy there or fails for
// another reason than a taken name.
template <typename Place>
Placed PlaceSafetyCopy(FileSystem& fs, std::string_view file, std::string_view subfolder,
                       Place place) {
  Placed placed;
  std::string temp = SafetyTempFolder(fs);
  placed.base = SafetyCopyPath(temp, subfolder, file, 0);
  for (int i = 0; i <= kSafetyNumbers; ++i) {
    std::string target = SafetyCopyPath(temp, subfolder, file, i);
    MakeFoldersOnTheWay(fs, target, temp.size());
    switch (place(target)) {
      case Placing::kPlaced:
        placed.target = std::move(target);
        return placed;
      case Placing::kTaken:
        continue;
      case Placing::kFailed:
        return placed;
    }
  }
  placed.every_name_taken = true;
  return placed;
}

}  // namespace

Outcome RemoveFileAnyway(FileSystem& fs, std::string_view path) {
  Outcome removed = fs.Remove(path);
  if (removed || !ReadOnly(fs, path)) return removed;
  if (!fs.SetReadOnly(path, false)) return removed;
  removed = fs.Remove(path);
  if (!removed) (void)fs.SetReadOnly(path, true);
  return removed;
}

Outcome RemoveFolderTree(FileSystem& fs, std::string_view folder, bool stop_at_failure, int depth) {
  if (depth > kMaxFolderDepth) {
    return Outcome::Failed(Operation::kRemoveFolder, folder, Cause::kBadName);
  }
  const auto attributes = fs.Attributes(folder);
  if (attributes && (*attributes & platform::kReparsePoint) != 0) return fs.RemoveFolder(folder);
  if (attributes && (*attributes & platform::kReadOnly) != 0) fs.SetReadOnly(folder, false);
  Outcome removed;
  Outcome listed;
  for (const auto& entry : fs.Find(platform::JoinPath(folder, "*"), kEveryEntry, listed)) {
    std::string path = platform::JoinPath(folder, entry.name);
    removed.Also((entry.attributes & platform::kDirectory) != 0
                     ? RemoveFolderTree(fs, path, stop_at_failure, depth + 1)
                     : RemoveFileAnyway(fs, path));
    if (!removed && stop_at_failure) return removed;
  }
  // A folder whose entries could not be listed still holds them.
  if (!listed) return removed.Also(std::move(listed));
  return removed.Also(fs.RemoveFolder(folder));
}

std::string SafetyTempFolder(FileSystem& fs) {
  std::string folder = fs.TempFolder();
  if (folder.empty() || folder.size() >= kTempFolderLimit) {
    folder = kFallbackTempFolder;
    fs.MakeFolder(folder);
    return folder;
  }
  if (!platform::IsSeparator(folder.back())) folder += '\\';
  return folder;
}

std::string SafetyCopyPath(std::string_view temp, std::string_view subfolder, std::string_view file,
                           int number) {
  std::string path = std::string(temp) + std::string(subfolder) + "\\" + std::string(file);
  if (number > 0) path += Format(".%03d", number);
  return path;
}

namespace {

// Finishes a move by copy that was stopped after its source was retired: the copy at a
// work name was whole and gets the name of its safety copy when it does not have it yet,
// then the retired source is deleted. False when that could not be done.
bool FinishRetired(FileSystem& fs, std::string_view file, std::string_view subfolder) {
  const std::string retired = Retired(file);
  if (!fs.Attributes(retired)) return true;
  const std::string temp = SafetyTempFolder(fs);
  const std::string safety = temp + std::string(subfolder);
  const std::string work_folder = safety + std::string(kSafetyWorkSuffix);
  for (int i = 0; i <= kSafetyNumbers; ++i) {
    const std::string target = SafetyCopyPath(temp, subfolder, file, i);
    const std::string work = work_folder + target.substr(safety.size());
    if (!fs.Attributes(work) || fs.Attributes(target)) continue;
    if (!fs.Rename(work, target)) return false;
    RemoveEmptyFoldersOnTheWay(fs, work, work_folder.size());
    break;
  }
  return RemoveWork(fs, retired);
}

}  // namespace

bool SafetyMoveUnfinished(FileSystem& fs, std::string_view file) {
  return fs.Attributes(Retired(file)).has_value();
}

bool MoveToSafety(Context& ctx, std::string_view file, std::string_view subfolder, Outcome* why) {
  auto fail = [&](Outcome failure) {
    if (why != nullptr) *why = std::move(failure);
    return false;
  };
  if (InsideDataFolder(file) && !FinishRetired(ctx.fs, file, subfolder)) {
    ctx.sink.Note(Format("%s: a cópia interrompida não pôde ser concluída.", file));
    return fail(Outcome::Failed(Operation::kRename, Retired(file), Cause::kNoSafetyFolder));
  }
  auto attributes = ctx.fs.Attributes(file);
  if (!attributes) return false;
  if (!InsideDataFolder(file)) {
    ctx.sink.Note(
        Format("%s não foi guardado: o nome não é de um arquivo da pasta de dados.", file));
    return fail(Outcome::Failed(Operation::kRename, file, Cause::kOutside));
  }
  bool folder = (*attributes & platform::kDirectory) != 0;
  std::string problem;
  Outcome last;
  // Copies are made below the work folder beside the safety folder, at the same path.
  const std::string temp = SafetyTempFolder(ctx.fs);
  const std::string safety = temp + std::string(subfolder);
  const std::string work_folder = safety + std::string(kSafetyWorkSuffix);
  auto placed = PlaceSafetyCopy(ctx.fs, file, subfolder, [&](const std::string& target) {
    last = ctx.fs.Rename(file, target);
    if (last) return Placing::kPlaced;
    if (ctx.fs.Attributes(target)) return Placing::kTaken;
    // The name is free, so the rename could not reach it (another file system).
    std::string work = work_folder + target.substr(safety.size());
    MakeFoldersOnTheWay(ctx.fs, work, temp.size());
    bool moved = MoveByCopy(ctx.fs, file, target, work, folder, problem);
    RemoveEmptyFoldersOnTheWay(ctx.fs, work, work_folder.size());
    if (moved) return Placing::kPlaced;
    ctx.sink.Note(Format("%s não foi guardado em %s: %s.", file, target, problem));
    last = Outcome::Failed(Operation::kRename, target, Cause::kNoSafetyFolder).WithDetail(problem);
    return Placing::kFailed;
  });
  if (placed.target) return true;
  if (placed.every_name_taken) {
    ctx.sink.Note(Format("%s não foi guardado: os nomes de %s a .%03d já existem.", file,
                         placed.base, kSafetyNumbers));
    return fail(Outcome::Failed(Operation::kRename, placed.base, Cause::kNoSafetyName));
  }
  return fail(std::move(last));
}

std::optional<std::string> CopyToSafety(FileSystem& fs, std::string_view file,
                                        std::string_view subfolder, Outcome* why) {
  Outcome failure;
  auto attributes = fs.Attributes(file);
  if (!attributes) {
    failure = Outcome::Failed(Operation::kCopy, file, Cause::kNotFound);
  } else if ((*attributes & platform::kDirectory) != 0) {
    failure = Outcome::Failed(Operation::kCopy, file, Cause::kNotAFile);
  } else if (!InsideDataFolder(file)) {
    failure = Outcome::Failed(Operation::kCopy, file, Cause::kOutside);
  }
  if (!failure.ok()) {
    if (why != nullptr) *why = std::move(failure);
    return std::nullopt;
  }
  // The safety folder lies below the temporary folder, which must exist.
  const std::string temp = SafetyTempFolder(fs);
  if (!fs.Attributes(temp)) {
    if (why != nullptr) {
      *why = Outcome::Failed(Operation::kMakeFolder, temp + std::string(subfolder),
                             Cause::kNoSafetyFolder);
    }
    return std::nullopt;
  }
  auto placed = PlaceSafetyCopy(fs, file, subfolder, [&](const std::string& target) {
    if (fs.Attributes(target)) return Placing::kTaken;
    Outcome copied = CopyWhole(fs, file, target);
    if (copied) return Placing::kPlaced;
    // Another program may have taken the name meanwhile.
    if (fs.Attributes(target)) return Placing::kTaken;
    failure = std::move(copied);
    return Placing::kFailed;
  });
  if (!placed.target && why != nullptr) {
    *why = placed.every_name_taken
               ? Outcome::Failed(Operation::kCopy, placed.base, Cause::kNoSafetyName)
               : std::move(failure);
  }
  return placed.target;
}

void MoveDatFiles(FileSystem& fs, std::string_view source, std::string_view target, int mode) {
  if (mode >= kMoveDatFiles && fs.Rename(source, target)) return;
  for (const auto& entry : fs.Find(platform::JoinPath(source, "*.DAT"), kEveryFile)) {
    if ((entry.attributes & platform::kDirectory) != 0) continue;
    std::string from = platform::JoinPath(source, entry.name);
    for (int i = 0; i <= kSafetyNumbers; ++i) {
      std::string to = platform::JoinPath(target, entry.name);
      if (i >= 1) to += Format(".%03d", i);
      fs.MakeFolder(target);
      if (mode == kCopyDatFiles) {
        fs.Copy(from, to, false);
        break;
      }
      if (mode != kMoveDatFiles || fs.Rename(from, to)) break;
    }
  }
  if (mode >= kMoveDatFiles) fs.RemoveFolder(source);
}

std::int32_t ReadRecordNumber(FileSystem& fs, std::string_view path, std::int64_t n,
                              std::int32_t w) {
  if (n < 0 || w <= 0) return 0;
  FileHandle file = OpenRead(fs, path);
  if (!file) return 0;
  std::string text;
  bool read = SeekInside(file.get(), n * w) &&
              ReadField(file.get(), text, static_cast<std::size_t>(std::min(w, kMaxNumberWidth)));
  CloseFile(file);
  if (!read) return 0;
  std::int32_t number = LeadingNumber(text);
  return number >= 0 && number <= kLargestRecordNumber ? number : 0;
}

}  // namespace livrana
