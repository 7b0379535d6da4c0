// The tables of a company folder that version 3.20 converts before the folder moves below
// R00: the rate table G16.DAT, G15.DAT with its yearly table L15<year>.DAT, and G07.DAT with
// its widened form G07R0.DAT. Every name takes the company folder first.
#pragma once

#include <cstddef>
#include <string_view>

namespace livrana {

// ---------------------------------------------------------------------------------------
// G16.DAT: sixteen entries of 20 characters one after another, numbered 1 to 16; no
// deletion mark.
//
//   offset width
//        0     5   first rate
//        5     2   not used
//        7    13   second rate
// ---------------------------------------------------------------------------------------
inline constexpr std::string_view kRateTableFile = "%s\\G16.DAT";
inline constexpr std::size_t kRateEntries = 16;
inline constexpr std::size_t kRateEntry = 20;

struct RateEntryLayout {
  static constexpr std::size_t kFirst = 0, kFirstWidth = 5;
  static constexpr std::size_t kGap = 5, kGapWidth = 2;
  static constexpr std::size_t kSecond = 7, kSecondWidth = 13;
};
static_assert(RateEntryLayout::kGap == RateEntryLayout::kFirst + RateEntryLayout::kFirstWidth);
static_assert(RateEntryLayout::kSecond == RateEntryLayout::kGap + RateEntryLayout::kGapWidth);
static_assert(RateEntryLayout::kSecond + RateEntryLayout::kSecondWidth == kRateEntry);

// ---------------------------------------------------------------------------------------
// G15.DAT: records of 719 characters, "+" in the last when deleted. The fields below are the
// ones the yearly table takes; their names are labels for the places they take there, and
// beyond its position no field's meaning matters to the conversion.
//
//   offset width
//        0    60   name
//       60     1   kind
//       61    14   CNPJ
//      113   117   address
//      230     1   flag: "1" or another character
//      231    18   first amount
//      252    18   second amount
//      273    18   third amount
//      315     2   rate code: the entry of G16.DAT, 1 to 16
//      317     1   "S" (yes) or another character
//      319    17   first value
//      336    17   second value
//      353    17   third value
//      370     5   first extra field
//      376     5   second extra field
//      382     3   short code
//      385     3   state (UF)
//      394     6   postal code (CEP)
//      400     9   state registration (IE)
//      410    37   city
//      447     5   third extra field
//      718     1   deletion mark
// ---------------------------------------------------------------------------------------
inline constexpr std::string_view kG15File = "%s\\G15.DAT";
inline constexpr std::size_t kG15Record = 719;

struct G15Layout {
  static constexpr std::size_t kName = 0, kNameWidth = 60;
  static constexpr std::size_t kProbeWidth = 60;  // read at a record's start to see it is there
  static constexpr std::size_t kKind = 60, kKindWidth = 1;
  static constexpr std::size_t kCnpj = 61, kCnpjWidth = 14;
  static constexpr std::size_t kAddress = 113, kAddressWidth = 117;
  static constexpr std::size_t kFlag = 230, kFlagWidth = 1;
  static constexpr std::size_t kAmount1 = 231, kAmount2 = 252, kAmount3 = 273, kAmountWidth = 18;
  static constexpr std::size_t kRateCode = 315, kRateCodeWidth = 2;
  static constexpr std::size_t kYesNo = 317, kYesNoWidth = 1;
  static constexpr std::size_t kValue1 = 319, kValue2 = 336, kValue3 = 353, kValueWidth = 17;
  static constexpr std::size_t kExtra1 = 370, kExtra2 = 376, kExtra3 = 447, kExtraWidth = 5;
  static constexpr std::size_t kShortCode = 382, kShortCodeWidth = 3;
  static constexpr std::size_t kState = 385, kStateWidth = 3;
  static constexpr std::size_t kPostalCode = 394, kPostalCodeWidth = 6;
  static constexpr std::size_t kStateNumber = 400, kStateNumberWidth = 9;
  static constexpr std::size_t kCity = 410, kCityWidth = 37;
  static constexpr std::size_t kDeleted = kG15Record - 1;
};

// ---------------------------------------------------------------------------------------
// L15<year>.DAT: records of 900 characters, one for each live G15 record, dated the last
// day of the year. The fields carry the names of the G15 fields they come from.
//
//   offset width
//        0    60   name
//       60     2   "1" when the G15 flag is "1", else "0"
//       62    18   CNPJ
//       80     1   kind
//       81    20   state registration (IE)
//      101   120   address
//      221     3   state (UF)
//      224    38   city
//      262     6   "31/12/"
//      268   142   the year, left-aligned: with the field before it, the closing date
//      410    18   third amount
//      428    18   second value
//      446    18   third value
//      464    18   first amount
//      482    18   second amount
//      500    54   first value
//      554     5   first extra field
//      559     5   third extra field
//      564    22   the rate pair of the rate code (5 and 6 characters), twice
//      586     6   postal code (CEP)
//      592    55   second extra field
//      647     1   1 when the G15 field is "S", else 0
//      648     6   the short code twice, each right-aligned in 3
//      654   246   spaces
// ---------------------------------------------------------------------------------------
inline constexpr std::string_view kYearlyL15File = "%s\\L15%d.DAT";  // company folder, year
inline constexpr std::size_t kYearlyL15Record = 900;

struct YearlyL15Layout {
  static constexpr std::size_t kName = 0, kNameWidth = 60;
  static constexpr std::size_t kFlag = 60, kFlagWidth = 2;
  static constexpr std::size_t kCnpj = 62, kCnpjWidth = 18;
  static constexpr std::size_t kKind = 80, kKindWidth = 1;
  static constexpr std::size_t kStateNumber = 81, kStateNumberWidth = 20;
  static constexpr std::size_t kAddress = 101, kAddressWidth = 120;
  static constexpr std::size_t kState = 221, kStateWidth = 3;
  static constexpr std::size_t kCity = 224, kCityWidth = 38;
  static constexpr std::size_t kClosingDay = 262, kClosingDayWidth = 6;
  static constexpr std::size_t kYear = 268, kYearWidth = 142;
  static constexpr std::size_t kAmountWidth = 18;  // the amounts and the second, third value
  static constexpr std::size_t kAmount3 = 410, kValue2 = 428, kValue3 = 446;
  static constexpr std::size_t kAmount1 = 464, kAmount2 = 482;
  static constexpr std::size_t kValue1 = 500, kValue1Width = 54;
  static constexpr std::size_t kExtra1 = 554, kExtra3 = 559, kExtraWidth = 5;
  static constexpr std::size_t kRates = 564, kRatesWidth = 22;
  static constexpr std::size_t kFirstRateWidth = 5, kSecondRateWidth = 6;
  static constexpr std::size_t kPostalCode = 586, kPostalCodeWidth = 6;
  static constexpr std::size_t kExtra2 = 592, kExtra2Width = 55;
  static constexpr std::size_t kYesNo = 647, kYesNoWidth = 1;
  static constexpr std::size_t kShortCode = 648, kShortCodeWidth = 6;
  static constexpr std::size_t kBlank = 654, kBlankWidth = 246;
};
static_assert(2 * (YearlyL15Layout::kFirstRateWidth + YearlyL15Layout::kSecondRateWidth) ==
              YearlyL15Layout::kRatesWidth);
static_assert(YearlyL15Layout::kBlank + YearlyL15Layout::kBlankWidth == kYearlyL15Record);

// ---------------------------------------------------------------------------------------
// G07.DAT: records of 200 characters, "+" at 199 when deleted. G07R0.DAT: records of 809
// characters, each a live G07 record followed by spaces.
// ---------------------------------------------------------------------------------------
inline constexpr std::string_view kG07File = "%s\\G07.DAT";
inline constexpr std::string_view kG07R0File = "%s\\G07R0.DAT";
inline constexpr std::size_t kG07Record = 200;
inline constexpr std::size_t kG07R0Record = 809;

struct G07Layout {
  static constexpr std::size_t kDeleted = kG07Record - 1;
};

}  // namespace livrana
