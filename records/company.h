// The company register F00R0.DAT: one 1000-byte record per company, the company code in
// field 0, and the company loop that the steps share.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "records/context.h"
#include "records/layouts/register.h"
#include "records/record_file.h"

namespace livrana {

// Field k of record n of the register (GetField with its layout). The CR LF that many
// tools leave at the end of a file is no record: a last piece shorter than a record that
// holds nothing but line ends gives nothing, as the end of the register does.
bool ReadCompanyField(Context& ctx, RecordFile* file, std::int64_t n, std::string& out, int k);

// Whether company n with this code takes part in the run: not deleted, and the filter is
// empty or equals the code byte for byte.
bool CompanySelected(const Context& ctx, RecordFile* file, std::int64_t n, std::string_view code);

using CompanyWork = std::function<void(std::int64_t n, const std::string& code)>;

// The number of records of the register (a last short one counted): the count a company loop
// tells the sink with each company it reaches (Sink::Company). reg: the open register, or
// null to look it up.
std::int64_t CompanyRecords(Context& ctx, RecordFile* reg);

// The company loop: visits every selected company in record order with the register open
// for the whole walk. Gives false (and visits none) when the register cannot be opened.
bool ForEachCompany(Context& ctx, const CompanyWork& work);

// The variant without an open register used by some older steps: every code read opens
// the register itself, and deleted companies that match the filter are visited too.
void ForEachCompanyUnopened(Context& ctx, const CompanyWork& work);

// Whether a company code can name a folder: not empty, no separators, drive or wildcard
// characters, no control bytes, not "." or "..", no reserved device name (CON, NUL,
// COM1, ...) and no trailing dot or space that Windows would strip.
bool UsableFolderName(std::string_view name);

// Wraps a company's work so that a company whose code cannot name a folder is passed
// over, with a note to the sink; nothing outside the data folder is opened for it.
CompanyWork OnlyUsableFolders(Context& ctx, CompanyWork work);

// Wraps a company's work so that each company folder is worked on at most once per walk: a
// code listed again in the register (also in another letter case, since folder names are
// compared without regard to case) is passed over with a note to the sink.
CompanyWork OncePerFolder(Context& ctx, CompanyWork work);

}  // namespace livrana
