#include "library/v301/version301.h"

#include <array>
#include <string>

#include "library/step_io.h"
#include "library/v301/walks.h"
#include "records/company.h"
#include "records/format.h"
#include "records/layouts/phone_tables.h"
#include "records/layouts/register.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/conversion_log.h"
#include "run/layouts.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

constexpr std::string_view kCaption = "Conversão 3.01";
constexpr std::string_view kMark = "301";
constexpr std::string_view kStep = "version-301";  // as the journal names it

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
constexpr std::string_view kG04Source = "%s\\G04.DAT";
constexpr std::string_view kG04Target = "%s\\G04R0.DAT";
constexpr std::size_t kG04Record = 220;
constexpr std::size_t kG04Deleted = 219;
constexpr std::size_t kNameWidth = 61;
constexpr std::size_t kSecondAt = 71, kSecondWidth = 40;
constexpr std::uint32_t kG04R0Record = 950;

// Two number texts in 5-character slots, the last without its trailing space, and then
// thirteen in 5-character slots: 12,70 0,00 2,30 0,64 0,00 1,27 0,20 1,91 7,40 2,54 10,55
// 11,55 15,30.
constexpr std::string_view kFirstDefaults = "0,00 0,50";
constexpr std::string_view kSecondDefaults =
    "12,700,00 2,30 0,64 0,00 1,27 0,20 1,91 7,40 2,54 10,5511,5515,30";
static_assert(kSecondDefaults.size() == 13 * 5);

std::string G04R0Record(std::string_view piece) {
  return OneLine(Format("%-61s%-61s%-637s%-191s", Piece(piece, 0, kNameWidth),
                        Piece(piece, kSecondAt, kSecondWidth), kFirstDefaults, kSecondDefaults));
}

// Widens one company's G04.DAT into G04R0.DAT, which is published together with the
// deletion of G04.DAT.
Outcome WidenG04(Context& ctx, const std::string& co) {
  std::string source = Format(kG04Source, co);
  std::string target = Format(kG04Target, co);
  if (OrdinaryFileExists(ctx.fs, target)) return {};
  Outcome why;
  FileHandle in = OpenRead(ctx.fs, source, FileMode::kText, &why);
  if (!in) return why.cause() == Cause::kNotFound ? Outcome() : why;
  Conversion conversion(ctx, kStep);
  FileHandle out = conversion.Append(target, FileMode::kText, &why);
  if (!out) return why;
  out->SetRecordLength(kG04R0Record);
  std::string piece;
  while (ReadField(in.get(), piece, kG04Record)) {
    // A record cut short (the end of the file, or a line feed inside it) gives only its
    // own characters; it has no deletion mark, and is copied unless it holds nothing but
    // line ends.
    if (piece.back() == '\n') piece.pop_back();
    if (EmptyOrLineEnds(piece) || At(piece, kG04Deleted) == '+') continue;
    if (!out->Write(G04R0Record(piece))) break;
  }
  Outcome done = CloseFile(out);
  done.Also(CloseFile(in));
  if (!done) return done;
  conversion.RemoveAtCommit(source);
  return conversion.Commit();
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
  std::int32_t record_length;
};
constexpr std::array<RegisterTable, 3> kRegisterTables = {{
    {kCompanyRegister, "F00R0.BAK", kCompanyRecordLength},
    {kTable01, "F01R0.BAK", kTable01RecordLength},
    {kTable02, "F02R1.BAK", kTable02RecordLength},
}};
using A = AddressFields;
constexpr std::size_t kAddressAt = A::kAddress, kAddressWidth = A::kAddressWidth;
constexpr std::size_t kComplementsAt = A::kComplement, kFirstWidth = A::kComplementWidth;
constexpr std::size_t kOtherWidth = A::kOtherWidth;
constexpr std::size_t kComplementsWidth = kFirstWidth + kOtherWidth;  // B and K
constexpr std::size_t kLocalityAt = A::kLocality, kLocalityWidth = A::kLocalityWidth;
constexpr std::size_t kBlockEnd = kLocalityAt + kLocalityWidth;  // 191
constexpr std::size_t kAddressKept = 39;                         // A, a space and B or K
constexpr std::size_t kLocalityKept = 29;                        // D, a space and K
constexpr std::size_t kRegisterOtherAt = A::kRegisterOther;
constexpr std::size_t kAmountAt = A::kOldCreditLimit, kAmountWidth = A::kCreditLimitWidth;
constexpr std::size_t kAmountFieldWidth = A::kOldCreditLimitWidth;
constexpr std::size_t kAmountTo = A::kCreditLimit;
// Records held in memory at a time while a table is folded.
constexpr std::size_t kChunkRecords = 256;

// Folds one record as the product does it in place in text mode (walks.h): reads of A, B,
// K and D one after the other from 91, then the writes. False when nothing can be read at
// 91, which ends the table's walk.
bool FoldRecord(std::string& record, bool last, const RegisterTable& table) {
  RecordText text(record, last);
  std::string a, b, k, d;
  if (!text.Seek(kAddressAt) || !text.Read(kAddressWidth, a)) return false;
  text.Read(kFirstWidth, b);
  text.Read(kOtherWidth, k);
  text.Read(kLocalityWidth, d);
  TrimRight(a);
  TrimRight(b);
  TrimRight(k);
  TrimRight(d);
  if (table.file == kCompanyRegister) {
    text.Write(kRegisterOtherAt, Format("%-22s", k));
    return true;
  }
  // The fold rewrites 91-190 as a whole or not at all: a record cut short stays as it is.
  if (!last || record.size() >= kBlockEnd) {
    if (!b.empty()) {
      CutText(a, kAddressKept - b.size());
      text.Write(kAddressAt + a.size(), Format(" %s", b));
      a += " " + b;
    }
    if (!k.empty()) {
      if (k.size() + a.size() < kAddressKept) {
        text.Write(kAddressAt + a.size(), Format(" %s", k));
      } else {
        CutText(d, kLocalityKept - k.size());
        text.Write(kLocalityAt + d.size(), Format(" %s", k));
      }
    }
    text.Write(kComplementsAt, std::string(kComplementsWidth, ' '));
  }
  std::string amount;
  if (table.file == kTable02 && (!last || record.size() >= kAmountAt + kAmountFieldWidth) &&
      text.Seek(kAmountAt) && text.Read(kAmountWidth, amount) && TextToValue(amount) > 0) {
    text.Write(kAmountAt, std::string(kAmountFieldWidth, ' '));
    text.Write(kAmountTo, Format("%-18s", amount));
  }
  return true;
}

// The backup copy of a table, unless an older one is there (it stays).
Outcome BackUp(Context& ctx, Conversion& conversion, const RegisterTable& table) {
  if (ctx.fs.Attributes(table.backup) || !ctx.fs.Attributes(table.file)) return {};
  if (Outcome noted = conversion.Note(table.backup); !noted) return noted;
  return ctx.fs.Copy(table.file, table.backup, false);
}

// Writes the folded table under its work name, put in its place at the commit.
Outcome FoldTable(Context& ctx, Conversion& conversion, const RegisterTable& table) {
  if (!ctx.fs.Attributes(table.file)) return {};  // a table the folder does not have
  Outcome why;
  FileHandle in = OpenRead(ctx.fs, table.file, FileMode::kBinary, &why);
  if (!in) return why;
  const auto w = static_cast<std::size_t>(table.record_length);
  in->SetRecordLength(static_cast<std::uint32_t>(w));
  FileHandle out = conversion.Rewrite(table.file, FileMode::kBinary, &why);
  if (!out) return why;
  out->SetRecordLength(static_cast<std::uint32_t>(w));
  const std::uint64_t size = in->Size();
  bool walking = true;
  std::string record, folded;
  for (std::uint64_t start = 0;;) {
    std::string chunk = ReadRaw(*in, kChunkRecords * w);
    if (chunk.empty()) break;
    if (walking) {
      folded.clear();
      for (std::size_t at = 0; at < chunk.size(); at += w) {
        record.assign(chunk, at, w);
        if (walking) walking = FoldRecord(record, start + at + w >= size, table);
        folded += record;
      }
      chunk.swap(folded);
    }
    start += chunk.size();
    if (!out->Write(chunk)) break;
  }
  Outcome done = CloseFile(out);
  done.Also(CloseFile(in));
  return done;
}

// Phase 3: the three tables folded and the mark recorded in one conversion.
Outcome FoldRegisterTables(Context& ctx) {
  // A log that is there but cannot be read must not let the fold run a second time.
  if (ctx.fs.Attributes(kConversionLog)) {
    Outcome why;
    FileHandle log = OpenRead(ctx.fs, kConversionLog, FileMode::kBinary, &why);
    if (!log) return why;
    if (Outcome read = CloseFile(log); !read) return read;
  }
  if (ConvFind(ctx.fs, kMark)) return {};
  // The product opens the tables in place as they stand and would pass over a read-only
  // one for good, while the mark says it was folded: such a table stops the step before
  // anything is written.
  for (const RegisterTable& table : kRegisterTables) {
    auto attributes = ctx.fs.Attributes(table.file);
    if (attributes && (*attributes & platform::kReadOnly) != 0) {
      return Outcome::Failed(Operation::kOpen, table.file, Cause::kReadOnly);
    }
  }
  Conversion conversion(ctx, kStep);
  for (const RegisterTable& table : kRegisterTables) {
    if (Outcome saved = BackUp(ctx, conversion, table); !saved) return saved;
  }
  for (const RegisterTable& table : kRegisterTables) {
    if (Outcome folded = FoldTable(ctx, conversion, table); !folded) return folded;
  }
  conversion.MarkAtCommit(kMark);
  return conversion.Commit();
}

// Phase 2: the marker of an older converter is deleted and the mark recorded, together.
Outcome TakeMarker(Context& ctx) {
  Outcome why;
  FileHandle marker = OpenRead(ctx.fs, kVersion301Marker, FileMode::kText, &why);
  if (!marker) return why.cause() == Cause::kNotFound ? Outcome() : why;
  (void)CloseFile(marker);  // only its presence counts
  Conversion conversion(ctx, kStep);
  conversion.RemoveAtCommit(kVersion301Marker);
  conversion.MarkAtCommit(kMark);
  return conversion.Commit();
}

}  // namespace

Outcome ConvertVersion301(Context& ctx) {
  FileHandle reg;
  Outcome done = OpenCompanyRegister(ctx, reg);
  if (done && reg) {
    done = WalkCompanies(ctx, *reg,
                         [&](std::int64_t, const std::string& co) { return WidenG04(ctx, co); });
    done.Also(CloseFile(reg));
  }
  if (done) done = TakeMarker(ctx);
  if (done) done = FoldRegisterTables(ctx);
  if (!done) return ReportFailure(ctx, kCaption, std::move(done));
  return {};
}

bool Version301HasInput(platform::FileSystem& fs) {
  if (!IsFile(fs, kCompanyRegister) || CompanyFoldersBelowR00(fs)) return false;
  if (IsFile(fs, kVersion301Marker) || !ConvFind(fs, kMark)) return true;
  for (const std::string& co : LiveCompanyCodes(fs)) {
    if (IsFile(fs, Format(kG04Source, co)) && !OrdinaryFileExists(fs, Format(kG04Target, co))) {
      return true;
    }
  }
  return false;
}

}  // namespace livrana
