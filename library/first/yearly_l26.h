// The yearly table L26 ("<code>\L26<year>.DAT", 600 characters a record), filled from four
// per-year tables of a company folder: sub-steps E to H of the ledger split.
#pragma once

#include <string>

#include "records/context.h"

namespace livrana {

// Sub-steps E (L03), F (L17), G (L12) and H (L10, L11) for one company, in this order. Gives
// false when a write failed.
bool FillYearlyL26(Context& ctx, const std::string& code);

}  // namespace livrana
