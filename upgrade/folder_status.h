// A data folder at a glance, for the operator who looks before converting: which layouts
// of the product's history it holds, the version marks of its conversion log, the
// companies of its register, the phone table, the lock, and what the current conversion
// would do now. Nothing is written: every file is opened for reading only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/plan.h"
#include "platform/file_system.h"
#include "run/folder_lock.h"
#include "run/history.h"
#include "run/layouts.h"
#include "run/run_backups.h"
#include "upgrade/upgrade.h"

namespace livrana {

// A version mark of the conversion log and the library step that writes it.
struct VersionMark {
  std::string tag;
  std::string step;  // the library step's name ("versions-320-362")
  std::string text;  // what the mark stands for (Windows-1252)
  bool present = false;
};

enum class CompanyState {
  kLive,
  kDeleted,   // deletion mark in the register: every step passes over it
  kUnusable,  // live, but its code cannot name a folder: every step passes over it
};

struct CompanyEntry {
  std::int64_t record = 0;  // record number in the register, from 0
  std::string code;
  CompanyState state = CompanyState::kLive;
  bool selected = false;    // live, usable and matching the company filter
  bool has_folder = false;  // R00\<code> exists
};

struct FolderStatus {
  // Every layout of which something was found, oldest first; the last is the newest.
  std::vector<LayoutFound> layouts;
  std::vector<VersionMark> marks;            // the marks of this program, in history order
  std::vector<std::string> other_log_lines;  // lines of CONV.DAT that are none of them
  bool conversion_log_found = false;
  bool register_found = false;
  std::vector<CompanyEntry> companies;
  bool phone_table_exists = false;
  bool phone_journal_exists = false;  // an interrupted phone-table phase, finished by convert
  bool lock_file_exists = false;      // LIVRANA.LCK: a converter works on the folder now
  std::optional<LockHolder> lock;     // its holder, when the file can be read
  Convert434Result plan;              // what convert would do now (a dry run)

  // Whether convert would change anything now.
  bool ConvertHasWork() const { return plan.files_changed_count > 0; }
  UpgradePlan upgrade;                // what upgrade would run now
  bool lock_stale = false;            // the lock's process ran on this machine and runs no more
  std::vector<HistoryEntry> history;  // the last lines of the history, oldest first
  std::vector<RecordedRun> runs;      // the runs with backups of this folder, oldest first
  // Whether anything is left to do: library steps for older layouts, or the conversion.
  bool Pending() const { return upgrade.Older() || ConvertHasWork(); }
  // Every mark is missing, yet no older layout is in the folder: the folder was made in the
  // current layouts (or its log was lost), and nothing is pending for the marks.
  bool MarksMissingLayoutsCurrent() const {
    return !upgrade.Older() &&
           std::none_of(marks.begin(), marks.end(), [](const VersionMark& m) { return m.present; });
  }
  // The newest layout found, or nothing for a folder that holds none of them.
  const LayoutFound* Newest() const { return layouts.empty() ? nullptr : &layouts.back(); }
};

// How many of the last lines of the history InspectFolder reads.
inline constexpr std::size_t kHistoryShown = 100;

// Looks at the data folder; company_filter restricts the plan as convert --company does.
FolderStatus InspectFolder(platform::FileSystem& fs, std::string_view company_filter);

}  // namespace livrana
