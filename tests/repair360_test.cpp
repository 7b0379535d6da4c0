#include "library/v320/repair360.h"

#include <gtest/gtest.h>

#include "records/layouts/invoice_ledgers.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;
using L = InvoiceLedgerLayout;

class Repair360Test : public test::StepTest {
 protected:
  void Repair() {
    Conversion conversion(ctx);
    EXPECT_TRUE(RepairInvoiceLedgers360(ctx, conversion, "0001"));
    EXPECT_TRUE(conversion.Commit());
  }
};

TEST_F(Repair360Test, DatesChangePlacesOnlyInTheLedgerOfTheirYear) {
  std::string record =
      Record(kInvoiceLedgerRecord,
             {{L::kFirstDate, "10/05/2016"}, {L::kKind, "0"}, {L::kSecondDate, "02/05/2016"}});
  std::string earlier_second =
      Record(kInvoiceLedgerRecord,
             {{L::kFirstDate, "10/05/2016"}, {L::kKind, "0"}, {L::kSecondDate, "11/05/2016"}});
  Put("R00\\0001\\L262016.DAT", record + earlier_second);
  Put("R00\\0001\\L262015.DAT", record);
  Repair();
  EXPECT_EQ(
      File("R00\\0001\\L262016.DAT"),
      Record(kInvoiceLedgerRecord,
             {{L::kFirstDate, "02/05/2016"}, {L::kKind, "0"}, {L::kSecondDate, "10/05/2016"}}) +
          earlier_second);
  EXPECT_EQ(File("R00\\0001\\L262015.DAT"), record);
}

TEST_F(Repair360Test, FieldsMoveAndAreRecodedByKind) {
  const std::string kind7 = Record(kInvoiceLedgerRecord, {{L::kKind, "7"},
                                                          {L::kTicket, "000123"},
                                                          {L::kState, "0"},
                                                          {L::kOperation, "5 "},
                                                          {kInvoiceLedgerPositions[4], "150,00"}});
  Put("R00\\0001\\L262016.DAT",
      Record(kInvoiceLedgerRecord, {{L::kKind, "2"},
                                    {L::kTicket, "000123"},
                                    {L::kState, "0"},
                                    {L::kOperation, "5 "},
                                    {kInvoiceLedgerPositions[4], "150,00"},
                                    {InvoiceLedgerRate(4), "1,5"},
                                    {L::kTax1, "9,00"}}) +
          Record(kInvoiceLedgerRecord, {{L::kKind, "4"},
                                        {L::kTicket, "000000"},
                                        {L::kState, "X"},
                                        {L::kOperation, "51"},
                                        {kInvoiceLedgerPositions[4], "0,00"}}) +
          Record(kInvoiceLedgerRecord,
                 {{L::kKind, "1"}, {L::kPair, "2A"}, {kInvoiceLedgerPositions[2], "12,00"}}) +
          Record(kInvoiceLedgerRecord,
                 {{L::kKind, "1"}, {L::kPair, "21"}, {kInvoiceLedgerPositions[2], "12,00"}}) +
          Record(kInvoiceLedgerRecord,
                 {{L::kKind, "3"}, {L::kState, "1"}, {L::kClass, "AB"}, {100, "rest"}}) +
          kind7);
  Repair();
  EXPECT_EQ(
      File("R00\\0001\\L262016.DAT"),
      Record(kInvoiceLedgerRecord, {{L::kKind, "2"},
                                    {L::kState, "2"},
                                    {L::kOperation, "5933"},
                                    {L::kItemFlag, "5"},
                                    {L::kExtraNumber, "000123"},
                                    {kInvoiceLedgerPositions[7], "150,00"},
                                    {InvoiceLedgerRate(7), "1,5"},
                                    {L::kTax1Alt, "9,00"}}) +
          Record(kInvoiceLedgerRecord, {{L::kKind, "4"},
                                        {L::kState, "9"},
                                        {L::kOperation, "51"},
                                        {kInvoiceLedgerPositions[4], "0,00"}}) +
          Record(kInvoiceLedgerRecord,
                 {{L::kKind, "1"}, {L::kPair, "2A"}, {kInvoiceLedgerPositions[7], "12,00"}}) +
          Record(kInvoiceLedgerRecord,
                 {{L::kKind, "1"}, {L::kPair, "21"}, {kInvoiceLedgerPositions[2], "12,00"}}) +
          Record(kInvoiceLedgerRecord, {{L::kKind, "3"}, {L::kCode, "AB"}, {L::kState, "0"}}) +
          kind7);
}

TEST_F(Repair360Test, ARecordCutShortKeepsWhatCannotReachItsNewPlace) {
  // The amount at 258 would move to 502, beyond the end of the file.
  std::string cut = Record(kInvoiceLedgerRecord, {{L::kKind, "2"},
                                                  {L::kState, "1"},
                                                  {L::kOperation, "51"},
                                                  {kInvoiceLedgerPositions[4], "150,00"}})
                        .substr(0, 300);
  Put("R00\\0001\\L262016.DAT", cut);
  Repair();
  EXPECT_EQ(File("R00\\0001\\L262016.DAT"),
            Record(kInvoiceLedgerRecord, {{L::kKind, "2"},
                                          {L::kState, "0"},
                                          {L::kOperation, "51"},
                                          {kInvoiceLedgerPositions[4], "150,00"}})
                .substr(0, 300));
}

}  // namespace
}  // namespace livrana
