#include "library/v301/number_charts.h"

#include <array>
#include <set>
#include <vector>

#include "library/step_io.h"
#include "platform/cp1252.h"
#include "records/company.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/sink.h"

namespace livrana {
namespace {


constexpr std::string_view kCaption = "Numeração dos planos de contas";

// ---------------------------------------------------------------------------------------
// Source chart record (209 characters):
//   0-14 old account code; 20-60 account text, its last character (60) the flag "1" of
//   the accounts that ledgers refer to; 65-99 (F20/G20) or 68-70 (F21/G21) the rest of the
//   account data; 208 the deletion mark.
//
// Numbered chart record, "%05ld%-6s%-41s%d%-15s%-141s" (209 characters):
//
//   offset width
//        0     5   sequence number from 1, over both sources in order
//        5     6   spaces
//       11    41   source 20-60 (the flag lands at 51)
//       52     1   kind: 0 for F20/G20, 1 for F21/G21
//       53    15   old account code
//       68   141   the rest of the account data
// ---------------------------------------------------------------------------------------
constexpr std::size_t kChartRecord = 209;
constexpr std::size_t kChartDeleted = 208;
constexpr std::size_t kCodeWidth = 15;
constexpr std::size_t kTextAt = 20, kTextWidth = 41;
struct ChartSource {
  std::string_view table;  // "F20", "G21"
  int kind;
  std::size_t rest_at, rest_width;
};
constexpr std::array<ChartSource, 2> kSharedSources = {{{"F20", 0, 65, 35}, {"F21", 1, 68, 3}}};
constexpr std::array<ChartSource, 2> kCompanySources = {{{"G20", 0, 65, 35}, {"G21", 1, 68, 3}}};
constexpr std::string_view kSharedChart = "F20R0.DAT";

// Lookup entries come from numbered records whose flag (51) is "1": the key at 52-67 and
// the replacement at 0-9.
constexpr std::size_t kFlagAt = 51, kKeyAt = 52, kKeyWidth = 16, kReplacementWidth = 10;

// ---------------------------------------------------------------------------------------
// L23<year>.DAT: 300-character records, account fields of 15 characters at 167, 182 and
// 197; the first is looked up under kind "0", the other two under kind "1".
// ---------------------------------------------------------------------------------------
constexpr std::int64_t kLedgerRecord = 300;
constexpr std::int64_t kAccountsAt = 167;
constexpr std::size_t kAccountWidth = 15;
constexpr int kAccountFields = 3;

// The temporary folders shorter than this receive the ledgers' old contents.
constexpr std::size_t kLedgerCopyTempLimit = 150;

std::string FoldKey(std::string_view key) {
  std::string folded(key.substr(0, kKeyWidth));
  for (char& c : folded) c = static_cast<char>(platform::FoldCase(static_cast<unsigned char>(c)));
  return folded;
}

class ChartNumbering {
 public:
  explicit ChartNumbering(Context& ctx) : ctx_(ctx) {}

  // Numbers one chart when its target is missing. The sources are deleted once the whole
  // chart has been written; when it could not be, the part-written chart is removed and
  // the sources stay, so that the next run numbers it again.
  bool Number(const std::string& target, const std::array<ChartSource, 2>& sources,
              std::string_view folder) {
    if (ctx_.fs.Attributes(target)) return true;
    long sequence = 0;
    bool ok = true;
    std::vector<std::string> copied;
    for (const ChartSource& source : sources) {
      std::string path = folder.empty() ? Format("%s.DAT", source.table)
                                        : Format("%s\\%s.DAT", folder, source.table);
      FileHandle in = OpenRead(ctx_.fs, path, FileMode::kText);
      if (!in) continue;
      FileHandle out = OpenAppend(ctx_.fs, target, FileMode::kText);
      if (!out) continue;
      out->SetRecordLength(static_cast<std::uint32_t>(kChartRecord));
      ok = AppendLiveRecords(*in, *out, kChartRecord, kChartDeleted,
                                         [&](const std::string& record) {
                                           return Format(
                                               "%05ld%-6s%-41s%d%-15s%-141s", ++sequence, "",
                                               Piece(record, kTextAt, kTextWidth), source.kind,
                                               Piece(record, 0, kCodeWidth),
                                               Piece(record, source.rest_at, source.rest_width));
                                         }) &&
           ok;
      ok = CloseFile(out).ok() && ok;
      if (!ok) break;
      copied.push_back(path);
    }
    if (!ok) {
      ctx_.fs.Remove(target);
      failed_ = target;
      return false;
    }
    for (const std::string& path : copied) ctx_.fs.Remove(path);
    if (!copied.empty()) built_.insert(target);
    return true;
  }

  bool Built() const { return !built_.empty(); }
  bool Built(const std::string& chart) const { return built_.count(chart) > 0; }
  const std::string& failed() const { return failed_; }

 private:
  Context& ctx_;
  std::set<std::string> built_;
  std::string failed_;
};

void LoadLookup(Context& ctx, const std::string& chart, AccountLookup& lookup) {
  lookup.Clear();
  FileHandle file = OpenRead(ctx.fs, chart, FileMode::kText);
  if (!file) return;
  for (;;) {
    std::string record = ReadRaw(*file, kChartRecord);
    if (record.empty()) break;
    if (At(record, kFlagAt) != '1') continue;
    lookup.Add(
        Format("%-16s%s", Piece(record, kKeyAt, kKeyWidth), Piece(record, 0, kReplacementWidth)));
  }
}

// Keeps the ledger's old contents below the temporary folder: Vuk\<co>\<name>.
void CopyLedgerAway(Context& ctx, const std::string& co, const std::string& name) {
  std::string temp = ctx.fs.TempFolder();
  if (temp.empty() || temp.size() >= kLedgerCopyTempLimit) return;
  std::string folder = temp + "Vuk";
  ctx.fs.MakeFolder(folder);
  folder += "\\" + co;
  ctx.fs.MakeFolder(folder);
  ctx.fs.Copy(Format("%s\\%s", co, name), folder + "\\" + name, false);
}

// Rewrites the account fields of one ledger; false when it could not be written.
bool RewriteLedger(Context& ctx, const std::string& path, const AccountLookup& lookup) {
  FileHandle file = OpenUpdate(ctx.fs, path, FileMode::kText);
  if (!file) return true;
  file->SetRecordLength(static_cast<std::uint32_t>(kLedgerRecord));
  std::string probe, field;
  for (std::int64_t r = 0; ReadAt(*file, r * kLedgerRecord, 1, probe); ++r) {
    for (int j = 0; j < kAccountFields; ++j) {
      std::int64_t pos = r * kLedgerRecord + kAccountsAt + j * std::int64_t{kAccountWidth};
      if (!ReadAt(*file, pos, kAccountWidth, field)) continue;
      if (field.substr(0, 3).find_first_not_of(' ') == std::string::npos) continue;
      const std::string* entry = lookup.Find(Format("%c%-15s", j == 0 ? '0' : '1', field));
      if (entry == nullptr) continue;
      WriteInside(*file, pos, Format("%-15s", Piece(*entry, kKeyWidth, 10)));
    }
  }
  return CloseFile(file).ok();
}

}  // namespace

void AccountLookup::Clear() {
  entries_.clear();
  first_.clear();
}

void AccountLookup::Add(std::string entry) {
  first_.emplace(FoldKey(entry), entries_.size());
  entries_.push_back(std::move(entry));
}

const std::string* AccountLookup::Find(std::string_view key) const {
  auto it = first_.find(FoldKey(key));
  return it == first_.end() ? nullptr : &entries_[it->second];
}

bool NumberChartsOfAccounts(Context& ctx) {
  WaitCursor wait(ctx.sink);
  FileHandle reg = OpenRead(ctx.fs, kCompanyRegister);
  if (!reg) return true;
  reg->SetRecordLength(kCompanyRecordLength);
  auto for_each_company = [&](const CompanyWork& work) {
    CompanyWork usable = OnlyUsableFolders(ctx, work);
    std::string code;
    for (std::int64_t n = 0; ReadCompanyField(ctx, reg.get(), n, code, kCompanyCode); ++n) {
      if (CompanySelected(ctx, reg.get(), n, code)) usable(n, code);
    }
  };
  auto stop = [&](const std::string& file) {
    ReportWriteFailure(ctx, kCaption, file);
    return false;
  };

  ChartNumbering numbering(ctx);
  if (!numbering.Number(std::string(kSharedChart), kSharedSources, "")) {
    return stop(numbering.failed());
  }
  bool stopped = false;
  for_each_company([&](std::int64_t, const std::string& co) {
    if (!stopped) stopped = !numbering.Number(Format("%s\\G20R0.DAT", co), kCompanySources, co);
  });
  if (stopped) return stop(numbering.failed());
  if (!numbering.Built()) return true;

  AccountLookup lookup;
  std::string failed;
  for_each_company([&](std::int64_t n, const std::string& co) {
    if (!failed.empty()) return;
    std::string selector;
    ReadCompanyField(ctx, reg.get(), n, selector, kCompanyMergesChart);
    std::string chart = selector == "1" ? std::string(kSharedChart) : Format("%s\\G20R0.DAT", co);
    // Ledgers that refer to a chart numbered in an earlier call hold numbers already.
    if (!numbering.Built(chart)) return;
    LoadLookup(ctx, chart, lookup);
    for (const platform::DirEntry& entry : ctx.fs.Find(Format("%s\\L23*.DAT", co), 0)) {
      CopyLedgerAway(ctx, co, entry.name);
      std::string path = Format("%s\\%s", co, entry.name);
      ctx.sink.Status(path);
      if (!RewriteLedger(ctx, path, lookup)) {
        failed = path;
        return;
      }
    }
  });
  if (!failed.empty()) return stop(failed);
  return true;
}

}  // namespace livrana
