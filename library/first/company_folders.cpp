#include "library/first/company_folders.h"

#include <array>
#include <string>
#include <string_view>

#include "library/first/text_io.h"
#include "library/step_io.h"
#include "platform/file_system.h"
#include "records/company.h"
#include "records/format.h"
#include "records/values.h"
#include "run/layouts.h"
#include "run/safety.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

constexpr std::string_view kStep = "company-folders";
constexpr std::string_view kCaption = "MoveToCompanyFolders";
// Every kind of entry of a folder listing: files, folders, hidden and system ones.
constexpr std::uint32_t kEveryEntry = platform::kDirectory | platform::kHidden | platform::kSystem |
                                      platform::kReadOnly | platform::kArchive;

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

// Regroups the files of one type folder, each copied and its source moved to its safety
// copy, all in one conversion (one journal for the folder, not one for every file), then
// removes the folder when it has become empty.
Outcome Regroup(Context& ctx, std::string_view folder) {
  if (!IsFolder(ctx.fs, folder)) return {};
  Conversion conversion(ctx, kStep);
  Outcome listed;
  for (const std::string& name : FindOrdinaryFiles(ctx.fs, Format("%s\\*.dat", folder), &listed)) {
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
    // A company folder that exists already is no error.
    if (Outcome made = ctx.fs.MakeFolder(target.code);
        !made && made.cause() != Cause::kExists && !PassedOver(made)) {
      return made;
    }
    bool copied = false;
    if (Outcome done = CopyNew(conversion, ctx.fs, source, target.path, copied); !done) return done;
    if (copied) {
      conversion.MoveToSafetyAtCommit(source);
    } else if (!OrdinaryFileExists(ctx.fs, target.path)) {
      ctx.sink.Note(
          Format("%s ficou na pasta %s: a cópia para %s falhou.", source, folder, target.path));
    }
  }
  if (!listed) return listed;
  if (Outcome committed = conversion.Commit(); !committed) return committed;
  // Only an empty folder goes; one holding files that could not be copied stays.
  Outcome removed = ctx.fs.RemoveFolder(folder);
  if (!removed && removed.cause() != Cause::kNotEmpty && !PassedOver(removed)) return removed;
  return {};
}

}  // namespace

bool CompanyFoldersHasInput(platform::FileSystem& fs) {
  for (std::string_view folder : kTypeFolders) {
    if (!IsFolder(fs, folder)) continue;
    // An empty type folder is one an interrupted run left before removing it.
    if (!FindOrdinaryFiles(fs, Format("%s\\*.dat", folder)).empty() ||
        fs.Find(Format("%s\\*", folder), kEveryEntry).empty()) {
      return true;
    }
  }
  return false;
}

Outcome MoveToCompanyFolders(Context& ctx) {
  for (std::string_view folder : kTypeFolders) {
    if (Outcome done = Regroup(ctx, folder); !done) return ReportFailure(ctx, kCaption, done);
  }
  return {};
}

}  // namespace livrana
