// Version step 3.64: each company's yearly invoice ledgers R00\<code>\L26<year>.DAT
// (600-character records) become yearly fiscal files R00\<code>\L50<year>.DAT
// (200-character records: "0" header, "1" item, "2" text, "3" extra, "4" reference).
//
// Every ledger is read twice. Pass 0 writes a header (or, for a complement record of kind
// "3", a deleted placeholder) per ledger record, the balance file X<year>.TMP and the
// complement file C.TMP, from which the references are found. Between the passes the
// product items of the shared folder R63 are added to their invoices. Pass 1 writes the
// items, text and extra records of every invoice and sets the ledger aside as
// L26<year>.BAK. The step runs once per data folder (mark "364" in the conversion log,
// recorded once every company is converted).
//
// Each company is converted through the step journal: its fiscal files and work files are
// given back what they held when the run stops before the company's ledgers are set aside,
// so that the next run converts the company again from its untouched ledgers.
#pragma once

#include <string>
#include <vector>

#include "platform/outcome.h"
#include "records/context.h"

namespace livrana {

struct Invoices364Result {
  bool already_done = false;         // the mark was in the log: nothing was done
  bool register_found = false;       // the company register could be read
  std::vector<std::string> ledgers;  // ledgers converted, in order ("R00\0001\L262016.DAT")
  Outcome outcome;                   // the failure that stopped the step (reported to the sink)
  std::string failed_file;           // the file it failed on
  bool ok() const { return outcome.ok(); }
};

// Runs the step: every company's L26 ledgers and the R63 product items turned into L50 files.
Invoices364Result ConvertInvoices364(Context& ctx);

// Whether the folder holds what the step converts: yearly ledgers L26<year>.DAT in company
// folders below R00, or product tables R63\<year>.DAT, and no mark "364" yet.
bool HasInvoices364Input(platform::FileSystem& fs);

}  // namespace livrana
