// What the command line reports about a data folder and a run: as text for people
// (Windows-1252, converted at the console) and as JSON for scripts (UTF-8).
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "cli/terminal_sink.h"
#include "convert/convert434.h"
#include "run/run_backups.h"
#include "upgrade/folder_status.h"
#include "upgrade/upgrade.h"

namespace livrana::cli {

using Json = nlohmann::ordered_json;

// A Windows-1252 text of the core as a JSON string.
Json Text(std::string_view core);

// What the current conversion would do (a dry run's result), one line per point.
std::string PlanText(const Convert434Result& plan);
Json PlanJson(const Convert434Result& plan);

// The data folder at a glance (info).
// folder: the data folder as the user gave it, for the commands the text suggests.
std::string StatusText(const FolderStatus& status, std::string_view folder = ".");
Json StatusJson(const FolderStatus& status);

// What a run did: counts, companies and files of the current conversion.
Json ResultJson(const Convert434Result& result);

// A path of the data folder (relative, in the core's form) with the host's separator, as
// texts and reports show it.
std::string HostSeparators(std::string_view path);

// Where the backups of a run went and what else undoes it, and the undo command that does
// it; fs gives the host paths, folder is the data folder as the user gave it. A run that
// changed nothing has nothing to undo, and says so.
std::string UndoText(platform::FileSystem& fs, const RunUndo& undo, std::string_view folder);
Json UndoJson(platform::FileSystem& fs, const RunUndo& undo, std::string_view folder);

// What the undo command did: the run, what was restored, deleted and made again, and what
// the check found.
std::string UndoneText(platform::FileSystem& fs, const UndoResult& result, std::string_view folder);
Json UndoneJson(platform::FileSystem& fs, const UndoResult& result, std::string_view folder);

Json MessagesJson(const std::vector<TerminalSink::Message>& messages);

Json LockJson(const LockHolder& holder);

// The plan of an upgrade, one line per step, the current conversion last.
std::string UpgradePlanText(const UpgradePlan& plan);
Json UpgradePlanJson(const UpgradePlan& plan);

// A count with the Brazilian thousands separator: 1.234.567.
std::string Thousands(std::int64_t n);
// A duration as people read it: "0,4 s", "12 s", "3 min 05 s", "1 h 02 min".
std::string Duration(double seconds);

}  // namespace livrana::cli
