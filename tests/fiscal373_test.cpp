#include "library/v364/fiscal373.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "records/layouts/fiscal.h"
#include "records/layouts/invoices.h"
#include "records/layouts/register.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;
using F = FiscalLayout364;

// An old record in its new place: the 200 characters, spaces to 399, then the mark.
std::string Widened(const std::string& old, char mark) {
  std::string record = old;
  record.resize(kInvoiceRecord - 1, ' ');
  return record + mark;
}

// A plain item of the old layout: header number, position digit "0", value B.
std::string OldItem(std::string_view header, std::string_view value) {
  return Record(
      kFiscalRecord364,
      {{F::kKind, "1"}, {F::kHeader, header}, {F::kPosition, "0"}, {31, "1,000"}, {49, value}});
}

// The same item in the new layout, its amounts all zero.
std::string NewItem(std::string_view header, std::string_view value, char mark = ' ') {
  std::string record = Record(kInvoiceRecord, {{InvoiceLayout::kKind, "1"},
                                               {1, header},
                                               {40, "1,000"},
                                               {57, value},
                                               {143, "0,00"},
                                               {160, "0,00"},
                                               {181, "0,00"},
                                               {198, "0,00"},
                                               {219, "0,00"},
                                               {236, "0,00"},
                                               {259, "0,00"},
                                               {283, "0,00"}});
  record[kInvoiceRecord - 1] = mark;
  return record;
}

class Fiscal373Test : public test::StepTest {
 protected:
  Fiscal373Result Run() { return RunStep(ConvertFiscal373); }
  void Company(std::string_view code) {
    Put(kCompanyRegister, Record(kCompanyRecordLength, {{RegisterLayout::kCode, code}}));
    fs.MakeFolder("R00");
    fs.MakeFolder("R00\\" + std::string(code));
  }
  std::vector<std::string> Fiscal(std::string_view path) { return Records(path, kInvoiceRecord); }
};

TEST_F(Fiscal373Test, KindsChangeAndRecordsLinkToTheirHeader) {
  Company("0001");
  const std::string header =
      Record(kFiscalRecord364, {{F::kKind, "0"}, {F::kHeader, "0"}, {89, "1.000,00"}});
  const std::string text =
      Record(kFiscalRecord364, {{F::kKind, "2"}, {F::kHeader, "0"}, {11, "TEXTO"}});
  const std::string reference =
      Record(kFiscalRecord364, {{F::kKind, "4"}, {F::kHeader, "0"}, {11, "01REF"}});
  const std::string extra = Record(kFiscalRecord364, {{F::kKind, "3"}, {11, "EXTRA"}});
  const std::string older = Record(kFiscalRecord364, {{F::kKind, "5"}, {11, "OLD"}});
  const std::string deleted_text = Record(
      kFiscalRecord364, {{F::kKind, "2"}, {F::kHeader, "0"}, {11, "APAGADO"}, {F::kDeleted, "+"}});
  Put("R00\\0001\\L502016.DAT",
      header + OldItem("0", "10,00") + text + reference + extra + older + deleted_text);

  auto result = Run();
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.files, std::vector<std::string>{"R00\\0001\\L50A2016.DAT"});
  auto records = Fiscal("R00\\0001\\L50A2016.DAT");
  ASSERT_EQ(records.size(), 7u);
  // The header links to its last item or reference (record 3) and its last live text (2).
  EXPECT_EQ(records[0], Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"},
                                                {1, "0"},
                                                {89, "1.000,00"},
                                                {kInvoiceItemLink, "3"},
                                                {kInvoiceTextLink, "2"}}));
  EXPECT_EQ(records[1], NewItem("0", "10,00"));
  EXPECT_EQ(records[2], Widened(text, ' '));
  EXPECT_EQ(records[3], Widened("3" + reference.substr(1), ' '));
  EXPECT_EQ(records[4], Widened("9" + extra.substr(1), ' '));
  EXPECT_EQ(records[5], Widened("8" + older.substr(1), ' '));
  EXPECT_EQ(records[6], Widened(deleted_text, '+'));

  EXPECT_EQ(File("R00\\0001\\L502016.BAK"),
            header + OldItem("0", "10,00") + text + reference + extra + older + deleted_text);
  EXPECT_FALSE(Exists("R00\\0001\\L502016.DAT"));
  EXPECT_FALSE(Exists("0.tmp"));
  EXPECT_EQ(File("CONV.DAT"), "373\r\n");
  ASSERT_EQ(sink.statuses.size(), 6u);
  EXPECT_EQ(sink.statuses.front(), "Empresa 0001 - NF 000000001   ");
  EXPECT_EQ(sink.statuses.back(), "Empresa 0001 - NF 000000006   ");

  auto before = fs.Snapshot();
  EXPECT_TRUE(Run().already_done);
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(Fiscal373Test, RecordsBeforeTheirHeaderAreMovedBehindAndLinkedThere) {
  Company("0001");
  // Record 0 names header 0 (blank): it is its own number. Record 2 names header 5, which
  // comes later.
  const std::string text = Record(kFiscalRecord364, {{F::kKind, "2"}, {11, "PRIMEIRO"}});
  Put("R00\\0001\\L502016.DAT",
      text + Record(kFiscalRecord364, {{F::kKind, "0"}, {F::kHeader, "1"}}) + OldItem("5", "7,00") +
          OldItem("1", "3,00") + Record(kFiscalRecord364, {{F::kKind, "4"}, {F::kHeader, "1"}}) +
          Record(kFiscalRecord364, {{F::kKind, "0"}, {F::kHeader, "5"}}));
  Run();
  auto records = Fiscal("R00\\0001\\L50A2016.DAT");
  ASSERT_EQ(records.size(), 8u);
  // Deleted copies keep the places; record 0's link field gets the number of its moved
  // copy.
  EXPECT_EQ(records[0], Record(kInvoiceRecord, {{InvoiceLayout::kKind, "2"},
                                                {11, "PRIMEIRO"},
                                                {170, "6"},
                                                {kInvoiceRecord - 1, "+"}}));
  EXPECT_EQ(records[1], Record(kInvoiceRecord,
                               {{InvoiceLayout::kKind, "0"}, {1, "1"}, {kInvoiceItemLink, "4"}}));
  EXPECT_EQ(records[2], NewItem("5", "7,00", '+'));
  EXPECT_EQ(records[3], NewItem("1", "3,00"));
  EXPECT_EQ(records[4], Record(kInvoiceRecord, {{InvoiceLayout::kKind, "3"}, {1, "1"}}));
  EXPECT_EQ(records[5], Record(kInvoiceRecord,
                               {{InvoiceLayout::kKind, "0"}, {1, "5"}, {kInvoiceItemLink, "7"}}));
  EXPECT_EQ(records[6], Widened(text, ' '));
  EXPECT_EQ(records[7], NewItem("5", "7,00"));
}

TEST_F(Fiscal373Test, ItemBasesAndTaxesAreComputed) {
  const std::string old =
      Record(kFiscalRecord364,
             {{F::kKind, "1"}, {F::kHeader, "0"}, {F::kPosition, "3"}, {12, "PROD000000000151021"},
              {31, "1,000"},   {49, "1.234,50"},  {85, "060"},         {88, "12,00"},
              {93, "50,00"},   {103, "10,00"},    {108, "100,00"},     {115, "AA"},
              {117, "4,00"},   {122, "20,00"},    {129, "BB"},         {131, "1,65"},
              {138, "100,00"}, {145, "CC"},       {147, "7,60"},       {154, "100,00"}});
  EXPECT_EQ(RebuildFiscalItem(old), Record(300, {{0, "1"},
                                                 {1, "0"},
                                                 {12, "PROD000000000151021"},
                                                 {31, "060AABBCC"},
                                                 {106, "1.234,50"},
                                                 {138, "12,00"},
                                                 {143, "617,25"},
                                                 {160, "74,07"},
                                                 {176, "10,00"},
                                                 {181, "1.234,50"},
                                                 {198, "49,38"},
                                                 {214, "4,00"},
                                                 {219, "246,90"},
                                                 {236, "9,88"},
                                                 {252, "1,65"},
                                                 {259, "1.234,50"},
                                                 {276, "7,60"},
                                                 {283, "1.234,50"}}));

  // The second tax less the first, never below zero: 8,50 - 10,00 gives 0,00.
  const std::string low = Record(kFiscalRecord364, {{F::kKind, "1"},
                                                    {F::kPosition, "0"},
                                                    {49, "100,00"},
                                                    {88, "10,00"},
                                                    {93, "100,00"},
                                                    {103, "10,00"},
                                                    {108, "85,00"}});
  std::string rebuilt = RebuildFiscalItem(low);
  EXPECT_EQ(rebuilt.substr(160, 16), Record(16, {{0, "10,00"}}));
  EXPECT_EQ(rebuilt.substr(198, 16), Record(16, {{0, "0,00"}}));
  EXPECT_EQ(rebuilt.substr(57, 17), Record(17, {{0, "100,00"}}));  // not a slot item
}

TEST_F(Fiscal373Test, LargeItemValuesStayInsideTheirSlot) {
  EXPECT_EQ(SlotAmount(9999999999.99), "9.999.999.999,99");
  EXPECT_EQ(SlotAmount(12345678901.25), "12345678901,25");
  EXPECT_EQ(SlotAmount(-12345678901.5), "-12345678901,50");
  EXPECT_EQ(SlotAmount(1234567890123.45), "1234567890123,45");
  EXPECT_EQ(SlotAmount(99999999999999.0), "99999999999999,0");
  EXPECT_EQ(SlotAmount(999999999999999.0), "999999999999999");

  const std::string old =
      Record(kFiscalRecord364,
             {{F::kKind, "1"}, {F::kPosition, "4"}, {49, "12345678901234,5"}, {88, "1,00"}});
  std::string rebuilt = RebuildFiscalItem(old);
  ASSERT_EQ(rebuilt.size(), 300u);
  EXPECT_EQ(rebuilt.substr(122, 16), "12345678901234,5");
  EXPECT_EQ(rebuilt.substr(138, 5), "1,00 ");
}

TEST_F(Fiscal373Test, FileNamesTablesAndBackups) {
  Company("0001");
  const std::string header = Record(kFiscalRecord364, {{F::kKind, "0"}});
  Put("R00\\0001\\L50A2015.DAT", Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"}}));
  Put("R00\\0001\\L502016.DAT", header);
  Put("R00\\0001\\L50A2016.DAT", "");
  Put("R00\\0001\\L502017.DAT", header);
  Put("R00\\0001\\L502017.BAK", "older backup");
  Put("R00\\0001\\G07R0.DAT", "seven");
  Put("R00\\0001\\G15.DAT", "fifteen");
  Put("R00\\0001\\F15.DAT", "kept");
  Run();
  EXPECT_EQ(File("R00\\0001\\L50A2015.DAT"), Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"}}));
  EXPECT_EQ(File("R00\\0001\\L502016.DAT"), header);  // its L50A file exists
  EXPECT_EQ(File("R00\\0001\\L50A2016.DAT"), "");
  EXPECT_EQ(Fiscal("R00\\0001\\L50A2017.DAT"), std::vector<std::string>{Widened(header, ' ')});
  EXPECT_EQ(File("R00\\0001\\L502017.BAK"), header);
  EXPECT_EQ(File("R00\\0001\\F07R0.DAT"), "seven");
  EXPECT_EQ(File("R00\\0001\\G15.DAT"), "fifteen");
  EXPECT_EQ(File("R00\\0001\\F15.DAT"), "kept");
  auto outside = fs.SnapshotOutside();
  EXPECT_TRUE(std::any_of(outside.begin(), outside.end(), [](const auto& entry) {
    return entry.first.ends_with("L502017.BAK") && entry.second == "older backup";
  }));
}

// A Ctrl-Z ends the file: a record cut by it is converted as far as it goes and the pass
// ends there, so a record after it neither is converted nor links. A line end left at the
// end of a file is no record.
TEST_F(Fiscal373Test, CtrlZEndsTheFileAsItsEndWould) {
  Company("0001");
  const std::string header = Record(kFiscalRecord364, {{F::kKind, "0"}});
  Put("R00\\0001\\L502016.DAT", header + "\x1A" + header.substr(1));
  std::string text = Record(kFiscalRecord364, {{F::kKind, "2"}, {F::kHeader, "0"}, {11, "TEXT"}});
  text[50] = '\x1A';
  Put("R00\\0001\\L502017.DAT",
      header + text + Record(kFiscalRecord364, {{F::kKind, "2"}, {F::kHeader, "0"}}));
  Put("R00\\0001\\L502018.DAT", header + "\r\n");
  Run();
  EXPECT_EQ(Fiscal("R00\\0001\\L50A2016.DAT"), std::vector<std::string>{Widened(header, ' ')});
  auto records = Fiscal("R00\\0001\\L50A2017.DAT");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].substr(kInvoiceTextLink, kInvoiceLinkWidth), "1         ");
  EXPECT_EQ(records[1], Widened(text.substr(0, 50), ' '));
  EXPECT_EQ(File("R00\\0001\\L50A2018.DAT"), Widened(header, ' '));
}

TEST_F(Fiscal373Test, AFileThatCannotBeConvertedKeepsItsName) {
  Company("0001");
  const std::string header = Record(kFiscalRecord364, {{F::kKind, "0"}});
  Put("R00\\0001\\L502016.DAT", header);
  fs.MakeFolder("0.tmp");  // the work file cannot be created
  auto result = Run();
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(File("R00\\0001\\L502016.DAT"), header);
  EXPECT_FALSE(Exists("R00\\0001\\L50A2016.DAT"));
  EXPECT_FALSE(Exists("R00\\0001\\L502016.BAK"));
  EXPECT_TRUE(Exists("0.tmp"));
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].kind, "fail");
  EXPECT_NE(sink.messages[0].text.find("0.tmp"), std::string::npos);
}

}  // namespace
}  // namespace livrana
