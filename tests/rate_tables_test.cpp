#include "library/v320/rate_tables.h"

#include <gtest/gtest.h>

#include "platform/fault_file_system.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

class RateTablesTest : public test::StepTest {
 protected:
  // The rate table and G15.DAT in one conversion, as the step converts them.
  RateTable ConvertRatesAndG15(std::string_view co, int year) {
    Conversion conversion(ctx);
    RateTable rates;
    EXPECT_TRUE(ReadRateTable(ctx, conversion, co, rates));
    EXPECT_TRUE(ConvertG15(ctx, conversion, co, year, rates));
    EXPECT_TRUE(conversion.Commit());
    return rates;
  }
};

// A G15 record with every field that the yearly table takes told apart.
std::string G15(std::string_view rate_code, std::string_view flag230, std::string_view flag317,
                char deleted = ' ') {
  return Record(719, {{0, "NAME"},
                      {60, "K"},
                      {61, "CNPJ0123456789"},
                      {113, "ADDRESS"},
                      {230, flag230},
                      {231, "AMOUNT231"},
                      {252, "AMOUNT252"},
                      {273, "AMOUNT273"},
                      {315, rate_code},
                      {317, flag317},
                      {319, "V319"},
                      {336, "V336"},
                      {353, "V353"},
                      {370, "V370A"},
                      {376, "V376A"},
                      {382, "ABC"},
                      {385, "UF1"},
                      {394, "CEP394"},
                      {400, "IE4000000"},
                      {410, "CITY"},
                      {447, "V447A"},
                      {718, std::string(1, deleted)}});
}
std::string L15(std::string_view flag60, std::string_view rates, std::string_view flag647) {
  return Record(900,
                {{0, "NAME"},         {60, flag60},       {62, "CNPJ0123456789"}, {80, "K"},
                 {81, "IE4000000"},   {101, "ADDRESS"},   {221, "UF1"},           {224, "CITY"},
                 {262, "31/12/2016"}, {410, "AMOUNT273"}, {428, "V336"},          {446, "V353"},
                 {464, "AMOUNT231"},  {482, "AMOUNT252"}, {500, "V319"},          {554, "V370A"},
                 {559, "V447A"},      {564, rates},       {586, "CEP394"},        {592, "V376A"},
                 {647, flag647},      {648, "ABCABC"}});
}

TEST_F(RateTablesTest, G15BecomesTheYearlyTableWithTheRatesOfItsCode) {
  // Entry 3 of the rate table: 7,5 and 12,25.
  Put("0001\\G16.DAT", Record(320, {{40, "7,5  xx12,25"}}));
  // The CR LF that many tools leave at the end of a file is no record.
  Put("0001\\G15.DAT",
      G15("03", "1", "S") + G15("03", "1", "S", '+') + G15("17", "2", "N") + "\r\n");
  RateTable rates = ConvertRatesAndG15("0001", 2016);
  EXPECT_EQ(rates[2].first, 7.5);
  EXPECT_EQ(rates[2].second, 12.25);

  EXPECT_EQ(File("0001\\L152016.DAT"),
            L15("1", "7,50 12,25 7,50 12,25 ", "1") + L15("0", "0,00 0,00  0,00 0,00  ", "0"));
  EXPECT_TRUE(Saved("0001\\G16.DAT"));
  EXPECT_TRUE(Saved("0001\\G15.DAT"));
  EXPECT_FALSE(fs.Attributes("0001\\G15.DAT"));
}

TEST_F(RateTablesTest, WithoutG16EveryRateIsZeroAndAnExistingYearlyTableBlocksTheConversion) {
  Put("0001\\G15.DAT", G15("03", " ", " "));
  Put("0001\\L152016.DAT", "old");
  RateTable rates = ConvertRatesAndG15("0001", 2016);
  for (const RatePair& pair : rates) EXPECT_EQ(pair.first + pair.second, 0);
  EXPECT_EQ(File("0001\\L152016.DAT"), "old");
  EXPECT_EQ(File("0001\\G15.DAT"), G15("03", " ", " "));
}

TEST_F(RateTablesTest, G07IsWidenedAndMovedAwayOnlyOnceG07R0HoldsIt) {
  std::string live = Record(200, {{0, "CLIENT"}, {198, "z"}});
  // The CR LF that many tools leave at the end of a file is no record.
  Put("0001\\G07.DAT", live + Record(200, {{0, "GONE"}, {199, "+"}}) + live + "\r\n");
  EXPECT_TRUE(ConvertG07(ctx, "0001"));
  EXPECT_EQ(File("0001\\G07R0.DAT"), Record(809, {{0, live}}) + Record(809, {{0, live}}));
  EXPECT_TRUE(Saved("0001\\G07.DAT"));

  // G07R0.DAT present: G07.DAT stays.
  Put("0001\\G07.DAT", live);
  EXPECT_TRUE(ConvertG07(ctx, "0001"));
  EXPECT_EQ(File("0001\\G07.DAT"), live);

  // G07R0.DAT that cannot be written: G07.DAT stays too.
  fs.Remove("0001\\G07R0.DAT");
  platform::FaultFileSystem faulty(fs);
  Context faulty_ctx{faulty, sink, ""};
  faulty.FullDiskAt(1);
  Outcome failed = ConvertG07(faulty_ctx, "0001");
  EXPECT_EQ(failed.cause(), Cause::kDiskFull);
  EXPECT_FALSE(Exists("0001\\G07R0.DAT"));
  EXPECT_EQ(File("0001\\G07.DAT"), live);
}

}  // namespace
}  // namespace livrana
