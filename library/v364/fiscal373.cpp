#include "library/v364/fiscal373.h"

#include <cstdint>

#include "platform/file_system.h"
#include "records/company.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/conversion_log.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::string_view kMark = "373";
constexpr std::string_view kCaption = "Conversão 3.73";
constexpr std::string_view kDeferredFile = "0.tmp";
constexpr std::int64_t kOldRecord = 200;
constexpr std::int64_t kNewRecord = 400;
constexpr std::size_t kSlotWidth = 16;
constexpr std::uint32_t kFilesOnly =
    platform::kReadOnly | platform::kHidden | platform::kSystem | platform::kArchive;

// Link fields of a header in the new layout: the number of its last item or reference
// (kinds "1" and "3") and of its last text (kind "2").
constexpr std::int64_t kItemLink = 160;
constexpr std::int64_t kTextLink = 170;

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
  const char digit = Sub(old, 11, 1).empty() ? ' ' : old[11];
  const bool slot = digit == '2' || digit == '3' || digit == '4';
  const double b = TextToValue(Sub(old, 49, 17));
  auto value = [&](std::size_t offset, std::size_t width) {
    return TextToValue(Sub(old, offset, width));
  };
  auto in_slot = [&](char d) { return digit == d ? SlotAmount(b) : std::string(); };

  const std::string_view p1 = Sub(old, 88, 5), p2 = Sub(old, 103, 5), p3 = Sub(old, 117, 5);
  const double u = Percent(b, value(93, 7));
  const double t1 = Round2(Percent(u, TextToValue(p1)));
  const double v = Percent(b, value(108, 7));
  double t2 = Round2(Percent(v, TextToValue(p2))) - t1;
  if (t2 < 0) t2 = 0;
  const double w = Percent(b, value(122, 7));
  const double t3 = Percent(w, TextToValue(p3));
  const double f1 = Percent(b, value(138, 7));
  const double f2 = Percent(b, value(154, 7));

  std::string record =
      "1" + Format("%-10s", Sub(old, 1, 10)) + " " + Format("%-19s", Sub(old, 12, 19));
  record += Format(kItemBody, Sub(old, 85, 3), Sub(old, 115, 2), Sub(old, 129, 2), Sub(old, 145, 2),
                   slot ? std::string_view() : Sub(old, 31, 17),
                   slot ? std::string_view() : Sub(old, 49, 17), "", in_slot('2'), in_slot('3'),
                   in_slot('4'), p1, Amount(u, 17), Amount(t1, 16), p2, Amount(v, 17),
                   Amount(t2, 16), p3, Amount(w, 17), Amount(t3, 16), Sub(old, 131, 7),
                   Amount(f1, 17), Sub(old, 147, 7), Amount(f2, 17));
  return record;
}

namespace {

class FileConversion {
 public:
  FileConversion(Context& ctx, std::string code, std::string old_path, std::string new_path)
      : ctx_(ctx), code_(std::move(code)), old_(std::move(old_path)), new_(std::move(new_path)) {}

  // Converts the file; false when it could not be (the new file is then removed).
  bool Run() {
    FileHandle created = OpenAppend(ctx_.fs, new_, FileMode::kText);
    CloseFile(created);
    out_ = OpenUpdate(ctx_.fs, new_, FileMode::kText);
    FileHandle in = OpenRead(ctx_.fs, old_, FileMode::kText);
    FileHandle deferred = OpenCreate(ctx_.fs, kDeferredFile, FileMode::kText);
    bool ok = in && out_ && deferred;
    if (ok) {
      out_->SetRecordLength(static_cast<std::uint32_t>(kNewRecord));
      in->SetRecordLength(static_cast<std::uint32_t>(kOldRecord));
      MainPass(*in, *deferred);
      ok = CloseFile(deferred).ok() && DeferredPass();
    }
    CloseFile(in);
    CloseFile(deferred);
    ok = CloseFile(out_).ok() && ok;
    return ok;
  }

 private:
  void WriteAtEnd(std::string_view text) {
    out_->Seek(out_->Size());
    out_->Write(text);
  }

  // Enters record g as the last of its kind into the link field of header n.
  void Link(char kind, std::int64_t n, std::int64_t g) {
    const std::int64_t field = kind == '1' || kind == '3' ? kItemLink : kTextLink;
    if (SeekInside(out_.get(), field + n * kNewRecord))
      out_->Write(Format("%-10s", Format("%ld", g)));
    out_->Seek(out_->Size());
  }

  void MainPass(RecordFile& in, RecordFile& deferred) {
    std::string record;
    while (ReadField(&in, record, kOldRecord)) {
      // A line break inside a record would lengthen the text-mode record written from it.
      for (char& c : record) {
        if (c == '\n') c = ' ';
      }
      record[0] = NewKind(record[0]);
      const char mark = record.size() >= static_cast<std::size_t>(kOldRecord) ? record[199] : ' ';
      const char kind = record[0];
      if (Linked(kind)) {
        if (kind == '1') record = RebuildFiscalItem(record);
        const std::int64_t n = LeadingNumber(Sub(record, 1, 10));
        if (g_ > n) {
          WriteAtEnd(Format("%-399s%c", record, mark));
          if (mark != '+') Link(kind, n, g_);
        } else {
          // Its header comes later: a deleted copy keeps the place, a live copy follows all
          // converted records.
          WriteAtEnd(Format("%-399s%c", record, '+'));
          if (mark != '+') deferred.Write(Format("%-399s%c", record, mark));
        }
      } else {
        WriteAtEnd(Format("%-399s%c", record, mark));
      }
      ++g_;
      if (!SeekInside(&in, g_ * kOldRecord)) break;
      ctx_.sink.Status(Format("Empresa %s - NF %09ld   ", code_, g_));
    }
  }

  bool DeferredPass() {
    FileHandle back = OpenRead(ctx_.fs, kDeferredFile, FileMode::kText);
    if (!back) return false;
    back->SetRecordLength(static_cast<std::uint32_t>(kNewRecord));
    std::int64_t g = g_ - 1;
    std::string record;
    while (ReadField(back.get(), record, kNewRecord)) {
      WriteAtEnd(Format("%-400s", record));
      ++g;
      Link(record[0], LeadingNumber(Sub(record, 1, 10)), g);
    }
    return true;
  }

  Context& ctx_;
  std::string code_;
  std::string old_, new_;
  FileHandle out_;
  std::int64_t g_ = 0;
};

// The work file is a file of this step; a folder of that name is not touched.
void RemoveWorkFile(Context& ctx) {
  auto attributes = ctx.fs.Attributes(kDeferredFile);
  if (attributes && (*attributes & platform::kDirectory) == 0) ctx.fs.Remove(kDeferredFile);
}

void ConvertCompany(Context& ctx, const std::string& code, Fiscal373Result& result) {
  const std::string folder = "R00\\" + code + "\\";
  for (const auto& entry : ctx.fs.Find(folder + "G*.DAT", kFilesOnly))
    ctx.fs.Rename(folder + entry.name, folder + "F" + entry.name.substr(1));

  for (const auto& entry : ctx.fs.Find(folder + "L50*.DAT", kFilesOnly)) {
    const std::string& name = entry.name;
    if (name.size() > 3 && (name[3] == 'A' || name[3] == 'a')) continue;
    const std::string old_path = folder + name;
    const std::string new_path = folder + "L50A" + name.substr(3);
    if (ctx.fs.Attributes(new_path)) continue;
    if (!FileConversion(ctx, code, old_path, new_path).Run()) {
      // The old file keeps its name and its records; no empty or partial new file is left.
      ctx.fs.Remove(new_path);
      RemoveWorkFile(ctx);
      result.ok = false;
      result.failed.push_back(old_path);
      continue;
    }
    const std::string bak = folder + name.substr(0, name.size() - 4) + ".BAK";
    MoveToSafety(ctx, bak);
    ctx.fs.Rename(old_path, bak);
    RemoveWorkFile(ctx);
    result.files.push_back(new_path);
  }
}

}  // namespace

Fiscal373Result ConvertFiscal373(Context& ctx) {
  Fiscal373Result result;
  if (ConvTestAndMark(ctx.fs, kMark)) {
    result.already_done = true;
    return result;
  }
  result.register_found =
      ForEachCompany(ctx, OnlyUsableFolders(ctx, [&](std::int64_t, const std::string& code) {
                       ConvertCompany(ctx, code, result);
                     }));
  if (!result.ok) {
    std::string files;
    for (const auto& f : result.failed) files += "\n" + f;
    ctx.sink.Fail(kCaption, Format("Os arquivos fiscais abaixo não puderam ser convertidos e "
                                   "ficaram como estavam:%s",
                                   files));
  }
  return result;
}

}  // namespace livrana
