#include "library/v320/repair360.h"

#include <gtest/gtest.h>

#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

class Repair360Test : public test::StepTest {
 protected:
  void Repair() {
    Conversion conversion(ctx);
    EXPECT_TRUE(RepairInvoiceLedgers360(ctx, conversion, "0001"));
    EXPECT_TRUE(conversion.Commit());
  }
};

TEST_F(Repair360Test, DatesChangePlacesOnlyInTheLedgerOfTheirYear) {
  std::string record = Record(600, {{0, "10/05/2016"}, {10, "0"}, {11, "02/05/2016"}});
  std::string earlier_second = Record(600, {{0, "10/05/2016"}, {10, "0"}, {11, "11/05/2016"}});
  Put("R00\\0001\\L262016.DAT", record + earlier_second);
  Put("R00\\0001\\L262015.DAT", record);
  Repair();
  EXPECT_EQ(File("R00\\0001\\L262016.DAT"),
            Record(600, {{0, "02/05/2016"}, {10, "0"}, {11, "10/05/2016"}}) + earlier_second);
  EXPECT_EQ(File("R00\\0001\\L262015.DAT"), record);
}

TEST_F(Repair360Test, FieldsMoveAndAreRecodedByKind) {
  const std::string kind7 =
      Record(600, {{10, "7"}, {52, "000123"}, {61, "0"}, {73, "5 "}, {258, "150,00"}});
  Put("R00\\0001\\L262016.DAT",
      Record(600, {{10, "2"},
                   {52, "000123"},
                   {61, "0"},
                   {73, "5 "},
                   {258, "150,00"},
                   {276, "1,5"},
                   {281, "9,00"}}) +
          Record(600, {{10, "4"}, {52, "000000"}, {61, "X"}, {73, "51"}, {258, "0,00"}}) +
          Record(600, {{10, "1"}, {21, "2A"}, {466, "12,00"}}) +
          Record(600, {{10, "1"}, {21, "21"}, {466, "12,00"}}) +
          Record(600, {{10, "3"}, {61, "1"}, {78, "AB"}, {100, "rest"}}) + kind7);
  Repair();
  EXPECT_EQ(File("R00\\0001\\L262016.DAT"),
            Record(600, {{10, "2"},
                         {61, "2"},
                         {73, "5933"},
                         {79, "5"},
                         {114, "000123"},
                         {502, "150,00"},
                         {520, "1,5"},
                         {525, "9,00"}}) +
                Record(600, {{10, "4"}, {61, "9"}, {73, "51"}, {258, "0,00"}}) +
                Record(600, {{10, "1"}, {21, "2A"}, {502, "12,00"}}) +
                Record(600, {{10, "1"}, {21, "21"}, {466, "12,00"}}) +
                Record(600, {{10, "3"}, {58, "AB"}, {61, "0"}}) + kind7);
}

TEST_F(Repair360Test, ARecordCutShortKeepsWhatCannotReachItsNewPlace) {
  // The amount at 258 would move to 502, beyond the end of the file.
  std::string cut = Record(600, {{10, "2"}, {61, "1"}, {73, "51"}, {258, "150,00"}}).substr(0, 300);
  Put("R00\\0001\\L262016.DAT", cut);
  Repair();
  EXPECT_EQ(File("R00\\0001\\L262016.DAT"),
            Record(600, {{10, "2"}, {61, "0"}, {73, "51"}, {258, "150,00"}}).substr(0, 300));
}

}  // namespace
}  // namespace livrana
