// The library of earlier conversion steps that the command line can run one by one
// ("livrana-convert run STEP"): each with its name, a one-line description, the version
// marks it records in CONV.DAT and the routine.
#pragma once

#include <span>
#include <string_view>

#include "records/context.h"

namespace livrana {

struct LibraryStep {
  std::string_view name;         // as typed on the command line: "split-ledgers"
  std::string_view description;  // one line, Windows-1252
  // The version marks of the conversion log that the step records, in the order it
  // records them; none for the steps that no mark governs.
  std::span<const std::string_view> marks;
  // Whether the data folder holds what the step converts, in the layout it converts: its
  // sources, also those an interrupted run of the step left, in some or all companies.
  // Null for a step that checks nothing.
  bool (*has_input)(platform::FileSystem& fs);
  // Runs the step over the context's data folder: done, or the failure that stopped it
  // (told to the sink as well). RunLibraryStep is the way to run it.
  Outcome (*run)(Context& ctx);
};

// Every step of the library, in the order in which the data layouts followed each other.
std::span<const LibraryStep> LibrarySteps();

// The step of that name (exact, lower case); null when there is none.
const LibraryStep* FindLibraryStep(std::string_view name);

// Whether the folder holds the step's input (has_input); false for a step that checks
// nothing. A folder that could not be listed on the way is not taken for one without input:
// why then tells the listing's failure.
bool StepHasInput(const LibraryStep& step, platform::FileSystem& fs, Outcome& why);

// Runs a step as every front end must: first what an interrupted run left in the step
// journal is finished or rolled back; then a folder that does not hold the step's input
// layout is refused unchanged (the outcome names the layout found), unless the journal was
// left by an interrupted run of this step (its conversions name it); then the step runs.
// resumes_stopped_run: the run took over the lock of a stopped run of this same step. When
// such a run finds no input of the step and none of an earlier step either, the stopped run
// had done all its work and was stopped only before its end was recorded: the step is done.
Outcome RunLibraryStep(const LibraryStep& step, Context& ctx, bool resumes_stopped_run = false);

}  // namespace livrana
