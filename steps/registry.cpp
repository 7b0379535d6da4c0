#include "steps/registry.h"

#include <array>

namespace livrana {
namespace {

// Each step joins this list when it is built: import-old-files, company-folders,
// rebuild-registers, split-ledgers, version-301, number-charts, versions-320-362,
// invoices-364, fiscal-373, chart-r1, remove-obsolete.
constexpr std::array<LibraryStep, 0> kSteps = {};

}  // namespace

std::span<const LibraryStep> LibrarySteps() { return kSteps; }

const LibraryStep* FindLibraryStep(std::string_view name) {
  for (const LibraryStep& step : LibrarySteps()) {
    if (step.name == name) return &step;
  }
  return nullptr;
}

}  // namespace livrana
