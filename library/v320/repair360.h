// The repair of version 3.60: several fields of the yearly invoice ledgers
// R00\<co>\L26<year>.DAT move to new positions and a few are recoded, in place, by the
// kind of each record. It is not idempotent (the recoding of offset 61 would go on), so
// its caller runs it only once per data folder.
#pragma once

#include <string_view>

#include "records/context.h"
#include "run/step_journal.h"

namespace livrana {

// Repairs every R00\<co>\L26*.DAT of one company through the conversion: each ledger is
// written whole under its work name and put in place when the conversion commits, so that a
// run stopped anywhere leaves every ledger repaired once or not at all.
[[nodiscard]] Outcome RepairInvoiceLedgers360(Context& ctx, Conversion& conversion,
                                              std::string_view co);

}  // namespace livrana
