// The numbering of the charts of accounts, in the company-folder layout: every account of
// the shared chart (F20.DAT and F21.DAT into F20R0.DAT) and of each company's chart
// (<co>\G20.DAT and G21.DAT into <co>\G20R0.DAT) gets a five-digit sequence number, and the
// account fields of the yearly ledgers <co>\L23<year>.DAT are rewritten from the old
// account codes to these numbers. A numbered chart blocks its own rebuilding, and a
// company's ledgers are rewritten only in the call that numbered the chart they refer to.
// The charts, the ledgers and the deletion of the charts' sources are one conversion of the
// step journal: a run stopped anywhere is rolled back or finished by the next one, so that
// no chart is ever numbered without its ledgers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "records/context.h"

namespace livrana {

// The lookup list of the ledger rewrite: texts of 26 characters, a 16-character key (kind
// digit and old account code) and the 10 characters that replace the code, kept in the
// order they were added. A search gives the first entry whose key equals, letter case
// ignored.
class AccountLookup {
 public:
  void Clear();
  void Add(std::string entry);
  // The first entry whose first 16 characters equal key, or null.
  const std::string* Find(std::string_view key) const;
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<std::string> entries_;
  std::unordered_map<std::string, std::size_t> first_;  // folded key -> first entry
};

// Done, or the failure that stopped the step (told to the sink as well).
Outcome NumberChartsOfAccounts(Context& ctx);

// Whether the data folder holds what the step converts: the company register in the data
// folder with the company folders beside it (not yet below R00), and a chart still to number
// (F20.DAT or F21.DAT without F20R0.DAT, or a live company's G20.DAT or G21.DAT without its
// G20R0.DAT).
bool NumberChartsHasInput(platform::FileSystem& fs);

}  // namespace livrana
