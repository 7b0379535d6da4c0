// Version step 3.73: in every company folder the "G" tables take "F" names, and each yearly
// fiscal file R00\<code>\L50<year>.DAT (200-character records) is rewritten as
// R00\<code>\L50A<year>.DAT with 400-character records. Items are rebuilt with their bases
// and taxes computed; items, texts and references enter their record number into a link
// field of their invoice header. A record that names a header not yet written is moved
// behind all others (through the work file "0.tmp") so that its header can link to it.
// The old file becomes L50<year>.BAK. The step runs once per data folder (mark "373").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/outcome.h"
#include "records/context.h"

namespace livrana {

struct Fiscal373Result {
  bool already_done = false;        // the mark was in the log: nothing was done
  bool register_found = false;      // the company register could be read
  std::vector<std::string> files;   // fiscal files converted, in order (the new names)
  Outcome outcome;                  // the failure that stopped the step (reported)
  std::vector<std::string> failed;  // the old fiscal file it stopped at, left in place
  bool ok() const { return outcome.ok(); }
};

// Runs the step: every company's G tables renamed and its fiscal files rewritten as L50A.
Fiscal373Result ConvertFiscal373(Context& ctx);

// Whether the folder holds what the step converts: no mark "373" yet, and old fiscal files
// L50<year>.DAT or G tables in company folders below R00.
bool HasFiscal373Input(platform::FileSystem& fs);

// The 300 characters of an item (kind "1") in the new layout, from its old 200 characters.
std::string RebuildFiscalItem(std::string_view old);

// An item value in a 16-character amount slot: in the Brazilian form when that fits, else
// without thousands separators and with as many decimals as fit, so that the value stays
// readable and the fields after the slot keep their places.
std::string SlotAmount(double value);

}  // namespace livrana
