#include "library/v320/rate_tables.h"

#include <string>

#include "library/v320/text_tables.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/values.h"

namespace livrana {
namespace {

// ---------------------------------------------------------------------------------------
// G16.DAT: 16 entries of 20 characters, read one after another:
//   0-4 first rate, 5-6 not used, 7-19 second rate.
// ---------------------------------------------------------------------------------------
constexpr std::size_t kFirstRateWidth = 5, kRateGap = 2, kSecondRateWidth = 13;

// ---------------------------------------------------------------------------------------
// G15.DAT (719 characters, "+" in the last when deleted) to L15<year>.DAT (900 characters).
// Each L15 field, in the order written, with the G15 characters it comes from.
// ---------------------------------------------------------------------------------------
constexpr std::size_t kG15Record = 719;
constexpr std::size_t kL15Record = 900;
constexpr std::size_t kG15Probe = 60;  // what is read at a record's start to see it is there

enum class L15Source {
  kCopy,       // the characters read, in the format
  kOneOrZero,  // "1" when the character read is "1", else "0"
  kLiteral,    // the text of the format's argument
  kYear,       // the current year
  kRates,      // the rate pair chosen by the two characters read
  kIsS,        // 1 when the character read is "S", else 0, with "%d"
  kTwice,      // the characters read, twice
  kBlank,      // the empty text
};

struct L15Field {
  std::size_t target;  // L15 offset
  std::size_t width;
  L15Source source;
  std::size_t from;   // G15 offset
  std::size_t count;  // G15 characters read
  std::string_view format;
};

constexpr L15Field kL15Fields[] = {
    {0, 60, L15Source::kCopy, 0, 60, "%-60s"},
    {60, 2, L15Source::kOneOrZero, 230, 1, "%-2s"},
    {62, 18, L15Source::kCopy, 61, 14, "%-18s"},
    {80, 1, L15Source::kCopy, 60, 1, "%1s"},
    {81, 20, L15Source::kCopy, 400, 9, "%-20s"},
    {101, 120, L15Source::kCopy, 113, 117, "%-120s"},
    {221, 3, L15Source::kCopy, 385, 3, "%-3s"},
    {224, 38, L15Source::kCopy, 410, 37, "%-38s"},
    {262, 6, L15Source::kLiteral, 0, 0, "%-6s"},  // "31/12/"
    {268, 142, L15Source::kYear, 0, 0, "%-142d"},
    {410, 18, L15Source::kCopy, 273, 18, "%-18s"},
    {428, 18, L15Source::kCopy, 336, 17, "%-18s"},
    {446, 18, L15Source::kCopy, 353, 17, "%-18s"},
    {464, 18, L15Source::kCopy, 231, 18, "%-18s"},
    {482, 18, L15Source::kCopy, 252, 18, "%-18s"},
    {500, 54, L15Source::kCopy, 319, 17, "%-54s"},
    {554, 5, L15Source::kCopy, 370, 5, "%-5s"},
    {559, 5, L15Source::kCopy, 447, 5, "%-5s"},
    {564, 22, L15Source::kRates, 315, 2, "%-5s%-6s%-5s%-6s"},
    {586, 6, L15Source::kCopy, 394, 6, "%-6s"},
    {592, 55, L15Source::kCopy, 376, 5, "%-55s"},
    {647, 1, L15Source::kIsS, 317, 1, "%d"},
    {648, 6, L15Source::kTwice, 382, 3, "%3s%3s"},
    {654, 246, L15Source::kBlank, 0, 0, "%-246s"},
};
constexpr std::string_view kClosingDay = "31/12/";
constexpr std::size_t kRateTextWidth1 = 5, kRateTextWidth2 = 6;

constexpr bool L15FieldsTile() {
  std::size_t at = 0;
  for (const L15Field& f : kL15Fields) {
    if (f.target != at || f.count > f.width) return false;
    at += f.width;
  }
  return at == kL15Record;
}
static_assert(L15FieldsTile());

std::string RateText(double rate, std::size_t width) {
  std::string text = ValueToText(rate, 2);
  return CutText(text, width);
}

std::string L15Record(const TextRecord& g15, int year, const RateTable& rates) {
  std::string record, piece;
  for (const L15Field& f : kL15Fields) {
    if (f.count > 0) g15.ReadAt(f.from, f.count, piece);
    switch (f.source) {
      case L15Source::kCopy:
        record += Format(f.format, piece);
        break;
      case L15Source::kOneOrZero:
        record += Format(f.format, piece == "1" ? "1" : "0");
        break;
      case L15Source::kLiteral:
        record += Format(f.format, kClosingDay);
        break;
      case L15Source::kYear:
        record += Format(f.format, year);
        break;
      case L15Source::kRates: {
        std::int32_t n = LeadingNumber(piece);
        RatePair pair = n >= 1 && n <= 16 ? rates[static_cast<std::size_t>(n - 1)] : RatePair{};
        std::string first = RateText(pair.first, kRateTextWidth1);
        std::string second = RateText(pair.second, kRateTextWidth2);
        record += Format(f.format, first, second, first, second);
        break;
      }
      case L15Source::kIsS:
        record += Format(f.format, piece == "S" ? 1 : 0);
        break;
      case L15Source::kTwice:
        record += Format(f.format, piece, piece);
        break;
      case L15Source::kBlank:
        record += Format(f.format, "");
        break;
    }
  }
  // A year beyond four digits would lengthen the record: it is held to its width.
  record.resize(kL15Record, ' ');
  return OneLine(std::move(record));
}

// ---------------------------------------------------------------------------------------
// G07.DAT (200 characters, "+" at 199 when deleted) to G07R0.DAT (809 characters): the
// record followed by 609 spaces ("%-809s").
// ---------------------------------------------------------------------------------------
constexpr std::size_t kG07Record = 200;
constexpr std::size_t kG07R0Record = 809;

}  // namespace

Outcome ReadRateTable(Context& ctx, Conversion& conversion, std::string_view co, RateTable& rates) {
  rates = RateTable{};
  std::string path = Format("%s\\G16.DAT", co);
  TableSource file;
  if (Outcome opened = file.Open(ctx.fs, path); !opened)
    return Missing(opened) ? Outcome() : opened;
  std::string piece;
  for (RatePair& pair : rates) {
    file.Read(kFirstRateWidth, piece);
    pair.first = TextToValue(piece);
    file.Read(kRateGap, piece);
    file.Read(kSecondRateWidth, piece);
    pair.second = TextToValue(piece);
  }
  if (Outcome closed = file.Close(); !closed) return closed;
  conversion.MoveToSafetyAtCommit(path);
  return {};
}

Outcome ConvertG15(Context& ctx, Conversion& conversion, std::string_view co, int year,
                   const RateTable& rates) {
  std::string source = Format("%s\\G15.DAT", co);
  std::string target = Format("%s\\L15%d.DAT", co, year);
  if (ctx.fs.Attributes(target)) return {};
  Outcome why;
  FileHandle in = OpenRead(ctx.fs, source, FileMode::kBinary, &why);
  if (!in) return Missing(why) ? Outcome() : why;
  FileHandle out = AppendTarget(ctx.fs, conversion, target, why);
  if (!out) return why;
  in->SetRecordLength(static_cast<std::uint32_t>(kG15Record));
  out->SetRecordLength(static_cast<std::uint32_t>(kL15Record));
  std::string piece;
  Outcome done = WalkRecords(*in, kG15Record, nullptr, [&](std::int64_t, TextRecord& record) {
    // A record is there while something can be read at its start.
    if (!record.ReadAt(0, kG15Probe, piece)) return false;
    if (record.At(kG15Record - 1) == '+') return true;
    // The line end that many tools leave at the end of a file is no record.
    if (record.size() < kG15Record && OnlyLineEnds(record.Raw())) return true;
    return out->Write(L15Record(record, year, rates));
  });
  done.Also(CloseFile(out));
  done.Also(CloseFile(in));
  if (done) conversion.MoveToSafetyAtCommit(source);
  return done;
}

Outcome ConvertG07(Context& ctx, std::string_view co) {
  std::string source = Format("%s\\G07.DAT", co);
  std::string target = Format("%s\\G07R0.DAT", co);
  if (ctx.fs.Attributes(target)) return {};
  TableSource in;
  if (Outcome opened = in.Open(ctx.fs, source); !opened)
    return Missing(opened) ? Outcome() : opened;
  // G07.DAT goes to its safety copy only once G07R0.DAT holds its records, in one step.
  Conversion conversion(ctx);
  Outcome why;
  FileHandle out = AppendTarget(ctx.fs, conversion, target, why);
  if (!out) return why;
  out->SetRecordLength(static_cast<std::uint32_t>(kG07R0Record));
  std::string record;
  while (in.Read(kG07Record, record)) {
    if (At(record, kG07Record - 1) == '+' || OnlyLineEnds(record)) continue;
    if (!out->Write(OneLine(Format("%-809s", record)))) break;
  }
  Outcome done = CloseFile(out);
  done.Also(in.Close());
  if (!done) return done;
  conversion.MoveToSafetyAtCommit(source);
  return conversion.Commit();
}

}  // namespace livrana
