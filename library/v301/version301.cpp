#include "library/v301/version301.h"

#include <array>
#include <string>

#include "library/step_io.h"
#include "records/company.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/conversion_log.h"

namespace livrana {
namespace {


constexpr std::string_view kCaption = "Conversão 3.01";
constexpr std::string_view kMark = "301";

// ---------------------------------------------------------------------------------------
// G04.DAT (220 characters) to G04R0.DAT (950 characters, "%-61s%-61s%-637s%-191s"):
//
//   source  width  use                 target  width  content
//        0     61  copied                   0     61  source 0-60
//       61     10  dropped                 61     61  source 71-110, then spaces
//       71     40  copied                 122    637  "0,00 0,50", then spaces
//      111    108  dropped                759    191  thirteen number texts, then spaces
//      219      1  deletion mark
// ---------------------------------------------------------------------------------------
constexpr std::size_t kG04Record = 220;
constexpr std::size_t kG04Deleted = 219;
constexpr std::size_t kNameWidth = 61;
constexpr std::size_t kSecondAt = 71, kSecondWidth = 40;
constexpr std::size_t kG04R0Record = 950;

// Two number texts in 5-character slots, the last without its trailing space, and then
// thirteen in 5-character slots: 12,70 0,00 2,30 0,64 0,00 1,27 0,20 1,91 7,40 2,54 10,55
// 11,55 15,30.
constexpr std::string_view kFirstDefaults = "0,00 0,50";
constexpr std::string_view kSecondDefaults =
    "12,700,00 2,30 0,64 0,00 1,27 0,20 1,91 7,40 2,54 10,5511,5515,30";
static_assert(kSecondDefaults.size() == 13 * 5);

std::string G04R0Record(std::string_view piece) {
  return OneLine(Format("%-61s%-61s%-637s%-191s", Piece(piece, 0, kNameWidth),
                                    Piece(piece, kSecondAt, kSecondWidth), kFirstDefaults,
                                    kSecondDefaults));
}

// Widens one company's G04.DAT; false when G04R0.DAT could not be written (G04.DAT then
// stays).
bool WidenG04(Context& ctx, const std::string& co, std::string& failed) {
  std::string source = Format("%s\\G04.DAT", co);
  std::string target = Format("%s\\G04R0.DAT", co);
  if (!ctx.fs.Find(target, 0).empty()) return true;
  FileHandle in = OpenRead(ctx.fs, source, FileMode::kText);
  if (!in) return true;
  FileHandle out = OpenAppend(ctx.fs, target, FileMode::kText);
  if (!out) return true;
  out->SetRecordLength(static_cast<std::uint32_t>(kG04R0Record));
  bool ok = true;
  std::string piece;
  while (ReadField(in.get(), piece, kG04Record)) {
    // A record cut short (the end of the file, or a line feed inside it) gives only its
    // own characters; it has no deletion mark, and is copied unless it holds nothing but
    // its line end.
    if (piece.back() == '\n') piece.pop_back();
    if (piece.empty() || At(piece, kG04Deleted) == '+') continue;
    ok = out->Write(G04R0Record(piece)) && ok;
  }
  ok = CloseFile(out).ok() && ok;
  CloseFile(in);
  if (!ok) {
    // A part-written table would block the next run's conversion.
    ctx.fs.Remove(target);
    failed = target;
    return false;
  }
  ctx.fs.Remove(source);
  return true;
}

// ---------------------------------------------------------------------------------------
// Address block of the register tables, at the same offsets in all three:
//
//   offset width
//       91    40   A, the address line
//      131    10   B, first address complement
//      141    20   K, second address complement
//      161    30   D, the locality line
//
// F00R0.DAT receives K at 136 ("%-22s") and nothing else. F01R0.DAT and F02R1.DAT append
// B to A, and K to A or else to D, then blank 131-160. F02R1.DAT also moves an amount of
// 8 characters from 592 (a 20-character field) to 268 (18 characters).
// ---------------------------------------------------------------------------------------
struct RegisterTable {
  std::string_view file;
  std::string_view backup;
  std::int64_t record_length;
};
constexpr std::array<RegisterTable, 3> kRegisterTables = {{
    {"F00R0.DAT", "F00R0.BAK", 1000},
    {"F01R0.DAT", "F01R0.BAK", 814},
    {"F02R1.DAT", "F02R1.BAK", 1000},
}};
constexpr std::int64_t kAddressAt = 91;
constexpr std::size_t kAddressWidth = 40, kFirstWidth = 10, kSecondWidth2 = 20, kLocalityWidth = 30;
constexpr std::int64_t kComplementsAt = 131, kLocalityAt = 161;
constexpr std::int64_t kBlockEnd = 191;
constexpr std::int64_t kRegisterSecondAt = 136, kRegisterSecondEnd = 158;
constexpr std::int64_t kAmountAt = 592, kAmountFieldEnd = 612, kAmountTo = 268;
constexpr std::size_t kAmountWidth = 8;

void FoldRecord(RecordFile& file, std::int64_t start, bool is_register, bool has_amount,
                std::string a) {
  std::string b, k, d;
  ReadField(&file, b, kFirstWidth);
  ReadField(&file, k, kSecondWidth2);
  ReadField(&file, d, kLocalityWidth);
  TrimRight(a);
  TrimRight(b);
  TrimRight(k);
  TrimRight(d);
  if (is_register) {
    WriteInside(file, start + kRegisterSecondAt, Format("%-22s", k));
    return;
  }
  // The fold rewrites 91-190 as a whole or not at all: a record cut short stays as it is.
  if (Inside(file, start, static_cast<std::size_t>(kBlockEnd))) {
    const std::size_t lb = b.size(), lk = k.size();
    if (lb > 0) {
      CutText(a, 39 - lb);
      WriteInside(file, start + kAddressAt + static_cast<std::int64_t>(a.size()), Format(" %s", b));
      a += " " + b;
    }
    if (lk > 0) {
      if (static_cast<std::int64_t>(lk) < 39 - static_cast<std::int64_t>(a.size())) {
        WriteInside(file, start + kAddressAt + static_cast<std::int64_t>(a.size()),
                    Format(" %s", k));
      } else {
        CutText(d, 29 - lk);
        WriteInside(file, start + kLocalityAt + static_cast<std::int64_t>(d.size()),
                    Format(" %s", k));
      }
    }
    WriteInside(file, start + kComplementsAt, Format("%-30s", ""));
  }
  std::string amount;
  if (has_amount && Inside(file, start, static_cast<std::size_t>(kAmountFieldEnd)) &&
      ReadAt(file, start + kAmountAt, kAmountWidth, amount) && TextToValue(amount) > 0) {
    WriteInside(file, start + kAmountAt, Format("%-20s", ""));
    WriteInside(file, start + kAmountTo, Format("%-18s", amount));
  }
}

// Folds the address fields of one table; false when it could not be written.
bool FoldTable(Context& ctx, const RegisterTable& table) {
  FileHandle file = OpenUpdate(ctx.fs, table.file, FileMode::kText);
  if (!file) return true;
  file->SetRecordLength(static_cast<std::uint32_t>(table.record_length));
  const bool is_register = table.file == kRegisterTables[0].file;
  const bool has_amount = table.file == kRegisterTables[2].file;
  std::string a;
  for (std::int64_t n = 0; ReadAt(*file, n * table.record_length + kAddressAt, kAddressWidth, a);
       ++n) {
    FoldRecord(*file, n * table.record_length, is_register, has_amount, a);
  }
  return CloseFile(file).ok();
}

}  // namespace

bool ConvertVersion301(Context& ctx) {
  // Phase 1: G04 of every selected company.
  std::string failed;
  bool stopped = false;
  ForEachCompany(ctx, OnlyUsableFolders(ctx, [&](std::int64_t, const std::string& co) {
                   if (!stopped) stopped = !WidenG04(ctx, co, failed);
                 }));
  if (stopped) {
    ReportWriteFailure(ctx, kCaption, failed);
    return false;
  }

  // Phase 2: the marker of an older converter.
  if (OpenRead(ctx.fs, kVersion301Marker, FileMode::kText)) {
    ctx.fs.Remove(kVersion301Marker);
    ConvTestAndMark(ctx.fs, kMark);
  }

  // Phase 3: the address fields, once.
  if (ConvTestAndMark(ctx.fs, kMark)) return true;
  for (const RegisterTable& table : kRegisterTables) ctx.fs.Copy(table.file, table.backup, false);
  for (const RegisterTable& table : kRegisterTables) {
    if (!FoldTable(ctx, table)) {
      ReportWriteFailure(ctx, kCaption, table.file);
      return false;
    }
  }
  return true;
}

}  // namespace livrana
