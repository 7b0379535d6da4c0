#include "library/v364/chart_r1.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/step_io.h"
#include "library/v364/text_table.h"
#include "records/format.h"
#include "records/layouts/charts.h"
#include "records/layouts/phone_tables.h"
#include "records/record_file.h"
#include "run/layouts.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

constexpr std::string_view kStep = "chart-r1";
constexpr std::string_view kCaption = "Plano de contas";
constexpr std::string_view kOldChart = kSharedChartFile;
constexpr std::string_view kOldChartBak = "F20R0.BAK";
constexpr std::string_view kNewChart = "F20R1.DAT";
constexpr std::string_view kOldTable08 = "F08.DAT";
constexpr std::string_view kNewTable08 = kTable08;
constexpr std::string_view kAccounts = "F25R0.DAT";
constexpr auto kOldRecord = static_cast<std::size_t>(kChartRecordLength);
// F25R0.DAT: records of 557 characters whose first 10 hold a code; codes of 3 characters
// are widened to 5.
constexpr std::size_t kAccountsRecord = 557;
constexpr std::size_t kCodeField = 10, kShortCode = 3;

// ---------------------------------------------------------------------------------------
// F20R1.DAT record (600 characters), built from the old record's pieces in this order:
//
//   new  width  old offsets (characters read)     format
//     0    51   0-50 (51)                          "%-51s"
//    51    10   71-80 (10)                         "%-10s"
//    61     1   68 (1)                             "%-1s"
//    62    25   52-67 (16)                         "%-25s"
//    87    20   103-112 (10)                       "%-20s"
//   107     2   51 (1)                             "%-2s"
//   109     2   group code mapped from 172         "%-2s%-118s"
//   111   118   173-175 (3)
//   229    20   176-190 (15)                       "%-20s"
//   249     1   191 (1)                            "%-1s"
//   250    20   192-206 (15)                       "%-20s"
//   270     1   207 (1)                            "%-1s"
//   271   180   nine fields of 20: the code at old 113-131 where its dots stand at its
//               characters 2 and 5 (or 2 and 4, see kLevelDots), else empty
//   451   149   spaces                             "%-149s"
// ---------------------------------------------------------------------------------------
struct Piece {
  std::size_t offset;
  std::size_t width;
  std::string_view format;
};
constexpr std::array<Piece, 5> kLeadingPieces = {{
    {71, 10, "%-10s"},
    {68, 1, "%-1s"},
    {52, 16, "%-25s"},
    {103, 10, "%-20s"},
    {51, 1, "%-2s"},
}};
constexpr std::array<Piece, 4> kTrailingPieces = {{
    {176, 15, "%-20s"},
    {191, 1, "%-1s"},
    {192, 15, "%-20s"},
    {207, 1, "%-1s"},
}};
constexpr std::size_t kFirstWidth = 51;
constexpr std::size_t kGroup = 172, kGroupRest = 173, kGroupRestWidth = 3;
constexpr std::size_t kCode = 113;
constexpr std::size_t kCodeWidth = 19;
// For each of the nine code fields, the character (counted from 1) that must hold the
// second dot; the first always stands at character 2.
constexpr std::array<std::size_t, 9> kLevelDots = {5, 4, 5, 5, 5, 4, 5, 4, 5};

std::string_view GroupCode(char old) {
  switch (old) {
    case '1':
      return "10";
    case '2':
      return "20";
    case '3':
      return "30";
    case '4':
      return "35";
    case '5':
      return "40";
    case '6':
      return "50";
    case '9':
      return "90";
    default:
      return "";
  }
}

// A field of the loaded old record as a text-mode read gives it; a line feed becomes a
// space so that no line break reaches the text-mode record written.
std::string Read(const TextTable& old, std::size_t offset, std::size_t width) {
  return OneLineField(old.Field(offset, width));
}

std::string NewRecord(const TextTable& old) {
  std::string record = Format("%-51s", Read(old, 0, kFirstWidth));
  for (const Piece& p : kLeadingPieces)
    AppendFormat(record, p.format, Read(old, p.offset, p.width));
  const std::string group = Read(old, kGroup, 1);
  AppendFormat(record, "%-2s%-118s", GroupCode(group.empty() ? ' ' : group[0]),
               Read(old, kGroupRest, kGroupRestWidth));
  for (const Piece& p : kTrailingPieces)
    AppendFormat(record, p.format, Read(old, p.offset, p.width));
  const std::string code = Read(old, kCode, kCodeWidth);
  for (std::size_t second : kLevelDots) {
    const bool level = code.size() >= second && code[1] == '.' && code[second - 1] == '.';
    AppendFormat(record, "%-20s", level ? code : std::string());
  }
  AppendFormat(record, "%-149s", "");
  return record;
}

// Builds F20R1.DAT from F20R0.DAT through the conversion (nothing when F20R0.DAT is missing).
Outcome CopyChart(Context& ctx, Conversion& conversion, ChartR1Result& result) {
  Outcome why;
  FileHandle old = OpenRead(ctx.fs, kOldChart, FileMode::kBinary, &why);
  if (!old) return why.cause() == Cause::kNotFound ? Outcome() : why;
  FileHandle out = conversion.Create(kNewChart, FileMode::kText, &why);
  if (!out) return why;
  TextTable table(*old, kOldRecord);
  for (std::int64_t c = 0; table.Load(c) && !out->Failed(); ++c) {
    const bool last = !table.Inside((c + 1) * static_cast<std::int64_t>(kOldRecord));
    // The line end that many tools leave at the end of a file is no account.
    const bool line_end = last && OnlyLineEnds(table.Raw());
    if (!table.Deleted() && !line_end) {
      out->Write(NewRecord(table));
      ++result.accounts;
    }
    if (last) break;
  }
  Outcome done = table.failure();
  done.Also(CloseFile(old));
  done.Also(CloseFile(out));
  if (done) result.copied = true;
  return done;
}

// The records of F25R0.DAT whose code (first 10 characters, trailing spaces removed) has 3
// characters, with the code widened to 5 ("00" before it), walked as the text-mode reads
// and positionings of the table give them. A code that holds a line end is none.
Outcome WideCodes(platform::FileSystem& fs, std::vector<std::pair<std::uint64_t, std::string>>& out,
                  bool first_only) {
  Outcome why;
  FileHandle accounts = OpenRead(fs, kAccounts, FileMode::kBinary, &why);
  if (!accounts) return why.cause() == Cause::kNotFound ? Outcome() : why;
  TextTable table(*accounts, kAccountsRecord);
  for (std::int64_t c = 0; table.Load(c); ++c) {
    std::string code = table.Field(0, kCodeField);
    if (TrimRight(code).size() == kShortCode && code.find_first_of("\r\n") == std::string::npos) {
      out.emplace_back(static_cast<std::uint64_t>(c) * kAccountsRecord, "00" + code);
      if (first_only) break;
    }
    if (!table.Inside((c + 1) * static_cast<std::int64_t>(kAccountsRecord))) break;
  }
  Outcome done = table.failure();
  done.Also(CloseFile(accounts));
  return done;
}

// Rewrites F25R0.DAT whole through the conversion with its codes widened; the file is
// copied in pieces, so the table may be of any size.
Outcome WidenCodes(Context& ctx, Conversion& conversion, ChartR1Result& result) {
  std::vector<std::pair<std::uint64_t, std::string>> codes;
  if (Outcome found = WideCodes(ctx.fs, codes, false); !found) return found;
  if (codes.empty()) return {};
  Outcome why;
  FileHandle in = OpenRead(ctx.fs, kAccounts, FileMode::kBinary, &why);
  if (!in) return why;
  FileHandle out = conversion.Rewrite(kAccounts, FileMode::kBinary, &why);
  if (!out) return why;
  constexpr std::size_t kCopyPiece = 256 * 1024;
  std::string piece(kCopyPiece, '\0');
  std::size_t next = 0;  // the first code not yet written
  for (std::uint64_t at = 0;;) {
    piece.resize(kCopyPiece);
    piece.resize(in->Read(piece.data(), piece.size()));
    if (piece.empty()) break;
    const std::uint64_t end = at + piece.size();
    while (next < codes.size() && codes[next].first < end) {
      const auto& [pos, code] = codes[next];
      for (std::size_t i = 0; i < code.size(); ++i) {
        if (pos + i >= at && pos + i < end) piece[static_cast<std::size_t>(pos + i - at)] = code[i];
      }
      if (pos + code.size() > end) break;  // the rest of it lies in the next piece
      ++next;
    }
    out->Write(piece);
    at = end;
  }
  Outcome done = in->failure();
  done.Also(CloseFile(in));
  done.Also(CloseFile(out));
  if (done) result.codes_widened = static_cast<int>(codes.size());
  return done;
}

}  // namespace

bool HasChartR1Input(platform::FileSystem& fs) {
  if (IsFile(fs, kOldChart) || IsFile(fs, kOldTable08)) return true;
  std::vector<std::pair<std::uint64_t, std::string>> codes;
  return WideCodes(fs, codes, true).ok() && !codes.empty();
}

ChartR1Result ConvertChart20R1(Context& ctx) {
  ChartR1Result result;
  auto failed = [&](Outcome failure) {
    result = ChartR1Result();
    result.outcome = ReportFailure(ctx, kCaption, std::move(failure));
    return result;
  };
  // One conversion: the new chart, the old chart set aside, table 08 renamed and the codes
  // widened are put in place together, so that a stop anywhere leaves the folder as it was.
  Conversion conversion(ctx, kStep);
  if (!ctx.fs.Attributes(kNewChart)) {
    if (Outcome copied = CopyChart(ctx, conversion, result); !copied) return failed(copied);
  }
  if (IsFile(ctx.fs, kOldChart)) {
    // The old chart takes the name F20R0.BAK; when that is taken, it goes to the safety
    // folder instead.
    if (ctx.fs.Attributes(kOldChartBak)) {
      conversion.MoveToSafetyAtCommit(kOldChart);
    } else {
      conversion.RenameAtCommit(kOldChart, kOldChartBak);
    }
  }
  // A rename whose target exists is not made: both files stay.
  if (IsFile(ctx.fs, kOldTable08) && !ctx.fs.Attributes(kNewTable08))
    conversion.RenameAtCommit(kOldTable08, kNewTable08);
  if (Outcome widened = WidenCodes(ctx, conversion, result); !widened) return failed(widened);
  if (Outcome committed = conversion.Commit(); !committed) return failed(committed);
  return result;
}

}  // namespace livrana
