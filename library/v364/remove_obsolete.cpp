#include "library/v364/remove_obsolete.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "library/step_io.h"
#include "platform/file_system.h"
#include "records/format.h"
#include "run/layouts.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::array<std::string_view, 29> kObsoleteFiles = {
    "check01.dat", "check02.dat", "check03.dat", "check04.dat", "check.exe",   "CONF0.SAT",
    "confd00.dat", "config2.dat", "config1.dat", "confd01.dat", "C01.DAT",     "C10.DAT",
    "F10.DAT",     "F22.DAT",     "F25.DAT",     "fguia1.dat",  "his01.dat",   "resp.dat",
    "pmabe.txt",   "pmenc.txt",   "pmovo01.txt", "pmovo02.txt", "pmovo03.txt", "pmovo04.txt",
    "pmm01.txt",   "pmm02.txt",   "pmm03.txt",   "Pmovo.hlp",   "Pmovo.gid"};

constexpr std::array<std::string_view, 6> kObsoleteFolders = {"daen", "dasa",   "cfeq",
                                                              "cfst", "valida", "sintegra"};

constexpr std::string_view kCaption = "Arquivos obsoletos";
constexpr std::string_view kOldFolder = "R02";
constexpr std::string_view kNewFolder = "R60";
constexpr std::uint32_t kFilesOnly =
    platform::kReadOnly | platform::kHidden | platform::kSystem | platform::kArchive;

bool IsPlainFile(platform::FileSystem& fs, std::string_view name) {
  // Only files: a folder that happens to carry one of these names is not touched.
  auto attributes = fs.Attributes(name);
  return attributes && (*attributes & platform::kDirectory) == 0;
}

// The record files of R02 go to R60: the folder is renamed, or, when that cannot be done
// (R60 exists), each *.DAT file is moved into R60 under its own name or, when that is
// taken, with .001 to .100 appended; R02 is removed when it is empty then.
Outcome MoveOldFolder(platform::FileSystem& fs) {
  if (!IsFolder(fs, kOldFolder)) return {};
  if (!fs.Attributes(kNewFolder) && fs.Rename(kOldFolder, kNewFolder)) return {};
  if (Outcome made = fs.MakeFolder(kNewFolder); !made && made.cause() != Cause::kExists)
    return made;
  Outcome listed;
  for (const auto& entry : fs.Find(platform::JoinPath(kOldFolder, "*.DAT"), kFilesOnly, listed)) {
    const std::string from = platform::JoinPath(kOldFolder, entry.name);
    Outcome moved = Outcome::Failed(Operation::kRename, from, Cause::kNoSafetyName);
    for (int i = 0; i <= kSafetyNumbers; ++i) {
      std::string to = platform::JoinPath(kNewFolder, entry.name);
      if (i >= 1) AppendFormat(to, ".%03d", i);
      if (fs.Attributes(to)) continue;  // the name is taken: the next number
      moved = fs.Rename(from, to);
      break;
    }
    if (!moved) return moved;
  }
  if (!listed) return listed;
  // A folder that still holds other files stays.
  if (!fs.Find(platform::JoinPath(kOldFolder, "*"), kFilesOnly | platform::kDirectory).empty())
    return {};
  return fs.RemoveFolder(kOldFolder);
}

}  // namespace

bool HasObsoleteFiles(platform::FileSystem& fs) {
  for (std::string_view name : kObsoleteFiles) {
    if (IsPlainFile(fs, name)) return true;
  }
  if (IsFolder(fs, kOldFolder)) return true;
  for (std::string_view folder : kObsoleteFolders) {
    if (fs.Attributes(folder) || SafetyMoveUnfinished(fs, folder)) return true;
  }
  return false;
}

Outcome RemoveObsoleteFiles(Context& ctx) {
  auto failed = [&](Outcome failure) { return ReportFailure(ctx, kCaption, std::move(failure)); };
  for (std::string_view name : kObsoleteFiles) {
    if (!IsPlainFile(ctx.fs, name)) continue;
    if (Outcome removed = ctx.fs.Remove(name); !removed) return failed(std::move(removed));
  }
  if (Outcome moved = MoveOldFolder(ctx.fs); !moved) return failed(std::move(moved));
  for (std::string_view folder : kObsoleteFolders) {
    // Called also for a folder that is gone: it finishes a move a stopped run left.
    Outcome why;
    if (MoveToSafety(ctx, folder, kSafetySubfolder, &why)) continue;
    if (!why.ok()) return failed(std::move(why));
    if (ctx.fs.Attributes(folder))
      return failed(Outcome::Failed(Operation::kRename, folder, Cause::kNoSafetyFolder));
  }
  return {};
}

}  // namespace livrana
