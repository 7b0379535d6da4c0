#include "library/first/rebuild_registers.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <string_view>

#include "library/first/text_io.h"
#include "library/step_io.h"
#include "records/company.h"
#include "records/format.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/old_ledgers.h"
#include "records/layouts/phone_tables.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/layouts.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::string_view kStep = "rebuild-registers";
constexpr std::string_view kCaption = "RebuildRegisterFiles";

// Renames in the data folder: the older company register and table 1.
constexpr std::array<std::array<std::string_view, 2>, 2> kDataFolderRenames = {{
    {"F0.DAT", "F00.DAT"},
    {"F1R0.DAT", kTable01},
}};

// ---------------------------------------------------------------------------------------
// "F2R0.DAT" (815) becomes "F02R1.DAT" (1000): each live record left-justified in 1000
// ("%-1000s"); a record with "+" at 814 is dropped.
// ---------------------------------------------------------------------------------------
constexpr std::string_view kTable2Source = "F2R0.DAT";
constexpr std::string_view kTable2Target = kTable02;
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
struct OldRegisterPieces {
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

bool RegisterRecord(TextSource& source, std::string& out) {
  using L = OldRegisterPieces;
  std::string piece;
  if (source.First(L::kHead, piece) == 0) return false;
  AppendFormat(out, "%-290s", piece);
  AppendFormat(out, "%-41s", source.Next(L::kPhone1));
  AppendFormat(out, "%-41s", source.Next(L::kPhone2));
  AppendFormat(out, "%-241s", source.Next(L::kAddress));
  std::string kept = source.Next(L::kKeptPiece).substr(0, L::kKept);
  std::string city = source.Next(L::kCityPiece);
  AppendFormat(out, "%-18s", CutText(city, L::kCity));
  std::string code = Format(kRegisterCodeFormat, TwoDigitCode(source.Next(L::kCode)));
  AppendFormat(out, "%-2s%-3s", code, kept);
  AppendFormat(out, "%364c", source.Next(L::kTail).back());
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

bool L15Record(TextSource& source, std::string& out) {
  using L = L15Layout;
  std::string piece;
  if (source.First(L::kKey, piece) == 0) return false;
  AppendFormat(out, "%-20s", piece);
  AppendFormat(out, "%-99s", source.Next(L::kName));
  AppendFormat(out, "%-196s", source.Next(L::kBody));
  std::string kind = source.Next(L::kKind);
  if (IsLetter(kind[0])) {
    AppendFormat(out, "%-2s%-2c", "", kind[0]);
  } else {
    AppendFormat(out, "%-2s%-2c", kind.substr(0, 2), kL15NoLetter);
  }
  AppendFormat(out, "%-400s", source.Next(L::kTail));
  return true;
}

// ---------------------------------------------------------------------------------------
// Each "%s\L02*.DAT" (549) is appended to the same name with "L03": live records only (no
// "+" at 548), offset 115 set to "0", "%-549s".
// ---------------------------------------------------------------------------------------
constexpr std::string_view kL02Pattern = "%s\\L02*.DAT";
constexpr std::size_t kL02Record = kL03Record;
constexpr std::size_t kL02Flag = L03Layout::kKind;
constexpr std::size_t kL02Digit = 2;  // the "2" of "L02" in the name

bool L02Record(TextSource& source, std::string& out) {
  std::string record;
  if (source.First(kL02Record, record) == 0) return false;
  if (record.back() == '+') return true;
  record[kL02Flag] = '0';
  AppendFormat(out, "%-549s", record);
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

bool G01Record(TextSource& source, std::string& out) {
  std::string piece;
  if (source.First(kG01Key, piece) == 0) return false;
  AppendFormat(out, "%-20s", piece);
  AppendFormat(out, "%-189s", source.Next(kG01Rest));
  return true;
}

// ---------------------------------------------------------------------------------------
// Each "%s\L14*.DAT" (136) whose fourth character is not "B" becomes "%s\L14B%s" (146):
// 0-19 as "%-30s", 20-135 as "%-116s".
// ---------------------------------------------------------------------------------------
constexpr std::string_view kL14Pattern = "%s\\L14*.DAT";
constexpr std::string_view kL14B = "%s\\L14B%s";
constexpr std::size_t kL14Mark = 3;                  // the character after "L14"
constexpr std::size_t kL14Key = L13Layout::kAmount;  // the date and the reference
constexpr std::size_t kL14Rest = kL13Record - kL14Key;
static_assert(L14BLayout::kAmount + kL14Rest == kL14BRecord);

bool L14Record(TextSource& source, std::string& out) {
  std::string piece;
  if (source.First(kL14Key, piece) == 0) return false;
  AppendFormat(out, "%-30s", piece);
  AppendFormat(out, "%-116s", source.Next(kL14Rest));
  return true;
}

// A deletion or rename whose failure the routine ignores: a missing source, a target that
// exists, a read-only file. Anything else (a device error) stops the step.
bool Ignored(const Outcome& outcome) {
  return outcome.ok() || outcome.cause() == Cause::kExists || PassedOver(outcome);
}

Outcome Remove(platform::FileSystem& fs, std::string_view path) {
  if (!OrdinaryFileExists(fs, path)) return {};
  Outcome removed = fs.Remove(path);
  return Ignored(removed) ? Outcome() : removed;
}

// Renames a file when it is there and the new name is free; each rename is one step of the
// file system, so a run stopped anywhere leaves it done or not done.
Outcome Rename(platform::FileSystem& fs, std::string_view from, std::string_view to) {
  if (!OrdinaryFileExists(fs, from) || fs.Attributes(to)) return {};
  Outcome renamed = fs.Rename(from, to);
  return Ignored(renamed) ? Outcome() : renamed;
}

class Rebuild {
 public:
  explicit Rebuild(Context& ctx) : ctx_(ctx) {}

  Outcome Run() {
    for (const auto& [from, to] : kDataFolderRenames) {
      if (Outcome done = Rename(ctx_.fs, from, to); !done) return done;
    }
    if (Outcome done = Table2(); !done) return done;
    if (Outcome done = Register(); !done) return done;
    Outcome failure;
    ForEachCompanyUnopened(
        ctx_,
        OnlyUsableFolders(ctx_, OncePerFolder(ctx_, [&](std::int64_t, const std::string& code) {
                            if (failure) failure = Company(code);
                          })));
    return failure;
  }

 private:
  // Converts source into target in a conversion of its own; the source is moved to its
  // safety copy (or, with remove, deleted) at the commit.
  Outcome Convert(std::string_view source, std::string_view target, bool append,
                  const RecordConverter& convert, bool remove, bool* done = nullptr,
                  const std::function<Outcome(Conversion&)>& then = {}) {
    return ConvertFile(ctx_, kStep, {source, target, append, remove}, convert, done, then);
  }

  Outcome Table2() {
    if (OrdinaryFileExists(ctx_.fs, kTable2Target)) return {};
    return Convert(
        kTable2Source, kTable2Target, false,
        [](TextSource& source, std::string& out) {
          std::string record;
          if (source.First(kTable2Record, record) == 0) return false;
          if (record.back() != '+') AppendFormat(out, kTable2Format, record);
          return true;
        },
        false);
  }

  Outcome Register() {
    if (OrdinaryFileExists(ctx_.fs, kCompanyRegister)) return {};
    return Convert(kRegisterSource, kCompanyRegister, false, RegisterRecord, false);
  }

  Outcome Company(const std::string& code) {
    if (Outcome done = Remove(ctx_.fs, Format(kL06, code)); !done) return done;
    if (!OrdinaryFileExists(ctx_.fs, Format(kL15B, code))) {
      if (Outcome done = Convert(Format(kL15, code), Format(kL15B, code), true, L15Record, true);
          !done) {
        return done;
      }
    }
    Outcome listed;
    for (const std::string& name : FindOrdinaryFiles(ctx_.fs, Format(kL02Pattern, code), &listed)) {
      std::string target_name = name;
      target_name[kL02Digit] = '3';
      if (Outcome done = Convert(Format("%s\\%s", code, name), Format("%s\\%s", code, target_name),
                                 true, L02Record, false);
          !done) {
        return done;
      }
    }
    if (!listed) return listed;
    if (Outcome done = Remove(ctx_.fs, Format(kG02, code)); !done) return done;
    for (const auto& [from, to] : kCompanyRenames) {
      if (Outcome done = Rename(ctx_.fs, Format(from, code), Format(to, code)); !done) return done;
    }
    if (!OrdinaryFileExists(ctx_.fs, Format(kG20, code))) {
      // The copy to G21 is part of the same conversion: made with G20, or not at all.
      std::string g20 = Format(kG20, code), g21 = Format(kG21, code);
      if (Outcome done = Convert(Format(kG01, code), g20, true, G01Record, false, nullptr,
                                 [&](Conversion& conversion) {
                                   bool copied = false;
                                   return CopyNew(conversion, ctx_.fs, g20, g21, copied);
                                 });
          !done) {
        return done;
      }
    }
    for (const std::string& name : FindOrdinaryFiles(ctx_.fs, Format(kL14Pattern, code), &listed)) {
      // A name with "B" there is a file this conversion made.
      if (name.size() <= kL14Mark || name[kL14Mark] == 'B' || name[kL14Mark] == 'b') continue;
      if (Outcome done = Convert(Format("%s\\%s", code, name),
                                 Format(kL14B, code, name.substr(kL14Mark)), true, L14Record, true);
          !done) {
        return done;
      }
    }
    return listed;
  }

  Context& ctx_;
};

// Whether the files of a company folder hold something the routine converts: a table it
// deletes, renames or rebuilds, the rebuilds only while their targets are missing.
bool CompanyHasInput(platform::FileSystem& fs, std::string_view folder) {
  std::vector<std::string> names = FindOrdinaryFiles(fs, Format("%s\\*", folder));
  auto has = [&names](std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [name](const std::string& n) { return platform::SameName(n, name); });
  };
  auto named = [&](std::string_view format) {
    // The file's name in a format "%s\NAME": what follows the company part.
    return has(format.substr(format.find('\\') + 1));
  };
  if (named(kL06) || named(kG02)) return true;
  if (named(kL15) && !named(kL15B)) return true;
  if (named(kG01) && !named(kG20)) return true;
  for (const auto& [from, to] : kCompanyRenames) {
    if (named(from) && !named(to)) return true;
  }
  for (const std::string& name : names) {
    if (platform::MatchPattern("L02*.DAT", name)) return true;
    if (platform::MatchPattern("L14*.DAT", name) && name.size() > kL14Mark &&
        name[kL14Mark] != 'B' && name[kL14Mark] != 'b') {
      return true;
    }
  }
  return false;
}

}  // namespace

bool RebuildRegistersHasInput(platform::FileSystem& fs) {
  for (const auto& [from, to] : kDataFolderRenames) {
    if (OrdinaryFileExists(fs, from) && !fs.Attributes(to)) return true;
  }
  if (OrdinaryFileExists(fs, kTable2Source) && !OrdinaryFileExists(fs, kTable2Target)) return true;
  if (OrdinaryFileExists(fs, kRegisterSource) && !OrdinaryFileExists(fs, kCompanyRegister)) {
    return true;
  }
  // The companies' tables, in the folders of the data folder; only a register lets the
  // routine visit them.
  if (!OrdinaryFileExists(fs, kCompanyRegister)) return false;
  for (const std::string& folder : FoldersOf(fs, "")) {
    if (CompanyHasInput(fs, folder)) return true;
  }
  return false;
}

Outcome RebuildRegisterFiles(Context& ctx) {
  Outcome done = Rebuild(ctx).Run();
  return done ? done : ReportFailure(ctx, kCaption, std::move(done));
}

}  // namespace livrana
