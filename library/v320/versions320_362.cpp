#include "library/v320/versions320_362.h"

#include <array>
#include <string>

#include "library/record_merge.h"
#include "library/step_io.h"
#include "library/v320/rate_tables.h"
#include "library/v320/repair360.h"
#include "library/v320/shared_chart362.h"
#include "records/company.h"
#include "records/counters.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/conversion_log.h"
#include "run/safety.h"

namespace livrana {
namespace {


constexpr std::string_view kCaption = "Conversão 3.20 a 3.62";

// ---------------------------------------------------------------------------------------
// Company register fields recoded by 3.20 (in place, "%-2s" and "%-1s"):
//   field 29 (631, 2): 1 -> "10", 2 and 3 -> "21", 4 and 5 -> "22", 6 -> "30", 7 -> "40",
//                      20 -> "01", anything else -> two spaces
//   field 42 (680, 1): 1 -> "0", anything else (blank included) -> "1"
// ---------------------------------------------------------------------------------------
constexpr std::int64_t kRateCodeAt = 631;
constexpr std::int64_t kSelectorAt = 680;

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

class Versions320To362 {
 public:
  explicit Versions320To362(Context& ctx) : ctx_(ctx) {}

  bool Run() {
    // Whether the counters file was there before this call: the chart merge below creates
    // it, and the old counters must still move into it.
    counters_file_found_ = ctx_.fs.Attributes(kCountersFile).has_value();
    base_ = NextRecordNumber(ctx_.fs, kSharedChart, kChartRecord);
    done320_ = ConvTestAndMark(ctx_.fs, "320");
    done360_ = ConvTestAndMark(ctx_.fs, "360");
    done362_ = ConvTestAndMark(ctx_.fs, "362");

    if (FileHandle reg = OpenUpdate(ctx_.fs, kCompanyRegister, FileMode::kText)) {
      reg->SetRecordLength(kCompanyRecordLength);
      year_ = ctx_.fs.CurrentYear();
      std::string co;
      for (std::int64_t n = 0; ReadCompanyField(ctx_, reg.get(), n, co, kCompanyCode); ++n) {
        if (!CompanySelected(ctx_, reg.get(), n, co)) continue;
        if (!Company(*reg, n, co)) return false;
      }
      if (!CloseFile(reg)) return Stop(std::string(kCompanyRegister));
    }
    MigrateCounters();
    MoveFoldersLeftBehind();
    if (!done362_) {
      if (FailedFile failure = FixSharedChartFields(ctx_)) return Stop(*failure);
    }
    return true;
  }

 private:
  bool Stop(const std::string& file) {
    ReportWriteFailure(ctx_, kCaption, file);
    return false;
  }

  void RecodeRegister(RecordFile& reg, std::int64_t n) {
    std::int64_t start = n * kCompanyRecordLength;
    std::string field;
    if (ReadAt(reg, start + kRateCodeAt, 2, field))
      WriteInside(reg, start + kRateCodeAt,
                              Format("%-2s", NewRateCode(LeadingNumber(field))));
    if (ReadAt(reg, start + kSelectorAt, 1, field))
      WriteInside(reg, start + kSelectorAt,
                              Format("%-1s", LeadingNumber(field) == 1 ? "0" : "1"));
  }

  bool Company(RecordFile& reg, std::int64_t n, const std::string& co) {
    if (!done320_) RecodeRegister(reg, n);
    if (!UsableFolderName(co)) {
      ctx_.sink.Note(
          Format("Empresa %ld (%s) ignorada: o código não serve como nome de pasta.", n, co));
      return true;
    }
    ctx_.fs.Rename(Format("%s\\G24.DAT", co), Format("%s\\G07.DAT", co));

    std::string g32 = Format("%s\\G32.DAT", co);
    if (FailedFile f = AppendWidenedRecords(ctx_, Format("%s\\G18.DAT", co), g32, '0'))
      return Stop(*f);
    if (FailedFile f = AppendWidenedRecords(ctx_, Format("%s\\G19.DAT", co), g32, '1'))
      return Stop(*f);
    for (const platform::DirEntry& entry : ctx_.fs.Find(Format("%s\\L0*.DAT", co), 0)) {
      std::int32_t year = LeadingNumber(std::string_view(entry.name).substr(3));
      std::string prefix = entry.name.substr(0, 3);
      for (char& c : prefix) c = c == 'l' ? 'L' : c;
      if (prefix != "L08" && prefix != "L09") continue;
      char fill = prefix == "L08" ? '0' : '1';
      if (FailedFile f = AppendWidenedRecords(ctx_, Format("%s\\%s%d.DAT", co, prefix, year),
                                           Format("%s\\L33%d.DAT", co, year), fill))
        return Stop(*f);
    }

    RateTable rates = ReadRateTable(ctx_, co);
    if (FailedFile f = ConvertG15(ctx_, co, year_, rates)) return Stop(*f);
    if (FailedFile f = ConvertG07(ctx_, co)) return Stop(*f);

    ctx_.fs.MakeFolder("R00");
    ctx_.fs.Rename(co, Format("R00\\%s", co));

    if (!BuildEcfRecords(co)) return Stop(std::string(kEcfTable));
    if (!done360_) {
      if (FailedFile f = RepairInvoiceLedgers360(ctx_, co)) return Stop(*f);
    }
    std::string selector;
    ReadCompanyField(ctx_, &reg, n, selector, kCompanyMergesChart);
    if (!done362_ && selector.starts_with("1")) {
      ChartMerge merge = MergeChartOfAccounts(ctx_, co, base_);
      if (merge.failure) return Stop(*merge.failure);
      base_ = merge.base;
    }
    return true;
  }

  // Appends one F19.DAT record for each live record of R00\<co>\G06.DAT, then moves
  // G06.DAT to its safety copy; false when F19.DAT could not be written.
  bool BuildEcfRecords(const std::string& co) {
    std::string source = Format("R00\\%s\\G06.DAT", co);
    FileHandle in = OpenRead(ctx_.fs, source, FileMode::kText);
    if (!in) return true;
    FileHandle out = OpenAppend(ctx_.fs, kEcfTable, FileMode::kText);
    if (!out) return true;
    out->SetRecordLength(static_cast<std::uint32_t>(kEcfRecord));
    std::string company = co;
    CutText(company, kEcfCompanyWidth);
    bool ok = AppendLiveRecords(
        *in, *out, kG06Record, kG06Record - 1, [&](const std::string& record) {
          return Format("%05ld%-6s%-76s%-3s%-11s%-400s", ++sequence_, "", "ECF",
                        Piece(record, 0, kG06KindWidth), company,
                        Piece(record, kG06NameAt, kG06NameWidth));
        });
    ok = CloseFile(out).ok() && ok;
    CloseFile(in);
    if (ok) MoveToSafety(ctx_, source);
    return ok;
  }

  // The counters of CONFIGA.DAT move into F34.DAT when that did not exist when the call
  // began. CONFIGA.DAT is deleted only once every counter it holds has been stored.
  void MigrateCounters() {
    if (!ctx_.fs.Attributes(kOldCountersFile) || counters_file_found_) return;
    bool stored = true;
    for (std::size_t k = 0; k < kOldCounterKeys.size(); ++k) {
      std::int32_t value = ReadRecordNumber(ctx_.fs, kOldCountersFile, static_cast<std::int64_t>(k),
                                            static_cast<std::int32_t>(kOldCounterRecord));
      if (value > 0) stored = SetCounter(ctx_, "", kOldCounterKeys[k], value) && stored;
    }
    if (!stored) {
      // The counters file has told the user why; the old file keeps the counters.
      ctx_.sink.Note(Format("%s mantido: nem todos os contadores foram gravados em %s.",
                            kOldCountersFile, kCountersFile));
      return;
    }
    ctx_.fs.Remove(kOldCountersFile);
  }

  // Every folder of the data folder named like a company (a digit first), with no other
  // attribute than being a folder, moves below R00; the companies that the filter left
  // out too.
  void MoveFoldersLeftBehind() {
    for (const platform::DirEntry& entry : ctx_.fs.Find("*", kAllEntries)) {
      const std::string& name = entry.name;
      if (name == "." || name == ".." || entry.attributes != platform::kDirectory) continue;
      if (name.empty() || name[0] < '0' || name[0] > '9' || name.size() >= kFolderNameLimit)
        continue;
      ctx_.fs.Rename(name, "R00\\" + name);
    }
  }

  Context& ctx_;
  std::int32_t base_ = 1;
  bool done320_ = false, done360_ = false, done362_ = false;
  bool counters_file_found_ = false;
  int year_ = 0;
  long sequence_ = 0;
};

}  // namespace

bool ConvertVersions320To362(Context& ctx) { return Versions320To362(ctx).Run(); }

}  // namespace livrana
