// The history of a data folder, CONVHIST.DAT: one line for every step that the converter
// ran over the folder, with when, how it was started, how it ended and the run with backups
// it belongs to, oldest first. The lines are fixed-width text records like the product's,
// Windows-1252, each ended by CR LF:
//
//   offset  width  field
//        0     10  date, dd/mm/yyyy
//       11      8  time, hh:mm:ss (local)
//       20      8  command: convert, upgrade, run, undo, dialogo
//       29     18  step: convert, a library step, or empty
//       48     12  result: feita, falhou, interrompida
//       61     36  the run with backups (see run_backups.h), empty without --backup
//       98     78  a short text: why it failed, or what it did
//
// fields left-justified and padded with spaces, one space between them, 176 bytes and CR LF
// a line. The history is the converter's own work file: never backed up, never restored by
// an undo, and passed over by the steps and by the layout detection.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace livrana {

inline constexpr std::string_view kHistoryFile = "CONVHIST.DAT";
// The history with its new line, before it replaces CONVHIST.DAT.
inline constexpr std::string_view kHistoryNew = "CONVHIST.NEW";

inline constexpr std::string_view kResultDone = "feita";
inline constexpr std::string_view kResultFailed = "falhou";
inline constexpr std::string_view kResultInterrupted = "interrompida";

struct HistoryEntry {
  std::string date;  // dd/mm/yyyy
  std::string time;  // hh:mm:ss
  std::string command;
  std::string step;
  std::string result;  // kResultDone, kResultFailed or kResultInterrupted
  std::string run;     // the id of the run with backups; empty without one
  std::string text;
};

// The result word of an outcome: done, interrupted by the user, or failed.
std::string_view ResultOf(const Outcome& outcome);

// The entry for a step that ended now with outcome; its text is the failure's cause.
HistoryEntry HistoryEntryNow(std::string_view command, std::string_view step,
                             const Outcome& outcome, std::string_view run = {});

// Appends the entry as one line, whole or not at all: the history with its new line is
// written as CONVHIST.NEW, made durable and put in the place of CONVHIST.DAT in one step.
// Fields longer than their width are cut; line breaks and other control characters in them
// become spaces. A last line that another program left torn is dropped.
Outcome AppendHistory(platform::FileSystem& fs, const HistoryEntry& entry);

// The entries of the history, oldest first; only the last ones when last is not 0. Lines
// too short for the layout are passed over; a missing history has none.
std::vector<HistoryEntry> ReadHistory(platform::FileSystem& fs, std::size_t last = 0);

}  // namespace livrana
