#include "library/v364/remove_obsolete.h"

#include <array>
#include <string_view>

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

}  // namespace

void RemoveObsoleteFiles(Context& ctx) {
  for (std::string_view name : kObsoleteFiles) {
    // Only files: a folder that happens to carry one of these names is not touched.
    auto attributes = ctx.fs.Attributes(name);
    if (attributes && (*attributes & platform::kDirectory) == 0) ctx.fs.Remove(name);
  }
  MoveDatFiles(ctx.fs, "R02", "R60", kMoveDatFiles);
  for (std::string_view folder : kObsoleteFolders) MoveToSafety(ctx, folder, kSafetySubfolder);
}

}  // namespace livrana
