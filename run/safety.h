// Safety copies and the moving of record files between folders.
//
// Before a step replaces one of the product's files it moves the old one below the system
// temporary folder, into the subfolder "Vemo\Vuk", keeping its path relative to the data
// folder; when that name is taken, the lowest free of the names .001 to .100 appended to
// it. Safety copies are never removed by the converter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/context.h"

namespace livrana {

inline constexpr std::string_view kSafetySubfolder = "Vemo\\Vuk";
// A move to the safety folder that has to copy (another file system) makes its copy at the
// same path below the folder of this name beside the safety folder ("Vemo\Vuk.NEW"), and
// gives the copy its place once it is whole.
inline constexpr std::string_view kSafetyWorkSuffix = ".NEW";
// A temporary folder this long or longer is not used.
inline constexpr std::size_t kTempFolderLimit = 156;
// The temporary folder used when the system reports none, or one too long; created when
// missing.
#ifdef _WIN32
inline constexpr std::string_view kFallbackTempFolder = "C:\\Temp\\";
#else
inline constexpr std::string_view kFallbackTempFolder = "/tmp/";
#endif
// Numbered names of a safety copy: .001 to this.
inline constexpr int kSafetyNumbers = 100;

// The temporary folder that safety copies go below, ending with a separator.
std::string SafetyTempFolder(platform::FileSystem& fs);

// The path of a safety copy of file below the temporary folder temp (as SafetyTempFolder
// gives it): number 0 is the plain name, 1 to 100 append .001 to .100.
std::string SafetyCopyPath(std::string_view temp, std::string_view subfolder, std::string_view file,
                           int number);

// Moves an existing file, or a folder with everything in it, to its safety copy below the
// subfolder of the temporary folder, creating the folders on the way. Where a rename
// cannot reach the temporary folder (another file system), the file or folder is copied
// (under a work name until the copy is whole, so that an interruption never leaves an
// incomplete safety copy; the next move removes what it left) and the source deleted once
// the copy is complete. A move that cannot be made leaves the
// source in place and is noted to the sink. Gives whether the source was moved; a missing
// source is not moved and not noted.
bool MoveToSafety(Context& ctx, std::string_view file,
                  std::string_view subfolder = kSafetySubfolder, Outcome* why = nullptr);

// Whether a move of file to the safety folder by copy was stopped after its copy was whole
// (the next MoveToSafety of file finishes it).
bool SafetyMoveUnfinished(platform::FileSystem& fs, std::string_view file);

// Copies an existing file of the data folder to its safety copy, under the first free of
// the safety copy's names, creating the folders on the way; the file itself stays as it
// is. Gives the path of the copy, or nothing when the file is missing, is a folder, lies
// outside the data folder, or could not be copied whole; why then says which.
std::optional<std::string> CopyToSafety(platform::FileSystem& fs, std::string_view file,
                                        std::string_view subfolder = kSafetySubfolder,
                                        Outcome* why = nullptr);

// Deletes a file, a read-only one too; a file that stays keeps its attribute. The outcome is
// the deletion's.
Outcome RemoveFileAnyway(platform::FileSystem& fs, std::string_view path);

// Deletes a folder with everything in it; the outcome is the first failure. With
// stop_at_failure the first entry that cannot be deleted ends the work, leaving everything
// not yet reached in place; a folder that cannot be listed is never deleted. A link to a
// folder (or a junction) is deleted as a link: the folder it leads to, which may be another
// part of the data folder, keeps its files. Folders nested deeper than 64 are not deleted.
Outcome RemoveFolderTree(platform::FileSystem& fs, std::string_view folder,
                         bool stop_at_failure = false, int depth = 0);

enum MoveDatMode : int {
  kCopyDatFiles = 0,  // copy each *.DAT file, never overwriting
  kMoveDatFiles = 1,  // rename the whole folder, else move each file (numbered on collision)
};

// Brings the record files (*.DAT) of the source folder into the target folder, which is
// created. Mode 0 copies each file that the target does not hold yet. Mode 1 first tries to
// rename the whole folder; otherwise it moves each file, under the name with .001 to .100
// appended when the name is taken, and finally removes the source folder when it has
// become empty. A higher mode only renames the folder, or removes it when empty.
void MoveDatFiles(platform::FileSystem& fs, std::string_view source, std::string_view target,
                  int mode);

// The number stored at the start of record n of a record file of length w (at most 23
// characters are read): its leading number when that lies from 0 to 999 999 998, else 0;
// 0 too when the file or the record cannot be read.
std::int32_t ReadRecordNumber(platform::FileSystem& fs, std::string_view path, std::int64_t n,
                              std::int32_t w);

}  // namespace livrana
