#include "library/v364/chart_r1.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "records/format.h"
#include "records/record_file.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::string_view kCaption = "Plano de contas";
constexpr std::string_view kOldChart = "F20R0.DAT";
constexpr std::string_view kOldChartBak = "F20R0.BAK";
constexpr std::string_view kNewChart = "F20R1.DAT";
constexpr std::int64_t kOldRecord = 209;
constexpr std::int64_t kAccountsRecord = 557;

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
  std::int64_t offset;
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
constexpr std::int64_t kGroup = 172, kGroupRest = 173;
constexpr std::int64_t kCode = 113;
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

// The characters at pos, at most width of them, as a field read gives them; a line feed
// becomes a space so that no line break reaches the text-mode record written.
std::string Read(RecordFile* file, std::int64_t pos, std::size_t width) {
  std::string out;
  if (!SeekInside(file, pos) || !ReadField(file, out, width)) return {};
  for (char& c : out) {
    if (c == '\n') c = ' ';
  }
  return out;
}

std::string NewRecord(RecordFile* old, std::int64_t start, std::string first) {
  for (char& c : first) {
    if (c == '\n') c = ' ';
  }
  std::string record = Format("%-51s", first);
  for (const Piece& p : kLeadingPieces)
    record += Format(p.format, Read(old, start + p.offset, p.width));
  const std::string group = Read(old, start + kGroup, 1);
  record += Format("%-2s%-118s", GroupCode(group.empty() ? ' ' : group[0]),
                   Read(old, start + kGroupRest, 3));
  for (const Piece& p : kTrailingPieces)
    record += Format(p.format, Read(old, start + p.offset, p.width));
  const std::string code = Read(old, start + kCode, kCodeWidth);
  for (std::size_t second : kLevelDots) {
    const bool level = code.size() >= second && code[1] == '.' && code[second - 1] == '.';
    record += Format("%-20s", level ? code : std::string());
  }
  record += Format("%-149s", "");
  return record;
}

// Builds F20R1.DAT from F20R0.DAT; false when writing it failed.
bool CopyChart(Context& ctx, ChartR1Result& result) {
  FileHandle old = OpenRead(ctx.fs, kOldChart, FileMode::kText);
  if (!old) return true;
  FileHandle out = OpenAppend(ctx.fs, kNewChart, FileMode::kText);
  if (!out) return true;
  old->SetRecordLength(static_cast<std::uint32_t>(kOldRecord));
  result.copied = true;
  std::string first;
  for (std::int64_t c = 0; ReadField(old.get(), first, 51); ++c) {
    if (!IsDeleted(old.get(), c, kOldRecord)) {
      out->Write(NewRecord(old.get(), c * kOldRecord, first));
      ++result.accounts;
    }
    if (!SeekInside(old.get(), (c + 1) * kOldRecord)) break;
  }
  CloseFile(old);
  return CloseFile(out).ok();
}

}  // namespace

ChartR1Result ConvertChart20R1(Context& ctx) {
  ChartR1Result result;
  if (!ctx.fs.Attributes(kNewChart) && !CopyChart(ctx, result)) {
    // A chart that could not be written completely is not left behind, and the old chart
    // stays in place for another run.
    ctx.fs.Remove(kNewChart);
    result.ok = false;
    result.copied = false;
    ctx.sink.Fail(kCaption, Format("Erro ao gravar o arquivo %s.\nO arquivo %s foi mantido.",
                                   kNewChart, kOldChart));
  } else {
    ctx.fs.Rename(kOldChart, kOldChartBak);
    MoveToSafety(ctx, kOldChart, kSafetySubfolder);
  }
  ctx.fs.Rename("F08.DAT", "F08R1.DAT");

  FileHandle accounts = OpenUpdate(ctx.fs, "F25R0.DAT", FileMode::kText);
  if (!accounts) return result;
  accounts->SetRecordLength(static_cast<std::uint32_t>(kAccountsRecord));
  std::string code;
  for (std::int64_t c = 0; ReadField(accounts.get(), code, 10); ++c) {
    if (TrimRight(code).size() == 3 && SeekInside(accounts.get(), c * kAccountsRecord)) {
      accounts->Write(Format("00%s", code));
      ++result.codes_widened;
    }
    if (!SeekInside(accounts.get(), (c + 1) * kAccountsRecord)) break;
  }
  if (!CloseFile(accounts)) result.ok = false;
  return result;
}

}  // namespace livrana
