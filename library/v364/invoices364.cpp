#include "library/v364/invoices364.h"

#include <array>
#include <optional>
#include <set>
#include <string_view>

#include "platform/file_system.h"
#include "records/company.h"
#include "records/format.h"
#include "records/record_file.h"
#include "records/search.h"
#include "records/values.h"
#include "run/conversion_log.h"
#include "library/v364/items364.h"
#include "run/safety.h"

namespace livrana {
namespace {

constexpr std::string_view kMark = "364";
constexpr std::string_view kCaption = "Conversão 3.64";
constexpr std::int64_t kLedgerRecord = 600;
constexpr std::int64_t kBalanceRecord = 62;
constexpr std::int64_t kProductRecord = 230;
constexpr std::size_t kBalanceField = 20;
constexpr std::size_t kComplementLine = 199;
constexpr std::uint32_t kFilesOnly =
    platform::kReadOnly | platform::kHidden | platform::kSystem | platform::kArchive;

// ---------------------------------------------------------------------------------------
// Ledger record L26<year>.DAT, 600 characters. Offsets of the pieces this step reads.
// ---------------------------------------------------------------------------------------
struct LedgerLayout {
  static constexpr std::int64_t kFirstDate = 0, kDateWidth = 10;
  static constexpr std::int64_t kKind = 10;
  static constexpr std::int64_t kSecondDate = 11;
  static constexpr std::int64_t kPair = 21, kPairWidth = 2;
  static constexpr std::int64_t kSubseries = 24, kSubseriesWidth = 3;
  static constexpr std::int64_t kSeries = 30, kSeriesWidth = 6, kShortSeriesWidth = 3;
  static constexpr std::int64_t kNumber = 36, kNumberWidth = 20, kShortNumberWidth = 10;
  static constexpr std::int64_t kDocument = 46, kDocumentWidth = 10;
  static constexpr std::int64_t kCode = 58, kCodeWidth = 3, kShortCodeWidth = 2;
  static constexpr std::int64_t kState = 61, kOrigin = 62;
  static constexpr std::int64_t kIssuer = 63, kIssuerWidth = 10;
  static constexpr std::int64_t kOperation = 73, kOperationWidth = 4;
  static constexpr std::int64_t kClass = 78, kItemFlag = 79, kModel = 80;
  static constexpr std::int64_t kText = 81, kTextWidth = 24, kReferenceWidth = 10;
  static constexpr std::int64_t kAccount = 105, kAccountWidth = 9;
  static constexpr std::int64_t kExtraNumber = 114, kExtraNumberWidth = 6;
  static constexpr std::int64_t kAmount = 240, kAmountWidth = 18;
  static constexpr std::int64_t kTax1 = 281, kTax1Alt = 525;
  static constexpr std::int64_t kThirdBase = 335, kThirdBaseSpan = 41, kThirdTaxInSpan = 23;
  static constexpr std::int64_t kTax2 = 358, kOther = 430;
  static constexpr std::int64_t kSecondBase = 412;
  static constexpr std::int64_t kNote = 412, kNoteWidth = 54;
};
using L = LedgerLayout;

// The ledger offset of each amount position 1 to 7 (positions 4 and 7 have their rate in
// the 5 characters after the amount).
constexpr std::array<std::int64_t, 8> kPositionOffset = {0, 448, 466, 484, 258, 317, 299, 502};

// The characters at pos, at most width of them (a read stops after a line feed, as a field
// read does); a line feed read becomes a space, so that no line break ever reaches a
// fixed-width record written in text mode. Empty when pos lies outside the file.
std::string Piece(RecordFile* file, std::int64_t pos, std::int64_t width) {
  std::string out;
  if (!SeekInside(file, pos) || !ReadField(file, out, static_cast<std::size_t>(width))) return {};
  for (char& c : out) {
    if (c == '\n') c = ' ';
  }
  return out;
}

std::string_view Sub(std::string_view text, std::size_t offset, std::size_t width) {
  return offset >= text.size() ? std::string_view() : text.substr(offset, width);
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

std::string WithoutExtension(std::string_view name) {
  return std::string(name.substr(0, name.size() >= 4 ? name.size() - 4 : 0));
}

// An amount of the balance file in its 20 characters: "%-20.2lf", cut to 20 so that an
// amount too large for the field loses decimals rather than moving the next fields.
std::string BalanceAmount(double value) {
  std::string text = Format("%-20.2lf", value);
  return CutText(text, kBalanceField);
}

InvoiceBalances ParseBalances(std::string_view record) {
  return {TextToValue(Sub(record, 0, kBalanceField)),
          TextToValue(Sub(record, kBalanceField, kBalanceField)),
          TextToValue(Sub(record, 2 * kBalanceField, kBalanceField))};
}

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

class LedgerReader {
 public:
  LedgerReader(RecordFile* file, std::int64_t r) : file_(file), start_(r * kLedgerRecord) {}
  std::string Get(std::int64_t offset, std::int64_t width) const {
    return Piece(file_, start_ + offset, width);
  }
  char Char(std::int64_t offset) const { return CharOr(Get(offset, 1), ' '); }

 private:
  RecordFile* file_;
  std::int64_t start_;
};

LedgerValues ReadLedgerValues(RecordFile* file, std::int64_t r, int year) {
  LedgerReader in(file, r);
  LedgerValues v;
  v.kind = in.Char(L::kKind);
  v.first_date = in.Get(L::kFirstDate, L::kDateWidth);
  v.second_date = in.Get(L::kSecondDate, L::kDateWidth);
  v.excluded = IsDeleted(file, r, kLedgerRecord) ||
               (v.kind == '0' && TextToDate(v.second_date).year != year);
  v.pair = in.Get(L::kPair, L::kPairWidth);
  v.text_kind = v.kind == '1' && v.pair.size() == 2 && v.pair[0] == '2' && IsAsciiLetter(v.pair[1]);
  v.class_digit = DigitValue(in.Char(L::kClass));
  v.operation = in.Get(L::kOperation, L::kOperationWidth);
  if (!v.operation.empty() && static_cast<unsigned char>(v.operation[0]) >= '5' &&
      (v.kind == '0' || v.kind == '4'))
    v.operation[0] = '1';
  v.amount = TextToValue(in.Get(L::kAmount, L::kAmountWidth));
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
std::string HeaderRecord(const LedgerReader& in, const LedgerValues& v, std::int64_t r) {
  const int sale = v.kind == '2' || v.kind == '4';
  const int not_own = v.kind != '0' && v.kind != '4';
  const char origin = in.Char(L::kOrigin);
  return Format("0%-10ld%d%d%-10s", r, sale, not_own, v.first_date) +
         Format("%-10s%-2s", in.Get(L::kIssuer, L::kIssuerWidth), v.pair) +
         Format("%-7s", in.Get(L::kSeries, L::kSeriesWidth)) +
         Format("%-20s%-10s%-4s", in.Get(L::kNumber, L::kNumberWidth), v.second_date, v.operation) +
         Format("%c%c%d", in.Char(L::kState), origin == '1' ? '9' : origin, v.class_digit) +
         Format("%-1s", in.Get(L::kModel, 1)) +
         Format("%-9s%-110s%1s", in.Get(L::kAccount, L::kAccountWidth), ValueToText(v.amount, 2),
                v.excluded ? "+" : " ");
}

// The complement line of a ledger record of kind "3": its first 41 characters are the key
// of the invoice it completes, the rest becomes the reference record.
std::string ComplementLine(const LedgerReader& in, const LedgerValues& v) {
  return Format("01%-10s%-10s%-2s", v.first_date, in.Get(L::kIssuer, L::kIssuerWidth), v.pair) +
         Format("%-7s", in.Get(L::kSeries, L::kSeriesWidth)) +
         Format("%-10s", in.Get(L::kNumber, L::kShortNumberWidth)) +
         Format("01%-10s%-10s", v.second_date, in.Get(L::kText, L::kReferenceWidth)) +
         Format("%-2s", in.Get(L::kCode, L::kShortCodeWidth)) +
         Format("%-7s", in.Get(L::kSubseries, L::kSubseriesWidth)) +
         Format("%-47s%s\n", in.Get(L::kDocument, L::kDocumentWidth),
                ValueToFieldText(v.amount, 18));
}

constexpr std::size_t kKeyOffset = 11, kKeyWidth = 41;
constexpr std::size_t kComplementRest = 41;  // the reference carries the line from here

class CompanyConversion {
 public:
  CompanyConversion(Context& ctx, std::int64_t n, std::string code, Invoices364Result& result)
      : ctx_(ctx), n_(n), code_(std::move(code)), folder_("R00\\" + code_), result_(result) {}

  void Run() {
    ctx_.sink.Status(Format("Empresa %s", code_));
    for (int pass = 0; pass <= 1; ++pass) {
      std::string rate;
      ReadCompanyField(ctx_, nullptr, n_, rate, kCompanyRateCode);
      rate_code_ = LeadingNumber(rate);
      std::vector<std::pair<std::string, int>> ledgers = Ledgers();
      for (const auto& [name, year] : ledgers) Ledger(pass, name, year);
      if (pass == 0 && !ledgers.empty()) AddProducts();
    }
    for (const auto& entry : ctx_.fs.Find(Path("*.TMP"), kFilesOnly))
      ctx_.fs.Remove(Path(entry.name));
  }

 private:
  std::string Path(std::string_view name) const { return folder_ + "\\" + std::string(name); }
  std::string YearFile(std::string_view format, int year) const {
    return Path(Format(format, year));
  }

  // The yearly ledgers of the company, in the order of the directory search, each with its
  // year. Only the first ledger of a year is converted: two would share one fiscal file and
  // one balance file.
  std::vector<std::pair<std::string, int>> Ledgers() {
    std::vector<std::pair<std::string, int>> ledgers;
    std::set<int> years;
    for (const auto& entry : ctx_.fs.Find(Path("L26*.DAT"), kFilesOnly)) {
      std::optional<int> year = YearOfName(entry.name, 3);
      if (!year || !years.insert(*year).second) {
        ctx_.sink.Note(
            Format("%s: não é um livro anual de notas; não foi convertido.", Path(entry.name)));
        continue;
      }
      ledgers.emplace_back(entry.name, *year);
    }
    return ledgers;
  }

  void Ledger(int pass, const std::string& name, int year) {
    const std::string ledger_path = Path(name);
    const std::string fiscal_path = YearFile("L50%d.DAT", year);
    const std::string balance_path = YearFile("X%d.TMP", year);
    const std::string complement_path = Path("C.TMP");
    FileHandle ledger = OpenRead(ctx_.fs, ledger_path, FileMode::kText);
    FileHandle fiscal = OpenAppend(ctx_.fs, fiscal_path, FileMode::kText);
    FileHandle balance = pass == 0 ? OpenCreate(ctx_.fs, balance_path, FileMode::kText)
                                   : OpenRead(ctx_.fs, balance_path, FileMode::kText);
    FileHandle complement = OpenCreateUpdate(ctx_.fs, complement_path, FileMode::kText);
    if (ledger) ledger->SetRecordLength(static_cast<std::uint32_t>(kLedgerRecord));
    if (fiscal) fiscal->SetRecordLength(static_cast<std::uint32_t>(kFiscalRecord364));

    if (ledger && fiscal) {
      for (std::int64_t r = 0; !Piece(ledger.get(), r * kLedgerRecord, 11).empty(); ++r) {
        LedgerValues v = ReadLedgerValues(ledger.get(), r, year);
        LedgerReader in(ledger.get(), r);
        if (pass == 0) {
          FirstPass(in, v, r, *fiscal, balance.get(), complement.get());
        } else if (!v.excluded) {
          SecondPass(in, v, r, *fiscal, balance.get());
        }
        if (!SeekInside(ledger.get(), (r + 1) * kLedgerRecord)) break;
        ctx_.sink.Status(Format("Emp%s NF%04d-%d/%ld", code_, year, pass, r + 1));
      }
    }
    CloseFile(ledger);
    Finish(fiscal, fiscal_path);
    Finish(balance, balance_path);
    if (pass == 0) AddReferences(fiscal_path, complement.get());
    Finish(complement, complement_path);

    if (pass == 1) {
      const std::string bak = Path(WithoutExtension(name) + ".BAK");
      MoveToSafety(ctx_, bak);
      if (ctx_.fs.Rename(ledger_path, bak)) result_.ledgers.push_back(ledger_path);
    }
  }

  void FirstPass(const LedgerReader& in, const LedgerValues& v, std::int64_t r, RecordFile& fiscal,
                 RecordFile* balance, RecordFile* complement) {
    if (v.kind == '3') {
      if (complement != nullptr) complement->Write(ComplementLine(in, v));
      fiscal.Write(Format("%200s", "+"));
    } else {
      fiscal.Write(HeaderRecord(in, v, r));
    }
    const bool second_kind = v.kind == '2' || v.kind == '4';
    const std::string tax1 = in.Get(second_kind ? L::kTax1Alt : L::kTax1, L::kAmountWidth);
    const std::string tax2 = in.Get(L::kTax2, L::kAmountWidth);
    const std::string other = in.Get(L::kOther, L::kAmountWidth);
    const double remaining =
        v.text_kind ? v.amount : v.amount - TextToValue(tax2) - TextToValue(other);
    if (balance != nullptr) {
      balance->Write(BalanceAmount(remaining) +
                     Format("%-20s%-20s%c%d", tax1, tax2, v.item_flag, v.class_digit));
    }
  }

  void SecondPass(const LedgerReader& in, const LedgerValues& v, std::int64_t r, RecordFile& fiscal,
                  RecordFile* balance) {
    InvoiceBalances balances;
    if (balance != nullptr)
      balances = ParseBalances(Piece(balance, r * kBalanceRecord, kBalanceRecord - 1));
    int written = 0;  // items of positions 4 to 7
    for (int i = 1; i <= 7; ++i) {
      if (i <= 3 && v.text_kind) continue;
      const std::int64_t at = kPositionOffset[static_cast<std::size_t>(i)];
      LedgerItem item;
      item.record = r;
      item.position = i;
      item.operation = v.operation;
      item.item_flag = v.item_flag;
      ItemAmounts& a = item.amounts;
      a.value = TextToValue(in.Get(at, L::kAmountWidth));
      if (a.value == 0) continue;
      if (i == 4 || i == 7) {
        a.rate1 = TextToValue(in.Get(at + L::kAmountWidth, 5));
        a.base1 = a.value;
      }
      if (written == 0 && i != 7 && !v.text_kind) {
        a.base2 = TextToValue(in.Get(L::kSecondBase, L::kAmountWidth));
        a.rate2 = a.base2 > 0 ? a.rate1 : 0;
      }
      if (written == 0) {
        const std::string span = in.Get(L::kThirdBase, L::kThirdBaseSpan);
        a.base3 = TextToValue(Sub(span, 0, L::kAmountWidth));
        const double third_tax = TextToValue(Sub(span, L::kThirdTaxInSpan, L::kAmountWidth));
        if (a.base3 == 0 && third_tax > 0) a.base3 = a.value - third_tax;
        a.rate3 = a.base3 > 0 ? third_tax * 100 / a.base3 : 0;
      }
      if (i >= 4 && v.class_digit <= 7) item.fixed = FixedRatesFor(rate_code_);
      if (balance != nullptr) {
        Apportion(a, balances);
        if (Round2(a.value) <= 0 || ((i == 5 || i == 6) && Round2(balances.remaining) < 0))
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

  // Each complement line points to the first live header that agrees with it on the key.
  void AddReferences(const std::string& fiscal_path, RecordFile* complement) {
    FileHandle fiscal = OpenUpdate(ctx_.fs, fiscal_path, FileMode::kText);
    if (fiscal && complement != nullptr && SeekInside(complement, 0)) {
      fiscal->SetRecordLength(static_cast<std::uint32_t>(kFiscalRecord364));
      std::string line;
      while (ReadField(complement, line, kComplementLine)) {
        if (!HasText(line)) continue;
        std::int32_t found = -1;
        if (FindRecordByKey(ctx_, fiscal.get(), fiscal_path,
                            static_cast<std::int32_t>(kFiscalRecord364), found,
                            Sub(line, 0, kKeyWidth), kKeyOffset, kKeyWidth)) {
          CleanText(line);
          fiscal->Seek(fiscal->Size());
          fiscal->Write(Format("4%-10ld%-189s", found, Sub(line, kComplementRest, line.size())));
        }
      }
    }
    Finish(fiscal, fiscal_path);
  }

  // The product items of every R63<year>.DAT, added to the invoices they name.
  void AddProducts() {
    std::set<int> years;
    for (const auto& entry : ctx_.fs.Find("R63\\*.DAT", kFilesOnly)) {
      std::optional<int> year = YearOfName(entry.name, 0);
      if (!year || !years.insert(*year).second) continue;
      Products("R63\\" + entry.name, *year);
    }
  }

  void Products(const std::string& product_path, int year) {
    const std::string fiscal_path = YearFile("L50%d.DAT", year);
    const std::string balance_path = YearFile("X%d.TMP", year);
    FileHandle products = OpenRead(ctx_.fs, product_path, FileMode::kText);
    FileHandle fiscal = OpenAppend(ctx_.fs, fiscal_path, FileMode::kText);
    FileHandle balance = OpenUpdate(ctx_.fs, balance_path, FileMode::kText);
    if (products && fiscal) {
      products->SetRecordLength(static_cast<std::uint32_t>(kProductRecord));
      for (std::int64_t s = 0;; ++s) {
        const std::string record = Piece(products.get(), s * kProductRecord, kProductRecord);
        if (record.empty()) break;
        std::string owner(Sub(record, 0, 10));
        if (TrimRight(owner) == code_ && !IsDeleted(products.get(), s, kProductRecord))
          Product(record, *fiscal, balance.get());
        if (!SeekInside(products.get(), (s + 1) * kProductRecord)) break;
        ctx_.sink.Status(Format("Emp%s Prod%04d-%d/%ld", code_, year, 0, s + 1));
      }
    }
    CloseFile(products);
    Finish(fiscal, fiscal_path);
    Finish(balance, balance_path);
  }

  void Product(std::string_view record, RecordFile& fiscal, RecordFile* balance) {
    ProductItem item;
    item.product = record;
    item.invoice = LeadingNumber(Sub(record, 10, 10));
    ItemAmounts& a = item.amounts;
    a.value = TextToValue(Sub(record, 67, 18));
    a.base1 = TextToValue(Sub(record, 108, 6)) * a.value * 0.01;
    a.rate1 = TextToValue(Sub(record, 103, 5));
    a.base2 = TextToValue(Sub(record, 119, 6)) * a.value * 0.01;
    a.rate2 = TextToValue(Sub(record, 114, 5));
    a.rate3 = TextToValue(Sub(record, 125, 5));
    a.base3 = a.rate3 > 0 ? a.value : 0;
    if (balance != nullptr) {
      // An invoice number that names no ledger record has nothing left to give, and its
      // balances are not written: nothing is written outside the balance file's records.
      const std::int64_t at = item.invoice * kBalanceRecord;
      const std::string stored = Piece(balance, at, kBalanceRecord);
      InvoiceBalances balances = ParseBalances(stored);
      item.item_flag = CharOr(Sub(stored, 60, 1), '1');
      item.class_digit = DigitValue(CharOr(Sub(stored, 61, 1), '0'));
      Apportion(a, balances);
      if (!stored.empty() && SeekInside(balance, at)) {
        balance->Write(BalanceAmount(balances.remaining) + BalanceAmount(balances.tax1) +
                       BalanceAmount(balances.tax2));
        balance->Flush();
      }
      if (Round2(a.value) <= 0) return;
    }
    fiscal.Write(ProductItemRecord(item));
  }

  // Closes a file that was written; a write that failed is reported at the end of the run.
  void Finish(FileHandle& file, std::string_view path) {
    if (file && !CloseFile(file) && result_.ok) {
      result_.ok = false;
      result_.failed_file = path;
    }
    file.reset();
  }

  Context& ctx_;
  std::int64_t n_;
  std::string code_;
  std::string folder_;
  Invoices364Result& result_;
  int rate_code_ = 0;
};

}  // namespace

Invoices364Result ConvertInvoices364(Context& ctx) {
  Invoices364Result result;
  if (ConvTestAndMark(ctx.fs, kMark)) {
    result.already_done = true;
    return result;
  }
  result.register_found =
      ForEachCompany(ctx, OnlyUsableFolders(ctx, [&](std::int64_t n, const std::string& code) {
                       CompanyConversion(ctx, n, code, result).Run();
                     }));
  if (result.register_found) {
    // The product table has been added to every company: it is set aside.
    for (const auto& entry : ctx.fs.Find("R63\\*.DAT", kFilesOnly)) {
      if (!YearOfName(entry.name, 0)) continue;
      const std::string bak = "R63\\" + WithoutExtension(entry.name) + ".BAK";
      MoveToSafety(ctx, bak);
      ctx.fs.Rename("R63\\" + entry.name, bak);
    }
  }
  if (!result.ok) {
    ctx.sink.Fail(kCaption, Format("Erro ao gravar o arquivo %s.\nOs livros de notas foram "
                                   "preservados com a extensão .BAK.",
                                   result.failed_file));
  }
  return result;
}

}  // namespace livrana
