// The yearly table L26 ("<code>\L26<year>.DAT", 600 characters a record), filled from four
// per-year tables of a company folder: sub-steps E to H of the ledger split.
#pragma once

#include <string>

#include "library/first/text_io.h"
#include "records/context.h"
#include "run/step_journal.h"

namespace livrana {

// Sub-steps E (L03), F (L17), G (L12) and H (L10, L11) for one company, in this order, in
// the company's conversion (its sources consumed at the commit). Done, or the failure that
// stops the step.
Outcome FillYearlyL26(Context& ctx, AppendTargets& targets, Conversion& conversion,
                      const std::string& code);

}  // namespace livrana
