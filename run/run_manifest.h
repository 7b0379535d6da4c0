// The manifest of a run with backups, EXECUCAO.TXT in the run's own folder below the safety
// folder, written as the run goes so that a run stopped anywhere can still be undone.
//
// The folder of a run: <temporary folder>\Vemo\Vuk\EXECUCOES\<id>, where the id is the data
// folder's name (letters, digits, "-", "_" and "."; at most 16 characters), a "-", the local
// date and time of the start as YYYYMMDD-HHMMSS and, when that name is taken, "-2" to "-99".
// The backups go below it, in COPIAS, each under its path in the data folder.
//
// Manifest lines (Windows-1252, each ended by CR LF; "|" separates fields, and no name on
// Windows holds one; a path is always the last field):
//   LIVRANA EXECUCAO 1            the format
//   D <path>                      the data folder, as the host names it (RealRoot)
//   I <n>|<dd/mm/yyyy hh:mm:ss>|<command>
//                                 the data folder's n-th run with backups, its start, and
//                                 how it was started
//   F <folder>                    a folder of the data folder before the run
//   L <count>                     the end of the start: the folders before are all listed
//   B <size>|<r>|<k>|<original>   a backup, once its copy is whole: the size of the copy,
//                                 1 when the original was read-only, the copy's number (0 for
//                                 COPIAS\<original>, 1 to 100 for the name with .001 to .100)
//   N <path>                      a path where nothing was, before the run creates something
//   S <step>|<result>             a step of the run ended (feita, falhou, interrompida)
//   E <result>|<text>             the run ended
//   U <dd/mm/yyyy hh:mm:ss>       the run was undone
// The start (down to the L line) is written whole under a work name and then takes its name,
// before the run changes anything; each later line is appended and made durable before the
// change it records happens. A last line without its line end was cut short by a stop and
// tells nothing: the change it was to record had not happened yet.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace livrana {

inline constexpr std::string_view kRunsSubfolder = "Vemo\\Vuk\\EXECUCOES";
inline constexpr std::string_view kRunManifest = "EXECUCAO.TXT";
inline constexpr std::string_view kRunCopies = "COPIAS";
inline constexpr std::size_t kRunNameLimit = 16;  // characters of the data folder's name

// The folder below the safety folder that holds every run's folder (absolute, core form).
std::string RunsFolder(platform::FileSystem& fs);

// Whether two host paths of data folders name the same folder: letter case counts on a
// POSIX host, not on Windows; separators are equal.
bool SameDataFolder(std::string_view a, std::string_view b);

// Writes the manifest of one run.
class ManifestWriter {
 public:
  // Makes the run's folder (its id from the data folder's name and the time now) and writes
  // the start of its manifest: the data folder's RealRoot, the run's number among the runs
  // of that data folder, command, and the folders of the data folder.
  static Outcome Start(platform::FileSystem& data, std::string_view command,
                       std::unique_ptr<ManifestWriter>* writer);
  ~ManifestWriter();
  ManifestWriter(const ManifestWriter&) = delete;
  ManifestWriter& operator=(const ManifestWriter&) = delete;

  const std::string& id() const { return id_; }
  const std::string& folder() const { return folder_; }  // absolute, core form
  const std::vector<std::string>& folders_before() const { return folders_before_; }
  // The subfolder of the temporary folder that the backups go to (for CopyToSafety).
  std::string CopiesSubfolder() const;

  Outcome Backup(std::string_view original, std::string_view copy, std::uint64_t size,
                 bool read_only);
  Outcome Creating(std::string_view path);
  Outcome Step(std::string_view step, std::string_view result);
  // The end line; nothing can be added after it.
  Outcome End(std::string_view result, std::string_view text);

 private:
  ManifestWriter(platform::FileSystem& fs, std::string id, std::string folder)
      : fs_(fs), id_(std::move(id)), folder_(std::move(folder)) {}
  Outcome Append(std::string line);

  platform::FileSystem& fs_;
  std::string id_, folder_;
  std::vector<std::string> folders_before_;
  std::unique_ptr<platform::File> file_;
  std::uint64_t end_ = 0;  // the end of the last whole line
  bool torn_ = false;      // a failed write may have left part of a line after end_
};

// A manifest as read back.
struct Manifest {
  std::string data_folder;
  int sequence = 0;
  std::string started, command;
  std::vector<std::string> folders_before;
  struct Backup {
    std::string original;
    std::string copy;  // absolute, core form
    std::uint64_t size = 0;
    bool read_only = false;
  };
  std::vector<Backup> backups;
  std::vector<std::string> created;
  std::vector<std::string> steps;  // "<step> <result>"
  bool ended = false;
  std::string result, text;
  bool undone = false;
  std::string undone_at;
};

// Reads the manifest of the run folder; fails when it is missing or its start is not whole.
Outcome ReadManifest(platform::FileSystem& fs, std::string_view run_folder, Manifest* manifest);

// Appends the undone line (a torn last line is dropped first), the manifest being rewritten
// whole under a work name.
Outcome MarkUndone(platform::FileSystem& fs, std::string_view run_folder);

// The local date and time now as the manifests and the history write it.
std::string TimeNow();

}  // namespace livrana
