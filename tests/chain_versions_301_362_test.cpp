// The version steps one after another, as a data folder goes through them: from the
// company-folder layout that the first-generation steps leave (one folder per company in
// the data folder, charts not numbered yet) through 3.01, the chart numbering and 3.20 to
// 3.62, to the layout below R00.
#include <gtest/gtest.h>

#include "library/record_merge.h"
#include "library/v301/number_charts.h"
#include "library/v301/version301.h"
#include "library/v320/versions320_362.h"
#include "records/layouts/charts.h"
#include "records/layouts/invoice_ledgers.h"
#include "records/layouts/ledgers.h"
#include "records/layouts/old_ledgers.h"
#include "records/layouts/phone_tables.h"
#include "records/layouts/rate_tables.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;
using A = AddressFields;
using R = RegisterLayout;
using C = ChartLayout;
using G15 = G15Layout;
using G16 = RateEntryLayout;
using L23 = Ledger23Layout;
using L26 = InvoiceLedgerLayout;

class ChainVersions301To362Test : public test::StepTest {
 protected:
  void SetUp() override {
    fs.SetCurrentYear(2016);
    // 0001 keeps its accounts in the shared chart, 0002 in a chart of its own.
    Put(kCompanyRegister,
        Register("0001", "RUA A", "1", "1") + Register("0002", "RUA B", "6", " "));
    Put(kTable01, Record(kTable01RecordLength, {{PhoneFields::kCode, "CLIENTE"},
                                                {A::kAddress, "RUA DAS FLORES"},
                                                {A::kComplement, "120"}}));
    Put(kTable02, Record(kTable02RecordLength, {{PhoneFields::kCode, "FORNECEDOR"},
                                                {A::kAddress, "AV"},
                                                {A::kOldCreditLimit, "150,00"}}));
    Put("F20.DAT", Account(0, "1.01", "CAIXA GERAL") + Account(0, "1.02", "BANCOS"));
    Put("F21.DAT", Account(1, "1.01", "CAIXA RESUMO"));
    Put("CONFIGA.DAT", "         12         34         56         78");
    for (std::string_view co : {"0001", "0002"}) {
      std::string folder(co);
      Put(folder + "\\G04.DAT", Record(220, {{0, "PARAMETROS " + folder}}));
      Put(folder + "\\G06.DAT", Record(142, {{0, "001"}, {11, "CAIXA " + folder}}));
      Put(folder + "\\G15.DAT",
          Record(kG15Record, {{G15::kName, "PRODUTO " + folder}, {G15::kRateCode, "01"}}));
      Put(folder + "\\G16.DAT",
          Record(kRateEntries * kRateEntry, {{G16::kFirst, "7,5"}, {G16::kSecond, "12"}}));
      Put(folder + "\\G18.DAT", Record(kNarrowRecord, {{0, "G18 " + folder}}));
      Put(folder + "\\G19.DAT", Record(kNarrowRecord, {{0, "G19 " + folder}}));
      Put(folder + "\\G24.DAT", Record(kG07Record, {{0, "G24 " + folder}}));
      Put(folder + "\\L082016.DAT", Record(kL08Record, {{L08Layout::kDate, "L08 " + folder}}));
      Put(folder + "\\L262016.DAT",
          Record(kInvoiceLedgerRecord, {{L26::kKind, "3"}, {L26::kClass, "AB"}}));
    }
    Put("0001\\L232016.DAT", Record(kLedger23RecordLength, {{L23::kAccount, "1.01"},
                                                            {L23::kSecondAccount, "1.01"},
                                                            {L23::kThirdAccount, "1.02"}}));
    Put("0002\\G20.DAT", Account(0, "2.01", "FORNECEDORES") + Account(0, "2.02", "SALARIOS"));
    Put("0002\\L232016.DAT", Record(kLedger23RecordLength, {{L23::kAccount, "2.02"}}) +
                                 Record(kLedger23RecordLength, {{L23::kAccount, "2.01"}}));
  }

  static std::string Register(std::string_view code, std::string_view address,
                              std::string_view rate_code, std::string_view merges) {
    return Record(kCompanyRecordLength, {{R::kCode, code},
                                         {A::kAddress, address},
                                         {R::kRateCode, rate_code},
                                         {R::kMergesChart, merges}});
  }
  static std::string Account(int kind, std::string_view code, std::string_view text) {
    using O = OldChartLayout;
    return Record(kChartRecordLength, {{O::kCode, code},
                                       {O::kText, text},
                                       {O::kPosted, "1"},
                                       {kind == 0 ? O::kRest20 : O::kRest21, "DADOS"}});
  }
};

TEST_F(ChainVersions301To362Test, TheCompanyFolderLayoutBecomesTheR00Layout) {
  EXPECT_TRUE(ConvertVersion301(ctx));
  EXPECT_TRUE(NumberChartsOfAccounts(ctx));
  EXPECT_TRUE(ConvertVersions320To362(ctx));

  std::vector<std::string> files,
      expected = {"CONV.DAT",  "F00R0.BAK", "F00R0.DAT", "F01R0.BAK", "F01R0.DAT", "F02R1.BAK",
                  "F02R1.DAT", "F19.DAT",   "F20R0.DAT", "F34.DAT",   "R00\\"};
  for (const auto& [path, data] : fs.Snapshot()) files.push_back(path);
  for (std::string co : {"R00\\0001\\", "R00\\0002\\"}) {
    expected.push_back(co);
    for (std::string_view table :
         {"G04R0", "G07R0", "G32", "L152016", "L232016", "L262016", "L332016"})
      expected.push_back(co + std::string(table) + ".DAT");
  }
  EXPECT_EQ(files, expected);
  EXPECT_EQ(File("CONV.DAT"), "301\r\n320\r\n360\r\n362\r\n");

  // The register: address block folded by 3.01 (nothing to fold here), rate code and
  // chart selector recoded by 3.20.
  EXPECT_EQ(File(kCompanyRegister),
            Register("0001", "RUA A", "10", "0") + Register("0002", "RUA B", "30", "1"));
  EXPECT_EQ(File(kTable01), Record(kTable01RecordLength, {{PhoneFields::kCode, "CLIENTE"},
                                                          {A::kAddress, "RUA DAS FLORES 120"}}));
  EXPECT_EQ(File(kTable02), Record(kTable02RecordLength, {{PhoneFields::kCode, "FORNECEDOR"},
                                                          {A::kAddress, "AV"},
                                                          {A::kCreditLimit, "150,00"}}));

  // The shared chart: numbered from F20/F21, then 0002's own chart merged above it, then
  // every record's fields rearranged.
  auto numbered = [](std::string_view n, int kind, std::string_view code, std::string_view text) {
    return Record(kChartRecordLength, {{C::kNumber, n},
                                       {C::kText, text},
                                       {C::kFlag, "1"},
                                       {C::kKind, kind ? "1" : "0"},
                                       {C::kOldCode, code},
                                       {C::kMarker, "0"},
                                       {C::kMoved, kind ? "DAD" : "DADOS"}});
  };
  auto merged = [](std::string_view n, std::string_view code, std::string_view text) {
    return Record(kChartRecordLength, {{C::kNumber, n},
                                       {C::kText, text},
                                       {C::kFlag, "1"},
                                       {C::kKind, "0"},
                                       {C::kOldCode, code},
                                       {C::kMarker, "1  0002"},
                                       {C::kMoved, "DADOS"}});
  };
  EXPECT_EQ(File(kSharedChartFile),
            numbered("00001", 0, "1.01", "CAIXA GERAL") + numbered("00002", 0, "1.02", "BANCOS") +
                numbered("00003", 1, "1.01", "CAIXA RESUMO") +
                merged("00005", "2.01", "FORNECEDORES") + merged("00006", "2.02", "SALARIOS"));
  // The next free code, and the old counters migrated beside it.
  EXPECT_EQ(File("F34.DAT"),
            Record(30, {{10, "20"}, {20, "7"}}) + Record(30, {{10, "0"}, {20, "12"}}) +
                Record(30, {{10, "1"}, {20, "34"}}) + Record(30, {{10, "2"}, {20, "56"}}) +
                Record(30, {{10, "8"}, {20, "78"}}));
  EXPECT_EQ(
      File("F19.DAT"),
      Record(501, {{0, "00001"}, {11, "ECF"}, {87, "001"}, {90, "0001"}, {101, "CAIXA 0001"}}) +
          Record(501, {{0, "00002"}, {11, "ECF"}, {87, "001"}, {90, "0002"}, {101, "CAIXA 0002"}}));
  // 0001 refers to the shared numbers; 0002's ledger went from its old codes to its own
  // numbers and then to the merged codes of the same accounts.
  EXPECT_EQ(File("R00\\0001\\L232016.DAT"),
            Record(kLedger23RecordLength, {{L23::kAccount, "00001"},
                                           {L23::kSecondAccount, "00003"},
                                           {L23::kThirdAccount, "1.02"}}));
  EXPECT_EQ(File("R00\\0002\\L232016.DAT"),
            Record(kLedger23RecordLength, {{L23::kAccount, "00006"}}) +
                Record(kLedger23RecordLength, {{L23::kAccount, "00005"}}));
  EXPECT_EQ(File("R00\\0001\\L262016.DAT"),
            Record(kInvoiceLedgerRecord, {{L26::kKind, "3"}, {L26::kCode, "AB"}}));
  EXPECT_EQ(File("R00\\0001\\L332016.DAT"), Record(260, {{0, "L08 0001"}, {66, "0"}}));

  // The chain run again finds its marks and its targets: nothing changes.
  auto before = fs.Snapshot();
  EXPECT_TRUE(ConvertVersion301(ctx));
  EXPECT_TRUE(NumberChartsOfAccounts(ctx));
  EXPECT_TRUE(ConvertVersions320To362(ctx));
  EXPECT_EQ(fs.Snapshot(), before);
}

}  // namespace
}  // namespace livrana
