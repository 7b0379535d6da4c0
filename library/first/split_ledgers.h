// The split of each company's ledger tables by year: tables 1, 3, 7, 8 and 9 become one
// file per table and year, and several tables are gathered into the yearly tables L23 (300
// characters a record) and L26 (600, see yearly_l26.h).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "records/context.h"
#include "records/record_file.h"

namespace livrana {

// For every company of the register (read without an open register, so deleted companies
// matching the filter are visited too) runs sub-steps A to H in order, then asks the window
// to repaint. Every sub-step consumes its sources, so a second run changes nothing. Gives
// false when a write failed; the step then stops, leaving that file's source as it was and
// its target as it was before.
bool SplitLedgersByYear(Context& ctx);

// Reads one record of a yearly source (year from its file name) and appends what it gives to
// out; false at the end of the source.
using YearlyConverter = std::function<bool(RecordFile& source, std::string& out, int year)>;

// The file loop of the sub-steps that fill the yearly tables: every ordinary file matching
// pattern (a path in the company folder) whose name carries a year in 1-9999 from position
// year_from on is converted into target (a format taking the code and the year), appended,
// and then moved to its safety copy. A file without such a year, or whose source or target
// cannot be opened, stays where it is. Gives false when a write failed.
bool ConvertYearlyFiles(Context& ctx, const std::string& code, std::string_view pattern,
                        std::size_t year_from, std::string_view target,
                        const YearlyConverter& convert);

}  // namespace livrana
