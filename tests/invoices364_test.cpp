#include "library/v364/invoices364.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fault_file_system.h"
#include "records/layouts/fiscal.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/products.h"
#include "records/layouts/register.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;
using F = FiscalLayout364;
using L = InvoiceLedgerLayout;
using P = ProductLayout;

std::string Company(std::string_view code, std::string_view rate_code) {
  return Record(kCompanyRecordLength,
                {{RegisterLayout::kCode, code}, {RegisterLayout::kRateCode, rate_code}});
}

std::string Ledger(std::initializer_list<std::pair<std::size_t, std::string_view>> fields) {
  return Record(kInvoiceLedgerRecord, fields);
}

class Invoices364Test : public test::StepTest {
 protected:
  Invoices364Result Run(platform::FileSystem* over = nullptr) {
    return RunStep(ConvertInvoices364, "", over);
  }
  void Folder(std::string_view code) {
    fs.MakeFolder("R00");
    fs.MakeFolder("R00\\" + std::string(code));
  }
  std::vector<std::string> Fiscal(std::string_view path) { return Records(path, kFiscalRecord364); }
};

// Invoice 0 and invoice 2 differ only by their issuer; the complement record 1 names the
// issuer of invoice 2, so its reference points there.
const std::string kInvoice0 = Ledger({{L::kFirstDate, "01/02/2016"},
                                      {L::kKind, "1"},
                                      {L::kSecondDate, "03/02/2016"},
                                      {L::kPair, "55"},
                                      {L::kSubseries, "ABC"},
                                      {L::kSeries, "001AAA"},
                                      {L::kNumber, "0000001234DOC0000001"},
                                      {L::kCode, "XY"},
                                      {L::kState, "0"},
                                      {L::kOrigin, "1"},
                                      {L::kIssuer, "ISSUER0001"},
                                      {L::kOperation, "7102"},
                                      {L::kClass, "3"},
                                      {L::kItemFlag, "1"},
                                      {L::kModel, "M"},
                                      {L::kText, "TEXTO DA NOTA"},
                                      {L::kAccount, "ACCOUNT01"},
                                      {L::kAmount, "1.000,00"}});
const std::string kComplement1 = Ledger({{L::kFirstDate, "01/02/2016"},
                                         {L::kKind, "3"},
                                         {L::kSecondDate, "05/02/2016"},
                                         {L::kPair, "55"},
                                         {L::kSubseries, "ABC"},
                                         {L::kSeries, "001AAA"},
                                         {L::kNumber, "0000001234DOC0000009"},
                                         {L::kCode, "XY"},
                                         {L::kIssuer, "ISSUER0002"},
                                         {L::kText, "REF0000001"},
                                         {L::kAmount, "250,5"}});
const std::string kInvoice2 = Ledger({{L::kFirstDate, "01/02/2016"},
                                      {L::kKind, "1"},
                                      {L::kSecondDate, "03/02/2016"},
                                      {L::kPair, "55"},
                                      {L::kSeries, "001AAA"},
                                      {L::kNumber, "0000001234DOC0000002"},
                                      {L::kState, "2"},
                                      {L::kOrigin, "0"},
                                      {L::kIssuer, "ISSUER0002"},
                                      {L::kOperation, "1102"},
                                      {L::kClass, "x"},
                                      {L::kAmount, "500,00"}});

TEST_F(Invoices364Test, WritesHeadersPlaceholdersReferencesAndTexts) {
  Put(kCompanyRegister, Company("0001", "40"));
  Folder("0001");
  Put("R00\\0001\\L262016.DAT", kInvoice0 + kComplement1 + kInvoice2);

  auto result = Run();
  EXPECT_FALSE(result.already_done);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.ledgers, std::vector<std::string>{"R00\\0001\\L262016.DAT"});

  auto records = Fiscal("R00\\0001\\L502016.DAT");
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(records[0],
            Record(kFiscalRecord364, {{F::kKind, "0"},
                                      {F::kHeader, "0"},
                                      {11, "01"},
                                      {13, "01/02/2016"},
                                      {23, "ISSUER0001"},
                                      {33, "55"},
                                      {35, "001AAA"},
                                      {42, "0000001234DOC0000001"},
                                      {62, "03/02/2016"},
                                      {72, "7102"},  // kind "1" keeps its operation code
                                      {76, "093"},   // 62 holding "1" is written as "9"
                                      {79, "M"},
                                      {80, "ACCOUNT01"},
                                      {89, "1.000,00"}}));
  EXPECT_EQ(records[1], Record(kFiscalRecord364, {{F::kDeleted, "+"}}));
  EXPECT_EQ(records[2], Record(kFiscalRecord364, {{F::kKind, "0"},
                                                  {F::kHeader, "2"},
                                                  {11, "01"},
                                                  {13, "01/02/2016"},
                                                  {23, "ISSUER0002"},
                                                  {33, "55"},
                                                  {35, "001AAA"},
                                                  {42, "0000001234DOC0000002"},
                                                  {62, "03/02/2016"},
                                                  {72, "1102"},
                                                  {76, "200"},  // class digit of a non-digit is 0
                                                  {89, "500,00"}}));
  // The complement line from its position 41 on, its line feed become a space.
  EXPECT_EQ(records[3], Record(kFiscalRecord364, {{F::kKind, "4"},
                                                  {F::kHeader, "2"},
                                                  {11, "01"},
                                                  {13, "05/02/2016"},
                                                  {23, "REF0000001"},
                                                  {33, "XY"},
                                                  {35, "ABC"},
                                                  {42, "DOC0000009"},
                                                  {89, "250,50"}}));
  EXPECT_EQ(records[4],
            Record(kFiscalRecord364, {{F::kKind, "2"}, {F::kHeader, "0"}, {11, "TEXTO DA NOTA"}}));
  EXPECT_EQ(records[5],
            Record(kFiscalRecord364, {{F::kKind, "2"}, {F::kHeader, "1"}, {11, "REF0000001"}}));

  // The ledger is set aside, the work files are gone, the mark is recorded.
  EXPECT_TRUE(Exists("R00\\0001\\L262016.BAK"));
  EXPECT_FALSE(Exists("R00\\0001\\L262016.DAT"));
  EXPECT_FALSE(Exists("R00\\0001\\X2016.TMP"));
  EXPECT_FALSE(Exists("R00\\0001\\C.TMP"));
  EXPECT_EQ(File("CONV.DAT"), "364\r\n");
  EXPECT_EQ(sink.statuses,
            (std::vector<std::string>{"Empresa 0001", "Emp0001 NF2016-0/1", "Emp0001 NF2016-0/2",
                                      "Emp0001 NF2016-1/1", "Emp0001 NF2016-1/2"}));

  // The mark makes a second run do nothing at all.
  auto before = fs.Snapshot();
  result = Run();
  EXPECT_TRUE(result.already_done);
  EXPECT_EQ(fs.Snapshot(), before);
  EXPECT_TRUE(sink.statuses.empty());
}

TEST_F(Invoices364Test, ReferenceKeyIgnoresCaseAndPassesOverDeletedHeaders) {
  Put(kCompanyRegister, Company("0001", ""));
  Folder("0001");
  std::string lower = kInvoice2;
  lower.replace(63, 10, "issuer0002");
  // Record 0 matches but is deleted (and so excluded); record 1 matches in another case.
  std::string deleted = kInvoice2;
  deleted[599] = '+';
  Put("R00\\0001\\L262016.DAT", deleted + lower + kComplement1);
  Run();
  auto records = Fiscal("R00\\0001\\L502016.DAT");
  ASSERT_GE(records.size(), 4u);
  EXPECT_EQ(records[0][199], '+');
  EXPECT_EQ(records[3].substr(0, 11), "41         ");
}

TEST_F(Invoices364Test, HeaderFlagsExclusionAndOperationCodes) {
  Put(kCompanyRegister, Company("0001", "40"));
  Folder("0001");
  // Kind "0" dated in another year than the ledger's: excluded, no items in pass 1.
  std::string other_year = Ledger({{L::kFirstDate, "10/12/2015"},
                                   {L::kKind, "0"},
                                   {L::kSecondDate, "30/12/2015"},
                                   {L::kOperation, "6102"},
                                   {L::kAmount, "10,00"},
                                   {kInvoiceLedgerPositions[1], "10,00"}});
  std::string kind4 =
      Ledger({{L::kKind, "4"}, {L::kSecondDate, "01/01/2016"}, {L::kOperation, "7102"}});
  std::string kind2 = Ledger({{L::kKind, "2"}, {L::kOperation, "7102"}});
  Put("R00\\0001\\L262016.DAT", other_year + kind4 + kind2);
  Run();
  auto records = Fiscal("R00\\0001\\L502016.DAT");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], Record(kFiscalRecord364,
                               {{F::kKind, "0"},
                                {F::kHeader, "0"},
                                {11, "00"},
                                {13, "10/12/2015"},
                                {62, "30/12/2015"},
                                {72, "1102"},  // kind "0": a first digit of 5 or more becomes 1
                                {76, "  0"},
                                {89, "10,00"},
                                {F::kDeleted, "+"}}));
  EXPECT_EQ(records[1].substr(0, 13), "01         10");
  EXPECT_EQ(records[1].substr(72, 4), "1102");
  EXPECT_EQ(records[2].substr(0, 13), "02         11");
  EXPECT_EQ(records[2].substr(72, 4), "7102");
}

// Pass 1: the amount positions of a ledger record become items, drawn down against what
// the invoice holds.
TEST_F(Invoices364Test, ItemsAreApportionedAgainstTheInvoice) {
  Put(kCompanyRegister, Company("0001", "40") + Company("0002", "30"));
  Folder("0001");
  Folder("0002");
  // An item of 150,00 against a remaining value of 100,00: written with 100,00, and the
  // next item (30,00) has nothing left and is not written.
  std::string over = Ledger({{L::kKind, "1"},
                             {L::kOperation, "1102"},
                             {L::kClass, "3"},
                             {L::kAmount, "100,00"},
                             {kInvoiceLedgerPositions[6], "30,00"},
                             {kInvoiceLedgerPositions[5], "150,00"}});
  // Class digit 8: no fixed rates; the second base takes the first rate.
  std::string class8 = Ledger({{L::kKind, "1"},
                               {L::kOperation, "1102"},
                               {L::kClass, "8"},
                               {L::kAmount, "50,00"},
                               {kInvoiceLedgerPositions[4], "50,00"},
                               {InvoiceLedgerRate(4), "12,00"},
                               {L::kTax1, "6,00"},
                               {L::kSecondBase, "50,00"}});
  // Position 7 carries the item flag ("2" for a ledger flag "1").
  std::string last = Ledger({{L::kKind, "1"},
                             {L::kOperation, "1102"},
                             {L::kClass, "3"},
                             {L::kItemFlag, "1"},
                             {L::kAmount, "20,00"},
                             {L::kTax1, "1,00"},
                             {kInvoiceLedgerPositions[7], "20,00"},
                             {InvoiceLedgerRate(7), "5,00"}});
  Put("R00\\0001\\L262016.DAT", over + class8 + last);
  // A text-kind record (pair "2" and a letter) writes no items for positions 1 to 3, and
  // an extra record.
  std::string text_kind = Ledger({{L::kFirstDate, "02/03/2016"},
                                  {L::kKind, "1"},
                                  {L::kPair, "2A"},
                                  {L::kSeries, "SER"},
                                  {L::kDocument, "DOCUMENT01"},
                                  {L::kCode, "ABC"},
                                  {L::kExtraNumber, "000007"},
                                  {L::kAmount, "10,00"},
                                  {kInvoiceLedgerPositions[4], "10,00"},
                                  {L::kSecondBase, "NOTE"},
                                  {kInvoiceLedgerPositions[1], "5,00"}});
  Put("R00\\0002\\L262016.DAT", text_kind);

  Run();
  auto first = Fiscal("R00\\0001\\L502016.DAT");
  ASSERT_EQ(first.size(), 6u);
  EXPECT_EQ(first[3], Record(kFiscalRecord364, {{F::kKind, "1"},
                                                {F::kHeader, "0"},
                                                {F::kPosition, "0"},
                                                {26, "1102"},
                                                {30, "0"},
                                                {31, "1,000"},
                                                {49, "100,00"},
                                                {85, "060"},
                                                {88, "0,00"},
                                                {93, "0,00"},
                                                {103, "0,00"},
                                                {108, "0,00"},
                                                {117, "0,00"},
                                                {122, "0,00"},
                                                {131, "1,65"},
                                                {138, "100,00"},
                                                {147, "7,60"},
                                                {154, "100,00"}}));
  EXPECT_EQ(first[4], Record(kFiscalRecord364, {{F::kKind, "1"},
                                                {F::kHeader, "1"},
                                                {F::kPosition, "0"},
                                                {26, "1102"},
                                                {30, "0"},
                                                {31, "1,000"},
                                                {49, "50,00"},
                                                {88, "12,00"},
                                                {93, "100,00"},
                                                {103, "12,00"},
                                                {108, "100,00"},
                                                {117, "0,00"},
                                                {122, "0,00"},
                                                {131, "0,00"},
                                                {138, "0,00"},
                                                {147, "0,00"},
                                                {154, "0,00"}}));
  EXPECT_EQ(first[5], Record(kFiscalRecord364, {{F::kKind, "1"},
                                                {F::kHeader, "2"},
                                                {F::kPosition, "1"},
                                                {26, "1102"},
                                                {30, "2"},
                                                {31, "1,000"},
                                                {49, "20,00"},
                                                {88, "5,00"},
                                                {93, "100,00"},
                                                {103, "0,00"},
                                                {108, "0,00"},
                                                {117, "0,00"},
                                                {122, "0,00"},
                                                {131, "1,65"},
                                                {138, "100,00"},
                                                {147, "7,60"},
                                                {154, "100,00"}}));

  // The second company's own rate code 30.
  auto second = Fiscal("R00\\0002\\L502016.DAT");
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(second[1], Record(kFiscalRecord364, {{F::kKind, "1"},
                                                 {F::kHeader, "0"},
                                                 {F::kPosition, "0"},
                                                 {30, "0"},
                                                 {31, "1,000"},
                                                 {49, "10,00"},
                                                 {88, "0,00"},
                                                 {93, "0,00"},
                                                 {103, "0,00"},
                                                 {108, "0,00"},
                                                 {117, "0,00"},
                                                 {122, "0,00"},
                                                 {131, "0,65"},
                                                 {138, "100,00"},
                                                 {147, "3,00"},
                                                 {154, "100,00"}}));
  EXPECT_EQ(second[2], Record(kFiscalRecord364, {{F::kKind, "3"},
                                                 {11, "SER"},
                                                 {15, "02/03/2016"},
                                                 {25, "DOCUMENT01"},
                                                 {35, "000007"},
                                                 {41, "ABC"},
                                                 {44, "NOTE"},
                                                 {80, "5,00"}}));  // ledger 448, inside 412-465
}

TEST_F(Invoices364Test, ProductItemsDrawDownTheBalanceFile) {
  Put(kCompanyRegister, Company("0001", "40"));
  Folder("0001");
  // Class digit 9 keeps the product's fixed rates out; the ledger flag "1" gives "2".
  Put("R00\\0001\\L262016.DAT", Ledger({{L::kKind, "1"},
                                        {L::kClass, "9"},
                                        {L::kItemFlag, "1"},
                                        {L::kAmount, "100,00"},
                                        {L::kTax1, "10,00"},
                                        {kInvoiceLedgerPositions[5], "10,00"}}));
  auto product = [](std::string_view code, std::string_view value, char marker) {
    return Record(kProductRecord, {{P::kCompany, code},
                                   {P::kInvoice, "0"},
                                   {P::kCode, "PROD0000000001"},
                                   {P::kKind, "5"},
                                   {P::kMarker, std::string(1, marker)},
                                   {P::kOperation, "5102"},
                                   {P::kType, "000"},
                                   {P::kCode1, "010203"},
                                   {P::kText, "CAIXA 12 UN"},
                                   {P::kValue, value},
                                   {P::kRate1, "10,00"},
                                   {P::kShare1, "100,00"},
                                   {P::kFixed1, "1,65 7,60"}});
  };
  fs.MakeFolder("R63");
  Put("R63\\2016.DAT", product("0001", "60,00", '1') + product("0002", "60,00", '1') +
                           product("0001", "50,00", ' '));
  // A year without ledger: no balance file, the item flag is "1".
  Put("R63\\2017.DAT", product("0001", "70,00", '1'));

  Run();
  auto records = Fiscal("R00\\0001\\L502016.DAT");
  // Header, two product items; the ledger's own item finds nothing left.
  ASSERT_EQ(records.size(), 3u);
  const std::string expected_first = Record(kFiscalRecord364, {{F::kKind, "1"},
                                                               {F::kHeader, "0"},
                                                               {F::kPosition, "5PROD0000000001"},
                                                               {26, "5102"},
                                                               {30, "2"},
                                                               {31, "CAIXA 12 UN"},
                                                               {49, "60,00"},
                                                               {85, "000"},
                                                               {88, "10,00"},
                                                               {93, "100,00"},
                                                               {103, "0,00"},
                                                               {108, "0,00"},
                                                               {115, "01"},
                                                               {117, "0,00"},
                                                               {122, "0,00"},
                                                               {129, "02"},
                                                               {138, "0,00"},
                                                               {145, "03"},
                                                               {154, "0,00"}});
  EXPECT_EQ(records[1], expected_first);
  // What remained (40,00 and a tax of 4,00) scales the second product down to 40,00.
  std::string expected_second = expected_first;
  expected_second.replace(30, 1, "0");
  expected_second.replace(49, 5, "40,00");
  EXPECT_EQ(records[2], expected_second);

  auto without_ledger = Fiscal("R00\\0001\\L502017.DAT");
  ASSERT_EQ(without_ledger.size(), 1u);
  EXPECT_EQ(without_ledger[0].substr(26, 5), "51021");
  EXPECT_EQ(without_ledger[0].substr(49, 5), "70,00");
  EXPECT_EQ(without_ledger[0].substr(131, 14), "1,65   100,00 ");  // class digit 0

  EXPECT_TRUE(Exists("R63\\2016.BAK"));
  EXPECT_TRUE(Exists("R63\\2017.BAK"));
  EXPECT_FALSE(Exists("R63\\2016.DAT"));
  for (std::string_view status : {"Emp0001 Prod2016-0/1", "Emp0001 Prod2016-0/2"})
    EXPECT_NE(std::find(sink.statuses.begin(), sink.statuses.end(), status), sink.statuses.end())
        << status;
}

TEST_F(Invoices364Test, ExistingBackupGoesToTheSafetyFolderFirst) {
  Put(kCompanyRegister, Company("0001", ""));
  Folder("0001");
  Put("R00\\0001\\L262016.DAT", kInvoice2);
  Put("R00\\0001\\L262016.BAK", "older backup");
  // A copy that is not a yearly ledger of the product is left as it is.
  Put("R00\\0001\\L262016 - Copia.DAT", kInvoice0);
  Run();
  EXPECT_EQ(File("R00\\0001\\L262016.BAK"), kInvoice2);
  EXPECT_EQ(File("R00\\0001\\L262016 - Copia.DAT"), kInvoice0);
  EXPECT_EQ(Fiscal("R00\\0001\\L502016.DAT").size(), 1u);
  auto outside = fs.SnapshotOutside();
  auto safety = std::find_if(outside.begin(), outside.end(), [](const auto& entry) {
    return entry.first.ends_with("L262016.BAK");
  });
  ASSERT_NE(safety, outside.end());
  EXPECT_EQ(safety->second, "older backup");
}

// Fixed-width records stay fixed-width: a line feed inside a ledger field would become CR LF
// in the text-mode fiscal file, and an amount too large for the balance field would move
// the balances of every later invoice.
TEST_F(Invoices364Test, OddFieldsDoNotMoveLaterRecords) {
  Put(kCompanyRegister, Company("0001", ""));
  Folder("0001");
  const std::string broken_text =
      Ledger({{L::kKind, "1"}, {L::kText, "AB\nCD"}, {L::kAmount, "999999999999999999"}});
  const std::string next =
      Ledger({{L::kKind, "1"}, {L::kAmount, "10,00"}, {kInvoiceLedgerPositions[5], "10,00"}});
  Put("R00\\0001\\L262016.DAT", broken_text + next);
  Run();
  auto data = File("R00\\0001\\L502016.DAT");
  ASSERT_EQ(data.size(), 4u * 200);
  auto records = test::Split(data, 200);
  EXPECT_EQ(records[2], Record(kFiscalRecord364, {{F::kKind, "2"}, {F::kHeader, "0"}, {11, "AB"}}));
  EXPECT_EQ(records[3].substr(0, 11), "11         ");
  EXPECT_EQ(records[3].substr(49, 6), "10,00 ");
}

// A Ctrl-Z ends the ledger as the end of the file would: the record it cuts is the last.
TEST_F(Invoices364Test, ACtrlZEndsTheLedger) {
  Put(kCompanyRegister, Company("0001", ""));
  Folder("0001");
  std::string cut = kInvoice2;
  cut[300] = '\x1A';
  Put("R00\\0001\\L262016.DAT", cut + kInvoice2);
  Run();
  auto records = Fiscal("R00\\0001\\L502016.DAT");
  EXPECT_EQ(std::count_if(records.begin(), records.end(),
                          [](const std::string& r) { return r.starts_with("0"); }),
            1);
}

TEST_F(Invoices364Test, AFailedWriteIsReportedAndTheLedgerIsKept) {
  Put(kCompanyRegister, Company("0001", ""));
  Folder("0001");
  Put("R00\\0001\\L262016.DAT", kInvoice2);
  platform::FaultFileSystem full(fs);
  full.FullDiskAt(2);  // a write of the conversion fails
  EXPECT_FALSE(Run(&full).ok());
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].kind, "fail");
  EXPECT_EQ(sink.messages[0].caption, "Conversão 3.64");
  // The ledger keeps its name and nothing half written stays, so a rerun converts it.
  EXPECT_EQ(File("R00\\0001\\L262016.DAT"), kInvoice2);
  EXPECT_FALSE(fs.Attributes("R00\\0001\\L262016.BAK").has_value());
  EXPECT_FALSE(fs.Attributes("R00\\0001\\L502016.DAT").has_value());
  EXPECT_EQ(File("CONV.DAT").find("364"), std::string::npos);
  auto rerun = Run();
  EXPECT_TRUE(rerun.ok());
  EXPECT_EQ(File("R00\\0001\\L262016.BAK"), kInvoice2);
  EXPECT_FALSE(Fiscal("R00\\0001\\L502016.DAT").empty());
}

TEST_F(Invoices364Test, MissingRegisterLeavesTheProductTableAlone) {
  fs.MakeFolder("R63");
  Put("R63\\2016.DAT", Record(kProductRecord, {{P::kCompany, "0001"}}));
  auto result = Run();
  EXPECT_FALSE(result.register_found);
  EXPECT_TRUE(fs.Attributes("R63\\2016.DAT").has_value());
  EXPECT_EQ(File("CONV.DAT"), "364\r\n");
}

}  // namespace
}  // namespace livrana
