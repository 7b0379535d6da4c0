#include "library/v320/repair360.h"

#include <string>

#include "library/v320/text_tables.h"
#include "records/format.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/register.h"
#include "records/record_file.h"
#include "records/values.h"

namespace livrana {
namespace {

// ---------------------------------------------------------------------------------------
// L26<year>.DAT (records/layouts/invoice_ledgers.h): 600-character records; the kind at
// offset 10. Moves by kind:
//
//   kind      from  to   width  condition
//   0, 4        11   0     10   dates exchanged when the first lies in the file's year and
//                               the second is earlier
//   1          466  502    18   offsets 21-22 hold "2" and a letter, amount > 0
//   2, 4        73   79     1   offset 74 a space; 73 then gets "1933" (4) or "5933" (2)
//   2, 4       258  502    18   amount > 0
//   2, 4       276  520     5   amount > 0
//   2, 4       281  525    18   amount > 0
//   3           78   58     2   offset 78 not a space; 78-118 then blank
//   0-4         61   61     1   recoded 0->2, 1->0, 2->1, other->9 (a space stays)
//   0-4         52  114     6   52 not a space; moved when its value is > 0, blanked always
//
// A moved amount's old place is filled with spaces.
// ---------------------------------------------------------------------------------------
using L = InvoiceLedgerLayout;
constexpr std::size_t kHead = L::kSecondDate + L::kDateWidth;  // both dates and the kind

struct AmountMove {
  std::size_t from, to;
  std::size_t width;
  std::string_view format;
};
constexpr AmountMove kKind1Move = {kInvoiceLedgerPositions[2], kInvoiceLedgerPositions[7],
                                   L::kAmountWidth, "%-18s"};
constexpr AmountMove kKind24Moves[] = {
    {kInvoiceLedgerPositions[4], kInvoiceLedgerPositions[7], L::kAmountWidth, "%-18s"},
    {InvoiceLedgerRate(4), InvoiceLedgerRate(7), L::kRateWidth, "%-5s"},
    {L::kTax1, L::kTax1Alt, L::kAmountWidth, "%-18s"},
};
constexpr std::size_t kKind3Blank = 41;  // 78-118 blanked after the move

bool AsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Every read and write stays inside the record, a carriage return written before a line feed
// included, so that a record is repaired on its own.
static_assert(L::kClass + kKind3Blank + 1 <= kInvoiceLedgerRecord);
static_assert(kKind24Moves[2].to + kKind24Moves[2].width + 1 <= kInvoiceLedgerRecord);

class LedgerRepair {
 public:
  explicit LedgerRepair(int year) : year_(year) {}

  // Repairs one record; false when its start cannot be read, which ends the file's walk.
  bool Record(TextRecord& record) {
    record_ = &record;
    if (!record.ReadAt(0, kHead, head_)) return false;
    Repair(head_);
    return true;
  }

 private:
  void Repair(const std::string& head) {
    char kind = head.size() > L::kKind ? head[L::kKind] : '\0';
    if (kind < '0' || kind > '4') return;
    if (kind == '0' || kind == '4') ExchangeDates(head);
    if (kind == '1') MoveKind1();
    if (kind == '2' || kind == '4') MoveKinds24(kind);
    if (kind == '3') MoveKind3();
    Recode61();
    Move52();
  }

  bool Read(std::size_t offset, std::size_t n) { return record_->ReadAt(offset, n, got_); }
  bool Write(std::size_t offset, std::string_view text) {
    return record_->WriteInside(offset, text);
  }
  // Moves an amount when it is greater than 0: written at its new place first, and its old
  // place blanked only when that write was made.
  void MoveAmount(const AmountMove& m) {
    if (!Read(m.from, m.width) || TextToValue(got_) <= 0) return;
    if (Write(m.to, Format(m.format, got_))) Write(m.from, Format(m.format, ""));
  }

  void ExchangeDates(const std::string& head) {
    if (head.size() < kHead) return;
    std::string a = head.substr(L::kFirstDate, L::kDateWidth),
                b = head.substr(L::kSecondDate, L::kDateWidth);
    DateRec da = TextToDate(a), db = TextToDate(b);
    if (da.year != year_ || CompareDate(db, da) >= 0) return;
    if (Write(L::kFirstDate, Format("%-10s", b))) Write(L::kSecondDate, Format("%-10s", a));
  }

  void MoveKind1() {
    if (!Read(L::kPair, L::kPairWidth) || LeadingNumber(got_) != 2 || got_.size() < 2 ||
        !AsciiLetter(got_[1]))
      return;
    MoveAmount(kKind1Move);
  }

  void MoveKinds24(char kind) {
    if (Read(L::kOperation, 2) && got_.size() == 2 && got_[1] == ' ') {
      std::string digit = got_.substr(0, 1);
      if (Write(L::kItemFlag, Format("%1s", digit)))
        Write(L::kOperation, Format("%-4s", kind == '4' ? "1933" : "5933"));
    }
    for (const AmountMove& m : kKind24Moves) MoveAmount(m);
  }

  void MoveKind3() {
    if (!Read(L::kClass, L::kShortCodeWidth) || got_[0] == ' ') return;
    if (Write(L::kCode, Format("%-2s", got_))) Write(L::kClass, std::string(kKind3Blank, ' '));
  }

  void Recode61() {
    if (!Read(L::kState, 1) || got_[0] == ' ') return;
    int digit = got_[0] == '0' ? 2 : got_[0] == '1' ? 0 : got_[0] == '2' ? 1 : 9;
    Write(L::kState, Format("%d", digit));
  }

  void Move52() {
    if (!Read(L::kTicket, L::kTicketWidth) || got_[0] == ' ') return;
    // The old place is blanked in any case, but a value that could not reach its new
    // place keeps it.
    if (LeadingNumber(got_) > 0 && !Write(L::kExtraNumber, Format("%-6s", got_))) return;
    Write(L::kTicket, Format("%-6s", ""));
  }

  const int year_;
  TextRecord* record_ = nullptr;
  std::string head_, got_;
};

}  // namespace

Outcome RepairInvoiceLedgers360(Context& ctx, Conversion& conversion, std::string_view co) {
  std::string folder = Format("%s\\%s", kCompanyRoot, co);
  Outcome listed;
  for (const platform::DirEntry& entry : ctx.fs.Find(folder + "\\L26*.DAT", 0, listed)) {
    std::string path = folder + "\\" + entry.name;
    LedgerRepair repair(LeadingNumber(std::string_view(entry.name).substr(3)));
    Outcome done =
        RewriteRecords(ctx.fs, conversion, path, kInvoiceLedgerRecord,
                       [&](std::int64_t, TextRecord& record) { return repair.Record(record); });
    if (!done && !Missing(done)) return done;
  }
  return listed;
}

}  // namespace livrana
