#include "library/first/rebuild_registers.h"

#include <array>
#include <cstdlib>
#include <string>
#include <string_view>

#include "library/step_io.h"
#include "records/company.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::string_view kCaption = "RebuildRegisterFiles";

// Renames in the data folder: the older company register and table 1.
constexpr std::array<std::array<std::string_view, 2>, 2> kDataFolderRenames = {{
    {"F0.DAT", "F00.DAT"},
    {"F1R0.DAT", "F01R0.DAT"},
}};

// ---------------------------------------------------------------------------------------
// "F2R0.DAT" (815) becomes "F02R1.DAT" (1000): each live record left-justified in 1000
// ("%-1000s"); a record with "+" at 814 is dropped.
// ---------------------------------------------------------------------------------------
constexpr std::string_view kTable2Source = "F2R0.DAT";
constexpr std::string_view kTable2Target = "F02R1.DAT";
constexpr std::size_t kTable2Record = 815;
constexpr std::string_view kTable2Format = "%-1000s";

// ---------------------------------------------------------------------------------------
// "F00.DAT" (700) becomes the company register "F00R0.DAT" (1000), read in eight pieces:
//
//   source    read  target  width  format
//     0-289    290     0     290   "%-290s"
//   290-319     30   290      41   "%-41s"
//   320-349     30   331      41   "%-41s"
//   350-399     50   372     241   "%-241s"
//   400-429     30   633       3   its first 2 characters, second part of "%-2s%-3s"
//   430-544    115   613      18   its first 15 characters, "%-18s"
//   545-546      2   631       2   the two-digit code (below), first part of "%-2s%-3s"
//   547-699    153   636     364   "%364c" of its last character (699, the deletion mark)
//
// Written in the order of the target: 0, 290, 331, 372, 613, 631 with 633, 636.
// ---------------------------------------------------------------------------------------
constexpr std::string_view kRegisterSource = "F00.DAT";
struct RegisterLayout {
  static constexpr std::size_t kHead = 290, kPhone1 = 30, kPhone2 = 30, kAddress = 50;
  static constexpr std::size_t kKeptPiece = 30, kKept = 2;
  static constexpr std::size_t kCityPiece = 115, kCity = 15;
  static constexpr std::size_t kCode = 2;
  static constexpr std::size_t kTail = 153;
};
constexpr std::string_view kRegisterCodeFormat = "%02d";

// The two-digit code written at 631 from the leading number of source 545-546, its sign
// dropped: 1, 2, 3, 4 and 20 map as below, every other value gives 1.
int TwoDigitCode(std::string_view piece) {
  switch (std::abs(LeadingNumber(piece))) {
    case 1:
      return 2;
    case 2:
      return 4;
    case 3:
      return 6;
    case 4:
      return 7;
    case 20:
      return 20;
    default:
      return 1;
  }
}

bool RegisterRecord(RecordFile& source, std::string& out) {
  using L = RegisterLayout;
  std::string piece;
  if (!ReadPiece(source, L::kHead, piece)) return false;
  out += Format("%-290s", piece);
  out += Format("%-41s", NextPiece(source, L::kPhone1));
  out += Format("%-41s", NextPiece(source, L::kPhone2));
  out += Format("%-241s", NextPiece(source, L::kAddress));
  std::string kept = NextPiece(source, L::kKeptPiece).substr(0, L::kKept);
  std::string city = NextPiece(source, L::kCityPiece);
  out += Format("%-18s", CutText(city, L::kCity));
  std::string code = Format(kRegisterCodeFormat, TwoDigitCode(NextPiece(source, L::kCode)));
  out += Format("%-2s%-3s", code, kept);
  out += Format("%364c", NextPiece(source, L::kTail).back());
  return true;
}

// ---------------------------------------------------------------------------------------
// Company folder tables (every format takes the company code first).
// ---------------------------------------------------------------------------------------
constexpr std::string_view kL06 = "%s\\L06.DAT";  // deleted
constexpr std::string_view kG02 = "%s\\G02.dat";  // deleted
// Renamed, in this order; failures are ignored.
constexpr std::array<std::array<std::string_view, 2>, 4> kCompanyRenames = {{
    {"%s\\L04.dat", "%s\\G18.dat"},
    {"%s\\L05.dat", "%s\\G19.dat"},
    {"%s\\L15b.dat", "%s\\G15.dat"},
    {"%s\\L16.dat", "%s\\G16.dat"},
}};

// ---------------------------------------------------------------------------------------
// "%s\L15.DAT" (506) becomes "%s\L15B.DAT" (719), no deletion test:
//
//   source    read  target  format
//     0-10      11     0    "%-20s"
//    11-106     96    20    "%-99s"
//   107-302    196   119    "%-196s"
//   303-306      4   315    "%-2s%-2c": a letter at 303 (A-Z, a-z) gives two spaces, the
//                           letter and a space; anything else gives 303-304, "T", a space
//   307-505    199   319    "%-400s"
// ---------------------------------------------------------------------------------------
constexpr std::string_view kL15 = "%s\\L15.DAT";
constexpr std::string_view kL15B = "%s\\L15B.DAT";
struct L15Layout {
  static constexpr std::size_t kKey = 11, kName = 96, kBody = 196, kKind = 4, kTail = 199;
};
constexpr char kL15NoLetter = 'T';

// Letters of the Latin alphabet only: bytes above 127 (accented letters of Windows-1252
// included) count as no letter.
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool L15Record(RecordFile& source, std::string& out) {
  using L = L15Layout;
  std::string piece;
  if (!ReadPiece(source, L::kKey, piece)) return false;
  out += Format("%-20s", piece);
  out += Format("%-99s", NextPiece(source, L::kName));
  out += Format("%-196s", NextPiece(source, L::kBody));
  std::string kind = NextPiece(source, L::kKind);
  out += IsLetter(kind[0]) ? Format("%-2s%-2c", "", kind[0])
                           : Format("%-2s%-2c", kind.substr(0, 2), kL15NoLetter);
  out += Format("%-400s", NextPiece(source, L::kTail));
  return true;
}

// ---------------------------------------------------------------------------------------
// Each "%s\L02*.DAT" (549) is appended to the same name with "L03": live records only (no
// "+" at 548), offset 115 set to "0", "%-549s".
// ---------------------------------------------------------------------------------------
constexpr std::string_view kL02Pattern = "%s\\L02*.DAT";
constexpr std::size_t kL02Record = 549;
constexpr std::size_t kL02Flag = 115;
constexpr std::size_t kL02Digit = 2;  // the "2" of "L02" in the name

bool L02Record(RecordFile& source, std::string& out) {
  std::string record;
  if (!ReadPiece(source, kL02Record, record)) return false;
  if (record.back() == '+') return true;
  record[kL02Flag] = '0';
  out += Format("%-549s", record);
  return true;
}

// ---------------------------------------------------------------------------------------
// "%s\G01.DAT" (200) becomes "%s\G20.DAT" (209): 0-10 as "%-20s", 11-199 as "%-189s"; then
// copied to "%s\G21.DAT".
// ---------------------------------------------------------------------------------------
constexpr std::string_view kG01 = "%s\\G01.DAT";
constexpr std::string_view kG20 = "%s\\G20.DAT";
constexpr std::string_view kG21 = "%s\\G21.DAT";
constexpr std::size_t kG01Key = 11, kG01Rest = 189;

bool G01Record(RecordFile& source, std::string& out) {
  std::string piece;
  if (!ReadPiece(source, kG01Key, piece)) return false;
  out += Format("%-20s", piece);
  out += Format("%-189s", NextPiece(source, kG01Rest));
  return true;
}

// ---------------------------------------------------------------------------------------
// Each "%s\L14*.DAT" (136) whose fourth character is not "B" becomes "%s\L14B%s" (146):
// 0-19 as "%-30s", 20-135 as "%-116s".
// ---------------------------------------------------------------------------------------
constexpr std::string_view kL14Pattern = "%s\\L14*.DAT";
constexpr std::string_view kL14B = "%s\\L14B%s";
constexpr std::size_t kL14Mark = 3;  // the character after "L14"
constexpr std::size_t kL14Key = 20, kL14Rest = 116;

bool L14Record(RecordFile& source, std::string& out) {
  std::string piece;
  if (!ReadPiece(source, kL14Key, piece)) return false;
  out += Format("%-30s", piece);
  out += Format("%-116s", NextPiece(source, kL14Rest));
  return true;
}

class Rebuild {
 public:
  explicit Rebuild(Context& ctx) : ctx_(ctx) {}

  bool Run() {
    for (const auto& [from, to] : kDataFolderRenames) ctx_.fs.Rename(from, to);
    if (!Table2() || !Register()) return false;
    ForEachCompanyUnopened(ctx_,
                           OnlyUsableFolders(ctx_, [this](std::int64_t, const std::string& code) {
                             if (ok_) ok_ = Company(code);
                           }));
    return ok_;
  }

 private:
  // Converts source into target; on success the source is moved to its safety copy (or, with
  // remove, deleted). False when a write failed.
  bool Convert(std::string_view source, std::string_view target, bool append,
               const RecordConverter& convert, bool remove, bool* done = nullptr) {
    switch (ConvertFile(ctx_.fs, source, target, append, convert)) {
      case FileConversion::kDone:
        if (remove) {
          ConsumeSource(ctx_, source);
        } else {
          MoveToSafety(ctx_, source);
        }
        if (done != nullptr) *done = true;
        return true;
      case FileConversion::kNotOpened:
        return true;
      case FileConversion::kWriteFailed:
        ReportWriteFailure(ctx_, kCaption, target);
        return false;
    }
    return false;
  }

  bool Table2() {
    if (OrdinaryFileExists(ctx_.fs, kTable2Target)) return true;
    return Convert(
        kTable2Source, kTable2Target, false,
        [](RecordFile& source, std::string& out) {
          std::string record;
          if (!ReadPiece(source, kTable2Record, record)) return false;
          if (record.back() != '+') out += Format(kTable2Format, record);
          return true;
        },
        false);
  }

  bool Register() {
    if (OrdinaryFileExists(ctx_.fs, kCompanyRegister)) return true;
    return Convert(kRegisterSource, kCompanyRegister, false, RegisterRecord, false);
  }

  bool Company(const std::string& code) {
    ctx_.fs.Remove(Format(kL06, code));
    if (!OrdinaryFileExists(ctx_.fs, Format(kL15B, code)) &&
        !Convert(Format(kL15, code), Format(kL15B, code), true, L15Record, true)) {
      return false;
    }
    for (const std::string& name : FindOrdinaryFiles(ctx_.fs, Format(kL02Pattern, code))) {
      std::string target_name = name;
      target_name[kL02Digit] = '3';
      if (!Convert(Format("%s\\%s", code, name), Format("%s\\%s", code, target_name), true,
                   L02Record, false)) {
        return false;
      }
    }
    ctx_.fs.Remove(Format(kG02, code));
    for (const auto& [from, to] : kCompanyRenames)
      ctx_.fs.Rename(Format(from, code), Format(to, code));
    if (!OrdinaryFileExists(ctx_.fs, Format(kG20, code))) {
      bool converted = false;
      if (!Convert(Format(kG01, code), Format(kG20, code), true, G01Record, false, &converted)) {
        return false;
      }
      if (converted) CopyNew(ctx_.fs, Format(kG20, code), Format(kG21, code));
    }
    for (const std::string& name : FindOrdinaryFiles(ctx_.fs, Format(kL14Pattern, code))) {
      // A name with "B" there is a file this conversion made.
      if (name.size() <= kL14Mark || name[kL14Mark] == 'B' || name[kL14Mark] == 'b') continue;
      if (!Convert(Format("%s\\%s", code, name), Format(kL14B, code, name.substr(kL14Mark)), true,
                   L14Record, true)) {
        return false;
      }
    }
    return true;
  }

  Context& ctx_;
  bool ok_ = true;
};

}  // namespace

bool RebuildRegisterFiles(Context& ctx) { return Rebuild(ctx).Run(); }

}  // namespace livrana
