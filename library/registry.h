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
  // Runs the step over the context's data folder: done, or the failure that stopped it
  // (told to the sink as well).
  Outcome (*run)(Context& ctx);
};

// Every step of the library, in the order in which the data layouts followed each other.
std::span<const LibraryStep> LibrarySteps();

// The step of that name (exact, lower case); null when there is none.
const LibraryStep* FindLibraryStep(std::string_view name);

}  // namespace livrana
