// The split of each company's ledger tables by year: tables 1, 3, 7, 8 and 9 become one
// file per table and year, and several tables are gathered into the yearly tables L23 (300
// characters a record) and L26 (600, see yearly_l26.h).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "library/first/text_io.h"
#include "records/context.h"
#include "records/record_file.h"

namespace livrana {

// For every company of the register (read without an open register, so deleted companies
// matching the filter are visited too; a company folder listed twice is visited once) runs
// sub-steps A to H in order, then asks the window to repaint. Every sub-step consumes its
// sources; a company's sub-steps make one conversion of the step journal, its sources
// consumed at the commit, so a second run changes nothing and a run stopped anywhere is
// finished by the next. The first failure stops the step: told to the sink and given back,
// that company's files as they were.
Outcome SplitLedgersByYear(Context& ctx);

// Whether the data folder holds what the split converts: a register and, in a company
// folder, a table of sub-step A or a yearly file (its year in its name) of sub-steps B to H.
bool SplitLedgersHasInput(platform::FileSystem& fs);

// Reads one record of a yearly source (year from its file name) and appends what it gives to
// out; false at the end of the source.
using YearlyConverter = std::function<bool(TextSource& source, std::string& out, int year)>;

// The file loop of the sub-steps that fill the yearly tables: every ordinary file matching
// pattern (a path in the company folder) whose name carries a year in 1-9999 from position
// year_from on is converted into target (a format taking the code and the year), appended
// through targets (kept open across the files of the company), and listed to be moved to its safety
// copy at the commit of the company's conversion. A file without such a year, or whose source or
// target cannot be opened, stays where it is. Done, or the failure that stops the step.
Outcome ConvertYearlyFiles(Context& ctx, AppendTargets& targets, Conversion& conversion,
                           const std::string& code, std::string_view pattern, std::size_t year_from,
                           std::string_view target, const YearlyConverter& convert);

}  // namespace livrana
