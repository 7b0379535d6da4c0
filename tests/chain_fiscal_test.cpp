// The fiscal files through their whole history: the yearly invoice ledgers as version 3.62
// leaves them become 200-character fiscal files (3.64), then 400-character L50A files
// (3.73), over which the current conversion runs.
#include <gtest/gtest.h>

#include "convert/convert434.h"
#include "library/registry.h"
#include "library/v364/fiscal373.h"
#include "library/v364/invoices364.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/invoices.h"
#include "records/layouts/phone_tables.h"
#include "records/layouts/products.h"
#include "tests/step_fixture.h"
#include "tools/sample.h"

namespace livrana {
namespace {

using test::Record;
using L = InvoiceLedgerLayout;
using P = ProductLayout;

using ChainFiscal = test::StepTest;

TEST_F(ChainFiscal, LedgersOf362BecomeTheInvoiceFilesOfTheCurrentVersion) {
  // The data folder as version 3.62 leaves it.
  Put("CONV.DAT", "320\r\n360\r\n362\r\n");
  Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"},
                                                      {RegisterLayout::kRateCode, "40"}}));
  Put("R00\\0001\\G07R0.DAT", "rates");
  // An invoice with one item and a text, a complement record naming it, and a sale.
  const std::string invoice =
      Record(kInvoiceLedgerRecord, {{L::kFirstDate, "05/03/2016"},
                                    {L::kKind, "1"},
                                    {L::kSecondDate, "06/03/2016"},
                                    {L::kPair, "55"},
                                    {L::kSubseries, "SUB"},
                                    {L::kSeries, "1"},
                                    {L::kNumber, "000123"},
                                    {L::kDocument, "DOC0000001"},
                                    {L::kCode, "CF"},
                                    {L::kState, "00"},
                                    {L::kIssuer, "ISSUER0001"},
                                    {L::kOperation, "5102"},
                                    {L::kClass, "10"},
                                    {L::kModel, "M"},
                                    {L::kText, "VENDA A VISTA"},
                                    {L::kAccount, "ACC000001"},
                                    {L::kAmount, "1.000,00"},
                                    {kInvoiceLedgerPositions[4], "1.000,00"},
                                    {InvoiceLedgerRate(4), "18,00"},
                                    {L::kTax1, "180,00"}});
  const std::string complement = Record(kInvoiceLedgerRecord, {{L::kFirstDate, "05/03/2016"},
                                                               {L::kKind, "3"},
                                                               {L::kSecondDate, "07/03/2016"},
                                                               {L::kPair, "55"},
                                                               {L::kSubseries, "SUB"},
                                                               {L::kSeries, "1"},
                                                               {L::kNumber, "000123"},
                                                               {L::kDocument, "DOCCOMPL01"},
                                                               {L::kCode, "CF"},
                                                               {L::kIssuer, "ISSUER0001"},
                                                               {L::kText, "NFREF00001"},
                                                               {L::kAmount, "50,00"}});
  const std::string sale = Record(kInvoiceLedgerRecord, {{L::kFirstDate, "05/03/2016"},
                                                         {L::kKind, "2"},
                                                         {L::kSecondDate, "06/03/2016"},
                                                         {L::kPair, "55"},
                                                         {L::kSeries, "1"},
                                                         {L::kNumber, "000124"},
                                                         {L::kDocument, "DOC0000003"},
                                                         {L::kState, "12"},
                                                         {L::kIssuer, "ISSUER0001"},
                                                         {L::kOperation, "5102"},
                                                         {L::kClass, "2"},
                                                         {L::kAccount, "ACC000003"},
                                                         {L::kAmount, "300,00"},
                                                         {kInvoiceLedgerPositions[5], "300,00"},
                                                         {L::kTax1Alt, "54,00"}});
  Put("R00\\0001\\L262016.DAT", invoice + complement + sale);
  Put("R63\\2016.DAT", Record(kProductRecord, {{P::kCompany, "0001"},
                                               {P::kInvoice, "2"},
                                               {P::kCode, "PROD0000000001"},
                                               {P::kKind, "11"},
                                               {P::kOperation, "5102"},
                                               {P::kType, "000"},
                                               {P::kText, "PRODUTO A"},
                                               {P::kValue, "100,00"},
                                               {P::kRate1, "18,00"},
                                               {P::kShare1, "100,00"},
                                               {P::kFixed1, "1,65 7,60"}}));

  ASSERT_TRUE(ConvertInvoices364(ctx).ok());
  ASSERT_TRUE(ConvertFiscal373(ctx).ok());
  const auto result = Convert434(ctx);
  EXPECT_EQ(result.converted, 2);

  const auto record = Records("R00\\0001\\L50A2016.DAT", kInvoiceRecord);
  ASSERT_EQ(record.size(), 9u);
  // Headers: links of 3.73 at 160 and 170, the fields of 4.34 moved to 80 and 127.
  EXPECT_EQ(record[0], Record(kInvoiceRecord, {{0, "0"},
                                               {1, "0"},
                                               {11, "01"},
                                               {13, "05/03/2016"},
                                               {23, "ISSUER0001"},
                                               {33, "55"},
                                               {35, "1"},
                                               {42, "000123"},
                                               {62, "06/03/2016"},
                                               {72, "5102"},
                                               {76, "001M"},
                                               {80, "DOC000000"},
                                               {89, "1.000,00"},
                                               {127, "ACC000001"},
                                               {kInvoiceItemLink, "5"},
                                               {kInvoiceTextLink, "6"}}));
  // The placeholder of the complement record, linked to by the complement's text.
  EXPECT_EQ(record[1], Record(kInvoiceRecord,
                              {{kInvoiceTextLink, "7"}, {199, "+"}, {kInvoiceRecord - 1, "+"}}));
  EXPECT_EQ(record[2], Record(kInvoiceRecord, {{0, "0"},
                                               {1, "2"},
                                               {11, "11"},
                                               {13, "05/03/2016"},
                                               {23, "ISSUER0001"},
                                               {33, "55"},
                                               {35, "1"},
                                               {42, "000124"},
                                               {62, "06/03/2016"},
                                               {72, "5102"},
                                               {76, "122"},
                                               {80, "DOC000000"},
                                               {89, "300,00"},
                                               {127, "ACC000003"},
                                               {kInvoiceItemLink, "8"}}));
  // The reference to header 0, now of kind "3".
  EXPECT_EQ(record[3], Record(kInvoiceRecord, {{0, "3"},
                                               {1, "0"},
                                               {11, "01"},
                                               {13, "07/03/2016"},
                                               {23, "NFREF00001"},
                                               {33, "CF"},
                                               {35, "SUB"},
                                               {42, "DOCCOMPL01"},
                                               {89, "50,00"}}));
  // The product item of the sale.
  EXPECT_EQ(record[4], Record(kInvoiceRecord, {{0, "1"},
                                               {1, "2"},
                                               {12, "PROD000000000151021"},
                                               {31, "000"},
                                               {40, "PRODUTO A"},
                                               {57, "100,00"},
                                               {138, "18,00"},
                                               {143, "100,00"},
                                               {160, "18,00"},
                                               {176, "0,00"},
                                               {181, "0,00"},
                                               {198, "0,00"},
                                               {214, "0,00"},
                                               {219, "0,00"},
                                               {236, "0,00"},
                                               {252, "1,65"},
                                               {259, "100,00"},
                                               {276, "7,60"},
                                               {283, "100,00"}}));
  // The invoice's own item, its tax computed from rate and base.
  EXPECT_EQ(record[5], Record(kInvoiceRecord, {{0, "1"},
                                               {1, "0"},
                                               {26, "51020"},
                                               {40, "1,000"},
                                               {57, "1.000,00"},
                                               {138, "18,00"},
                                               {143, "1.000,00"},
                                               {160, "180,00"},
                                               {176, "0,00"},
                                               {181, "0,00"},
                                               {198, "0,00"},
                                               {214, "0,00"},
                                               {219, "0,00"},
                                               {236, "0,00"},
                                               {252, "1,65"},
                                               {259, "1.000,00"},
                                               {276, "7,60"},
                                               {283, "1.000,00"}}));
  EXPECT_EQ(record[6], Record(kInvoiceRecord, {{0, "2"}, {1, "0"}, {11, "VENDA A VISTA"}}));
  EXPECT_EQ(record[7], Record(kInvoiceRecord, {{0, "2"}, {1, "1"}, {11, "NFREF00001"}}));
  // The sale's item, drawn down by the product item to what remained (200,00).
  EXPECT_EQ(record[8], Record(kInvoiceRecord, {{0, "1"},
                                               {1, "2"},
                                               {26, "51020"},
                                               {31, "060"},
                                               {40, "1,000"},
                                               {57, "200,00"},
                                               {138, "0,00"},
                                               {143, "0,00"},
                                               {160, "0,00"},
                                               {176, "0,00"},
                                               {181, "0,00"},
                                               {198, "0,00"},
                                               {214, "0,00"},
                                               {219, "0,00"},
                                               {236, "0,00"},
                                               {252, "1,65"},
                                               {259, "200,00"},
                                               {276, "7,60"},
                                               {283, "200,00"}}));

  // What each version set aside, and the history in the log.
  auto files = fs.Snapshot();
  for (std::string_view path : std::initializer_list<std::string_view>{
           "R00\\0001\\L262016.BAK", "R00\\0001\\L502016.BAK", "R00\\0001\\F07R0.DAT",
           "R63\\2016.BAK", kPhoneTableFile})
    EXPECT_EQ(files.count(std::string(path)), 1u) << path;
  for (std::string_view path : {"R00\\0001\\L262016.DAT", "R00\\0001\\L502016.DAT",
                                "R00\\0001\\X2016.TMP", "R00\\0001\\C.TMP", "0.tmp"})
    EXPECT_EQ(files.count(std::string(path)), 0u) << path;
  EXPECT_EQ(File("CONV.DAT"), "320\r\n360\r\n362\r\n364\r\n373\r\n");
  ASSERT_FALSE(sink.messages.empty());
  EXPECT_EQ(sink.messages.back().text, "NF convertidas: 2");
}

// Each step of the group runs on the sample folder of its input layout and refuses, changing
// nothing, the folder of the layout after it and the current one.
TEST(ChainFiscalGuard, EachStepTakesItsLayoutAndRefusesLaterOnes) {
  const std::pair<std::string_view, std::string_view> kSteps[] = {{"invoices-364", "fiscal-373"},
                                                                  {"fiscal-373", "chart-r1"},
                                                                  {"chart-r1", "remove-obsolete"},
                                                                  {"remove-obsolete", ""}};
  for (const auto& [name, next] : kSteps) {
    SCOPED_TRACE(std::string(name));
    const LibraryStep* step = FindLibraryStep(name);
    ASSERT_NE(step, nullptr);
    ASSERT_NE(step->has_input, nullptr);
    for (std::string_view layout : {name, next, std::string_view()}) {
      platform::MemoryFileSystem fs;
      SampleOptions options;
      options.companies = 2;
      options.records = 3;
      options.before = std::string(layout);
      ASSERT_TRUE(WriteSampleFolder(fs, options).ok);
      EXPECT_EQ(step->has_input(fs), layout == name) << layout;
      if (layout == name) continue;
      const auto before = fs.Snapshot();
      test::RecordingSink sink;
      Context ctx{fs, sink, ""};
      EXPECT_EQ(RunLibraryStep(*step, ctx).cause(), Cause::kLayout) << layout;
      EXPECT_EQ(fs.Snapshot(), before) << layout;
    }
  }
}

}  // namespace
}  // namespace livrana
