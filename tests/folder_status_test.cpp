// The data folder at a glance: the layouts found, the version marks, the companies, and
// the plan of the current conversion, which must be what a real run then does.
#include "upgrade/folder_status.h"

#include <gtest/gtest.h>

#include "convert/convert434.h"
#include "records/company.h"
#include "records/layouts/invoices.h"
#include "records/layouts/phone_tables.h"
#include "tests/step_fixture.h"

namespace livrana {
namespace {

using test::Record;

class FolderStatusTest : public test::StepTest {
 protected:
  std::vector<std::string> LayoutIds() {
    std::vector<std::string> ids;
    for (const auto& found : InspectFolder(fs, "").layouts) ids.push_back(found.id);
    return ids;
  }
  // A register of these records (code, deleted) and an invoice file with one qualifying
  // record for each live company.
  void Register(std::initializer_list<std::pair<std::string_view, bool>> companies) {
    std::string reg;
    for (const auto& [code, deleted] : companies) {
      std::string rec = Record(kCompanyRecordLength, {{RegisterLayout::kCode, code}});
      if (deleted) rec.back() = '+';
      reg += rec;
    }
    Put(kCompanyRegister, reg);
  }
  static std::string Invoice() {
    return Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"},
                                   {InvoiceLayout::kOld, "ABCDEFGHIJ"},
                                   {InvoiceLayout::kMid, "RSTUVWXYZ"}});
  }
};

TEST_F(FolderStatusTest, EachGenerationOfLayoutsIsRecognised) {
  EXPECT_TRUE(LayoutIds().empty());
  EXPECT_EQ(InspectFolder(fs, "").Newest(), nullptr);

  Put("f1.dat", "x");
  Put("dinv\\0001x.dat", "x");
  Put("data\\notes.txt", "a folder of the old set without record files does not count");
  auto status = InspectFolder(fs, "");
  ASSERT_EQ(status.layouts.size(), 1u);
  EXPECT_EQ(status.layouts[0].count, 2);
  EXPECT_EQ(status.layouts[0].examples, (std::vector<std::string>{"f1.dat", "dinv"}));

  Put("L01\\0001A1999.dat", "x");
  EXPECT_EQ(LayoutIds(), (std::vector<std::string>{"old-file-set", "type-folders"}));

  Put("0001\\G01.DAT", "x");
  Put("0002\\L011999.DAT", "x");
  Put("misc\\readme.txt", "not a company folder");
  status = InspectFolder(fs, "");
  ASSERT_EQ(status.layouts.size(), 3u);
  EXPECT_EQ(status.layouts[2].id, "company-folders");
  EXPECT_EQ(status.layouts[2].count, 2);

  Put("R00\\0001\\G01.DAT", "x");
  Put("R00\\0001\\L502016.DAT", "x");
  Put("R00\\0001\\L50A2017.DAT", "x");
  Put("R00\\0001\\L50A2018.DAT", "x");
  Put("R00\\0001\\L50X2018.DAT", "neither");
  Put("R00\\0001\\L502016.BAK", "neither");
  status = InspectFolder(fs, "");
  EXPECT_EQ(LayoutIds(),
            (std::vector<std::string>{"old-file-set", "type-folders", "company-folders",
                                      "r00-folders", "fiscal-200", "fiscal-400"}));
  EXPECT_EQ(status.Newest()->layout, Layout::kFiscal400);
  EXPECT_EQ(status.layouts[4].count, 1);
  EXPECT_EQ(status.layouts[5].count, 2);
}

TEST_F(FolderStatusTest, VersionMarksAreReadAsTheStepsReadThem) {
  auto status = InspectFolder(fs, "");
  EXPECT_FALSE(status.conversion_log_found);
  ASSERT_EQ(status.marks.size(), 6u);
  for (const auto& mark : status.marks) EXPECT_FALSE(mark.present) << mark.tag;

  Put("CONV.DAT", "301\r\n3640\r\nabcdefghi362\r\n\r\nXYZ\r\n");
  status = InspectFolder(fs, "");
  EXPECT_TRUE(status.conversion_log_found);
  std::vector<std::string> present;
  for (const auto& mark : status.marks) {
    if (mark.present) present.push_back(mark.tag + " " + mark.step);
  }
  // "3640" holds the mark 364; the long line holds 362 in its second piece.
  EXPECT_EQ(present, (std::vector<std::string>{"301 version-301", "362 versions-320-362",
                                               "364 invoices-364"}));
  EXPECT_EQ(status.other_log_lines, (std::vector<std::string>{"abcdefghi362", "XYZ"}));
}

TEST_F(FolderStatusTest, CompaniesAreLiveDeletedOrPassedOver) {
  Register({{"0001", false}, {"0002", true}, {"CON", false}, {"A/B", false}, {"0003", false}});
  Put(kCompanyRegister, File(kCompanyRegister) + "\r\n");  // a line end at the end is no company
  fs.MakeFolder("R00");
  fs.MakeFolder("R00\\0001");
  auto status = InspectFolder(fs, "0003");
  ASSERT_TRUE(status.register_found);
  ASSERT_EQ(status.companies.size(), 5u);
  const CompanyState expected[] = {CompanyState::kLive, CompanyState::kDeleted,
                                   CompanyState::kUnusable, CompanyState::kUnusable,
                                   CompanyState::kLive};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(status.companies[i].record, static_cast<std::int64_t>(i));
    EXPECT_EQ(status.companies[i].state, expected[i]) << status.companies[i].code;
  }
  EXPECT_TRUE(status.companies[0].has_folder);
  EXPECT_FALSE(status.companies[4].has_folder);
  EXPECT_FALSE(status.companies[0].selected);
  EXPECT_TRUE(status.companies[4].selected);  // the filter
}

TEST_F(FolderStatusTest, ThePlanIsWhatTheConversionThenDoesAndChangesNothing) {
  Register({{"0001", false}, {"0002", true}, {"0003", false}});
  for (const char* code : {"0001", "0002", "0003"}) {
    Put(std::string("R00\\") + code + "\\L50A1990.DAT", Invoice() + Invoice());
    Put(std::string("R00\\") + code + "\\L50A2018.DAT", Invoice());
  }
  Put(kTable01, Record(kTable01RecordLength, {{PhoneFields::kCode, "C1"},
                                              {PhoneFields::kPhone1, std::string(40, '9')},
                                              {PhoneFields::kPhone2, "55"}}));
  Put(kPhoneJournal, "");  // an interrupted phone-table phase that had written nothing yet
  Put("LIVRANA.LCK", "pid=77\r\nhost=outra\r\ntime=2026-01-01 00:00:00\r\n");

  for (const std::string filter : {"", "0003"}) {
    platform::MemoryFileSystem copy;
    for (const auto& [path, data] : fs.Snapshot()) {
      if (path.ends_with("\\")) {
        copy.MakeFolder(path.substr(0, path.size() - 1));
      } else {
        test::WriteFile(copy, path, data);
      }
    }
    auto before = copy.Snapshot();
    FolderStatus status = InspectFolder(copy, filter);
    EXPECT_EQ(copy.Snapshot(), before) << filter;
    EXPECT_TRUE(status.ConvertHasWork());
    EXPECT_TRUE(status.phone_journal_exists);
    EXPECT_FALSE(status.phone_table_exists);
    ASSERT_TRUE(status.lock);
    EXPECT_EQ(status.lock->host, "outra");

    copy.Remove("LIVRANA.LCK");
    Context real{copy, sink, filter};
    Convert434Result done = Convert434(real, Convert434Detail::kFiles);
    const Convert434Result& plan = status.plan;
    EXPECT_EQ(plan.converted, filter.empty() ? 6 : 3);
    EXPECT_EQ(plan.converted, done.converted);
    EXPECT_EQ(plan.companies, done.companies);
    EXPECT_EQ(plan.files_changed, done.files_changed);
    EXPECT_EQ(plan.phone_lines, done.phone_lines);
    EXPECT_EQ(plan.phone_lines, 2);
    ASSERT_EQ(plan.invoice_files.size(), done.invoice_files.size());
    for (std::size_t i = 0; i < plan.invoice_files.size(); ++i) {
      EXPECT_EQ(plan.invoice_files[i].path, done.invoice_files[i].path);
      EXPECT_EQ(plan.invoice_files[i].converted, done.invoice_files[i].converted);
    }

    FolderStatus after = InspectFolder(copy, filter);
    EXPECT_TRUE(after.phone_table_exists);
    EXPECT_FALSE(after.ConvertHasWork()) << filter;
    EXPECT_FALSE(after.lock_file_exists);
  }
}

}  // namespace
}  // namespace livrana
