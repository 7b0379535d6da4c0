// The layouts a data folder has had in the product's history, as its files show them: the
// oldest file set, type folders, company folders in the data folder, company folders below
// R00, and the fiscal files of 3.64 and 3.73. Everything is looked at, nothing is opened
// for writing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace livrana {

// The layouts the data have had, oldest first.
enum class Layout {
  kOldFileSet,      // f1.dat, f2.dat, f0dp.dat, f3.dat, group00.dat, ... and data, dinv, ...
  kTypeFolders,     // G01, L01, ...: one folder per table, one file per company
  kCompanyFolders,  // one folder per company in the data folder
  kR00Folders,      // one folder per company below R00 (version 3.20 on)
  kFiscal200,       // yearly fiscal files L50<year>.DAT of 200-byte records (3.64)
  kFiscal400,       // yearly fiscal files L50A<year>.DAT of 400-byte records (3.73)
};

struct LayoutFound {
  Layout layout;
  std::string id;    // a short name for scripts: "old-file-set", "type-folders", ...
  std::string text;  // what it is, in Portuguese (Windows-1252)
  int count = 0;     // files or folders found that belong to it
  std::vector<std::string> examples;  // the first few of them, paths in the data folder
};

// Every layout of which something is found in the data folder, oldest first.
std::vector<LayoutFound> FindLayouts(platform::FileSystem& fs);

// Whether a folder, or a file (anything but a folder), is at path.
bool IsFolder(platform::FileSystem& fs, std::string_view path);
bool IsFile(platform::FileSystem& fs, std::string_view path);
// The files of a folder that match the pattern, in the order the system lists them. Both
// this and FoldersOf tell what a folder holds by the names alone (platform::kNamesOnly):
// hidden and system entries are listed too, and a search costs its listing only.
std::vector<std::string> FilesOf(platform::FileSystem& fs, std::string_view folder,
                                 std::string_view pattern);
// The folders of a folder ("" for the data folder), in the order listed.
std::vector<std::string> FoldersOf(platform::FileSystem& fs, std::string_view folder);

}  // namespace livrana
