#include "library/v320/rate_tables.h"

#include <string>

#include "library/v320/text_tables.h"
#include "records/format.h"
#include "records/layouts/rate_tables.h"
#include "records/record_file.h"
#include "records/values.h"

namespace livrana {
namespace {

using G = G15Layout;
using L = YearlyL15Layout;

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

// Each L15 field, in the order written, with the G15 characters it comes from.
constexpr L15Field kL15Fields[] = {
    {L::kName, L::kNameWidth, L15Source::kCopy, G::kName, G::kNameWidth, "%-60s"},
    {L::kFlag, L::kFlagWidth, L15Source::kOneOrZero, G::kFlag, G::kFlagWidth, "%-2s"},
    {L::kCnpj, L::kCnpjWidth, L15Source::kCopy, G::kCnpj, G::kCnpjWidth, "%-18s"},
    {L::kKind, L::kKindWidth, L15Source::kCopy, G::kKind, G::kKindWidth, "%1s"},
    {L::kStateNumber, L::kStateNumberWidth, L15Source::kCopy, G::kStateNumber, G::kStateNumberWidth,
     "%-20s"},
    {L::kAddress, L::kAddressWidth, L15Source::kCopy, G::kAddress, G::kAddressWidth, "%-120s"},
    {L::kState, L::kStateWidth, L15Source::kCopy, G::kState, G::kStateWidth, "%-3s"},
    {L::kCity, L::kCityWidth, L15Source::kCopy, G::kCity, G::kCityWidth, "%-38s"},
    {L::kClosingDay, L::kClosingDayWidth, L15Source::kLiteral, 0, 0, "%-6s"},
    {L::kYear, L::kYearWidth, L15Source::kYear, 0, 0, "%-142d"},
    {L::kAmount3, L::kAmountWidth, L15Source::kCopy, G::kAmount3, G::kAmountWidth, "%-18s"},
    {L::kValue2, L::kAmountWidth, L15Source::kCopy, G::kValue2, G::kValueWidth, "%-18s"},
    {L::kValue3, L::kAmountWidth, L15Source::kCopy, G::kValue3, G::kValueWidth, "%-18s"},
    {L::kAmount1, L::kAmountWidth, L15Source::kCopy, G::kAmount1, G::kAmountWidth, "%-18s"},
    {L::kAmount2, L::kAmountWidth, L15Source::kCopy, G::kAmount2, G::kAmountWidth, "%-18s"},
    {L::kValue1, L::kValue1Width, L15Source::kCopy, G::kValue1, G::kValueWidth, "%-54s"},
    {L::kExtra1, L::kExtraWidth, L15Source::kCopy, G::kExtra1, G::kExtraWidth, "%-5s"},
    {L::kExtra3, L::kExtraWidth, L15Source::kCopy, G::kExtra3, G::kExtraWidth, "%-5s"},
    {L::kRates, L::kRatesWidth, L15Source::kRates, G::kRateCode, G::kRateCodeWidth,
     "%-5s%-6s%-5s%-6s"},
    {L::kPostalCode, L::kPostalCodeWidth, L15Source::kCopy, G::kPostalCode, G::kPostalCodeWidth,
     "%-6s"},
    {L::kExtra2, L::kExtra2Width, L15Source::kCopy, G::kExtra2, G::kExtraWidth, "%-55s"},
    {L::kYesNo, L::kYesNoWidth, L15Source::kIsS, G::kYesNo, G::kYesNoWidth, "%d"},
    {L::kShortCode, L::kShortCodeWidth, L15Source::kTwice, G::kShortCode, G::kShortCodeWidth,
     "%3s%3s"},
    {L::kBlank, L::kBlankWidth, L15Source::kBlank, 0, 0, "%-246s"},
};
constexpr std::string_view kClosingDay = "31/12/";

constexpr bool L15FieldsTile() {
  std::size_t at = 0;
  for (const L15Field& f : kL15Fields) {
    if (f.target != at || f.count > f.width) return false;
    at += f.width;
  }
  return at == kYearlyL15Record;
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
        AppendFormat(record, f.format, piece);
        break;
      case L15Source::kOneOrZero:
        AppendFormat(record, f.format, piece == "1" ? "1" : "0");
        break;
      case L15Source::kLiteral:
        AppendFormat(record, f.format, kClosingDay);
        break;
      case L15Source::kYear:
        AppendFormat(record, f.format, year);
        break;
      case L15Source::kRates: {
        std::int32_t n = LeadingNumber(piece);
        RatePair pair = n >= 1 && n <= static_cast<std::int32_t>(kRateEntries)
                            ? rates[static_cast<std::size_t>(n - 1)]
                            : RatePair{};
        std::string first = RateText(pair.first, L::kFirstRateWidth);
        std::string second = RateText(pair.second, L::kSecondRateWidth);
        AppendFormat(record, f.format, first, second, first, second);
        break;
      }
      case L15Source::kIsS:
        AppendFormat(record, f.format, piece == "S" ? 1 : 0);
        break;
      case L15Source::kTwice:
        AppendFormat(record, f.format, piece, piece);
        break;
      case L15Source::kBlank:
        AppendFormat(record, f.format, "");
        break;
    }
  }
  // A year beyond four digits would lengthen the record: it is held to its width.
  record.resize(kYearlyL15Record, ' ');
  return OneLine(std::move(record));
}

}  // namespace

Outcome ReadRateTable(Context& ctx, Conversion& conversion, std::string_view co, RateTable& rates) {
  rates = RateTable{};
  std::string path = Format(kRateTableFile, co);
  TableSource file;
  if (Outcome opened = file.Open(ctx.fs, path); !opened)
    return Missing(opened) ? Outcome() : opened;
  std::string piece;
  for (RatePair& pair : rates) {
    file.Read(RateEntryLayout::kFirstWidth, piece);
    pair.first = TextToValue(piece);
    file.Read(RateEntryLayout::kGapWidth, piece);
    file.Read(RateEntryLayout::kSecondWidth, piece);
    pair.second = TextToValue(piece);
  }
  if (Outcome closed = file.Close(); !closed) return closed;
  conversion.MoveToSafetyAtCommit(path);
  return {};
}

Outcome ConvertG15(Context& ctx, Conversion& conversion, std::string_view co, int year,
                   const RateTable& rates) {
  std::string source = Format(kG15File, co);
  std::string target = Format(kYearlyL15File, co, year);
  if (ctx.fs.Attributes(target)) return {};
  Outcome why;
  FileHandle in = OpenRead(ctx.fs, source, FileMode::kBinary, &why);
  if (!in) return Missing(why) ? Outcome() : why;
  FileHandle out = AppendTarget(ctx.fs, conversion, target, why);
  if (!out) return why;
  in->SetRecordLength(static_cast<std::uint32_t>(kG15Record));
  out->SetRecordLength(static_cast<std::uint32_t>(kYearlyL15Record));
  std::string piece;
  Outcome done = WalkRecords(*in, kG15Record, nullptr, [&](std::int64_t, TextRecord& record) {
    // A record is there while something can be read at its start.
    if (!record.ReadAt(G::kName, G::kProbeWidth, piece)) return false;
    if (record.At(G::kDeleted) == '+') return true;
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
  std::string source = Format(kG07File, co);
  std::string target = Format(kG07R0File, co);
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
    if (At(record, G07Layout::kDeleted) == '+' || OnlyLineEnds(record)) continue;
    if (!out->Write(OneLine(Format("%-809s", record)))) break;
  }
  Outcome done = CloseFile(out);
  done.Also(in.Close());
  if (!done) return done;
  conversion.MoveToSafetyAtCommit(source);
  return conversion.Commit();
}

}  // namespace livrana
