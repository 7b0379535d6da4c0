// Step 4.34, the conversion that the dialog runs: the invoice phase rewrites three fields
// of the qualifying records of every selected company's yearly invoice files in place; the
// phone-table phase builds FTEL1.DAT, once per data folder, from the telephone fields of
// four tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/context.h"

namespace livrana {

// One invoice file that received (or, in a dry run, would receive) converted records.
struct InvoiceFileCount {
  std::string company;
  int year = 0;
  std::string path;
  int converted = 0;
};

// What the result lists besides its counts. The lists grow with the folder (a few hundred
// bytes per file), so a run over a whole folder keeps only the counts unless a report or
// a plan asks for them.
enum class Convert434Detail { kCounts, kFiles };

struct Convert434Result {
  bool register_found = false;             // the invoice phase ran (and showed its count)
  int converted = 0;                       // invoice records converted
  std::vector<std::string> companies;      // codes of the companies visited, in order
  std::int64_t invoice_files_changed = 0;  // invoice files that received converted records
  std::int64_t files_changed_count = 0;    // every file that received writes
  // With Convert434Detail::kFiles only:
  std::vector<InvoiceFileCount> invoice_files;  // in the order converted
  std::vector<std::string> files_changed;       // every file that received writes, in order
  bool phone_phase_ran = false;                 // FTEL1.DAT was missing and has now been built
  std::int64_t phone_lines = 0;  // lines in FTEL1.DAT (in a dry run: that it would hold)
  // Done, or the failure that stopped the step (its file, operation and cause).
  Outcome outcome;
  bool ok() const { return outcome.ok(); }
};

// Runs both phases. A folder that holds none of the product's data files (no company
// folders, none of the tables with telephone fields, no register with a company), or a
// company filter that selects no company of the register, is refused before anything is
// changed (Cause::kNotDataFolder, Cause::kNoCompany).
Convert434Result Convert434(Context& ctx, Convert434Detail detail = Convert434Detail::kCounts);

// Whether the data folder holds the product's data files, as Convert434 checks it.
bool IsFolderOfData(Context& ctx);

}  // namespace livrana
