#include "records/company.h"

#include <gtest/gtest.h>

#include <numeric>

#include "platform/memory_file_system.h"
#include "records/layouts/register.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

using test::Record;
using test::RecordingSink;
using test::WriteFile;

TEST(CompanyLayoutTest, FieldWidthsFillTheRecord) {
  EXPECT_EQ(std::accumulate(kCompanyFieldWidths.begin(), kCompanyFieldWidths.end(), 0),
            kCompanyRecordLength);
  // Offsets the steps rely on.
  auto offset = [](int k) {
    return std::accumulate(kCompanyFieldWidths.begin(), kCompanyFieldWidths.begin() + k, 0);
  };
  EXPECT_EQ(offset(kCompanyPhone1), 290);
  EXPECT_EQ(offset(kCompanyPhone2), 331);
  EXPECT_EQ(offset(kCompanyRateCode), 631);
  EXPECT_EQ(offset(kCompanyMergesChart), 680);
  EXPECT_EQ(offset(kCompanyDeleted), 999);
}

class CompanyLoopTest : public ::testing::Test {
 protected:
  std::vector<std::pair<std::int64_t, std::string>> Visit(std::string filter, bool opened = true) {
    Context ctx{fs, sink, std::move(filter)};
    std::vector<std::pair<std::int64_t, std::string>> seen;
    auto work = [&](std::int64_t n, const std::string& code) { seen.emplace_back(n, code); };
    if (opened) {
      ForEachCompany(ctx, work);
    } else {
      ForEachCompanyUnopened(ctx, work);
    }
    return seen;
  }
  void Register(std::initializer_list<std::string> records, std::string tail = "") {
    std::string data;
    for (const auto& r : records) data += r;
    WriteFile(fs, kCompanyRegister, data + tail);
  }
  static std::string Company(std::string_view code, bool deleted = false) {
    return Record(kCompanyRecordLength,
                  {{RegisterLayout::kCode, code}, {RegisterLayout::kDeleted, deleted ? "+" : " "}});
  }

  platform::MemoryFileSystem fs;
  RecordingSink sink;
  using Seen = std::vector<std::pair<std::int64_t, std::string>>;
};

TEST_F(CompanyLoopTest, VisitsLiveCompaniesInRecordOrder) {
  Register({Company("A"), Company("B", true), Company("C")}, "SHORT");
  EXPECT_EQ(Visit(""), (Seen{{0, "A"}, {2, "C"}, {3, "SHORT"}}));
  // Each company visited is told to the sink with the register's count, the short one too.
  using Progress = std::vector<std::pair<std::int64_t, std::int64_t>>;
  EXPECT_EQ(sink.companies, (Progress{{0, 4}, {2, 4}, {3, 4}}));
  sink.companies.clear();
  Visit("", false);
  EXPECT_EQ(sink.companies, (Progress{{0, 4}, {1, 4}, {2, 4}, {3, 4}}));
}

TEST_F(CompanyLoopTest, FilterComparesTheTrimmedCodeByteForByte) {
  Register(
      {Company("123"), Company(" 123"), Company("1234"), Company("abc"), Company("123", true)});
  EXPECT_EQ(Visit("123"), (Seen{{0, "123"}}));
  EXPECT_EQ(Visit("123 "), Seen{});
  EXPECT_EQ(Visit("ABC"), Seen{});
  EXPECT_EQ(Visit(" 123"), (Seen{{1, " 123"}}));
}

TEST_F(CompanyLoopTest, MissingRegisterVisitsNothing) {
  Context ctx{fs, sink, ""};
  EXPECT_FALSE(ForEachCompany(ctx, [](std::int64_t, const std::string&) { FAIL(); }));
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(CompanyLoopTest, VariantWithoutOpenRegisterVisitsDeletedCompaniesToo) {
  Register({Company("A"), Company("B", true)});
  EXPECT_EQ(Visit("", false), (Seen{{0, "A"}, {1, "B"}}));
  EXPECT_EQ(Visit("B", false), (Seen{{1, "B"}}));
}

// The CR LF that many tools leave at the end of a file is no company and is passed over
// without a note; a short last piece with anything else in it is still a record.
TEST_F(CompanyLoopTest, ALineEndAtTheEndOfTheRegisterIsNoCompany) {
  Register({Company("A")}, "\r\n");
  Context ctx{fs, sink, ""};
  Seen seen;
  ForEachCompany(ctx, OnlyUsableFolders(ctx, [&](std::int64_t n, const std::string& code) {
                   seen.emplace_back(n, code);
                 }));
  EXPECT_EQ(seen, (Seen{{0, "A"}}));
  EXPECT_EQ(Visit("", false), (Seen{{0, "A"}}));
  EXPECT_TRUE(sink.notes.empty());
  Register({Company("A")}, "\r\nX");
  EXPECT_EQ(Visit(""), (Seen{{0, "A"}, {1, "\r\n"}}));
}

TEST(UsableFolderNameTest, RefusesNamesThatLeaveOrMisnameTheFolder) {
  for (std::string_view bad :
       {"",    ".",    "..",   "A\\B",    "A/B",  "C:",   "A*",   "A?",  "A\x01", "CON", "con",
        "Nul", "COM1", "lpt9", "AUX.DAT", "CON ", "ABC.", "ABC ", "A<B", "A|B",   "A\"B"}) {
    EXPECT_FALSE(UsableFolderName(bad)) << bad;
  }
  for (std::string_view good : {"0001", "123", " 123", "CONSTRUTORA", "COM10", "A.B", "Açaí"}) {
    EXPECT_TRUE(UsableFolderName(good)) << good;
  }
}

}  // namespace
}  // namespace livrana
