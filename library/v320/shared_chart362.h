// Version 3.62: the companies' own charts of accounts (R00\<co>\G20R0.DAT) join the shared
// chart F20R0.DAT under new, unique account codes, and the account codes of each merged
// company's yearly ledgers L23<year>.DAT are shifted by the same amount.
#pragma once

#include <cstdint>
#include <string_view>

#include "records/context.h"
#include "records/layouts/charts.h"
#include "run/step_journal.h"

namespace livrana {

// The counter that holds the next free account code.
inline constexpr std::string_view kAccountCounter = "20";

struct ChartMerge {
  std::int32_t base = 0;  // the next free account code after the merge
  Outcome outcome;        // done, or what stopped the merge
  bool ok() const { return outcome.ok(); }
};

// Merges the chart of company co into the shared chart through the conversion, the codes
// raised by base (the next free account code before the merge): the ledgers L23<year>.DAT
// written whole with their codes shifted, the accounts appended to F20R0.DAT, the company's
// G20R0.DAT moved to its safety copy and the new next free code stored in the counter "20",
// all when the conversion commits. A shifted ledger code that would need more than the five
// digits of its field keeps the code it had, and the field is named to the sink.
[[nodiscard]] ChartMerge MergeChartOfAccounts(Context& ctx, Conversion& conversion,
                                              std::string_view co, std::int32_t base);

// Rearranges two fields of every record of the shared chart, after the merges, writing the
// chart whole through the conversion: offsets 68-102 receive the company marker ("1" and the
// company code, or "0"), and their former text moves to 173-207. Nothing when the shared
// chart is not there.
[[nodiscard]] Outcome FixSharedChartFields(Context& ctx, Conversion& conversion);

}  // namespace livrana
