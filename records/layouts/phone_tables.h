// The four tables whose records carry the telephone fields (the company register, tables 1,
// 2 and 8), and the phone table FTEL1.DAT that the current conversion builds from them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "records/layouts/register.h"

namespace livrana {

// Table 1 (F01R0.DAT, 814 bytes a record) and tables 2 and 8 (1000 bytes).
inline constexpr std::string_view kTable01 = "F01R0.DAT";
inline constexpr std::int32_t kTable01RecordLength = 814;
inline constexpr std::string_view kTable02 = "F02R1.DAT";
inline constexpr std::int32_t kTable02RecordLength = 1000;
inline constexpr std::string_view kTable08 = "F08R1.DAT";
inline constexpr std::int32_t kTable08RecordLength = 1000;

// Every one of the four has the same fields here:
//
//   offset width
//        0    10   the record's code, as stored
//      290    41   first telephone text
//      331    23   second telephone text
struct PhoneFields {
  static constexpr std::size_t kCode = 0, kCodeWidth = 10;
  static constexpr std::size_t kPhone1 = 290, kPhone1Width = 41;
  static constexpr std::size_t kPhone2 = 331, kPhone2Width = 23;
  static constexpr std::size_t kEnd = kPhone2 + kPhone2Width;  // 354
  static constexpr std::size_t kKept = 37;  // characters the first field keeps after 4.34
};
static_assert(PhoneFields::kPhone1 == CompanyFieldOffset(kCompanyPhone1) &&
              PhoneFields::kPhone2 == CompanyFieldOffset(kCompanyPhone2));

// The address block, at the same offsets in the register and tables 1 and 2 (the register's
// fields 3, 4 and 7; its field 5 starts inside the first complement):
//
//   offset width
//       91    40   the address line
//      131    10   first address complement
//      141    20   second address complement
//      161    30   the locality line
//
// Table 2 kept its credit limit (8 characters) in a field of 20 at 592 until version 3.01
// moved it to 268 (the register's field 17).
struct AddressFields {
  static constexpr std::size_t kAddress = 91, kAddressWidth = 40;
  static constexpr std::size_t kComplement = 131, kComplementWidth = 10;
  static constexpr std::size_t kOther = 141, kOtherWidth = 20;
  static constexpr std::size_t kLocality = 161, kLocalityWidth = 30;
  static constexpr std::size_t kRegisterOther = 136;  // the register's field 5
  static constexpr std::size_t kOldCreditLimit = 592, kOldCreditLimitWidth = 20;
  static constexpr std::size_t kCreditLimit = 268, kCreditLimitWidth = 8;
};
static_assert(AddressFields::kAddress == CompanyFieldOffset(3) &&
              AddressFields::kComplement == CompanyFieldOffset(4) &&
              AddressFields::kRegisterOther == CompanyFieldOffset(5) &&
              AddressFields::kLocality == CompanyFieldOffset(7) &&
              AddressFields::kCreditLimit == CompanyFieldOffset(17));

// The tables in the order the phone table takes them, with the kind written into its lines.
struct PhoneTable {
  int kind;
  std::string_view file;
  std::int64_t record_length;
};
inline constexpr std::array<PhoneTable, 4> kPhoneTables = {{
    {0, kCompanyRegister, kCompanyRecordLength},
    {1, kTable01, kTable01RecordLength},
    {2, kTable02, kTable02RecordLength},
    {8, kTable08, kTable08RecordLength},
}};

// FTEL1.DAT: lines of 38 characters and CR LF — kind (2), "01" or "02" (2), merged flag (1),
// code (10), text (23).
inline constexpr std::string_view kPhoneTableFile = "FTEL1.DAT";
inline constexpr std::string_view kPhoneLine1 = "%02d01%d%-10s%-23s\r\n";
inline constexpr std::string_view kPhoneLine2 = "%02d02%d%-10s%-23s\r\n";
inline constexpr std::size_t kPhoneLineBytes = 40;
// While the phone table is being built: its journal, and the whole table before it is
// published under its name.
inline constexpr std::string_view kPhoneJournal = "FTEL1.JNL";
inline constexpr std::string_view kPhoneNew = "FTEL1.NEW";

// An entry of the journal, for the lines of one table record: the table's kind (2), the
// record number (10), which lines follow ("1" the "01" line, "2" the "02" line, "3" both),
// then both lines (kPhoneLineBytes each, spaces when absent).
struct PhoneJournalEntry {
  static constexpr std::size_t kKind = 0, kKindWidth = 2;
  static constexpr std::size_t kRecord = kKind + kKindWidth, kRecordWidth = 10;
  static constexpr std::size_t kWhich = kRecord + kRecordWidth;
  static constexpr std::size_t kLines = kWhich + 1;
  static constexpr std::size_t kSize = kLines + 2 * kPhoneLineBytes;
};

}  // namespace livrana
