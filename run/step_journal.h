// The step journal LIVRANA.JNL of the data folder: what a conversion step is in the middle
// of, so that a run stopped anywhere (a failure, a kill, a power cut) is rolled back and
// done again, or finished, by the next run, and never leaves half a conversion behind.
//
// A Conversion turns sources into targets in three moves:
//   1. before the first change of each target, what the target holds (its size, or that it
//      does not exist) is written to the journal and made durable;
//   2. the targets are written: appended to, created, or rewritten whole under a work name;
//   3. Commit makes every target durable, writes the list of what consumes the sources
//      (moves to the safety folder, deletions, renames, work files put in place of their
//      originals, version marks) with the commit line after it, carries the list out and
//      removes the journal.
// RecoverConversion, at the start of every step, reads a journal left behind: without its
// commit line every target gets back what it held (the conversion is then done again from
// its untouched sources); with it, what the list says is carried out where it is not done
// yet. Every action of the list can be carried out twice without harm.
//
// Journal lines (Windows-1252, CR LF): "S <step>" the step that wrote the journal (its
// first line, when the conversion was given one), "T <size>|- <path>" a target as it was, "M
// <path>" move to the safety folder, "D <path>" delete, "R <from>|<to>" rename, "B <from>|<to>"
// set aside under a name whose older holder goes to the safety folder first, "P <work>|<target>"
// put a work file in place of its target, "K <tag>" record a version mark, "C" the commit.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "records/context.h"
#include "records/record_file.h"

namespace livrana {

inline constexpr std::string_view kStepJournal = "LIVRANA.JNL";
// A rewritten file is written under its own name with this ending until it is put in place.
inline constexpr std::string_view kWorkSuffix = ".NEW";

class Conversion {
 public:
  // step names the step the conversion belongs to ("split-ledgers"), so that the next run
  // can tell whose interrupted work it finished or rolled back.
  explicit Conversion(Context& ctx, std::string_view step = {}) : ctx_(ctx), step_(step) {}
  // A conversion that was neither committed nor abandoned is abandoned.
  ~Conversion();
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  // Notes what target holds now, before its first change; once per target.
  Outcome Note(std::string_view target);

  // The openings of the targets, each noted first (why tells what failed).
  FileHandle Create(std::string_view target, FileMode mode, Outcome* why = nullptr);
  FileHandle Append(std::string_view target, FileMode mode, Outcome* why = nullptr);
  // A whole new version of target, created under its work name (target and ".NEW") and put
  // in place of target at the commit.
  FileHandle Rewrite(std::string_view target, FileMode mode, Outcome* why = nullptr);

  // What the commit carries out once every target is durable, in this order.
  void MoveToSafetyAtCommit(std::string_view path) { Act('M', path); }
  void RemoveAtCommit(std::string_view path) { Act('D', path); }
  void RenameAtCommit(std::string_view from, std::string_view to);
  // Gives from the name to, moving a file that has that name already to the safety folder
  // first (a converted source set aside as .BAK over an older backup). Carried out only
  // while from exists, so that carrying it out again after it was done moves nothing.
  void SetAsideAtCommit(std::string_view from, std::string_view to);
  void MarkAtCommit(std::string_view tag) { Act('K', tag); }

  // Makes the targets durable, commits and carries out the list; the files opened through
  // the conversion must be closed before. A failure before the commit line is on the disk
  // (its sync included) gives the targets back; a run stopped after it is finished by the
  // next run.
  Outcome Commit();
  // Gives every target back what it held, and removes the journal.
  Outcome Abandon();

  // Whether anything was noted or listed (a conversion with nothing to do writes nothing).
  bool empty() const { return noted_.empty() && actions_.empty(); }

 private:
  void Act(char kind, std::string_view text);
  Outcome AppendToJournal(std::string_view lines);

  Context& ctx_;
  std::string step_;
  FileHandle journal_;
  std::set<std::string> noted_keys_;  // folded paths
  std::vector<std::string> noted_;    // the targets, in the order noted
  std::vector<std::string> actions_;  // the lines of the commit list
  bool finished_ = false;
};

// Finishes or rolls back the conversion that an interrupted run left in the journal; done
// when there was none. Every library step calls it before it starts. When step is given and
// a journal was found, it receives the name of the step that wrote it (empty when the
// journal names none); otherwise it is emptied.
Outcome RecoverConversion(Context& ctx, std::string* step = nullptr);

// The step whose conversion an interrupted run left in the journal, without changing
// anything: empty when there is no journal or it names no step.
std::string InterruptedStep(platform::FileSystem& fs);

}  // namespace livrana
