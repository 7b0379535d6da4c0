// Upgrade: a data folder of any older version brought to the current layouts in one go.
// The plan is worked out from the files themselves: the library steps whose input layout is
// in the folder, and those that the work of an earlier step of the plan gives their input,
// in the order of the product's history, and then the current conversion. Nothing is
// changed to make the plan, so that it can be shown first (and is all a dry run shows).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "convert/convert434.h"
#include "library/registry.h"
#include "platform/file_system.h"
#include "records/context.h"

namespace livrana {

struct UpgradePlan {
  struct Step {
    const LibraryStep* step;
    bool input_now;  // its input is in the folder now; else an earlier step gives it
  };
  std::vector<Step> steps;  // the library steps, in order
  // The current conversion, which always ends the plan, would change something now (it may
  // have more to do once the library steps have run).
  bool convert_has_work = false;

  // Whether the folder holds any layout older than the current one.
  bool Older() const { return !steps.empty(); }
};

// convert_plan: the plan of the current conversion when the caller has made it already.
UpgradePlan PlanUpgrade(platform::FileSystem& fs, std::string_view company_filter,
                        const Convert434Result* convert_plan = nullptr);

// The first library step whose input layout is in the folder (or whose interrupted run the
// step journal holds) and whose work the current conversion needs done first: the folder is
// in an older layout than the current one and the current conversion alone does not bring
// it up to date. Null for a folder in the current layouts, also one that holds only the
// leftovers of older versions that the clean-up removes.
const LibraryStep* FirstPendingStep(platform::FileSystem& fs);

// The message of a front end that runs only the current conversion and finds the folder in
// an older layout (Windows-1252): the oldest layout found, and the step that is missing.
std::string OlderLayoutMessage(platform::FileSystem& fs, const LibraryStep& first);

// What happens while an upgrade runs, for the front end to show progress and to record
// history: index from 0, of count steps (the current conversion is the last).
struct UpgradeObserver {
  std::function<void(int index, int count, std::string_view name)> starting;
  std::function<void(int index, std::string_view name, const Outcome& outcome)> finished;
};

struct UpgradeResult {
  int steps_run = 0;         // library steps that ran to their end
  int steps_skipped = 0;     // planned steps that found nothing to convert at their turn
  Convert434Result convert;  // the current conversion's result, when it ran
  Outcome outcome;           // done, or what stopped the upgrade
};

// Runs the plan over the context's data folder: each library step through RunLibraryStep,
// then the current conversion. The first failure stops the upgrade; running it again
// finishes it. A planned step whose input is not there at its turn is passed over with a
// note.
UpgradeResult RunUpgrade(Context& ctx, const UpgradePlan& plan, const UpgradeObserver& observer,
                         Convert434Detail detail = Convert434Detail::kCounts);

}  // namespace livrana
