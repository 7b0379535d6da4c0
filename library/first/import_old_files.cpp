#include "library/first/import_old_files.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "library/first/text_io.h"
#include "library/step_io.h"
#include "records/company.h"
#include "records/format.h"
#include "records/record_file.h"
#include "run/layouts.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::string_view kStep = "import-old-files";
constexpr std::string_view kCaption = "ImportOldFileSet";

// ---------------------------------------------------------------------------------------
// "f1.dat" and "f2.dat" (700 characters a record) become "F1R0.DAT" (814) and "F2R0.DAT"
// (815), a record read in seven pieces:
//
//   source    read  target  format
//     0-289    290     0    "%-290s"
//   290-319     30   290    "%-41s"
//   320-349     30   331    "%-41s"
//   350-399     50   372    "%-60s"
//   400-444     45   432    "%-80s" of an empty text: the piece is dropped
//   445-544    100   512    "%-101s"
//   545-699    155   613    "%-201s" ("%-202s" in F2R0) of an empty text: dropped
// ---------------------------------------------------------------------------------------
struct TablePiece {
  std::size_t read;
  std::string_view format;
  bool kept;  // false: spaces are written in its place
};
constexpr std::array<TablePiece, 6> kTablePieces = {{
    {290, "%-290s", true},
    {30, "%-41s", true},
    {30, "%-41s", true},
    {50, "%-60s", true},
    {45, "%-80s", false},
    {100, "%-101s", true},
}};
constexpr std::size_t kTableLastRead = 155;

struct OldTable {
  std::string_view source, target;
  std::string_view last_format;  // the spaces that end the record
};
constexpr std::array<OldTable, 2> kOldTables = {{
    {"f1.dat", "F1R0.DAT", "%-201s"},
    {"f2.dat", "F2R0.DAT", "%-202s"},
}};

// ---------------------------------------------------------------------------------------
// "f0dp.dat" (51): 0-39 a text, 40 dropped, 41-50 the company code as it stands (trailing
// spaces are part of the file name). Appended to "G04\<code>.dat" as the text less its
// trailing spaces, "%-220s".
// ---------------------------------------------------------------------------------------
struct F0dpLayout {
  static constexpr std::size_t kRecord = 51;
  static constexpr std::size_t kTextWidth = 40;
  static constexpr std::size_t kCode = 41, kCodeWidth = 10;
};
constexpr std::string_view kF0dpSource = "f0dp.dat";
constexpr std::string_view kF0dpTarget = "G04\\%s.dat";
constexpr std::string_view kF0dpFormat = "%-220s";

// ---------------------------------------------------------------------------------------
// "f3.dat" (142): 0-9 the company code (trailing spaces removed), 10 dropped, 11-19 nine
// characters, 20 dropped, 21-141. Appended to "G06\<code>.dat" as "%-11s%-131s" of 11-19
// and 21-141.
// ---------------------------------------------------------------------------------------
struct F3Layout {
  static constexpr std::size_t kRecord = 142;
  static constexpr std::size_t kCode = 0, kCodeWidth = 10;
  static constexpr std::size_t kFirst = 11, kFirstWidth = 9;
  static constexpr std::size_t kSecond = 21, kSecondWidth = 121;
};
constexpr std::string_view kF3Source = "f3.dat";
constexpr std::string_view kF3Target = "G06\\%s.dat";
constexpr std::string_view kF3Format = "%-11s%-131s";

// ---------------------------------------------------------------------------------------
// Group files (52; offset 51 dropped) gathered in the work file "au.dat" (200), written
// "%-51s%-149s": "group00.dat" gives 0-50 and "0", "group01.dat" 0-40 and "1". The work
// file is then copied to "G01\<code>.dat" for every company.
// ---------------------------------------------------------------------------------------
constexpr std::size_t kGroupRecord = 52;
constexpr std::string_view kGroupFormat = "%-51s%-149s";
struct GroupFile {
  std::string_view source;
  std::size_t kept;  // leading characters carried
  std::string_view kind;
};
constexpr std::array<GroupFile, 2> kGroupFiles = {{
    {"group00.dat", 51, "0"},
    {"group01.dat", 41, "1"},
}};
constexpr std::string_view kGroupWork = "au.dat";
constexpr std::string_view kGroupTarget = "%s\\%s.dat";
constexpr std::string_view kGroupFolder = "G01";

// The older company register: 700 characters a record, the code in its first 11, "+" at 699
// for a deleted company.
constexpr std::string_view kOldRegister = "F0.DAT";
constexpr std::int32_t kOldRegisterRecord = 700;

// ---------------------------------------------------------------------------------------
// Type folders: every "*.dat" of the old folder is copied to the new one; the name keeps
// its base in "L01" and loses the base's last character in the others.
// ---------------------------------------------------------------------------------------
struct TypeFolder {
  std::string_view old_folder, new_folder;
  bool drops_last;
};
constexpr std::array<TypeFolder, 6> kTypeFolders = {{
    {"data", "L01", false},
    {"daen2", "L02", true},
    {"dasa2", "L03", true},
    {"dac1", "L04", true},
    {"dac2", "L05", true},
    {"dinv", "L06", true},
}};
constexpr std::size_t kExtensionLength = 4;  // ".dat"

// ---------------------------------------------------------------------------------------
// What the step reads: the six lowercase tables and the six lowercase folders. A table whose
// new table exists already is not converted, and is no input.
// ---------------------------------------------------------------------------------------
constexpr std::array<std::string_view, 2> kOtherSources = {kF0dpSource, kF3Source};

bool FileThere(platform::FileSystem& fs, std::string_view path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & platform::kDirectory) == 0;
}

// Opens a source; null when it is missing (the part is skipped), and then done in why,
// which otherwise tells why an existing source cannot be read.
std::unique_ptr<TextSource> OpenPartSource(Context& ctx, std::string_view path, Outcome& why) {
  auto source = TextSource::Open(ctx.fs, path, &why);
  if (!source && why.cause() == Cause::kNotFound) why = Outcome();
  return source;
}

Outcome ImportTable(Context& ctx, const OldTable& table) {
  if (OrdinaryFileExists(ctx.fs, table.target)) return {};
  auto record = [&table](TextSource& source, std::string& out) {
    std::string piece;
    if (source.First(kTablePieces[0].read, piece) == 0) return false;
    for (std::size_t i = 0; i < kTablePieces.size(); ++i) {
      const TablePiece& p = kTablePieces[i];
      if (i > 0) source.Piece(p.read, piece);
      AppendFormat(out, p.format, p.kept ? std::string_view(piece) : std::string_view());
    }
    source.Piece(kTableLastRead, piece);
    AppendFormat(out, table.last_format, "");
    return true;
  };
  // A table that cannot be made leaves its source where it is, unconverted.
  return ConvertFile(ctx, kStep, {table.source, table.target, false, true}, record);
}

// The per-company records of "f0dp.dat" and "f3.dat": each record goes to the file its
// code names, appended. The source is consumed once every record reached a file; when some
// found none (no company code, a name that cannot be used, a file that cannot be opened)
// it is kept as its safety copy instead, so that no record is lost.
using CompanyRecord = std::function<Outcome(const std::string& record, std::size_t read,
                                            AppendTargets& targets, bool& placed)>;

Outcome ImportCompanyRecords(Context& ctx, std::string_view source_path, std::size_t width,
                             const CompanyRecord& place) {
  Outcome why;
  auto source = OpenPartSource(ctx, source_path, why);
  if (!source) return why;
  Conversion conversion(ctx, kStep);
  AppendTargets targets(conversion, ctx.fs);
  bool placed = true;
  std::string record;
  Outcome done;
  while (std::size_t read = source->First(width, record)) {
    done = place(record, read, targets, placed);
    if (!done) break;
  }
  done.Also(targets.Close());
  done.Also(source->failure());
  if (!done) return done;  // the conversion gives every file back what it held
  ConsumeAtCommit(conversion, ctx.fs, source_path, placed);
  source.reset();
  return conversion.Commit();
}

Outcome ImportF0dp(Context& ctx) {
  using L = F0dpLayout;
  return ImportCompanyRecords(
      ctx, kF0dpSource, L::kRecord,
      [&ctx](const std::string& record, std::size_t read, AppendTargets& targets, bool& placed) {
        // A record too short to reach the code has no file to go to.
        if (read <= L::kCode) {
          placed = false;
          return Outcome();
        }
        std::string text = record.substr(0, L::kTextWidth);
        TrimRight(text);
        std::string code = record.substr(L::kCode, L::kCodeWidth);
        if (!UsableFolderName(code + ".dat")) {
          ctx.sink.Note(
              Format("Registro de %s ignorado: o código \"%s\" não serve como nome de "
                     "arquivo.",
                     kF0dpSource, code));
          placed = false;
          return Outcome();
        }
        return targets.Append(Format(kF0dpTarget, code), Format(kF0dpFormat, text), placed);
      });
}

Outcome ImportF3(Context& ctx) {
  using L = F3Layout;
  return ImportCompanyRecords(
      ctx, kF3Source, L::kRecord,
      [&ctx](const std::string& record, std::size_t, AppendTargets& targets, bool& placed) {
        std::string code = record.substr(L::kCode, L::kCodeWidth);
        TrimRight(code);
        if (code.empty()) {
          placed = false;
          return Outcome();
        }
        if (!UsableFolderName(code)) {
          ctx.sink.Note(
              Format("Registro de %s ignorado: o código \"%s\" não serve como nome de "
                     "arquivo.",
                     kF3Source, code));
          placed = false;
          return Outcome();
        }
        return targets.Append(Format(kF3Target, code),
                              Format(kF3Format, record.substr(L::kFirst, L::kFirstWidth),
                                     record.substr(L::kSecond, L::kSecondWidth)),
                              placed);
      });
}

// Where a file opened in text mode ends: at its first Ctrl-Z byte, or at its size.
std::uint64_t TextEnd(RecordFile& file) {
  char block[4096];
  file.Seek(0);
  while (file.Read(block, sizeof block) == sizeof block) {
  }
  return file.Tell();
}

// The companies the group files are copied to: those of the older register "F0.DAT", live
// and passing the filter; when it cannot be opened, those of "F00R0.DAT" read without an
// open register. A Ctrl-Z byte ends the register: the records from it on are not there, and
// the record it cuts short has no deletion mark.
void ForEachOldCompany(Context& ctx, const CompanyWork& work) {
  FileHandle reg = OpenSource(ctx.fs, kOldRegister);
  if (!reg) {
    ForEachCompanyUnopened(ctx, work);
    return;
  }
  const std::uint64_t end = TextEnd(*reg);
  auto before_end = [end](std::int64_t n, std::int64_t offset) {
    std::int64_t pos = 0;
    return RecordPosition(n, kOldRegisterRecord, offset, pos) &&
           static_cast<std::uint64_t>(pos) < end;
  };
  std::string code;
  for (std::int64_t n = 0;
       before_end(n, 0) && GetField(ctx.fs, reg.get(), n, code, kCompanyCode, kOldRegister,
                                    kOldRegisterRecord, kCompanyFieldWidths);
       ++n) {
    if (before_end(n, kOldRegisterRecord - 1) && IsDeleted(reg.get(), n, kOldRegisterRecord)) {
      continue;
    }
    if (!ctx.company_filter.empty() && ctx.company_filter != code) continue;
    work(n, code);
  }
  CloseFile(reg);
}

// The group files gathered in the work file, which is copied to every company and removed,
// all in one conversion. The group files are consumed once their records reached a company;
// when none received them they are kept as safety copies.
Outcome ImportGroups(Context& ctx) {
  std::vector<std::pair<std::string_view, std::unique_ptr<TextSource>>> sources;
  for (const GroupFile& group : kGroupFiles) {
    Outcome why;
    auto source = OpenPartSource(ctx, group.source, why);
    if (!why) return why;
    if (source) sources.emplace_back(group.source, std::move(source));
  }
  if (sources.empty()) return {};
  Conversion conversion(ctx, kStep);
  Outcome why;
  FileHandle work = OpenTarget(conversion, ctx.fs, kGroupWork, false, why);
  if (!work) return PassedOver(why) ? Outcome() : why;  // the part is skipped
  std::string record;
  for (auto& [name, source] : sources) {
    const GroupFile& group = *std::find_if(kGroupFiles.begin(), kGroupFiles.end(),
                                           [&](const GroupFile& g) { return g.source == name; });
    while (source->First(kGroupRecord, record)) {
      work->Write(OneLine(
          Format(kGroupFormat, std::string_view(record).substr(0, group.kept), group.kind)));
    }
    why.Also(source->failure());
  }
  why.Also(CloseFile(work));
  if (!why) return why;
  bool copied = false;
  ForEachOldCompany(ctx, OnlyUsableFolders(ctx, [&](std::int64_t, const std::string& code) {
                      if (!why) return;
                      bool made = false;
                      why = CopyNew(conversion, ctx.fs, kGroupWork,
                                    Format(kGroupTarget, kGroupFolder, code), made);
                      copied = copied || made;
                    }));
  if (!why) return why;
  conversion.RemoveAtCommit(kGroupWork);
  for (auto& [name, source] : sources) {
    source.reset();
    ConsumeAtCommit(conversion, ctx.fs, name, copied);
  }
  return conversion.Commit();
}

// Every "*.dat" of an old type folder is copied to its new folder; then the old folder goes
// to its safety copy with everything in it, so that what was not copied survives there.
Outcome ImportTypeFolder(Context& ctx, const TypeFolder& folder) {
  if (!IsFolder(ctx.fs, folder.old_folder)) return {};
  Conversion conversion(ctx, kStep);
  Outcome listed;
  for (const std::string& name :
       FindOrdinaryFiles(ctx.fs, Format("%s\\*.dat", folder.old_folder), &listed)) {
    if (name.size() < kExtensionLength) continue;
    std::string base = name.substr(0, name.size() - kExtensionLength);
    std::string source = Format("%s\\%s.dat", folder.old_folder, base);
    if (folder.drops_last) {
      // A name with no base to shorten stays behind and goes with its folder.
      if (base.empty()) continue;
      base.pop_back();
    }
    bool copied = false;
    if (Outcome done = CopyNew(conversion, ctx.fs, source,
                               Format("%s\\%s.dat", folder.new_folder, base), copied);
        !done) {
      return done;
    }
  }
  if (!listed) return listed;
  conversion.MoveToSafetyAtCommit(folder.old_folder);
  return conversion.Commit();
}

Outcome Import(Context& ctx) {
  for (const OldTable& table : kOldTables) {
    if (Outcome done = ImportTable(ctx, table); !done) return done;
  }
  if (Outcome done = ImportF0dp(ctx); !done) return done;
  if (Outcome done = ImportF3(ctx); !done) return done;
  if (Outcome done = ImportGroups(ctx); !done) return done;
  for (const TypeFolder& folder : kTypeFolders) {
    if (Outcome done = ImportTypeFolder(ctx, folder); !done) return done;
  }
  return {};
}

}  // namespace

bool ImportOldFilesHasInput(platform::FileSystem& fs) {
  for (const OldTable& table : kOldTables) {
    if (FileThere(fs, table.source) && !OrdinaryFileExists(fs, table.target)) return true;
  }
  for (std::string_view source : kOtherSources) {
    if (FileThere(fs, source)) return true;
  }
  for (const GroupFile& group : kGroupFiles) {
    if (FileThere(fs, group.source)) return true;
  }
  for (const TypeFolder& folder : kTypeFolders) {
    if (IsFolder(fs, folder.old_folder)) return true;
  }
  return false;
}

Outcome ImportOldFileSet(Context& ctx) {
  Outcome done = Import(ctx);
  return done ? done : ReportFailure(ctx, kCaption, std::move(done));
}

}  // namespace livrana
