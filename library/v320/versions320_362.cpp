#include "library/v320/versions320_362.h"

#include <array>
#include <charconv>
#include <set>
#include <string>

#include "library/record_merge.h"
#include "library/step_io.h"
#include "library/v320/rate_tables.h"
#include "library/v320/repair360.h"
#include "library/v320/shared_chart362.h"
#include "library/v320/text_tables.h"
#include "platform/cp1252.h"
#include "records/company.h"
#include "records/counters.h"
#include "records/format.h"
#include "records/layouts/charts.h"
#include "records/layouts/rate_tables.h"
#include "records/layouts/register.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/conversion_log.h"
#include "run/layouts.h"
#include "run/safety.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

constexpr std::string_view kCaption = "Conversão 3.20 a 3.62";
constexpr std::string_view kMark320 = "320", kMark360 = "360", kMark362 = "362";

// ---------------------------------------------------------------------------------------
// Company register fields recoded by 3.20 (in place, "%-2s" and "%-1s"):
//   field 29, the rate code: 1 -> "10", 2 and 3 -> "21", 4 and 5 -> "22", 6 -> "30",
//                            7 -> "40", 20 -> "01", anything else -> two spaces
//   field 42, the chart selector: 1 -> "0", anything else (blank included) -> "1"
// ---------------------------------------------------------------------------------------
using Register = RegisterLayout;
constexpr std::size_t kSelectorWidth = CompanyFieldWidth(kCompanyMergesChart);

std::string_view NewRateCode(std::int32_t old) {
  switch (old) {
    case 1:
      return "10";
    case 2:
    case 3:
      return "21";
    case 4:
    case 5:
      return "22";
    case 6:
      return "30";
    case 7:
      return "40";
    case 20:
      return "01";
    default:
      return "";
  }
}

// ---------------------------------------------------------------------------------------
// G06.DAT (142 characters, "+" at 141 when deleted) to F19.DAT (501 characters),
// "%05ld%-6s%-76s%-3s%-11s%-400s":
//
//   offset width
//        0     5   sequence number over every company of the call, from 1
//        5     6   spaces
//       11    76   "ECF"
//       87     3   G06 characters 0-2
//       90    11   company code
//      101   400   G06 characters 11-30
// ---------------------------------------------------------------------------------------
constexpr std::size_t kG06Record = 142;
constexpr std::size_t kEcfRecord = 501;
constexpr std::size_t kG06KindWidth = 3, kG06NameAt = 11, kG06NameWidth = 20;
constexpr std::size_t kEcfCompanyWidth = 11;

// ---------------------------------------------------------------------------------------
// CONFIGA.DAT: 11-character records, the numbers of four counters, stored under the
// empty group with the keys below when greater than 0.
// ---------------------------------------------------------------------------------------
constexpr std::size_t kOldCounterRecord = 11;
constexpr std::array<std::string_view, 4> kOldCounterKeys = {"0", "1", "2", "8"};

// Folders left in the data folder that move below R00: named with a digit first and
// shorter than this.
constexpr std::size_t kFolderNameLimit = 40;
constexpr std::uint32_t kAllEntries = platform::kReadOnly | platform::kHidden | platform::kSystem |
                                      platform::kDirectory | platform::kArchive;

// A failure that only says that there was nothing to move or that the target is there
// already: the step passes over it, as the renames of this step are meant to be tried.
bool NothingToMove(const Outcome& outcome) {
  return outcome.ok() || outcome.cause() == Cause::kNotFound || outcome.cause() == Cause::kExists;
}

// A company folder's key: its code with the letters folded, as folder names are compared.
std::string FolderKey(std::string_view code) {
  std::string key(code);
  for (char& c : key) c = static_cast<char>(platform::FoldCase(static_cast<unsigned char>(c)));
  return key;
}

// ---------------------------------------------------------------------------------------
// The state of a call that has not finished, LIVRANA.320, lines ended by CR LF:
//
//   "Y <year>"  the current year when the call began (the year of L15<year>.DAT)
//   "F <0|1>"   whether F34.DAT was there when the call began
//   "R"         the register's fields 29 and 42 are recoded
//   "S <n>"     the F19.DAT records numbered so far (the last such line counts)
//   "L <key>"   the ledgers L26 of the company folder are repaired
//   "C <key>"   the company's chart is merged
//
// Each line is appended in the conversion whose work it records, so that a stopped run
// leaves it exactly when the work is done.
// ---------------------------------------------------------------------------------------
class CallState {
 public:
  int year = 0;
  bool counters_found = false;
  bool register_recoded = false;
  long sequence = 0;
  std::set<std::string> repaired, merged;

  bool exists() const { return exists_; }

  // Reads the state that an unfinished call left; nothing there gives a fresh state.
  Outcome Load(platform::FileSystem& fs) {
    Outcome why;
    FileHandle file = OpenRead(fs, kVersions320State, FileMode::kBinary, &why);
    if (!file) return Missing(why) ? Outcome() : why;
    std::string text(static_cast<std::size_t>(file->Size()), '\0');
    text.resize(file->Read(text.data(), text.size()));
    if (Outcome read = CloseFile(file); !read) return read;
    exists_ = true;
    for (std::size_t at = 0;;) {
      std::size_t end = text.find("\r\n", at);
      if (end == std::string::npos) break;
      Take(std::string_view(text).substr(at, end - at));
      at = end + 2;
    }
    return {};
  }

  // Appends lines to the state through the conversion; the first lines of a new state say
  // the year and whether F34.DAT was there.
  Outcome Record(Conversion& conversion, std::string_view lines) {
    Outcome why;
    FileHandle file = conversion.Append(kVersions320State, FileMode::kBinary, &why);
    if (!file) return why;
    if (!exists_) file->Write(Format("Y %d\r\nF %d\r\n", year, counters_found ? 1 : 0));
    file->Write(lines);
    if (Outcome written = CloseFile(file); !written) return written;
    exists_ = true;
    return {};
  }

 private:
  void Take(std::string_view line) {
    if (line.size() < 1) return;
    std::string_view rest = line.size() > 2 ? line.substr(2) : std::string_view();
    switch (line[0]) {
      case 'Y':
        year = LeadingNumber(rest);
        break;
      case 'F':
        counters_found = rest == "1";
        break;
      case 'R':
        register_recoded = true;
        break;
      case 'S':
        std::from_chars(rest.data(), rest.data() + rest.size(), sequence);
        break;
      case 'L':
        repaired.emplace(rest);
        break;
      case 'C':
        merged.emplace(rest);
        break;
      default:
        break;
    }
  }

  bool exists_ = false;
};

class Versions320To362 {
 public:
  explicit Versions320To362(Context& ctx) : ctx_(ctx), fs_(ctx.fs) {}

  Outcome Run() {
    base_ = NextRecordNumber(fs_, kSharedChartFile, kChartRecordLength);
    done320_ = ConvFind(fs_, kMark320);
    done360_ = ConvFind(fs_, kMark360);
    done362_ = ConvFind(fs_, kMark362);
    if (Outcome loaded = state_.Load(fs_); !loaded) return loaded;
    if (!state_.exists()) {
      // Kept from the start: a stopped call is then known as unfinished, and the next one
      // goes on with the same year and knows whether the counters file was there (the chart
      // merge creates it, and the old counters must still move into it).
      state_.year = fs_.CurrentYear();
      state_.counters_found = fs_.Attributes(kCountersFile).has_value();
      Conversion conversion(ctx_);
      if (Outcome begun = state_.Record(conversion, ""); !begun) return begun;
      if (Outcome begun = conversion.Commit(); !begun) return begun;
    }

    if (!done320_ && !state_.register_recoded) {
      if (Outcome recoded = RecodeRegister(); !recoded) return recoded;
    }
    if (Outcome walked = CompanyLoop(); !walked) return walked;
    if (Outcome migrated = MigrateCounters(); !migrated) return migrated;
    if (Outcome moved = MoveFoldersLeftBehind(); !moved) return moved;
    return Finish();
  }

 private:
  // Version 3.20: fields 29 and 42 of every selected company record, the register written
  // whole and put in place together with the line of the state that says so.
  Outcome RecodeRegister() {
    Conversion conversion(ctx_);
    std::string code, field;
    Outcome rewritten = RewriteRecords(
        fs_, conversion, kCompanyRegister, kCompanyRecordLength,
        [&](std::int64_t, TextRecord& record) {
          // The walk of the company loop: it ends where no code can be read.
          if (!record.ReadAt(Register::kCode, Register::kCodeWidth, code)) return false;
          TrimRight(code);
          if (record.At(Register::kDeleted) == '+') return true;
          if (!ctx_.company_filter.empty() && ctx_.company_filter != code) return true;
          if (record.ReadAt(Register::kRateCode, Register::kRateCodeWidth, field)) {
            record.WriteInside(Register::kRateCode,
                               Format("%-2s", NewRateCode(LeadingNumber(field))));
          }
          if (record.ReadAt(Register::kMergesChart, kSelectorWidth, field)) {
            record.WriteInside(Register::kMergesChart,
                               Format("%-1s", LeadingNumber(field) == 1 ? "0" : "1"));
          }
          return true;
        });
    if (Missing(rewritten)) return {};  // no register: no company to visit
    if (!rewritten) return rewritten;
    if (Outcome recorded = state_.Record(conversion, "R\r\n"); !recorded) return recorded;
    return conversion.Commit();
  }

  Outcome CompanyLoop() {
    Outcome why;
    FileHandle reg = OpenRead(fs_, kCompanyRegister, FileMode::kText, &why);
    if (!reg) return Missing(why) ? Outcome() : why;
    reg->SetRecordLength(kCompanyRecordLength);
    Outcome failure;
    // A company folder is converted once per call, also when its code is listed again.
    CompanyWork work =
        OnlyUsableFolders(ctx_, OncePerFolder(ctx_, [&](std::int64_t n, const std::string& co) {
                            failure = Company(*reg, n, co);
                          }));
    const std::int64_t count = CompanyRecords(ctx_, reg.get());
    std::string co;
    for (std::int64_t n = 0; failure && ReadCompanyField(ctx_, reg.get(), n, co, kCompanyCode);
         ++n) {
      if (!CompanySelected(ctx_, reg.get(), n, co)) continue;
      ctx_.sink.Company(n, count);
      work(n, co);
    }
    failure.Also(CloseFile(reg));
    return failure;
  }

  Outcome Company(RecordFile& reg, std::int64_t n, const std::string& co) {
    Outcome renamed = fs_.Rename(Format("%s\\G24.DAT", co), Format(kG07File, co));
    if (!NothingToMove(renamed)) return renamed;

    std::string g32 = Format("%s\\G32.DAT", co);
    if (Outcome merged = AppendWidenedRecords(ctx_, Format("%s\\G18.DAT", co), g32, '0'); !merged)
      return merged;
    if (Outcome merged = AppendWidenedRecords(ctx_, Format("%s\\G19.DAT", co), g32, '1'); !merged)
      return merged;
    Outcome listed;
    for (const platform::DirEntry& entry : fs_.Find(Format("%s\\L0*.DAT", co), 0, listed)) {
      std::int32_t year = LeadingNumber(std::string_view(entry.name).substr(3));
      std::string prefix = entry.name.substr(0, 3);
      for (char& c : prefix) c = c == 'l' ? 'L' : c;
      if (prefix != "L08" && prefix != "L09") continue;
      char fill = prefix == "L08" ? '0' : '1';
      Outcome merged = AppendWidenedRecords(ctx_, Format("%s\\%s%d.DAT", co, prefix, year),
                                            Format("%s\\L33%d.DAT", co, year), fill);
      if (!merged) return merged;
    }
    if (!listed) return listed;

    {
      // G16.DAT leaves together with G15.DAT, whose rates it holds.
      Conversion conversion(ctx_);
      RateTable rates;
      if (Outcome read = ReadRateTable(ctx_, conversion, co, rates); !read) return read;
      if (Outcome done = ConvertG15(ctx_, conversion, co, state_.year, rates); !done) return done;
      if (Outcome done = conversion.Commit(); !done) return done;
    }
    if (Outcome done = ConvertG07(ctx_, co); !done) return done;

    Outcome made = fs_.MakeFolder(kCompanyRoot);
    if (!made && made.cause() != Cause::kExists) return made;
    Outcome moved = fs_.Rename(co, Format("%s\\%s", kCompanyRoot, co));
    if (!NothingToMove(moved)) return moved;

    if (Outcome built = BuildEcfRecords(co); !built) return built;
    const std::string key = FolderKey(co);
    if (!done360_ && state_.repaired.count(key) == 0) {
      Conversion conversion(ctx_);
      if (Outcome done = RepairInvoiceLedgers360(ctx_, conversion, co); !done) return done;
      if (!conversion.empty()) {
        if (Outcome done = state_.Record(conversion, "L " + key + "\r\n"); !done) return done;
        if (Outcome done = conversion.Commit(); !done) return done;
      }
      state_.repaired.insert(key);
    }
    std::string selector;
    ReadCompanyField(ctx_, &reg, n, selector, kCompanyMergesChart);
    if (!done362_ && selector.starts_with("1") && state_.merged.count(key) == 0) {
      Conversion conversion(ctx_);
      ChartMerge merge = MergeChartOfAccounts(ctx_, conversion, co, base_);
      if (!merge.ok()) return merge.outcome;
      if (Outcome done = state_.Record(conversion, "C " + key + "\r\n"); !done) return done;
      if (Outcome done = conversion.Commit(); !done) return done;
      state_.merged.insert(key);
      base_ = merge.base;
    }
    return {};
  }

  // Appends one F19.DAT record for each live record of R00\<co>\G06.DAT and moves G06.DAT
  // to its safety copy, with the numbering reached, in one conversion.
  Outcome BuildEcfRecords(const std::string& co) {
    std::string source = Format("%s\\%s\\G06.DAT", kCompanyRoot, co);
    TableSource in;
    if (Outcome opened = in.Open(fs_, source); !opened) return Missing(opened) ? Outcome() : opened;
    Conversion conversion(ctx_);
    Outcome why;
    FileHandle out = AppendTarget(fs_, conversion, kEcfTable, why);
    if (!out) return why;
    out->SetRecordLength(static_cast<std::uint32_t>(kEcfRecord));
    std::string company = co;
    CutText(company, kEcfCompanyWidth);
    long sequence = state_.sequence;
    std::string record;
    while (in.Read(kG06Record, record)) {
      if (At(record, kG06Record - 1) == '+' || OnlyLineEnds(record)) continue;
      if (!out->Write(OneLine(Format("%05ld%-6s%-76s%-3s%-11s%-400s", ++sequence, "", "ECF",
                                     Piece(record, 0, kG06KindWidth), company,
                                     Piece(record, kG06NameAt, kG06NameWidth)))))
        break;
    }
    Outcome done = CloseFile(out);
    done.Also(in.Close());
    if (!done) return done;
    conversion.MoveToSafetyAtCommit(source);
    if (sequence != state_.sequence) {
      if (Outcome recorded = state_.Record(conversion, Format("S %ld\r\n", sequence)); !recorded)
        return recorded;
    }
    if (Outcome committed = conversion.Commit(); !committed) return committed;
    state_.sequence = sequence;
    return {};
  }

  // The counters of CONFIGA.DAT move into F34.DAT when that was not there when the call
  // began; CONFIGA.DAT is deleted in the same conversion.
  Outcome MigrateCounters() {
    if (!fs_.Attributes(kOldCountersFile) || state_.counters_found) return {};
    Conversion conversion(ctx_);
    if (Outcome noted = conversion.Note(kCountersFile); !noted) return noted;
    for (std::size_t k = 0; k < kOldCounterKeys.size(); ++k) {
      std::int32_t value = ReadRecordNumber(fs_, kOldCountersFile, static_cast<std::int64_t>(k),
                                            static_cast<std::int32_t>(kOldCounterRecord));
      if (value <= 0) continue;
      Outcome why;
      if (!SetCounter(ctx_, "", kOldCounterKeys[k], value, &why)) return why;
    }
    conversion.RemoveAtCommit(kOldCountersFile);
    return conversion.Commit();
  }

  // Every folder of the data folder named like a company (a digit first), with no other
  // attribute than being a folder, moves below R00; the companies that the filter left
  // out too.
  Outcome MoveFoldersLeftBehind() {
    Outcome listed;
    for (const platform::DirEntry& entry : fs_.Find("*", kAllEntries, listed)) {
      const std::string& name = entry.name;
      if (name == "." || name == ".." || entry.attributes != platform::kDirectory) continue;
      if (name.empty() || name[0] < '0' || name[0] > '9' || name.size() >= kFolderNameLimit)
        continue;
      Outcome moved = fs_.Rename(name, Format("%s\\%s", kCompanyRoot, name));
      if (!NothingToMove(moved)) return moved;
    }
    return listed;
  }

  // The field fix of the shared chart (3.62) and the marks, in one conversion; then the end of
  // the call's state.
  Outcome Finish() {
    Conversion conversion(ctx_);
    if (!done362_) {
      if (Outcome fixed = FixSharedChartFields(ctx_, conversion); !fixed) return fixed;
    }
    for (auto [tag, done] : {std::pair{kMark320, done320_}, std::pair{kMark360, done360_},
                             std::pair{kMark362, done362_}}) {
      if (!done) conversion.MarkAtCommit(tag);
    }
    if (Outcome committed = conversion.Commit(); !committed) return committed;
    // The state goes last, outside the conversion: a run stopped before it is done leaves the
    // call known as unfinished, and the next one finds the marks recorded and only ends it
    // (once the journal finished the marks, nothing else would tell that this step is due).
    if (!state_.exists()) return {};
    Outcome removed = fs_.Remove(kVersions320State);
    return Missing(removed) ? Outcome() : removed;
  }

  Context& ctx_;
  platform::FileSystem& fs_;
  CallState state_;
  std::int32_t base_ = 1;
  bool done320_ = false, done360_ = false, done362_ = false;
};

}  // namespace

Outcome ConvertVersions320To362(Context& ctx) {
  Outcome done = Versions320To362(ctx).Run();
  if (!done) return ReportFailure(ctx, kCaption, std::move(done));
  return done;
}

bool HasVersions320To362Input(platform::FileSystem& fs) {
  if (IsFile(fs, kVersions320State)) return true;
  for (const LayoutFound& found : FindLayouts(fs)) {
    if (found.layout == Layout::kCompanyFolders) return true;
  }
  return false;
}

}  // namespace livrana
