// What the two steps of the company-folder layout share: the company walk that stops at the
// first failure, the register and layout looks of their guards, and the product's text-mode
// reads done on a record held in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "records/context.h"
#include "records/record_file.h"

namespace livrana {

// Opens the company register for reading: done with a null handle when there is none
// (the steps then have no companies to visit).
Outcome OpenCompanyRegister(Context& ctx, FileHandle& reg);

using CompanyStep = std::function<Outcome(std::int64_t n, const std::string& code)>;

// The company loop on the open register: every selected company whose code can name a
// folder, each folder once, until the work fails. Gives the first failure, also that of a
// register that could not be read to its end.
Outcome WalkCompanies(Context& ctx, RecordFile& reg, const CompanyStep& work);

// The codes of the live companies of the register that can name a folder, in record order
// (the company filter is not looked at); none without a register.
std::vector<std::string> LiveCompanyCodes(platform::FileSystem& fs);

// Whether the company folders have moved below R00 (version 3.20 on).
bool CompanyFoldersBelowR00(platform::FileSystem& fs);

// Whether a piece read in text mode holds nothing but line ends (the CR LF that many tools
// leave at the end of a file), the empty piece included.
bool EmptyOrLineEnds(std::string_view piece);

// The product's text-mode reads and writes inside one record held in memory, the record
// being the bytes of the file from its start (the last record of a file may be shorter):
// CR LF reads as LF, a read stops after a LF, and a Ctrl-Z byte gives nothing more until
// the next positioning; each LF is written as CR LF. The reads and writes of the steps stay
// well inside a whole record, so a record is all they ever see of the file.
class RecordText {
 public:
  // last: the record ends the file, so nothing lies behind its bytes.
  RecordText(std::string& record, bool last) : record_(record), last_(last) {}

  // Positions at pos when that byte is in the file.
  bool Seek(std::size_t pos);
  // Reads at most n characters from the position; false (and out empty) when not a
  // single one could be read.
  bool Read(std::size_t n, std::string& out);
  // Writes text at pos when its characters all lie inside the file (a conversion in place
  // never lengthens the file); false when nothing was written.
  bool Write(std::size_t pos, std::string_view text);

 private:
  std::string& record_;
  bool last_;
  std::size_t pos_ = 0;
};

}  // namespace livrana
