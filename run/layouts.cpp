#include "run/layouts.h"

#include <algorithm>
#include <array>

#include "records/layouts/register.h"

namespace livrana {
namespace {

using platform::FileSystem;

constexpr std::size_t kExamples = 3;

// The oldest file set: six files and six folders of files, all named in lower case.
constexpr std::array<std::string_view, 6> kOldFiles = {"f1.dat", "f2.dat",      "f0dp.dat",
                                                       "f3.dat", "group00.dat", "group01.dat"};
constexpr std::array<std::string_view, 6> kOldFolders = {"data", "daen2", "dasa2",
                                                         "dac1", "dac2",  "dinv"};
// The type folders, one per table, each holding one file per company.
constexpr std::array<std::string_view, 16> kTypeFolders = {"G01", "G02", "G06", "G04", "L01", "L02",
                                                           "L03", "L04", "L05", "L06", "L07", "L08",
                                                           "L09", "L10", "L11", "L12"};

}  // namespace

bool IsFolder(FileSystem& fs, std::string_view path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & platform::kDirectory) != 0;
}

bool IsFile(FileSystem& fs, std::string_view path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & platform::kDirectory) == 0;
}

// The files of a folder that match the pattern: names only, which costs the listing alone.
std::vector<std::string> FilesOf(FileSystem& fs, std::string_view folder,
                                 std::string_view pattern) {
  std::vector<std::string> names;
  for (const auto& entry :
       fs.Find(std::string(folder) + "\\" + std::string(pattern), platform::kNamesOnly)) {
    if ((entry.attributes & platform::kDirectory) == 0) names.push_back(entry.name);
  }
  return names;
}

// The folders of a folder ("" for the data folder), in the order listed: names only.
std::vector<std::string> FoldersOf(FileSystem& fs, std::string_view folder) {
  std::string pattern = folder.empty() ? std::string("*") : std::string(folder) + "\\*";
  std::vector<std::string> names;
  for (const auto& entry : fs.Find(pattern, platform::kDirectory | platform::kNamesOnly)) {
    if ((entry.attributes & platform::kDirectory) != 0) names.push_back(entry.name);
  }
  return names;
}

namespace {

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](std::string_view known) { return platform::SameName(known, name); });
}

class Layouts {
 public:
  void Add(Layout layout, std::string path) {
    LayoutFound& found = Of(layout);
    ++found.count;
    if (found.examples.size() < kExamples) found.examples.push_back(std::move(path));
  }
  std::vector<LayoutFound> Found() {
    std::vector<LayoutFound> list;
    for (auto& found : all_) {
      if (found.count > 0) list.push_back(std::move(found));
    }
    return list;
  }

 private:
  LayoutFound& Of(Layout layout) { return all_[static_cast<std::size_t>(layout)]; }
  std::array<LayoutFound, 6> all_ = {{
      {Layout::kOldFileSet,
       "old-file-set",
       "arquivos antigos em minúsculas (f1.dat, f2.dat, f0dp.dat, f3.dat, group00.dat, ...)",
       0,
       {}},
      {Layout::kTypeFolders,
       "type-folders",
       "pastas de tipo (G01, L01, ...), com um arquivo por empresa",
       0,
       {}},
      {Layout::kCompanyFolders, "company-folders", "pastas das empresas na pasta de dados", 0, {}},
      {Layout::kR00Folders, "r00-folders", "pastas das empresas em R00 (versão 3.20)", 0, {}},
      {Layout::kFiscal200,
       "fiscal-200",
       "arquivos fiscais L50 de 200 posições (versão 3.64)",
       0,
       {}},
      {Layout::kFiscal400,
       "fiscal-400",
       "arquivos fiscais L50A de 400 posições (versão 3.73)",
       0,
       {}},
  }};
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// L50<year>.DAT: the fiscal file of 200-byte records; L50A<year>.DAT: of 400-byte records.
std::optional<Layout> FiscalLayout(std::string_view name) {
  auto yearly = [&](std::size_t at) {
    return name.size() == at + 8 && std::all_of(name.begin() + static_cast<long>(at),
                                                name.begin() + static_cast<long>(at + 4), IsDigit);
  };
  if (name.size() < 4 || !platform::SameName(name.substr(0, 3), "L50")) return std::nullopt;
  if (yearly(3)) return Layout::kFiscal200;
  if (platform::SameName(name.substr(3, 1), "A") && yearly(4)) return Layout::kFiscal400;
  return std::nullopt;
}

}  // namespace

std::vector<LayoutFound> FindLayouts(FileSystem& fs) {
  Layouts layouts;
  for (auto name : kOldFiles) {
    if (IsFile(fs, name)) layouts.Add(Layout::kOldFileSet, std::string(name));
  }
  for (auto name : kOldFolders) {
    if (IsFolder(fs, name) && !FilesOf(fs, name, "*.dat").empty()) {
      layouts.Add(Layout::kOldFileSet, std::string(name));
    }
  }
  for (const std::string& folder : FoldersOf(fs, "")) {
    if (OneOf(kTypeFolders, folder)) {
      if (!FilesOf(fs, folder, "*.dat").empty()) layouts.Add(Layout::kTypeFolders, folder);
    } else if (!platform::SameName(folder, kCompanyRoot) && !OneOf(kOldFolders, folder)) {
      // A company folder holds the company's tables: G01.DAT, L011999.DAT, ...
      if (!FilesOf(fs, folder, "G*.DAT").empty() || !FilesOf(fs, folder, "L*.DAT").empty()) {
        layouts.Add(Layout::kCompanyFolders, folder);
      }
    }
  }
  if (IsFolder(fs, kCompanyRoot)) {
    for (const std::string& company : FoldersOf(fs, kCompanyRoot)) {
      std::string folder = std::string(kCompanyRoot) + "\\" + company;
      layouts.Add(Layout::kR00Folders, folder);
      for (const std::string& name : FilesOf(fs, folder, "L50*.DAT")) {
        if (auto fiscal = FiscalLayout(name)) layouts.Add(*fiscal, folder + "\\" + name);
      }
    }
  }
  return layouts.Found();
}

}  // namespace livrana
