// Version 3.62: the companies' own charts of accounts (R00\<co>\G20R0.DAT) join the shared
// chart F20R0.DAT under new, unique account codes, and the account codes of each merged
// company's yearly ledgers L23<year>.DAT are shifted by the same amount.
#pragma once

#include <cstdint>
#include <string_view>

#include "records/context.h"
#include "library/step_io.h"

namespace livrana {

inline constexpr std::string_view kSharedChart = "F20R0.DAT";
inline constexpr std::int64_t kChartRecord = 209;
// The counter that holds the next free account code.
inline constexpr std::string_view kAccountCounter = "20";

struct ChartMerge {
  std::int32_t base = 0;        // the next free account code after the merge
  FailedFile failure;  // the file that could not be written
};

// Merges the chart of company co into the shared chart, the codes raised by base (the
// next free account code before the merge), and stores the new next free code in the
// counter "20". A shifted ledger code that would need more than the five digits of its
// field keeps the code it had, and the field is named to the sink.
[[nodiscard]] ChartMerge MergeChartOfAccounts(Context& ctx, std::string_view co, std::int32_t base);

// Rearranges two fields of every record of the shared chart, after the merges: offsets
// 68-102 receive the company marker ("1" and the company code, or "0"), and their former
// text moves to 173-207.
[[nodiscard]] FailedFile FixSharedChartFields(Context& ctx);

}  // namespace livrana
