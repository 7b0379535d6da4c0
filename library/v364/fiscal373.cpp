#include "library/v364/fiscal373.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "library/step_io.h"
#include "library/v364/text_table.h"
#include "platform/file_system.h"
#include "records/company.h"
#include "records/format.h"
#include "records/layouts/fiscal.h"
#include "records/layouts/invoices.h"
#include "records/layouts/register.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/conversion_log.h"
#include "run/layouts.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

constexpr std::string_view kMark = "373";
constexpr std::string_view kStep = "fiscal-373";
constexpr std::string_view kCaption = "Conversão 3.73";
constexpr std::string_view kDeferredFile = "0.tmp";
constexpr auto kOldRecord = static_cast<std::int64_t>(kFiscalRecord364);
constexpr std::int64_t kNewRecord = kInvoiceRecord;
constexpr std::size_t kSlotWidth = 16;
constexpr std::uint32_t kFilesOnly =
    platform::kReadOnly | platform::kHidden | platform::kSystem | platform::kArchive;

using F = FiscalLayout364;

std::string_view Sub(std::string_view text, std::size_t offset, std::size_t width) {
  return offset >= text.size() ? std::string_view() : text.substr(offset, width);
}

// Old kinds: "3" extra record, "4" reference, "5" (older form) take their new kinds.
char NewKind(char kind) {
  switch (kind) {
    case '3':
      return '9';
    case '4':
      return '3';
    case '5':
      return '8';
    default:
      return kind;
  }
}

bool Linked(char kind) { return kind == '1' || kind == '2' || kind == '3'; }

// a × b × 0.01 formed in extended precision and stored as a double.
double Percent(double a, double b) {
  long double x = static_cast<long double>(a) * b;
  x *= static_cast<long double>(0.01);
  return static_cast<double>(x);
}

std::string Amount(double value, std::size_t width) {
  std::string text = ValueToText(value, 2);
  return CutText(text, width);
}

// ---------------------------------------------------------------------------------------
// Item, kind "1": old layout (200) -> new layout (400).
//
//   new   width  content
//     0      1   "1"
//     1     10   header number (old 1-10)
//    11      1   a space (the old position digit is cleared)
//    12     19   old 12-30 (code, series, item flag)
//    31      3   old 85-87 (type)          34  2  old 115-116    36  2  old 129-130
//    38      2   old 145-146
//    40     17   old 31-47 (quantity), empty for position digits 2, 3, 4
//    57     17   old 49-65 (value B), empty for position digits 2, 3, 4
//    74     16   empty
//    90     16   B for position digit 2    106 16 B for digit 3    122 16 B for digit 4
//   138      5   p1 (old 88-92)    143 17 u = B * (old 93-99) %    160 16 Round2(u * p1 %)
//   176      5   p2 (old 103-107)  181 17 v = B * (old 108-114) %  198 16 Round2(v * p2 %) - t1
//   214      5   p3 (old 117-121)  219 17 w = B * (old 122-128) %  236 16 w * p3 %
//   252      7   q1 (old 131-137)  259 17 B * (old 138-144) %
//   276      7   q2 (old 147-153)  283 17 B * (old 154-160) %
//   300     99   spaces; 399 the deletion mark
// ---------------------------------------------------------------------------------------
// The fields of an old item that the rebuild reads (offsets and widths in the old record).
struct Field {
  std::size_t offset, width;
};
struct OldItem {
  static constexpr Field kHeader = {1, 10};
  static constexpr std::size_t kDigit = 11;       // the position digit
  static constexpr Field kCodeToFlag = {12, 19};  // code, series, item flag
  static constexpr Field kQuantity = {31, 17};
  static constexpr std::size_t kValue = 49, kValueWidth = 17;  // B: the value's first 17
  static constexpr Field kType = {85, 3};
  static constexpr Field kRate1 = {88, 5}, kShare1 = {93, 7};
  static constexpr Field kRate2 = {103, 5}, kShare2 = {108, 7};
  static constexpr Field kCode1 = {115, 2};
  static constexpr Field kRate3 = {117, 5}, kShare3 = {122, 7};
  static constexpr Field kCode2 = {129, 2};
  static constexpr Field kFixed1 = {131, 7}, kFixedShare1 = {138, 7};
  static constexpr Field kCode3 = {145, 2};
  static constexpr Field kFixed2 = {147, 7}, kFixedShare2 = {154, 7};
};

constexpr std::string_view kItemBody =
    "%-3s%-2s%-2s%-2s%-17s%-17s%-16s%-16s%-16s%-16s%-5s%-17s%-16s%-5s%-17s%-16s%-5s%-17s%-16s%-7s"
    "%-17s%-7s%-17s";

}  // namespace

std::string SlotAmount(double value) {
  std::string text = ValueToText(value, 2);
  if (text.size() <= kSlotWidth) return text;
  for (std::string_view format : {"%.2f", "%.1f", "%.0f"}) {
    text = Format(format, value);
    if (text.size() > kSlotWidth) continue;
    for (char& c : text) {
      if (c == '.') c = ',';
    }
    return text;
  }
  return CutText(text, kSlotWidth);  // not reached: ValueToText writes 1e15 and more as 0
}

std::string RebuildFiscalItem(std::string_view old) {
  using I = OldItem;
  const char digit = Sub(old, I::kDigit, 1).empty() ? ' ' : old[I::kDigit];
  const bool slot = digit == '2' || digit == '3' || digit == '4';
  const double b = TextToValue(Sub(old, I::kValue, I::kValueWidth));
  auto field = [&](Field f) { return Sub(old, f.offset, f.width); };
  auto value = [&](Field f) { return TextToValue(field(f)); };
  auto in_slot = [&](char d) { return digit == d ? SlotAmount(b) : std::string(); };

  const std::string_view p1 = field(I::kRate1), p2 = field(I::kRate2), p3 = field(I::kRate3);
  const double u = Percent(b, value(I::kShare1));
  const double t1 = Round2(Percent(u, TextToValue(p1)));
  const double v = Percent(b, value(I::kShare2));
  double t2 = Round2(Percent(v, TextToValue(p2))) - t1;
  if (t2 < 0) t2 = 0;
  const double w = Percent(b, value(I::kShare3));
  const double t3 = Percent(w, TextToValue(p3));
  const double f1 = Percent(b, value(I::kFixedShare1));
  const double f2 = Percent(b, value(I::kFixedShare2));

  std::string record = Format("1%-10s %-19s", field(I::kHeader), field(I::kCodeToFlag));
  AppendFormat(record, kItemBody, field(I::kType), field(I::kCode1), field(I::kCode2),
               field(I::kCode3), slot ? std::string_view() : field(I::kQuantity),
               slot ? std::string_view() : Sub(old, I::kValue, I::kValueWidth), "", in_slot('2'),
               in_slot('3'), in_slot('4'), p1, Amount(u, 17), Amount(t1, 16), p2, Amount(v, 17),
               Amount(t2, 16), p3, Amount(w, 17), Amount(t3, 16), field(I::kFixed1), Amount(f1, 17),
               field(I::kFixed2), Amount(f2, 17));
  return record;
}

namespace {

// The new file is written through a window of its last records kept in memory: the links
// into a header still in the window are made there, so that the file is written in large
// pieces; a link into a header already written goes to the file.
constexpr std::size_t kWindowRecords = 8192;

class FileConversion {
 public:
  FileConversion(Context& ctx, Conversion& conversion, std::string code, std::string old_path,
                 std::string new_path)
      : ctx_(ctx),
        conversion_(conversion),
        code_(std::move(code)),
        old_(std::move(old_path)),
        new_(std::move(new_path)) {}

  Outcome Run() {
    Outcome why;
    FileHandle in = OpenRead(ctx_.fs, old_, FileMode::kBinary, &why);
    if (!in) return why;
    out_ = conversion_.Create(new_, FileMode::kBinary, &why);
    if (!out_) return why;
    FileHandle deferred = conversion_.Create(kDeferredFile, FileMode::kBinary, &why);
    if (!deferred) return why;
    out_->SetRecordLength(static_cast<std::uint32_t>(kNewRecord));
    deferred->SetRecordLength(static_cast<std::uint32_t>(kNewRecord));
    TextTable table(*in, static_cast<std::size_t>(kOldRecord));
    MainPass(table, *deferred);
    Outcome done = table.failure();
    done.Also(CloseFile(in));
    done.Also(CloseFile(deferred));
    if (done) done = DeferredPass();
    if (done) Flush();
    done.Also(CloseFile(out_));
    return done;
  }

 private:
  std::int64_t Written() const {
    return flushed_ + static_cast<std::int64_t>(window_.size()) / kNewRecord;
  }

  void Append(std::string_view record) {
    window_.append(record);
    if (window_.size() >= kWindowRecords * static_cast<std::size_t>(kNewRecord)) Flush();
  }

  void Flush() {
    if (window_.empty()) return;
    out_->Seek(static_cast<std::uint64_t>(flushed_ * kNewRecord));
    out_->Write(window_);
    flushed_ = Written();
    window_.clear();
  }

  // Enters record g as the last of its kind into the link field of header n, when that
  // field lies inside what is written.
  void Link(char kind, std::int64_t n, std::int64_t g) {
    const std::int64_t field = kind == '1' || kind == '3' ? kInvoiceItemLink : kInvoiceTextLink;
    const std::int64_t pos = field + n * kNewRecord;
    if (n < 0 || pos >= Written() * kNewRecord) return;
    const std::string text = Format("%-10s", Format("%ld", g));
    const std::int64_t window_start = flushed_ * kNewRecord;
    if (pos >= window_start) {
      window_.replace(static_cast<std::size_t>(pos - window_start), text.size(), text);
    } else {
      out_->Seek(static_cast<std::uint64_t>(pos));
      out_->Write(text);
    }
  }

  void MainPass(TextTable& in, RecordFile& deferred) {
    const auto width = static_cast<std::size_t>(kOldRecord);
    for (; in.Load(g_) && !out_->Failed() && !deferred.Failed();) {
      const bool last = !in.Inside((g_ + 1) * kOldRecord);
      // The line end that many tools leave at the end of a file is no record.
      if (last && OnlyLineEnds(in.Raw())) break;
      // A read of the record as text mode gives it; a line break inside it would lengthen
      // the record written from it, so it becomes a space.
      std::string record = OneLineField(in.Field(0, width));
      record[0] = NewKind(record[0]);
      const char mark = record.size() >= width ? record[F::kDeleted] : ' ';
      const char kind = record[0];
      if (Linked(kind)) {
        if (kind == '1') record = RebuildFiscalItem(record);
        const std::int64_t n = LeadingNumber(Sub(record, F::kHeader, F::kHeaderWidth));
        if (g_ > n) {
          Append(Format("%-399s%c", record, mark));
          if (mark != '+') Link(kind, n, g_);
        } else {
          // Its header comes later: a deleted copy keeps the place, a live copy follows all
          // converted records.
          Append(Format("%-399s%c", record, '+'));
          if (mark != '+') deferred.Write(Format("%-399s%c", record, mark));
        }
      } else {
        Append(Format("%-399s%c", record, mark));
      }
      ++g_;
      if (last) break;
      if (ctx_.sink.StatusDue()) ctx_.sink.Status(Format("Empresa %s - NF %09ld   ", code_, g_));
    }
  }

  Outcome DeferredPass() {
    Outcome why;
    FileHandle back = OpenRead(ctx_.fs, kDeferredFile, FileMode::kBinary, &why);
    if (!back) return why;
    const auto width = static_cast<std::size_t>(kNewRecord);
    std::int64_t g = g_ - 1;
    std::string record(width, '\0');
    for (;;) {
      record.resize(width);
      record.resize(back->Read(record.data(), width));
      if (record.empty() || out_->Failed()) break;
      Append(Format("%-400s", record));
      ++g;
      Link(record[0], LeadingNumber(Sub(record, F::kHeader, F::kHeaderWidth)), g);
    }
    Outcome done = back->failure();
    done.Also(CloseFile(back));
    return done;
  }

  Context& ctx_;
  Conversion& conversion_;
  std::string code_;
  std::string old_, new_;
  FileHandle out_;
  std::string window_;
  std::int64_t flushed_ = 0;  // records written to the file before the window
  std::int64_t g_ = 0;
};

std::vector<std::string> CompanyFolders(platform::FileSystem& fs) {
  return IsFolder(fs, kCompanyRoot) ? FoldersOf(fs, kCompanyRoot) : std::vector<std::string>();
}

// The yearly fiscal files of the old layout in a company folder: L50 and more, but not L50A.
bool OldFiscalName(std::string_view name) {
  return !(name.size() > 3 && (name[3] == 'A' || name[3] == 'a'));
}

// One company: its G tables take F names and each old fiscal file without its new one is
// converted, all in the company's conversion; the old files are set aside as .BAK and the
// work file removed when it commits.
Outcome ConvertCompany(Context& ctx, Conversion& conversion, const std::string& code,
                       Fiscal373Result& result) {
  const std::string folder = std::string(kCompanyRoot) + "\\" + code + "\\";
  Outcome listed;
  for (const auto& entry : ctx.fs.Find(folder + "G*.DAT", kFilesOnly, listed)) {
    // A rename whose target exists is not made: both files stay.
    const std::string target = folder + "F" + entry.name.substr(1);
    if (!ctx.fs.Attributes(target)) conversion.RenameAtCommit(folder + entry.name, target);
  }
  if (!listed) return listed;
  bool converted = false;
  for (const auto& entry : ctx.fs.Find(folder + "L50*.DAT", kFilesOnly, listed)) {
    const std::string& name = entry.name;
    if (!OldFiscalName(name)) continue;
    const std::string old_path = folder + name;
    const std::string new_path = folder + "L50A" + name.substr(3);
    if (ctx.fs.Attributes(new_path)) continue;
    if (Outcome done = FileConversion(ctx, conversion, code, old_path, new_path).Run(); !done) {
      result.failed.push_back(old_path);
      return done;
    }
    conversion.SetAsideAtCommit(old_path, folder + name.substr(0, name.size() - 4) + ".BAK");
    result.files.push_back(new_path);
    converted = true;
  }
  if (!listed) return listed;
  if (converted) conversion.RemoveAtCommit(kDeferredFile);
  return {};
}

}  // namespace

bool HasFiscal373Input(platform::FileSystem& fs) {
  if (ConvFind(fs, kMark)) return false;
  for (const std::string& company : CompanyFolders(fs)) {
    const std::string folder = std::string(kCompanyRoot) + "\\" + company;
    for (const std::string& name : FilesOf(fs, folder, "L50*.DAT")) {
      if (OldFiscalName(name)) return true;
    }
    if (!FilesOf(fs, folder, "G*.DAT").empty()) return true;
  }
  return false;
}

Fiscal373Result ConvertFiscal373(Context& ctx) {
  Fiscal373Result result;
  auto failed = [&](Outcome failure) {
    result.outcome = ReportFailure(ctx, kCaption, std::move(failure));
    return result;
  };
  if (ConvFind(ctx.fs, kMark)) {
    result.already_done = true;
    return result;
  }
  // One conversion per company, each committed when the next company begins; the last one
  // also records the mark, so that a run stopped anywhere leaves the mark unrecorded.
  std::unique_ptr<Conversion> company;
  Outcome failure;
  result.register_found = ForEachCompany(
      ctx, OnlyUsableFolders(ctx, OncePerFolder(ctx, [&](std::int64_t, const std::string& code) {
                               if (!failure.ok()) return;
                               if (company && !company->empty()) failure = company->Commit();
                               if (!failure.ok()) return;
                               company = std::make_unique<Conversion>(ctx, kStep);
                               failure = ConvertCompany(ctx, *company, code, result);
                             })));
  if (!failure.ok()) return failed(std::move(failure));
  if (!company) company = std::make_unique<Conversion>(ctx, kStep);
  company->MarkAtCommit(kMark);
  if (Outcome committed = company->Commit(); !committed) return failed(std::move(committed));
  return result;
}

}  // namespace livrana
