#include "upgrade/upgrade.h"

#include <algorithm>
#include <array>

#include "convert/plan.h"
#include "records/format.h"

namespace livrana {
namespace {

// The steps whose work gives a step its input, when the folder does not hold it yet. The
// layouts of the main line follow each other, from the oldest file set to the fiscal files
// of 3.73, so every step of the main line takes what the earlier ones leave; the chart
// revision takes the shared chart that 3.62 builds; the clean-up takes only what older
// versions of the product left behind, which no step makes.
struct Feeding {
  std::string_view step;
  bool main_line;                // fed by any earlier step of the main line
  std::string_view also_fed_by;  // a step off the main line that feeds it too
};
constexpr std::array<Feeding, 11> kFeeding = {{
    {"import-old-files", true, ""},
    {"company-folders", true, ""},
    {"rebuild-registers", true, ""},
    {"split-ledgers", true, ""},
    {"version-301", true, ""},
    {"number-charts", true, ""},
    {"versions-320-362", true, ""},
    {"invoices-364", true, ""},
    {"fiscal-373", true, ""},
    {"chart-r1", false, "versions-320-362"},
    {"remove-obsolete", false, ""},
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

}  // namespace

UpgradePlan PlanUpgrade(platform::FileSystem& fs, std::string_view company_filter,
                        const Convert434Result* convert_plan) {
  UpgradePlan plan;
  bool main_line_started = false;
  std::vector<std::string_view> planned;
  for (const LibraryStep& step : LibrarySteps()) {
    const Feeding* feeding = FeedingOf(step.name);
    bool now = HasInput(step, fs);
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
  for (const LibraryStep& step : LibrarySteps()) {
    if (HasInput(step, fs)) return &step;
  }
  return nullptr;
}

std::string OlderLayoutMessage(const LibraryStep& first) {
  return Format(
      "A pasta de dados ainda não está no layout atual: falta a etapa %s (%s) e as "
      "que vêm depois dela.\nNada foi convertido. O comando \"livrana-convert "
      "upgrade\" atualiza a pasta até a versão atual.",
      first.name, first.description);
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
    if (step.has_input != nullptr && !StepHasInput(step, ctx.fs, outcome)) {
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
