// The library of earlier conversion steps that the command line can run one by one
// ("livrana-convert run STEP"): each with its name, a one-line description and the routine.
#pragma once

#include <span>
#include <string_view>

#include "records/context.h"

namespace livrana {

struct LibraryStep {
  std::string_view name;         // as typed on the command line: "split-ledgers"
  std::string_view description;  // one line, Windows-1252
  // Runs the step over the context's data folder; false when a write failed and the step
  // stopped.
  bool (*run)(Context& ctx);
};

// Every step of the library, in the order in which the data layouts followed each other.
std::span<const LibraryStep> LibrarySteps();

// The step of that name (exact, lower case); null when there is none.
const LibraryStep* FindLibraryStep(std::string_view name);

}  // namespace livrana
