#include "library/first/company_folders.h"

#include <array>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "records/company.h"
#include "records/format.h"
#include "records/values.h"
#include "library/step_io.h"
#include "run/safety.h"

namespace livrana {
namespace {

// The type folders, in the order in which they are regrouped.
constexpr std::array<std::string_view, 16> kTypeFolders = {
    "G01", "G02", "G06", "G04", "L01", "L02", "L03", "L04",
    "L05", "L06", "L07", "L08", "L09", "L10", "L11", "L12",
};

// ---------------------------------------------------------------------------------------
// A type folder's file "<base>.dat" (n the length of the base):
//
//   form    when                                          code             target
//   yearly  folder L10 or L11, or n > 5 and the fifth     base less its    "%s\%s%04d.dat"
//           character from the end is "A" or "a"          last five        (code, folder,
//                                                         characters       year)
//   plain   otherwise                                     the whole base   "%s\%s.dat"
//
// The year is the leading number of the base's last four characters; the character before
// it is dropped. In L10 and L11 a base of five characters or fewer carries no company code
// and year, and the file stays in its type folder.
// ---------------------------------------------------------------------------------------
constexpr std::size_t kExtensionLength = 4;  // ".dat"
constexpr std::size_t kYearTail = 5;         // separator and four year digits
constexpr std::string_view kYearlyTarget = "%s\\%s%04d.dat";
constexpr std::string_view kPlainTarget = "%s\\%s.dat";

bool AlwaysYearly(std::string_view folder) { return folder == "L10" || folder == "L11"; }

struct Target {
  bool found = false;
  std::string code;
  std::string path;
};

Target TargetOf(std::string_view folder, std::string_view name) {
  Target target;
  if (name.size() < kExtensionLength) return target;
  std::string_view base = name.substr(0, name.size() - kExtensionLength);
  std::size_t n = base.size();
  bool yearly = AlwaysYearly(folder) ||
                (n > kYearTail && (base[n - kYearTail] == 'A' || base[n - kYearTail] == 'a'));
  if (yearly && n <= kYearTail) return target;
  target.code = std::string(yearly ? base.substr(0, n - kYearTail) : base);
  // A folder name loses its trailing spaces and dots on Windows ("AB   " is the folder "AB"):
  // the code is taken the same way on every system.
  while (!target.code.empty() && (target.code.back() == ' ' || target.code.back() == '.')) {
    target.code.pop_back();
  }
  target.path = yearly ? Format(kYearlyTarget, target.code, folder,
                                LeadingNumber(base.substr(n - (kYearTail - 1))))
                       : Format(kPlainTarget, target.code, folder);
  target.found = true;
  return target;
}

void Regroup(Context& ctx, std::string_view folder) {
  for (const std::string& name : FindOrdinaryFiles(ctx.fs, Format("%s\\*.dat", folder))) {
    std::string source = Format("%s\\%s", folder, name);
    Target target = TargetOf(folder, name);
    if (!target.found) {
      ctx.sink.Note(
          Format("%s ficou na pasta %s: o nome não traz código de empresa e ano.", source, folder));
      continue;
    }
    if (!UsableFolderName(target.code)) {
      ctx.sink.Note(Format("%s ficou na pasta %s: o código \"%s\" não serve como nome de pasta.",
                           source, folder, target.code));
      continue;
    }
    ctx.fs.MakeFolder(target.code);
    if (CopyNew(ctx.fs, source, target.path)) {
      MoveToSafety(ctx, source);
    } else if (!OrdinaryFileExists(ctx.fs, target.path)) {
      ctx.sink.Note(
          Format("%s ficou na pasta %s: a cópia para %s falhou.", source, folder, target.path));
    }
  }
  // Only an empty folder goes; one holding files that could not be copied stays.
  ctx.fs.RemoveFolder(folder);
}

}  // namespace

bool MoveToCompanyFolders(Context& ctx) {
  for (std::string_view folder : kTypeFolders) Regroup(ctx, folder);
  return true;
}

}  // namespace livrana
