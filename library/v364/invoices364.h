// Version step 3.64: each company's yearly invoice ledgers R00\<code>\L26<year>.DAT
// (600-character records) become yearly fiscal files R00\<code>\L50<year>.DAT
// (200-character records: "0" header, "1" item, "2" text, "3" extra, "4" reference).
//
// Every ledger is read twice. Pass 0 writes a header (or, for a complement record of kind
// "3", a deleted placeholder) per ledger record, the balance file X<year>.TMP and the
// complement file C.TMP, from which the references are found. Between the passes the
// product items of the shared folder R63 are added to their invoices. Pass 1 writes the
// items, text and extra records of every invoice and sets the ledger aside as
// L26<year>.BAK. The step runs once per data folder (mark "364" in the conversion log).
#pragma once

#include <string>
#include <vector>

#include "records/context.h"

namespace livrana {

struct Invoices364Result {
  bool already_done = false;         // the mark was in the log: nothing was done
  bool register_found = false;       // the company register could be read
  std::vector<std::string> ledgers;  // ledgers converted, in order ("R00\0001\L262016.DAT")
  bool ok = true;                    // false when a write failed (reported to the sink)
  std::string failed_file;           // the first file whose writes failed
};

Invoices364Result ConvertInvoices364(Context& ctx);

}  // namespace livrana
