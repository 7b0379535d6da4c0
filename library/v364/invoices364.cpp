#include "library/v364/invoices364.h"

#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "library/step_io.h"
#include "library/v364/items364.h"
#include "library/v364/text_table.h"
#include "platform/file_system.h"
#include "records/company.h"
#include "records/format.h"
#include "records/layouts/fiscal.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/products.h"
#include "records/record_file.h"
#include "records/values.h"
#include "run/conversion_log.h"
#include "run/layouts.h"
#include "run/step_journal.h"

namespace livrana {
namespace {

using L = InvoiceLedgerLayout;
using F = FiscalLayout364;
using P = ProductLayout;

constexpr std::string_view kMark = "364";
constexpr std::string_view kStep = "invoices-364";
constexpr std::string_view kCaption = "Conversão 3.64";
constexpr std::uint32_t kFilesOnly =
    platform::kReadOnly | platform::kHidden | platform::kSystem | platform::kArchive;

// Balance file X<year>.TMP: one record of 62 characters per ledger record, the remaining
// value, the first and the second tax amount in 20 characters each, then the item flag and
// the class digit. Pass 1 reads the first 61 characters of a record.
constexpr std::size_t kBalanceRecord = 62;
constexpr std::size_t kBalanceField = 20;
constexpr std::size_t kBalanceFlag = 60, kBalanceClass = 61;
constexpr std::size_t kBalanceRead = 61;

// Complement file C.TMP: one line per ledger record of kind "3", read back in pieces of at
// most this many characters; its first kKeyWidth characters are the key of its header, the
// reference carries it from kComplementRest on.
constexpr std::size_t kComplementLine = 199;
constexpr std::size_t kComplementRest = 41;

std::string_view Sub(std::string_view text, std::size_t offset, std::size_t width) {
  return offset >= text.size() ? std::string_view() : text.substr(offset, width);
}

// Round2 of a value; zero, the most common one, as it is.
double Rounded(double value) { return value == 0 ? value : Round2(value); }

// TextToValue of a field; a blank field, the most common one, is 0 at once.
double Value(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos ? 0.0 : TextToValue(text);
}

char CharOr(std::string_view text, char fallback) { return text.empty() ? fallback : text[0]; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int DigitValue(char c) { return c >= '0' && c <= '9' ? c - '0' : 0; }

// The year of a yearly file: the name is prefix, decimal digits and ".DAT". Other names
// (a copy such as "L262016 - Copia.DAT") are not yearly files of the product.
std::optional<int> YearOfName(std::string_view name, std::size_t prefix) {
  constexpr std::string_view kExtension = ".DAT";
  if (name.size() <= prefix + kExtension.size()) return std::nullopt;
  std::string_view digits = name.substr(prefix, name.size() - prefix - kExtension.size());
  if (!platform::SameName(name.substr(name.size() - kExtension.size()), kExtension))
    return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return LeadingNumber(digits);
}

constexpr std::size_t kLedgerPrefix = kInvoiceLedgerPattern.find('*');  // "L26"

std::string WithoutExtension(std::string_view name) {
  return std::string(name.substr(0, name.size() >= 4 ? name.size() - 4 : 0));
}

// Letters a to z in capitals: keys are compared without regard to their case.
std::string FoldedKey(std::string_view key) {
  std::string folded(key);
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

// An amount of the balance file in its 20 characters: "%-20.2lf", cut to 20 so that an
// amount too large for the field loses decimals rather than moving the next fields.
std::string BalanceAmount(double value) {
  std::string text = Format("%-20.2lf", value);
  return CutText(text, kBalanceField);
}

InvoiceBalances ParseBalances(std::string_view record) {
  return {Value(Sub(record, 0, kBalanceField)), Value(Sub(record, kBalanceField, kBalanceField)),
          Value(Sub(record, 2 * kBalanceField, kBalanceField))};
}

// The characters of a work file at pos, at most n of them; empty outside the file.
std::string WorkRecord(RecordFile* file, std::int64_t pos, std::size_t n) {
  if (!SeekInside(file, pos)) return {};
  std::string piece(n, '\0');
  piece.resize(file->Read(piece.data(), n));
  return piece;
}

void ShowStatus(Context& ctx, std::string_view format, std::string_view code, int year, int pass,
                std::int64_t next) {
  if (ctx.sink.StatusDue()) ctx.sink.Status(Format(format, code, year, pass, next));
}

// The yearly ledgers of a company folder, in the order of the directory search, each with its
// year. Only the first ledger of a year is converted: two would share one fiscal file and one
// balance file. None when the folder cannot be listed, why then telling the cause.
std::vector<std::pair<std::string, int>> Ledgers(Context& ctx, const std::string& folder,
                                                 Outcome& why) {
  std::vector<std::pair<std::string, int>> ledgers;
  std::set<int> years;
  for (const auto& entry : ctx.fs.Find(folder + "\\L26*.DAT", kFilesOnly, why)) {
    std::optional<int> year = YearOfName(entry.name, kLedgerPrefix);
    if (!year || !years.insert(*year).second) {
      ctx.sink.Note(
          Format("%s\\%s: não é um livro anual de notas; não foi convertido.", folder, entry.name));
      continue;
    }
    ledgers.emplace_back(entry.name, *year);
  }
  return ledgers;
}

// Whether a company folder holds work files (*.TMP) that an interrupted run left; false when
// the folder cannot be listed, why then telling the cause.
bool HasWorkFiles(Context& ctx, const std::string& folder, Outcome& why) {
  return !ctx.fs.Find(folder + "\\*.TMP", kFilesOnly, why).empty();
}

// One ledger record as the text-mode reads of the ledger give its fields; a line feed read
// becomes a space, so that no line break ever reaches a fixed-width record written from it.
class LedgerRecord {
 public:
  explicit LedgerRecord(const TextTable& table) : table_(table) {}
  // A plain record holds no line feed to make a space of.
  std::string Get(std::size_t offset, std::size_t width) const {
    if (table_.plain()) return std::string(table_.PlainField(offset, width));
    return OneLineField(table_.Field(offset, width));
  }
  char Char(std::size_t offset) const {
    if (table_.plain()) return CharOr(table_.PlainField(offset, 1), ' ');
    return CharOr(Get(offset, 1), ' ');
  }
  // The value of an amount field (Value), without a copy of a plain record's field.
  double Amount(std::size_t offset, std::size_t width) const {
    if (table_.plain()) return Value(table_.PlainField(offset, width));
    return Value(Get(offset, width));
  }

 private:
  const TextTable& table_;
};

// The values of one ledger record that both passes use.
struct LedgerValues {
  char kind = ' ';
  std::string first_date, second_date, pair, operation;
  bool excluded = false;
  bool text_kind = false;
  int class_digit = 0;
  double amount = 0;
  char item_flag = '1';
};

LedgerValues ReadLedgerValues(const TextTable& table, const LedgerRecord& in, int year) {
  LedgerValues v;
  v.kind = in.Char(L::kKind);
  v.first_date = in.Get(L::kFirstDate, L::kDateWidth);
  v.second_date = in.Get(L::kSecondDate, L::kDateWidth);
  v.excluded = table.Deleted() || (v.kind == '0' && TextToDate(v.second_date).year != year);
  v.pair = in.Get(L::kPair, L::kPairWidth);
  v.text_kind = v.kind == '1' && v.pair.size() == 2 && v.pair[0] == '2' && IsAsciiLetter(v.pair[1]);
  v.class_digit = DigitValue(in.Char(L::kClass));
  v.operation = in.Get(L::kOperation, L::kOperationWidth);
  if (!v.operation.empty() && static_cast<unsigned char>(v.operation[0]) >= '5' &&
      (v.kind == '0' || v.kind == '4'))
    v.operation[0] = '1';
  v.amount = in.Amount(L::kAmount, L::kAmountWidth);
  v.item_flag = in.Char(L::kItemFlag) == '1' ? '2' : '1';
  return v;
}

// ---------------------------------------------------------------------------------------
// Header, kind "0" (200 characters):
//   0 "0"; 1 (10) ledger record number; 11 (1) 1 for kinds "2" and "4"; 12 (1) 1 for kinds
//   other than "0" and "4"; 13 (10) first date; 23 (10) ledger 63-72; 33 (2) pair;
//   35 (7) ledger 30-35; 42 (20) ledger 36-55; 62 (10) second date; 72 (4) operation code;
//   76 (1) ledger 61; 77 (1) ledger 62 ("1" written as "9"); 78 (1) class digit;
//   79 (1) ledger 80; 80 (9) ledger 105-113; 89 (110) amount; 199 "+" when excluded.
// Its offsets 11-51 hold what a complement line holds in its first 41 characters, the key
// by which the complement finds its invoice.
// ---------------------------------------------------------------------------------------
std::string HeaderRecord(const LedgerRecord& in, const LedgerValues& v, std::int64_t r) {
  const int sale = v.kind == '2' || v.kind == '4';
  const int not_own = v.kind != '0' && v.kind != '4';
  const char origin = in.Char(L::kOrigin);
  std::string record;
  record.reserve(kFiscalRecord364);
  AppendFormat(record, "0%-10ld%d%d%-10s", r, sale, not_own, v.first_date);
  AppendFormat(record, "%-10s%-2s", in.Get(L::kIssuer, L::kIssuerWidth), v.pair);
  AppendFormat(record, "%-7s", in.Get(L::kSeries, L::kSeriesWidth));
  AppendFormat(record, "%-20s%-10s%-4s", in.Get(L::kNumber, L::kNumberWidth), v.second_date,
               v.operation);
  AppendFormat(record, "%c%c%d", in.Char(L::kState), origin == '1' ? '9' : origin, v.class_digit);
  AppendFormat(record, "%-1s", in.Get(L::kModel, 1));
  AppendFormat(record, "%-9s%-110s%1s", in.Get(L::kAccount, L::kAccountWidth),
               ValueToText(v.amount, 2), v.excluded ? "+" : " ");
  return record;
}

// The complement line of a ledger record of kind "3": its first 41 characters are the key
// of the invoice it completes, the rest becomes the reference record.
std::string ComplementLine(const LedgerRecord& in, const LedgerValues& v) {
  std::string line;
  line.reserve(kComplementLine + 1);
  AppendFormat(line, "01%-10s%-10s%-2s", v.first_date, in.Get(L::kIssuer, L::kIssuerWidth), v.pair);
  AppendFormat(line, "%-7s", in.Get(L::kSeries, L::kSeriesWidth));
  AppendFormat(line, "%-10s", in.Get(L::kNumber, L::kShortNumberWidth));
  AppendFormat(line, "01%-10s%-10s", v.second_date, in.Get(L::kText, L::kReferenceWidth));
  AppendFormat(line, "%-2s", in.Get(L::kCode, L::kShortCodeWidth));
  AppendFormat(line, "%-7s", in.Get(L::kSubseries, L::kSubseriesWidth));
  AppendFormat(line, "%-47s%s\n", in.Get(L::kDocument, L::kDocumentWidth),
               ValueToFieldText(v.amount, L::kAmountWidth));
  return line;
}

// The key field of a loaded fiscal record, as a search compares it: all its characters
// present and the record live, else nothing.
std::optional<std::string> LiveKey(const TextTable& fiscal) {
  std::string key = fiscal.Field(F::kKey, F::kKeyWidth);
  if (key.size() != F::kKeyWidth || fiscal.Deleted()) return std::nullopt;
  return FoldedKey(key);
}

// The product record as its fields read: its bytes when it holds no line break, otherwise
// each field read at its place, a line feed become a space.
std::string ProductFields(const TextTable& table) {
  if (table.plain()) return std::string(table.Raw());
  static constexpr std::pair<std::size_t, std::size_t> kFields[] = {
      {P::kCompany, P::kCompanyWidth},
      {P::kInvoice, P::kInvoiceWidth},
      {P::kCode, P::kCodeWidth},
      {P::kKind, 1},
      {P::kMarker, 1},
      {P::kOperation, P::kOperationWidth},
      {P::kType, P::kTypeWidth},
      {P::kCode1, P::kCodeWidthShort},
      {P::kCode2, P::kCodeWidthShort},
      {P::kCode3, P::kCodeWidthShort},
      {P::kText, P::kTextWidth},
      {P::kValue, P::kValueWidth},
      {P::kRate1, P::kRateWidth},
      {P::kShare1, P::kShareWidth},
      {P::kRate2, P::kRateWidth},
      {P::kShare2, P::kShareWidth},
      {P::kRate3, P::kRateWidth},
      {P::kFixed1, P::kFixedWidth},
      {P::kFixed2, P::kFixedWidth}};
  std::string record(kProductRecord, ' ');
  for (const auto& [offset, width] : kFields) {
    std::string field = OneLineField(table.Field(offset, width));
    record.replace(offset, field.size(), field);
  }
  return record;
}

// The conversion of one company's ledgers, into the step journal's conversion of the
// company: the fiscal files are appended to and the work files created through it, and the
// ledgers are set aside and the work files removed when it commits.
class CompanyConversion {
 public:
  CompanyConversion(Context& ctx, Conversion& conversion, std::int64_t n, std::string code,
                    Invoices364Result& result)
      : ctx_(ctx),
        conversion_(conversion),
        n_(n),
        code_(std::move(code)),
        folder_("R00\\" + code_),
        result_(result) {}

  Outcome Run(const std::vector<std::pair<std::string, int>>& ledgers) {
    for (int pass = 0; pass <= 1; ++pass) {
      std::string rate;
      ReadCompanyField(ctx_, nullptr, n_, rate, kCompanyRateCode);
      rate_code_ = LeadingNumber(rate);
      for (const auto& [name, year] : ledgers) {
        if (Outcome done = Ledger(pass, name, year); !done) return done;
      }
      if (pass == 0 && !ledgers.empty()) {
        if (Outcome done = AddProducts(); !done) return done;
      }
    }
    for (const auto& [name, year] : ledgers) {
      conversion_.SetAsideAtCommit(Path(name), Path(WithoutExtension(name) + ".BAK"));
      result_.ledgers.push_back(Path(name));
    }
    Outcome listed;
    for (const auto& entry : ctx_.fs.Find(Path("*.TMP"), kFilesOnly, listed))
      conversion_.RemoveAtCommit(Path(entry.name));
    return listed;
  }

 private:
  std::string Path(std::string_view name) const { return folder_ + "\\" + std::string(name); }
  std::string YearFile(std::string_view format, int year) const {
    return Path(Format(format, year));
  }

  Outcome Ledger(int pass, const std::string& name, int year) {
    const std::string ledger_path = Path(name);
    const std::string fiscal_path = YearFile("L50%d.DAT", year);
    const std::string balance_path = YearFile("X%d.TMP", year);
    const std::string complement_path = Path("C.TMP");
    Outcome why;
    FileHandle ledger = OpenRead(ctx_.fs, ledger_path, FileMode::kBinary, &why);
    if (!ledger) return why;
    FileHandle fiscal = conversion_.Append(fiscal_path, FileMode::kBinary, &why);
    if (!fiscal) return why;
    FileHandle balance, complement;
    if (pass == 0) {
      balance = conversion_.Create(balance_path, FileMode::kBinary, &why);
      if (!balance) return why;
      complement = conversion_.Create(complement_path, FileMode::kBinary, &why);
      if (!complement) return why;
    } else {
      // Written in pass 0; only a failure other than its absence stops the step.
      balance = OpenRead(ctx_.fs, balance_path, FileMode::kBinary, &why);
      if (!balance && why.cause() != Cause::kNotFound) return why;
    }
    fiscal->SetRecordLength(static_cast<std::uint32_t>(kFiscalRecord364));
    if (balance) balance->SetRecordLength(static_cast<std::uint32_t>(kBalanceRecord));

    TextTable table(*ledger, kInvoiceLedgerRecord);
    const auto width = static_cast<std::int64_t>(kInvoiceLedgerRecord);
    for (std::int64_t r = 0; table.Load(r) && !fiscal->Failed(); ++r) {
      // The line end that many tools leave at the end of a file is no ledger record.
      if (!OnlyLineEnds(table.Raw())) {
        LedgerRecord in(table);
        LedgerValues v = ReadLedgerValues(table, in, year);
        if (pass == 0) {
          FirstPass(in, v, r, *fiscal, *balance, *complement);
        } else if (!v.excluded) {
          SecondPass(in, v, r, *fiscal, balance.get());
        }
      }
      if (!table.Inside((r + 1) * width)) break;
      ShowStatus(ctx_, "Emp%s NF%04d-%d/%ld", code_, year, pass, r + 1);
    }
    Outcome done = table.failure();
    done.Also(CloseFile(ledger));
    done.Also(CloseFile(fiscal));
    done.Also(CloseFile(balance));
    if (done && pass == 0) done = AddReferences(fiscal_path, *complement);
    done.Also(CloseFile(complement));
    return done;
  }

  void FirstPass(const LedgerRecord& in, const LedgerValues& v, std::int64_t r, RecordFile& fiscal,
                 RecordFile& balance, RecordFile& complement) {
    if (v.kind == '3') {
      complement.Write(ComplementLine(in, v));
      fiscal.Write(Format("%200s", "+"));
    } else {
      fiscal.Write(HeaderRecord(in, v, r));
    }
    const bool second_kind = v.kind == '2' || v.kind == '4';
    const std::string tax1 = in.Get(second_kind ? L::kTax1Alt : L::kTax1, L::kAmountWidth);
    const std::string tax2 = in.Get(L::kTax2, L::kAmountWidth);
    const std::string other = in.Get(L::kOther, L::kAmountWidth);
    const double remaining = v.text_kind ? v.amount : v.amount - Value(tax2) - Value(other);
    balance.Write(BalanceAmount(remaining) +
                  Format("%-20s%-20s%c%d", tax1, tax2, v.item_flag, v.class_digit));
  }

  void SecondPass(const LedgerRecord& in, const LedgerValues& v, std::int64_t r, RecordFile& fiscal,
                  RecordFile* balance) {
    InvoiceBalances balances;
    if (balance != nullptr) {
      balances = ParseBalances(
          WorkRecord(balance, r * static_cast<std::int64_t>(kBalanceRecord), kBalanceRead));
    }
    int written = 0;  // items of positions 4 to 7
    for (int i = 1; i <= 7; ++i) {
      if (i <= 3 && v.text_kind) continue;
      const std::size_t at = kInvoiceLedgerPositions[static_cast<std::size_t>(i)];
      LedgerItem item;
      item.record = r;
      item.position = i;
      item.operation = v.operation;
      item.item_flag = v.item_flag;
      ItemAmounts& a = item.amounts;
      a.value = in.Amount(at, L::kAmountWidth);
      if (a.value == 0) continue;
      if (i == 4 || i == 7) {
        a.rate1 = in.Amount(at + L::kAmountWidth, L::kRateWidth);
        a.base1 = a.value;
      }
      if (written == 0 && i != 7 && !v.text_kind) {
        a.base2 = in.Amount(L::kSecondBase, L::kAmountWidth);
        a.rate2 = a.base2 > 0 ? a.rate1 : 0;
      }
      if (written == 0) {
        const std::string span = in.Get(L::kThirdBase, L::kThirdBaseSpan);
        a.base3 = Value(Sub(span, 0, L::kAmountWidth));
        const double third_tax = Value(Sub(span, L::kThirdTaxInSpan, L::kAmountWidth));
        if (a.base3 == 0 && third_tax > 0) a.base3 = a.value - third_tax;
        a.rate3 = a.base3 > 0 ? third_tax * 100 / a.base3 : 0;
      }
      if (i >= 4 && v.class_digit <= 7) item.fixed = FixedRatesFor(rate_code_);
      if (balance != nullptr) {
        Apportion(a, balances);
        if (Rounded(a.value) <= 0 || ((i == 5 || i == 6) && Rounded(balances.remaining) < 0))
          continue;
      }
      fiscal.Write(LedgerItemRecord(item));
      if (i >= 4) ++written;
    }
    const std::string text = in.Get(L::kText, L::kTextWidth);
    if (HasText(text)) fiscal.Write(TextRecord(r, text));
    const std::string extra_number = in.Get(L::kExtraNumber, L::kExtraNumberWidth);
    if (v.text_kind && LeadingNumber(extra_number) > 0) {
      const std::string series = in.Get(L::kSeries, L::kShortSeriesWidth);
      const std::string document = in.Get(L::kDocument, L::kDocumentWidth);
      const std::string code = in.Get(L::kCode, L::kCodeWidth);
      const std::string note = in.Get(L::kNote, L::kNoteWidth);
      fiscal.Write(ExtraRecord({series, v.first_date, document, extra_number, code, note}));
    }
  }

  // The first live record of the fiscal file whose key equals key (letters compared without
  // regard to case), walking the file from its first record.
  static std::optional<std::int64_t> Search(RecordFile& fiscal, const std::string& key) {
    TextTable table(fiscal, kFiscalRecord364);
    for (std::int64_t r = 0; table.Load(r); ++r) {
      if (LiveKey(table) == key) return r;
    }
    return std::nullopt;
  }

  // Each complement line points to the first live record of the fiscal file that agrees
  // with it on the key. The records are indexed by key once; the references appended join
  // the index, since a later line may find one of them. A file that does not end at a
  // record's end is searched record by record instead, as its last record changes with
  // every reference appended.
  Outcome AddReferences(const std::string& fiscal_path, RecordFile& complement) {
    if (!SeekInside(&complement, 0)) return complement.failure();
    Outcome why;
    FileHandle fiscal = OpenUpdate(ctx_.fs, fiscal_path, FileMode::kBinary, &why);
    if (!fiscal) return why;
    const bool aligned = fiscal->Size() % kFiscalRecord364 == 0;
    bool cut = false;  // the file ends at a Ctrl-Z: what is appended is never found
    std::unordered_map<std::string, std::int64_t> first;
    if (aligned) {
      TextTable table(*fiscal, kFiscalRecord364);
      for (std::int64_t r = 0; table.Load(r); ++r) {
        if (auto key = LiveKey(table)) first.emplace(std::move(*key), r);
      }
      cut = table.cut();
    }
    complement.Seek(0);
    std::string line;
    while (!fiscal->Failed() && complement.ReadLine(line, kComplementLine) > 0) {
      if (!HasText(line)) continue;
      std::string key(Sub(line, 0, F::kKeyWidth));
      if (!HasText(PadText(key, F::kKeyWidth))) continue;
      key = FoldedKey(key);
      std::optional<std::int64_t> found;
      if (aligned) {
        if (auto it = first.find(key); it != first.end()) found = it->second;
      } else {
        found = Search(*fiscal, key);
      }
      if (!found) continue;
      CleanText(line);
      const std::string reference =
          Format("4%-10ld%-189s", *found, Sub(line, kComplementRest, line.size()));
      const auto number = static_cast<std::int64_t>(fiscal->Size() / kFiscalRecord364);
      fiscal->Seek(fiscal->Size());
      fiscal->Write(reference);
      if (aligned && !cut && reference.size() == kFiscalRecord364 && reference[F::kDeleted] != '+')
        first.emplace(FoldedKey(Sub(reference, F::kKey, F::kKeyWidth)), number);
    }
    Outcome done = complement.failure();
    done.Also(CloseFile(fiscal));
    return done;
  }

  // The product items of every R63<year>.DAT, added to the invoices they name.
  Outcome AddProducts() {
    std::set<int> years;
    Outcome listed;
    for (const auto& entry :
         ctx_.fs.Find(std::string(kProductFolder) + "\\*.DAT", kFilesOnly, listed)) {
      std::optional<int> year = YearOfName(entry.name, 0);
      if (!year || !years.insert(*year).second) continue;
      if (Outcome done = Products(std::string(kProductFolder) + "\\" + entry.name, *year); !done)
        return done;
    }
    return listed;
  }

  Outcome Products(const std::string& product_path, int year) {
    const std::string fiscal_path = YearFile("L50%d.DAT", year);
    const std::string balance_path = YearFile("X%d.TMP", year);
    Outcome why;
    FileHandle products = OpenRead(ctx_.fs, product_path, FileMode::kBinary, &why);
    if (!products) return why;
    FileHandle fiscal = conversion_.Append(fiscal_path, FileMode::kBinary, &why);
    if (!fiscal) return why;
    FileHandle balance;
    if (IsFile(ctx_.fs, balance_path)) {
      if (Outcome noted = conversion_.Note(balance_path); !noted) return noted;
      balance = OpenUpdate(ctx_.fs, balance_path, FileMode::kBinary, &why);
      if (!balance) return why;
      balance->SetRecordLength(static_cast<std::uint32_t>(kBalanceRecord));
    }
    fiscal->SetRecordLength(static_cast<std::uint32_t>(kFiscalRecord364));
    TextTable table(*products, kProductRecord);
    const auto width = static_cast<std::int64_t>(kProductRecord);
    for (std::int64_t s = 0; table.Load(s) && !fiscal->Failed(); ++s) {
      if (!OnlyLineEnds(table.Raw())) {
        std::string owner = table.Field(P::kCompany, P::kCompanyWidth);
        if (TrimRight(owner) == code_ && !table.Deleted())
          Product(ProductFields(table), *fiscal, balance.get());
      }
      if (!table.Inside((s + 1) * width)) break;
      ShowStatus(ctx_, "Emp%s Prod%04d-%d/%ld", code_, year, 0, s + 1);
    }
    Outcome done = table.failure();
    done.Also(CloseFile(products));
    done.Also(CloseFile(fiscal));
    done.Also(CloseFile(balance));
    return done;
  }

  void Product(std::string_view record, RecordFile& fiscal, RecordFile* balance) {
    ProductItem item;
    item.product = record;
    item.invoice = LeadingNumber(Sub(record, P::kInvoice, P::kInvoiceWidth));
    ItemAmounts& a = item.amounts;
    a.value = Value(Sub(record, P::kValue, P::kValueWidth));
    a.base1 = Value(Sub(record, P::kShare1, P::kShareWidth)) * a.value * 0.01;
    a.rate1 = Value(Sub(record, P::kRate1, P::kRateWidth));
    a.base2 = Value(Sub(record, P::kShare2, P::kShareWidth)) * a.value * 0.01;
    a.rate2 = Value(Sub(record, P::kRate2, P::kRateWidth));
    a.rate3 = Value(Sub(record, P::kRate3, P::kRateWidth));
    a.base3 = a.rate3 > 0 ? a.value : 0;
    if (balance != nullptr) {
      // An invoice number that names no ledger record has nothing left to give, and its
      // balances are not written: nothing is written outside the balance file's records.
      const std::int64_t at = item.invoice * static_cast<std::int64_t>(kBalanceRecord);
      const std::string stored = WorkRecord(balance, at, kBalanceRecord);
      InvoiceBalances balances = ParseBalances(stored);
      item.item_flag = CharOr(Sub(stored, kBalanceFlag, 1), '1');
      item.class_digit = DigitValue(CharOr(Sub(stored, kBalanceClass, 1), '0'));
      Apportion(a, balances);
      if (!stored.empty() && SeekInside(balance, at)) {
        balance->Write(BalanceAmount(balances.remaining) + BalanceAmount(balances.tax1) +
                       BalanceAmount(balances.tax2));
      }
      if (Rounded(a.value) <= 0) return;
    }
    fiscal.Write(ProductItemRecord(item));
  }

  Context& ctx_;
  Conversion& conversion_;
  std::int64_t n_;
  std::string code_;
  std::string folder_;
  Invoices364Result& result_;
  int rate_code_ = 0;
};

// The product tables R63<year>.DAT, which every company has taken its items from; none when
// their folder cannot be listed, why then telling the cause.
std::vector<std::string> ProductTables(platform::FileSystem& fs, Outcome& why) {
  std::vector<std::string> tables;
  for (const auto& entry : fs.Find(std::string(kProductFolder) + "\\*.DAT", kFilesOnly, why)) {
    if (YearOfName(entry.name, 0)) tables.push_back(entry.name);
  }
  return tables;
}

}  // namespace

bool HasInvoices364Input(platform::FileSystem& fs) {
  if (ConvFind(fs, kMark)) return false;
  Outcome listed;  // a folder that cannot be listed shows no input
  if (!ProductTables(fs, listed).empty()) return true;
  if (!IsFolder(fs, kCompanyRoot)) return false;
  for (const std::string& company : FoldersOf(fs, kCompanyRoot)) {
    for (const std::string& name :
         FilesOf(fs, std::string(kCompanyRoot) + "\\" + company, kInvoiceLedgerPattern)) {
      if (YearOfName(name, kLedgerPrefix)) return true;
    }
  }
  return false;
}

Invoices364Result ConvertInvoices364(Context& ctx) {
  Invoices364Result result;
  auto failed = [&](Outcome failure) {
    result.failed_file = failure.file();
    result.outcome = ReportFailure(ctx, kCaption, std::move(failure));
    return result;
  };
  if (ConvFind(ctx.fs, kMark)) {
    result.already_done = true;
    return result;
  }
  {
    // Without a register there is nothing to convert: the mark alone is recorded.
    Outcome why;
    FileHandle reg = OpenRead(ctx.fs, kCompanyRegister, FileMode::kBinary, &why);
    if (!reg) {
      if (why.cause() != Cause::kNotFound) return failed(std::move(why));
      if (Outcome marked = ConvMark(ctx.fs, kMark); !marked) return failed(std::move(marked));
      return result;
    }
  }
  // One conversion per company, each committed when the next company begins; the last one
  // also sets the product tables aside and records the mark, so that a run stopped anywhere
  // leaves the mark unrecorded and some input in place for the next run.
  std::unique_ptr<Conversion> company;
  Outcome failure;
  result.register_found = ForEachCompany(
      ctx, OnlyUsableFolders(
               ctx, OncePerFolder(ctx, [&](std::int64_t n, const std::string& code) {
                 if (!failure.ok()) return;
                 ctx.sink.Status(Format("Empresa %s", code));
                 const std::string folder = std::string(kCompanyRoot) + "\\" + code;
                 auto ledgers = Ledgers(ctx, folder, failure);
                 if (!failure.ok() || (ledgers.empty() && !HasWorkFiles(ctx, folder, failure)))
                   return;
                 if (company) failure = company->Commit();
                 if (!failure.ok()) return;
                 company = std::make_unique<Conversion>(ctx, kStep);
                 failure = CompanyConversion(ctx, *company, n, code, result).Run(ledgers);
               })));
  if (!failure.ok()) return failed(std::move(failure));
  if (!company) company = std::make_unique<Conversion>(ctx, kStep);
  Outcome listed;
  for (const std::string& name : ProductTables(ctx.fs, listed)) {
    const std::string path = std::string(kProductFolder) + "\\" + name;
    company->SetAsideAtCommit(path,
                              std::string(kProductFolder) + "\\" + WithoutExtension(name) + ".BAK");
  }
  if (!listed) return failed(std::move(listed));
  company->MarkAtCommit(kMark);
  if (Outcome committed = company->Commit(); !committed) return failed(std::move(committed));
  return result;
}

}  // namespace livrana
