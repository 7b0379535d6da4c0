#include "library/v301/number_charts.h"

#include <array>
#include <cstring>
#include <set>

#include "library/step_io.h"
#include "library/v301/walks.h"
#include "platform/cp1252.h"
#include "records/company.h"
#include "records/format.h"
#include "records/layouts/charts.h"
#include "records/layouts/ledgers.h"
#include "records/record_file.h"
#include "records/sink.h"
#include "run/layouts.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

constexpr std::string_view kCaption = "Numeração dos planos de contas";
constexpr std::string_view kStep = "number-charts";  // as the journal names it
constexpr auto kChartRecord = static_cast<std::size_t>(kChartRecordLength);

// The two sources of a numbered chart, in the order they are numbered.
struct ChartSource {
  std::string_view table;  // "F20", "G21"
  int kind;
  std::size_t rest_at, rest_width;
};
constexpr std::array<ChartSource, 2> kSharedSources = {
    {{"F20", 0, OldChartLayout::kRest20, OldChartLayout::kRest20Width},
     {"F21", 1, OldChartLayout::kRest21, OldChartLayout::kRest21Width}}};
constexpr std::array<ChartSource, 2> kCompanySources = {
    {{"G20", 0, OldChartLayout::kRest20, OldChartLayout::kRest20Width},
     {"G21", 1, OldChartLayout::kRest21, OldChartLayout::kRest21Width}}};

std::string SourcePath(const ChartSource& source, std::string_view folder) {
  return folder.empty() ? Format("%s.DAT", source.table)
                        : Format("%s\\%s.DAT", folder, source.table);
}

// Lookup entries: the key (kind and old code) and the replacement (the sequence number and
// five spaces) of every numbered record whose flag is "1".
constexpr std::size_t kKeyWidth = 1 + ChartLayout::kOldCodeWidth;  // 16
constexpr std::size_t kReplacementWidth = 10;
static_assert(ChartLayout::kKind + 1 == ChartLayout::kOldCode);

constexpr auto kLedgerRecord = static_cast<std::size_t>(kLedger23RecordLength);
// Records held in memory at a time while a ledger is rewritten.
constexpr std::size_t kChunkRecords = 512;

// The temporary folders shorter than this receive the ledgers' old contents.
constexpr std::size_t kLedgerCopyTempLimit = 150;

std::string FoldKey(std::string_view key) {
  std::string folded(key.substr(0, kKeyWidth));
  for (char& c : folded) c = static_cast<char>(platform::FoldCase(static_cast<unsigned char>(c)));
  return folded;
}

// The numbering of the charts whose numbered chart is missing, as targets of the step's
// conversion.
class ChartNumbering {
 public:
  ChartNumbering(Context& ctx, Conversion& conversion) : ctx_(ctx), conversion_(conversion) {}

  Outcome Number(const std::string& target, const std::array<ChartSource, 2>& sources,
                 std::string_view folder) {
    if (ctx_.fs.Attributes(target)) return {};
    long sequence = 0;
    FileHandle out;
    for (const ChartSource& source : sources) {
      std::string path = SourcePath(source, folder);
      Outcome why;
      FileHandle in = OpenRead(ctx_.fs, path, FileMode::kText, &why);
      if (!in) {
        if (why.cause() == Cause::kNotFound) continue;  // a chart without this source
        return why;
      }
      if (!out) {
        out = conversion_.Append(target, FileMode::kText, &why);
        if (!out) return why;
        out->SetRecordLength(static_cast<std::uint32_t>(kChartRecord));
      }
      for (;;) {
        std::string record = ReadRaw(*in, kChartRecord);
        if (record.empty()) break;
        if (EmptyOrLineEnds(record) || At(record, OldChartLayout::kDeleted) == '+') continue;
        std::string numbered =
            Format("%05ld%-6s%-41s%d%-15s%-141s", ++sequence, "",
                   Piece(record, OldChartLayout::kText, OldChartLayout::kTextWidth), source.kind,
                   Piece(record, OldChartLayout::kCode, OldChartLayout::kCodeWidth),
                   Piece(record, source.rest_at, source.rest_width));
        if (!out->Write(OneLine(std::move(numbered)))) break;
      }
      if (Outcome read = CloseFile(in); !read) return read;
      conversion_.RemoveAtCommit(path);
    }
    if (!out) return {};
    if (Outcome written = CloseFile(out); !written) return written;
    built_.insert(target);
    return {};
  }

  bool Built() const { return !built_.empty(); }
  bool Built(const std::string& chart) const { return built_.count(chart) > 0; }

 private:
  Context& ctx_;
  Conversion& conversion_;
  std::set<std::string> built_;
};

Outcome LoadLookup(Context& ctx, const std::string& chart, AccountLookup& lookup) {
  lookup.Clear();
  Outcome why;
  FileHandle file = OpenRead(ctx.fs, chart, FileMode::kText, &why);
  if (!file) return why.cause() == Cause::kNotFound ? Outcome() : why;
  for (;;) {
    std::string record = ReadRaw(*file, kChartRecord);
    if (record.empty()) break;
    if (At(record, ChartLayout::kFlag) != '1') continue;
    lookup.Add(Format("%-16s%s", Piece(record, ChartLayout::kKind, kKeyWidth),
                      Piece(record, ChartLayout::kNumber, kReplacementWidth)));
  }
  return CloseFile(file);
}

// Keeps the ledger's old contents below the temporary folder, Vuk\<co>\<name>, as a target
// of the conversion; an older copy of the same name stays as it is.
Outcome CopyLedgerAway(Context& ctx, Conversion& conversion, const std::string& co,
                       const std::string& name) {
  std::string temp = ctx.fs.TempFolder();
  if (temp.empty() || temp.size() >= kLedgerCopyTempLimit) return {};
  std::string folder = temp + "Vuk";
  for (const std::string& path : {folder, folder + "\\" + co}) {
    if (Outcome made = ctx.fs.MakeFolder(path); !made && made.cause() != Cause::kExists) {
      return made;
    }
  }
  std::string copy = folder + "\\" + co + "\\" + name;
  if (Outcome noted = conversion.Note(copy); !noted) return noted;
  Outcome copied = ctx.fs.Copy(Format("%s\\%s", co, name), copy, false);
  if (copied.cause() == Cause::kExists) return {};  // never overwritten
  return copied;
}

// Rewrites the account fields of one ledger record as the product does it in place in text
// mode (walks.h). False when its first character cannot be read, which ends the walk.
bool MapAccounts(std::string& record, bool last, const AccountLookup& lookup) {
  RecordText text(record, last);
  std::string probe, field;
  if (!text.Seek(0) || !text.Read(1, probe)) return false;
  for (int j = 0; j < Ledger23Layout::kAccounts; ++j) {
    std::size_t pos =
        Ledger23Layout::kAccount + static_cast<std::size_t>(j) * Ledger23Layout::kAccountWidth;
    if (!text.Seek(pos) || !text.Read(Ledger23Layout::kAccountWidth, field)) continue;
    if (field.substr(0, 3).find_first_not_of(' ') == std::string::npos) continue;
    const std::string* entry = lookup.Find(Format("%c%-15s", j == 0 ? '0' : '1', field));
    if (entry == nullptr) continue;
    text.Write(pos, Format("%-15s", Piece(*entry, kKeyWidth, kReplacementWidth)));
  }
  return true;
}

// Writes the rewritten ledger under its work name, put in its place at the commit.
Outcome RewriteLedger(Context& ctx, Conversion& conversion, const std::string& path,
                      const AccountLookup& lookup) {
  Outcome why;
  FileHandle in = OpenRead(ctx.fs, path, FileMode::kBinary, &why);
  if (!in) return why;
  in->SetRecordLength(static_cast<std::uint32_t>(kLedgerRecord));
  FileHandle out = conversion.Rewrite(path, FileMode::kBinary, &why);
  if (!out) return why;
  out->SetRecordLength(static_cast<std::uint32_t>(kLedgerRecord));
  const std::uint64_t size = in->Size();
  bool walking = true;
  std::string record;
  for (std::uint64_t start = 0;;) {
    std::string chunk = ReadRaw(*in, kChunkRecords * kLedgerRecord);
    if (chunk.empty()) break;
    for (std::size_t at = 0; walking && at < chunk.size(); at += kLedgerRecord) {
      record.assign(chunk, at, kLedgerRecord);
      walking = MapAccounts(record, start + at + kLedgerRecord >= size, lookup);
      // The new codes are digits and spaces: the record keeps its length.
      chunk.replace(at, record.size(), record);
    }
    start += chunk.size();
    if (!out->Write(chunk)) break;
  }
  Outcome done = CloseFile(out);
  done.Also(CloseFile(in));
  return done;
}

// Rewrites the ledgers of company n when the chart they refer to was numbered in this call.
Outcome RewriteLedgers(Context& ctx, Conversion& conversion, RecordFile& reg,
                       const ChartNumbering& numbering, std::int64_t n, const std::string& co,
                       AccountLookup& lookup) {
  std::string selector;
  ReadCompanyField(ctx, &reg, n, selector, kCompanyMergesChart);
  std::string chart =
      selector == "1" ? std::string(kSharedChartFile) : Format(kCompanyChartFile, co);
  // Ledgers that refer to a chart numbered in an earlier call hold numbers already.
  if (!numbering.Built(chart)) return {};
  if (Outcome loaded = LoadLookup(ctx, chart, lookup); !loaded) return loaded;
  Outcome listed;
  for (const platform::DirEntry& entry : ctx.fs.Find(Format(kLedger23Pattern, co), 0, listed)) {
    std::string path = Format("%s\\%s", co, entry.name);
    // The product opens the ledger in place as it stands and would pass over a read-only
    // one for good, its old codes then naming no account of the numbered chart.
    if ((entry.attributes & platform::kReadOnly) != 0) {
      return Outcome::Failed(Operation::kOpen, path, Cause::kReadOnly);
    }
    if (Outcome copied = CopyLedgerAway(ctx, conversion, co, entry.name); !copied) return copied;
    ctx.sink.Status(path);
    if (Outcome rewritten = RewriteLedger(ctx, conversion, path, lookup); !rewritten) {
      return rewritten;
    }
  }
  return listed;
}

Outcome NumberAndRewrite(Context& ctx, Conversion& conversion, RecordFile& reg) {
  ChartNumbering numbering(ctx, conversion);
  Outcome done = numbering.Number(std::string(kSharedChartFile), kSharedSources, "");
  if (done) {
    done = WalkCompanies(ctx, reg, [&](std::int64_t, const std::string& co) {
      return numbering.Number(Format(kCompanyChartFile, co), kCompanySources, co);
    });
  }
  if (!done || !numbering.Built()) return done;
  AccountLookup lookup;
  return WalkCompanies(ctx, reg, [&](std::int64_t n, const std::string& co) {
    return RewriteLedgers(ctx, conversion, reg, numbering, n, co, lookup);
  });
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

Outcome NumberChartsOfAccounts(Context& ctx) {
  WaitCursor wait(ctx.sink);
  FileHandle reg;
  Outcome done = OpenCompanyRegister(ctx, reg);
  if (done && reg) {
    Conversion conversion(ctx, kStep);
    done = NumberAndRewrite(ctx, conversion, *reg);
    done.Also(CloseFile(reg));
    if (done) {
      done = conversion.Commit();
    } else {
      (void)conversion.Abandon();  // what it cannot give back, the next run's recovery does
    }
  }
  if (!done) return ReportFailure(ctx, kCaption, std::move(done));
  return {};
}

bool NumberChartsHasInput(platform::FileSystem& fs) {
  if (!IsFile(fs, kCompanyRegister) || CompanyFoldersBelowR00(fs)) return false;
  auto pending = [&](const std::string& target, const std::array<ChartSource, 2>& sources,
                     std::string_view folder) {
    return !fs.Attributes(target) && (IsFile(fs, SourcePath(sources[0], folder)) ||
                                      IsFile(fs, SourcePath(sources[1], folder)));
  };
  if (pending(std::string(kSharedChartFile), kSharedSources, "")) return true;
  for (const std::string& co : LiveCompanyCodes(fs)) {
    if (pending(Format(kCompanyChartFile, co), kCompanySources, co)) return true;
  }
  return false;
}

}  // namespace livrana
