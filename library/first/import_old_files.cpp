#include "library/first/import_old_files.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "library/step_io.h"
#include "records/company.h"
#include "records/format.h"
#include "records/record_file.h"
#include "run/safety.h"

namespace livrana {
namespace {

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

// A consumed source is deleted when every record reached a target; when some found none (no
// company code, a name that cannot be used, a target that cannot be opened), it is kept as
// its safety copy instead, so that no record is lost.
void Consume(Context& ctx, std::string_view source, bool every_record_placed) {
  if (every_record_placed) {
    ConsumeSource(ctx, source);
  } else {
    MoveToSafety(ctx, source);
  }
}

bool ImportTable(Context& ctx, const OldTable& table) {
  if (OrdinaryFileExists(ctx.fs, table.target)) return true;
  auto record = [&table](RecordFile& source, std::string& out) {
    std::string piece;
    if (!ReadPiece(source, kTablePieces[0].read, piece)) return false;
    for (std::size_t i = 0; i < kTablePieces.size(); ++i) {
      const TablePiece& p = kTablePieces[i];
      if (i > 0) ReadPiece(source, p.read, piece);
      out += Format(p.format, p.kept ? piece : std::string());
    }
    ReadPiece(source, kTableLastRead, piece);
    out += Format(table.last_format, "");
    return true;
  };
  switch (ConvertFile(ctx.fs, table.source, table.target, false, record)) {
    case FileConversion::kDone:
      ConsumeSource(ctx, table.source);
      return true;
    case FileConversion::kNotOpened:
      // A table that cannot be made leaves its source where it is, unconverted.
      return true;
    case FileConversion::kWriteFailed:
      ReportWriteFailure(ctx, kCaption, table.target);
      return false;
  }
  return false;
}

// Appends one record to a per-company file, opened and closed for it. Gives false when the
// write failed; placed is cleared when the file cannot be opened.
bool AppendRecord(Targets& targets, std::string_view path, std::string_view record, bool& placed) {
  FileHandle out = targets.Append(path);
  if (!out) {
    placed = false;
    return true;
  }
  out->Write(record);
  return CloseFile(out).ok();
}

bool ImportF0dp(Context& ctx) {
  using L = F0dpLayout;
  FileHandle source = OpenSource(ctx.fs, kF0dpSource);
  if (!source) return true;
  Targets targets(ctx.fs);
  bool placed = true;
  std::string record;
  while (std::size_t read = ReadPiece(*source, L::kRecord, record)) {
    // A record too short to reach the code has no file to go to.
    if (read <= L::kCode) {
      placed = false;
      continue;
    }
    std::string text = record.substr(0, L::kTextWidth);
    TrimRight(text);
    std::string code = record.substr(L::kCode, L::kCodeWidth);
    std::string name = code + ".dat";
    if (!UsableFolderName(name)) {
      ctx.sink.Note(
          Format("Registro de %s ignorado: o código \"%s\" não serve como nome de "
                 "arquivo.",
                 kF0dpSource, code));
      placed = false;
      continue;
    }
    std::string path = Format(kF0dpTarget, code);
    if (!AppendRecord(targets, path, Format(kF0dpFormat, text), placed)) {
      CloseFile(source);
      targets.Undo();
      ReportWriteFailure(ctx, kCaption, path);
      return false;
    }
  }
  CloseFile(source);
  Consume(ctx, kF0dpSource, placed);
  return true;
}

bool ImportF3(Context& ctx) {
  using L = F3Layout;
  FileHandle source = OpenSource(ctx.fs, kF3Source);
  if (!source) return true;
  Targets targets(ctx.fs);
  bool placed = true;
  std::string record;
  while (ReadPiece(*source, L::kRecord, record)) {
    std::string code = record.substr(L::kCode, L::kCodeWidth);
    TrimRight(code);
    if (code.empty()) {
      placed = false;
      continue;
    }
    if (!UsableFolderName(code)) {
      ctx.sink.Note(
          Format("Registro de %s ignorado: o código \"%s\" não serve como nome de "
                 "arquivo.",
                 kF3Source, code));
      placed = false;
      continue;
    }
    std::string path = Format(kF3Target, code);
    std::string out = Format(kF3Format, record.substr(L::kFirst, L::kFirstWidth),
                             record.substr(L::kSecond, L::kSecondWidth));
    if (!AppendRecord(targets, path, out, placed)) {
      CloseFile(source);
      targets.Undo();
      ReportWriteFailure(ctx, kCaption, path);
      return false;
    }
  }
  CloseFile(source);
  Consume(ctx, kF3Source, placed);
  return true;
}

// The companies the group files are copied to: those of the older register "F0.DAT", live
// and passing the filter; when it cannot be opened, those of "F00R0.DAT" read without an
// open register.
void ForEachOldCompany(Context& ctx, const CompanyWork& work) {
  FileHandle reg = OpenSource(ctx.fs, kOldRegister);
  if (!reg) {
    ForEachCompanyUnopened(ctx, work);
    return;
  }
  std::string code;
  for (std::int64_t n = 0; GetField(ctx.fs, reg.get(), n, code, kCompanyCode, kOldRegister,
                                    kOldRegisterRecord, kCompanyFieldWidths);
       ++n) {
    if (IsDeleted(reg.get(), n, kOldRegisterRecord)) continue;
    if (!ctx.company_filter.empty() && ctx.company_filter != code) continue;
    work(n, code);
  }
  CloseFile(reg);
}

bool ImportGroups(Context& ctx) {
  Targets targets(ctx.fs);
  FileHandle work = targets.Create(kGroupWork);
  if (!work) return true;
  std::vector<std::string_view> read_files;
  std::string record;
  for (const GroupFile& group : kGroupFiles) {
    FileHandle source = OpenSource(ctx.fs, group.source);
    if (!source) continue;
    read_files.push_back(group.source);
    while (ReadPiece(*source, kGroupRecord, record)) {
      work->Write(Format(kGroupFormat, record.substr(0, group.kept), group.kind));
    }
  }
  if (!CloseFile(work)) {
    targets.Undo();
    ReportWriteFailure(ctx, kCaption, kGroupWork);
    return false;
  }
  bool copied = false;
  if (!read_files.empty()) {
    ForEachOldCompany(ctx, OnlyUsableFolders(ctx, [&](std::int64_t, const std::string& code) {
                        std::string target = Format(kGroupTarget, kGroupFolder, code);
                        if (CopyNew(ctx.fs, kGroupWork, target)) copied = true;
                      }));
  }
  ctx.fs.Remove(kGroupWork);
  // The group files are consumed once their records reached a company; when none received
  // them they are kept as safety copies.
  for (std::string_view file : read_files) Consume(ctx, file, copied);
  return true;
}

void ImportTypeFolder(Context& ctx, const TypeFolder& folder) {
  for (const std::string& name :
       FindOrdinaryFiles(ctx.fs, Format("%s\\*.dat", folder.old_folder))) {
    if (name.size() < kExtensionLength) continue;
    std::string base = name.substr(0, name.size() - kExtensionLength);
    std::string source = Format("%s\\%s.dat", folder.old_folder, base);
    if (folder.drops_last) {
      // A name with no base to shorten stays behind and goes with its folder.
      if (base.empty()) continue;
      base.pop_back();
    }
    CopyNew(ctx.fs, source, Format("%s\\%s.dat", folder.new_folder, base));
  }
  // What was not copied survives in the folder's safety copy.
  MoveToSafety(ctx, folder.old_folder);
}

}  // namespace

bool ImportOldFileSet(Context& ctx) {
  for (const OldTable& table : kOldTables) {
    if (!ImportTable(ctx, table)) return false;
  }
  if (!ImportF0dp(ctx) || !ImportF3(ctx) || !ImportGroups(ctx)) return false;
  for (const TypeFolder& folder : kTypeFolders) ImportTypeFolder(ctx, folder);
  return true;
}

}  // namespace livrana
