// The repair of version 3.60: several fields of the yearly invoice ledgers
// R00\<co>\L26<year>.DAT move to new positions and a few are recoded, in place, by the
// kind of each record. It is not idempotent (the recoding of offset 61 would go on), so
// its caller runs it only once per data folder.
#pragma once

#include <string_view>

#include "records/context.h"
#include "library/step_io.h"

namespace livrana {

// Repairs every R00\<co>\L26*.DAT of one company.
[[nodiscard]] FailedFile RepairInvoiceLedgers360(Context& ctx, std::string_view co);

}  // namespace livrana
