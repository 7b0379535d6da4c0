#include "library/v320/rate_tables.h"

#include <gtest/gtest.h>

#include "platform/fault_file_system.h"
#include "records/layouts/rate_tables.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;
using G = G15Layout;
using L = YearlyL15Layout;

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
std::string G15(std::string_view rate_code, std::string_view flag, std::string_view yes_no,
                char deleted = ' ') {
  return Record(kG15Record, {{G::kName, "NAME"},
                             {G::kKind, "K"},
                             {G::kCnpj, "CNPJ0123456789"},
                             {G::kAddress, "ADDRESS"},
                             {G::kFlag, flag},
                             {G::kAmount1, "AMOUNT1"},
                             {G::kAmount2, "AMOUNT2"},
                             {G::kAmount3, "AMOUNT3"},
                             {G::kRateCode, rate_code},
                             {G::kYesNo, yes_no},
                             {G::kValue1, "VALUE1"},
                             {G::kValue2, "VALUE2"},
                             {G::kValue3, "VALUE3"},
                             {G::kExtra1, "EXT1A"},
                             {G::kExtra2, "EXT2A"},
                             {G::kShortCode, "ABC"},
                             {G::kState, "UF1"},
                             {G::kPostalCode, "CEP123"},
                             {G::kStateNumber, "IE4000000"},
                             {G::kCity, "CITY"},
                             {G::kExtra3, "EXT3A"},
                             {G::kDeleted, std::string(1, deleted)}});
}
std::string L15(std::string_view flag, std::string_view rates, std::string_view yes_no) {
  return Record(kYearlyL15Record, {{L::kName, "NAME"},
                                   {L::kFlag, flag},
                                   {L::kCnpj, "CNPJ0123456789"},
                                   {L::kKind, "K"},
                                   {L::kStateNumber, "IE4000000"},
                                   {L::kAddress, "ADDRESS"},
                                   {L::kState, "UF1"},
                                   {L::kCity, "CITY"},
                                   {L::kClosingDay, "31/12/2016"},
                                   {L::kAmount3, "AMOUNT3"},
                                   {L::kValue2, "VALUE2"},
                                   {L::kValue3, "VALUE3"},
                                   {L::kAmount1, "AMOUNT1"},
                                   {L::kAmount2, "AMOUNT2"},
                                   {L::kValue1, "VALUE1"},
                                   {L::kExtra1, "EXT1A"},
                                   {L::kExtra3, "EXT3A"},
                                   {L::kRates, rates},
                                   {L::kPostalCode, "CEP123"},
                                   {L::kExtra2, "EXT2A"},
                                   {L::kYesNo, yes_no},
                                   {L::kShortCode, "ABCABC"}});
}

TEST_F(RateTablesTest, G15BecomesTheYearlyTableWithTheRatesOfItsCode) {
  // Entry 3 of the rate table: 7,5 and 12,25.
  constexpr std::size_t kThird = 2 * kRateEntry;
  Put("0001\\G16.DAT",
      Record(kRateEntries * kRateEntry, {{kThird + RateEntryLayout::kFirst, "7,5"},
                                         {kThird + RateEntryLayout::kGap, "xx"},
                                         {kThird + RateEntryLayout::kSecond, "12,25"}}));
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
  // The character before the deletion mark is carried.
  std::string live = Record(kG07Record, {{0, "CLIENT"}, {G07Layout::kDeleted - 1, "z"}});
  // The CR LF that many tools leave at the end of a file is no record.
  Put("0001\\G07.DAT",
      live + Record(kG07Record, {{0, "GONE"}, {G07Layout::kDeleted, "+"}}) + live + "\r\n");
  EXPECT_TRUE(ConvertG07(ctx, "0001"));
  EXPECT_EQ(File("0001\\G07R0.DAT"),
            Record(kG07R0Record, {{0, live}}) + Record(kG07R0Record, {{0, live}}));
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
