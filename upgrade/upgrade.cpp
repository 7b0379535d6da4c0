#include "upgrade/upgrade.h"

#include <algorithm>
#include <array>

#include "convert/plan.h"
#include "records/format.h"
#include "run/layouts.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

// The steps whose work gives a step its input, when the folder does not hold it yet. The
// layouts of the main line follow each other, from the oldest file set to the fiscal files
// of 3.73, so every step of the main line takes what the earlier ones leave; the chart
// revision takes the shared chart that 3.62 builds; the clean-up takes only what older
// versions of the product left behind, which no step makes.
// Only the clean-up leaves what the current conversion reads as it is: a folder that holds
// nothing older than the leftovers it removes is converted all the same.
struct Feeding {
  std::string_view step;
  bool main_line;                // fed by any earlier step of the main line
  std::string_view also_fed_by;  // a step off the main line that feeds it too
  bool before_convert;           // the current conversion needs its work done first
};
constexpr std::array<Feeding, 11> kFeeding = {{
    {"import-old-files", true, "", true},
    {"company-folders", true, "", true},
    {"rebuild-registers", true, "", true},
    {"split-ledgers", true, "", true},
    {"version-301", true, "", true},
    {"number-charts", true, "", true},
    {"versions-320-362", true, "", true},
    {"invoices-364", true, "", true},
    {"fiscal-373", true, "", true},
    {"chart-r1", false, "versions-320-362", true},
    {"remove-obsolete", false, "", false},
}};

const Feeding* FeedingOf(std::string_view name) {
  for (const Feeding& feeding : kFeeding) {
    if (feeding.step == name) return &feeding;
  }
  return nullptr;
}

bool HasInput(const LibraryStep& step, platform::FileSystem& fs) {
  return step.has_input != nullptr && step.has_input(fs);
}

// Whether the step has work in the folder now: its input is there, or an interrupted run of
// it left a conversion in the step journal (whose last change may have consumed the last of
// its input, and which the step finishes or rolls back and does again).
bool HasWork(const LibraryStep& step, platform::FileSystem& fs, std::string_view interrupted) {
  return step.name == interrupted || HasInput(step, fs);
}

}  // namespace

UpgradePlan PlanUpgrade(platform::FileSystem& fs, std::string_view company_filter,
                        const Convert434Result* convert_plan) {
  UpgradePlan plan;
  bool main_line_started = false;
  std::vector<std::string_view> planned;
  const std::string interrupted = InterruptedStep(fs);
  for (const LibraryStep& step : LibrarySteps()) {
    const Feeding* feeding = FeedingOf(step.name);
    bool now = HasWork(step, fs, interrupted);
    bool fed = false;
    if (feeding != nullptr) {
      fed = (feeding->main_line && main_line_started) ||
            (!feeding->also_fed_by.empty() &&
             std::find(planned.begin(), planned.end(), feeding->also_fed_by) != planned.end());
    }
    if (!now && !fed) continue;
    plan.steps.push_back({&step, now});
    planned.push_back(step.name);
    if (feeding != nullptr && feeding->main_line) main_line_started = true;
  }
  plan.convert_has_work =
      (convert_plan != nullptr ? convert_plan->files_changed_count
                               : PlanConvert434(fs, company_filter).files_changed_count) > 0;
  return plan;
}

const LibraryStep* FirstPendingStep(platform::FileSystem& fs) {
  const std::string interrupted = InterruptedStep(fs);
  for (const LibraryStep& step : LibrarySteps()) {
    const Feeding* feeding = FeedingOf(step.name);
    if (feeding != nullptr && !feeding->before_convert) continue;
    if (HasWork(step, fs, interrupted)) return &step;
  }
  return nullptr;
}

std::string OlderLayoutMessage(platform::FileSystem& fs, const LibraryStep& first) {
  // The oldest layout found, leaving out the current fiscal files, and the company folders
  // below R00 where fiscal files tell more.
  std::vector<LayoutFound> found = FindLayouts(fs);
  const bool fiscal = std::any_of(found.begin(), found.end(), [](const LayoutFound& f) {
    return f.layout == Layout::kFiscal200 || f.layout == Layout::kFiscal400;
  });
  std::string layout;
  for (const LayoutFound& f : found) {
    if (f.layout == Layout::kFiscal400 || (f.layout == Layout::kR00Folders && fiscal)) continue;
    layout = Format(" (%s)", f.text);
    break;
  }
  return Format(
      "A pasta de dados ainda não está no layout atual%s: falta a etapa %s (%s) e as que vêm "
      "depois dela.\nNada foi convertido. O comando \"livrana-convert upgrade\" atualiza a "
      "pasta até a versão atual.",
      layout, first.name, first.description);
}

UpgradeResult RunUpgrade(Context& ctx, const UpgradePlan& plan, const UpgradeObserver& observer,
                         Convert434Detail detail) {
  UpgradeResult result;
  const int count = static_cast<int>(plan.steps.size()) + 1;
  int index = 0;
  for (const UpgradePlan::Step& planned : plan.steps) {
    const LibraryStep& step = *planned.step;
    if (observer.starting) observer.starting(index, count, step.name);
    Outcome outcome;
    if (step.has_input != nullptr && InterruptedStep(ctx.fs) != step.name &&
        !StepHasInput(step, ctx.fs, outcome)) {
      // An earlier step was to give it its input and did not: nothing to convert (a folder
      // that could not be listed stops the upgrade instead).
      if (outcome) {
        ctx.sink.Note(Format("Etapa %s: nada a converter nesta pasta.", step.name));
        ++result.steps_skipped;
      }
    } else {
      outcome = RunLibraryStep(step, ctx);
      if (outcome) ++result.steps_run;
    }
    if (observer.finished) observer.finished(index, step.name, outcome);
    if (!outcome) {
      result.outcome = std::move(outcome);
      return result;
    }
    ++index;
  }
  if (observer.starting) observer.starting(index, count, "convert");
  result.convert = Convert434(ctx, detail);
  if (observer.finished) observer.finished(index, "convert", result.convert.outcome);
  result.outcome = result.convert.outcome;
  return result;
}

}  // namespace livrana
