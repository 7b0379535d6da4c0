#include "run/backup_file_system.h"

#include <gtest/gtest.h>

#include "convert/convert434.h"
#include "platform/memory_file_system.h"
#include "records/layouts/invoices.h"
#include "records/layouts/phone_tables.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

using test::ReadFile;
using test::Record;
using test::WriteFile;

class BackupFileSystemTest : public ::testing::Test {
 protected:
  BackupFileSystemTest()
      : backed(fs, [this](std::string_view path, Outcome&) -> std::optional<std::string> {
          if (refuse) return std::nullopt;
          std::string copy = "/tmp/" + std::string(path);
          for (auto& c : copy) c = c == '\\' ? '_' : c;
          if (!fs.Copy(path, copy, false)) return std::nullopt;
          return copy;
        }) {}
  platform::MemoryFileSystem fs;
  BackupFileSystem backed;
  bool refuse = false;
};

TEST_F(BackupFileSystemTest, ARunCanBeUndoneFromItsBackups) {
  std::string untouched = Record(kInvoiceRecord, {{InvoiceLayout::kKind, "1"}});
  WriteFile(fs, kCompanyRegister,
            Record(kCompanyRecordLength, {{RegisterLayout::kCode, "0001"},
                                          {PhoneFields::kPhone1, std::string(39, '7')},
                                          {PhoneFields::kPhone2, "9"}}));
  fs.MakeFolder("R00");
  fs.MakeFolder("R00\\0001");
  WriteFile(
      fs, "R00\\0001\\L50A1990.DAT",
      Record(kInvoiceRecord, {{InvoiceLayout::kKind, "0"}, {InvoiceLayout::kOld, "ABCDEFGHIJ"}}));
  WriteFile(fs, "R00\\0001\\L50A1991.DAT", untouched);
  const auto before = fs.Snapshot();

  test::RecordingSink sink;
  Context ctx{backed, sink, ""};
  auto result = Convert434(ctx);
  ASSERT_TRUE(result.ok());
  ASSERT_EQ(backed.backups().size(), 2u);  // the invoice file and the register
  EXPECT_EQ(backed.backups()[0].original, "R00\\0001\\L50A1990.DAT");
  EXPECT_EQ(backed.Created(), std::vector<std::string>{std::string(kPhoneTableFile)});

  for (const auto& b : backed.backups()) {
    EXPECT_EQ(ReadFile(fs, b.copy), before.at(b.original));
    ASSERT_TRUE(fs.Copy(b.copy, b.original, true));
  }
  for (const auto& path : backed.Created()) fs.Remove(path);
  EXPECT_EQ(fs.Snapshot(), before);
}

TEST_F(BackupFileSystemTest, NoChangeWithoutItsBackup) {
  WriteFile(fs, "A.DAT", "original");
  refuse = true;
  auto file = backed.Open("A.DAT", platform::Access::kReadWrite);
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->WriteAt(0, "x", 1));
  EXPECT_FALSE(backed.Open("A.DAT", platform::Access::kCreate));
  EXPECT_FALSE(backed.Remove("A.DAT"));
  EXPECT_FALSE(backed.Rename("A.DAT", "B.DAT"));
  EXPECT_EQ(ReadFile(fs, "A.DAT"), "original");
  // A file the run creates needs none.
  auto created = backed.Open("NEW.DAT", platform::Access::kCreate);
  EXPECT_TRUE(created->WriteAt(0, "x", 1));
}

TEST_F(BackupFileSystemTest, EachFileIsBackedUpOnceBeforeItsFirstChange) {
  WriteFile(fs, "A.DAT", "one");
  {
    auto file = backed.Open("a.dat", platform::Access::kReadWrite);
    EXPECT_TRUE(backed.backups().empty());  // opened, not yet changed
    file->WriteAt(0, "t", 1);
    file->WriteAt(1, "w", 1);
  }
  auto again = backed.Open("A.DAT", platform::Access::kCreate);
  ASSERT_EQ(backed.backups().size(), 1u);
  EXPECT_EQ(ReadFile(fs, backed.backups()[0].copy), "one");
}

}  // namespace
}  // namespace livrana
