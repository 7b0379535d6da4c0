// The host file system (POSIX natively, Win32 when cross-built and run under Wine) against
// the Windows semantics that the core relies on.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/cp1252.h"
#include "platform/file_system.h"
#include "platform/host_calls.h"
#include "tests/test_util.h"

namespace livrana::platform {
namespace {

using test::ReadFile;
using test::WriteFile;

class HostFileSystemTest : public ::testing::Test {
 protected:
  HostFileSystemTest() : fs(OpenHostFileSystem(dir.str())) {}
  std::vector<std::string> Names(std::string_view pattern, std::uint32_t mask = 0x37) {
    std::vector<std::string> names;
    for (const auto& e : fs->Find(pattern, mask)) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  test::TempDir dir;
  std::unique_ptr<FileSystem> fs;
};

TEST_F(HostFileSystemTest, NamesAreFoundWithoutRegardToCase) {
  ASSERT_TRUE(fs->MakeFolder("R00"));
  ASSERT_TRUE(fs->MakeFolder("r00\\0001"));
  ASSERT_TRUE(WriteFile(*fs, "R00\\0001\\l50a1995.dat", "invoice"));
  EXPECT_EQ(ReadFile(*fs, "r00\\0001\\L50A1995.DAT"), "invoice");
  EXPECT_EQ(ReadFile(*fs, "R00/0001/L50a1995.Dat"), "invoice");
  // A missing component is created with the case given.
  ASSERT_TRUE(WriteFile(*fs, "r00\\0001\\NovoArq.DAT", "x"));
  EXPECT_EQ(Names("R00\\0001\\*"), (std::vector<std::string>{"NovoArq.DAT", "l50a1995.dat"}));
  EXPECT_FALSE(fs->Open("R00\\MISSING\\X.DAT", Access::kCreate));
  EXPECT_EQ(*fs->Attributes("r00") & kDirectory, kDirectory);
  EXPECT_FALSE(fs->Attributes("R01"));
}

#ifndef _WIN32
TEST_F(HostFileSystemTest, AnExactMatchWinsOverOneThatDiffersInCase) {
  // Two entries that only Linux can tell apart, made outside the converter.
  std::ofstream(dir.path() / "a.dat") << "lower";
  std::ofstream(dir.path() / "A.DAT") << "upper";
  EXPECT_EQ(ReadFile(*fs, "a.dat"), "lower");
  EXPECT_EQ(ReadFile(*fs, "A.DAT"), "upper");
  EXPECT_TRUE(ReadFile(*fs, "A.dat").has_value());
}

// Resolved folders and folder listings are remembered between calls; every change of names
// that the converter makes itself is seen by the next call.
TEST_F(HostFileSystemTest, NameLookupsFollowEveryChangeOfNamesTheConverterMakes) {
  ASSERT_TRUE(fs->MakeFolder("R00"));
  ASSERT_TRUE(fs->MakeFolder("R00\\0001"));
  EXPECT_FALSE(fs->Attributes("r00\\0001\\l50a1990.dat"));
  EXPECT_FALSE(fs->Open("r00\\0001\\l50a1990.dat", Access::kReadWrite));
  ASSERT_TRUE(WriteFile(*fs, "R00\\0001\\L50A1990.DAT", "1990"));
  EXPECT_EQ(ReadFile(*fs, "r00\\0001\\l50a1990.dat"), "1990");

  ASSERT_TRUE(fs->Rename("r00\\0001\\l50a1990.dat", "R00\\0001\\L50A1991.DAT"));
  EXPECT_FALSE(fs->Attributes("r00\\0001\\l50a1990.dat"));
  EXPECT_EQ(ReadFile(*fs, "r00\\0001\\l50a1991.dat"), "1990");
  ASSERT_TRUE(fs->Copy("r00\\0001\\l50a1991.dat", "R00\\0001\\COPIA.DAT", false));
  EXPECT_EQ(ReadFile(*fs, "r00\\0001\\copia.dat"), "1990");

  // A folder renamed: the old name leads nowhere, the new one to the same files.
  ASSERT_TRUE(fs->Rename("r00\\0001", "R00\\0002"));
  EXPECT_FALSE(fs->Attributes("r00\\0001\\l50a1991.dat"));
  EXPECT_FALSE(fs->Open("r00\\0001\\NOVO.DAT", Access::kCreate));
  EXPECT_EQ(ReadFile(*fs, "r00\\0002\\l50a1991.dat"), "1990");

  ASSERT_TRUE(fs->Remove("r00\\0002\\L50A1991.DAT"));
  ASSERT_TRUE(fs->Remove("r00\\0002\\copia.dat"));
  EXPECT_FALSE(fs->Attributes("r00\\0002\\l50a1991.dat"));
  ASSERT_TRUE(fs->RemoveFolder("r00\\0002"));
  EXPECT_FALSE(fs->Attributes("r00\\0002"));
  ASSERT_TRUE(fs->MakeFolder("r00\\0002"));
  ASSERT_TRUE(WriteFile(*fs, "R00\\0002\\x.dat", "new"));
  EXPECT_EQ(ReadFile(*fs, "r00\\0002\\X.DAT"), "new");
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "R00" / "0002" / "x.dat"));
}

TEST_F(HostFileSystemTest, Windows1252NamesAreStoredAsUtf8) {
  ASSERT_TRUE(WriteFile(*fs, "Ação\x81.DAT", "x"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "A\xC3\xA7\xC3\xA3o\xC2\x81.DAT"));
  EXPECT_EQ(ReadFile(*fs, "AÇÃO\x81.dat"), "x");  // Latin-1 letters fold too
  EXPECT_EQ(Names("*.DAT"), std::vector<std::string>{"Ação\x81.DAT"});
}

TEST_F(HostFileSystemTest, DotNamesAreHidden) {
  ASSERT_TRUE(WriteFile(*fs, ".hidden", "x"));
  ASSERT_TRUE(WriteFile(*fs, "plain", "x"));
  EXPECT_EQ(*fs->Attributes(".hidden") & kHidden, kHidden);
  EXPECT_EQ(Names("*", 0), std::vector<std::string>{"plain"});
  EXPECT_EQ(Names("*", kHidden), (std::vector<std::string>{".hidden", "plain"}));
}
#endif

TEST_F(HostFileSystemTest, ReadOnlyFilesRefuseWritesUntilCleared) {
  ASSERT_TRUE(WriteFile(*fs, "RO.DAT", "keep"));
  ASSERT_TRUE(fs->SetReadOnly("ro.dat", true));
  EXPECT_EQ(*fs->Attributes("RO.DAT") & kReadOnly, kReadOnly);
  EXPECT_FALSE(fs->Open("RO.DAT", Access::kReadWrite));
  EXPECT_FALSE(fs->Open("RO.DAT", Access::kCreate));
  EXPECT_FALSE(fs->Open("RO.DAT", Access::kOpenAlways));
  EXPECT_FALSE(fs->Remove("RO.DAT"));
  EXPECT_TRUE(fs->Open("RO.DAT", Access::kRead));
  ASSERT_TRUE(fs->SetReadOnly("RO.DAT", false));
  EXPECT_EQ(*fs->Attributes("RO.DAT") & kReadOnly, 0u);
  EXPECT_TRUE(fs->Open("RO.DAT", Access::kReadWrite));
  EXPECT_EQ(ReadFile(*fs, "RO.DAT"), "keep");
}

TEST_F(HostFileSystemTest, RenameNeverReplacesAndCopyOverwritesOnlyWhenAsked) {
  ASSERT_TRUE(WriteFile(*fs, "A.DAT", "a"));
  ASSERT_TRUE(WriteFile(*fs, "B.DAT", "b"));
  EXPECT_FALSE(fs->Rename("A.DAT", "b.dat"));
  EXPECT_EQ(ReadFile(*fs, "A.DAT"), "a");
  EXPECT_EQ(ReadFile(*fs, "B.DAT"), "b");
  EXPECT_TRUE(fs->Rename("a.dat", "C.DAT"));
  EXPECT_FALSE(fs->Attributes("A.DAT"));
  EXPECT_EQ(ReadFile(*fs, "C.DAT"), "a");
  EXPECT_TRUE(fs->Rename("C.DAT", "c.dat"));  // a change of case only
  EXPECT_EQ(Names("c*"), std::vector<std::string>{"c.dat"});

  EXPECT_FALSE(fs->Copy("B.DAT", "c.dat", false));
  EXPECT_EQ(ReadFile(*fs, "c.dat"), "a");
  EXPECT_TRUE(fs->Copy("B.DAT", "C.DAT", true));
  EXPECT_EQ(ReadFile(*fs, "c.dat"), "b");
  EXPECT_TRUE(fs->Copy("B.DAT", "D.DAT", false));
  EXPECT_EQ(ReadFile(*fs, "D.DAT"), "b");
  EXPECT_FALSE(fs->Copy("NONE.DAT", "E.DAT", true));

  ASSERT_TRUE(fs->MakeFolder("R02"));
  ASSERT_TRUE(WriteFile(*fs, "R02\\X.DAT", "x"));
  ASSERT_TRUE(fs->MakeFolder("R60"));
  EXPECT_FALSE(fs->Rename("R02", "R60"));  // folders are not replaced either
  EXPECT_FALSE(fs->RemoveFolder("R02"));   // not empty
  EXPECT_TRUE(fs->RemoveFolder("R60"));
  EXPECT_TRUE(fs->Rename("R02", "R60"));
  EXPECT_EQ(ReadFile(*fs, "r60\\x.dat"), "x");
}

TEST_F(HostFileSystemTest, FindMatchesPatternsAndAttributeMasks) {
  for (auto name : {"F00R0.DAT", "f01r0.dat", "F02R1.DAT", "G04.DAT", "NOTES.TXT"})
    ASSERT_TRUE(WriteFile(*fs, name, name));
  ASSERT_TRUE(fs->MakeFolder("R00"));
  EXPECT_EQ(Names("F0?R?.dat"), (std::vector<std::string>{"F00R0.DAT", "F02R1.DAT", "f01r0.dat"}));
  EXPECT_EQ(Names("*.DAT").size(), 4u);
  EXPECT_EQ(Names("*", 0).size(), 5u);  // folders only with their bit in the mask
  EXPECT_EQ(Names("*", kDirectory).size(), 6u);
  EXPECT_TRUE(Names("MISSING\\*").empty());
  auto entries = fs->Find("G04.DAT", 0);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, 7u);
  EXPECT_NE(entries[0].fat_date, 0);
  EXPECT_EQ(entries[0].attributes & kDirectory, 0u);
}

TEST_F(HostFileSystemTest, RelativePathsNeverLeaveTheDataFolder) {
  ASSERT_TRUE(fs->MakeFolder("R00"));
  EXPECT_FALSE(fs->Open("..\\outside.dat", Access::kCreate));
  EXPECT_FALSE(fs->Open("R00\\..\\..\\outside.dat", Access::kCreate));
  EXPECT_FALSE(fs->MakeFolder(".."));
  EXPECT_FALSE(std::filesystem::exists(dir.path().parent_path() / "outside.dat"));
}

TEST_F(HostFileSystemTest, FilesReadWriteAndTruncateAtAnyOffset) {
  auto file = fs->Open("BIG.DAT", Access::kCreate);
  ASSERT_TRUE(file);
  const std::uint64_t beyond = 5ull << 30;  // beyond 4 GiB: sizes are 64-bit
  ASSERT_TRUE(file->WriteAt(beyond, "z", 1));
  EXPECT_EQ(file->Size(), beyond + 1);
  char c = 0;
  EXPECT_EQ(file->ReadAt(beyond, &c, 1), 1);
  EXPECT_EQ(c, 'z');
  EXPECT_EQ(file->ReadAt(beyond + 1, &c, 1), 0);
  ASSERT_TRUE(file->Truncate(3));
  EXPECT_EQ(file->Size(), 3u);
  ASSERT_TRUE(file->Close());
  EXPECT_EQ(ReadFile(*fs, "BIG.DAT"), std::string(3, '\0'));
  file = fs->Open("BIG.DAT", Access::kReadWrite);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->Truncate(1));
  EXPECT_EQ(file->Size(), 1u);  // the size of the opening is not kept past a truncation
}

// On a file server's share every call is a round trip: an existing yearly file of a folder
// looked in before costs its opening, size, read, write and close and nothing else, and a
// search for names only costs the listing.
TEST_F(HostFileSystemTest, AYearlyFileCostsFiveCallsAndANamesOnlySearchItsListing) {
  ASSERT_TRUE(fs->MakeFolder("R00"));
  ASSERT_TRUE(fs->MakeFolder("R00\\0001"));
  ASSERT_TRUE(WriteFile(*fs, "R00\\0001\\L50A1990.DAT", "1990"));
  ASSERT_TRUE(WriteFile(*fs, "R00\\0001\\L50A1991.DAT", "1991"));
  ASSERT_TRUE(WriteFile(*fs, "R00\\0001\\.hidden", ""));
  ASSERT_TRUE(ReadFile(*fs, "R00\\0001\\L50A1990.DAT"));  // the folder is known now
  HostCalls calls;
  CountHostCalls(&calls);
  auto file = fs->Open("R00\\0001\\L50A1991.DAT", Access::kReadWrite);
  ASSERT_TRUE(file);
  char buf[4];
  EXPECT_EQ(file->Size(), 4u);
  EXPECT_EQ(file->ReadAt(0, buf, 4), 4);
  EXPECT_TRUE(file->WriteAt(0, "2", 1));
  EXPECT_TRUE(file->Close());
  CountHostCalls(nullptr);
  EXPECT_EQ(calls.Total(), 5) << "open, size, read, write, close";
  for (HostCall kind :
       {HostCall::kOpen, HostCall::kSize, HostCall::kRead, HostCall::kWrite, HostCall::kClose})
    EXPECT_EQ(calls[kind], 1) << "kind " << static_cast<int>(kind);

  calls = {};
  CountHostCalls(&calls);
  auto found = fs->Find("R00\\0001\\*", kDirectory | kNamesOnly);
  CountHostCalls(nullptr);
  EXPECT_EQ(found.size(), 3u);  // hidden entries too
  EXPECT_EQ(calls[HostCall::kQuery], 0);
  EXPECT_EQ(calls.Total(), calls[HostCall::kList] + calls[HostCall::kClose]);

  // The listing of the folder follows the converter's own changes: a company folder of
  // hundreds of files is not read again after each file a step writes there.
  ASSERT_TRUE(fs->Rename("R00\\0001\\L50A1991.DAT", "R00\\0001\\L50A1992.DAT"));
  ASSERT_TRUE(WriteFile(*fs, "R00\\0001\\L50A1993.DAT", "1993"));
  calls = {};
  CountHostCalls(&calls);
  EXPECT_FALSE(fs->Attributes("R00\\0001\\L50A1994.DAT"));
  EXPECT_TRUE(fs->Attributes("r00\\0001\\l50a1992.dat"));
  EXPECT_TRUE(fs->Attributes("r00\\0001\\l50a1993.dat"));
  EXPECT_FALSE(fs->Attributes("r00\\0001\\l50a1991.dat"));
  CountHostCalls(nullptr);
  EXPECT_EQ(calls[HostCall::kList], 0);
}

TEST_F(HostFileSystemTest, TempFolderExistsAndEndsWithASeparator) {
  std::string temp = fs->TempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_TRUE(temp.back() == '\\' || temp.back() == '/');
  EXPECT_EQ(*fs->Attributes(temp) & kDirectory, kDirectory);
  EXPECT_GE(fs->CurrentYear(), 2024);
  EXPECT_FALSE(fs->Busy("NOT-THERE.DAT"));
}

#ifdef _WIN32
TEST_F(HostFileSystemTest, PipesAndDevicesAreNotFiles) {
  const std::string pipe = "\\\\.\\pipe\\livrana-" + std::to_string(GetCurrentProcessId());
  HANDLE server =
      CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 512, 512, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  Outcome why;
  EXPECT_FALSE(fs->Open(pipe, Access::kReadWrite, why));
  EXPECT_EQ(why.cause(), Cause::kNotAFile);
  CloseHandle(server);
  EXPECT_FALSE(fs->Open("\\\\.\\NUL", Access::kRead, why));
  EXPECT_EQ(why.cause(), Cause::kNotAFile);
}
#endif

TEST(Cp1252Test, EveryByteRoundTripsThroughUtf8) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");  // the euro sign
  EXPECT_EQ(Cp1252ToUtf8("\x90"), "\xC2\x90");      // undefined: the C1 control
  EXPECT_FALSE(Utf8ToCp1252("\xE2\x82"));           // cut short
  EXPECT_FALSE(Utf8ToCp1252("\xC0\x80"));           // overlong
  EXPECT_FALSE(Utf8ToCp1252("\xE4\xB8\xAD"));       // not in the code page
  EXPECT_TRUE(SameName("ação.dat", "AÇÃO.DAT"));
  EXPECT_TRUE(MatchPattern("L50A????.DAT", "l50a1995.dat"));
  EXPECT_FALSE(MatchPattern("L50A????.DAT", "l50a995.dat"));
  EXPECT_TRUE(MatchPattern("*a*b", "xxaxxb"));
}

}  // namespace
}  // namespace livrana::platform

#ifndef _WIN32
namespace livrana::platform {
namespace {

TEST_F(HostFileSystemTest, LinksMayNotLeadOutOfTheDataFolder) {
  test::TempDir outside;
  std::ofstream(outside.path() / "secret.dat") << "outside";
  std::filesystem::create_directory_symlink(outside.path(), dir.path() / "R00");
  std::filesystem::create_symlink(outside.path() / "secret.dat", dir.path() / "F00R0.DAT");
  std::filesystem::create_symlink(outside.path() / "new.dat", dir.path() / "FTEL1.DAT");
  std::filesystem::create_directory_symlink(dir.path() / "DADOS", dir.path() / "LINK");
  EXPECT_FALSE(fs->Open("F00R0.DAT", Access::kRead));
  EXPECT_FALSE(fs->Open("r00\\secret.dat", Access::kRead));
  EXPECT_FALSE(fs->Open("FTEL1.DAT", Access::kOpenAlways));  // dangling: would create outside
  EXPECT_FALSE(std::filesystem::exists(outside.path() / "new.dat"));
  // A link that stays inside works, and is marked as one.
  ASSERT_TRUE(fs->MakeFolder("DADOS"));
  ASSERT_TRUE(WriteFile(*fs, "DADOS\\A.DAT", "inside"));
  EXPECT_EQ(ReadFile(*fs, "link\\a.dat"), "inside");
  EXPECT_EQ(*fs->Attributes("LINK") & kReparsePoint, kReparsePoint);
  EXPECT_EQ(*fs->Attributes("DADOS") & kReparsePoint, 0u);
}

// The yearly files of a folder looked up before are opened by their exact name first; each
// opening must still decide as the full lookup does.
TEST_F(HostFileSystemTest, OpeningsInAKnownFolderKeepEveryRule) {
  test::TempDir outside;
  std::ofstream(outside.path() / "secret.dat") << "outside";
  ASSERT_TRUE(fs->MakeFolder("R00"));
  ASSERT_TRUE(fs->MakeFolder("R00\\0001"));
  // What other programs left in the folder before the converter looks in it.
  const auto folder = dir.path() / "R00" / "0001";
  std::ofstream(folder / "l50a1991.dat") << "1991";
  std::filesystem::create_symlink(outside.path() / "secret.dat", folder / "L50A1992.DAT");
  ASSERT_EQ(::mkfifo((folder / "L50A1993.DAT").c_str(), 0644), 0);
  std::filesystem::create_directory(folder / "L50A1994.DAT");
  ASSERT_TRUE(WriteFile(*fs, "R00\\0001\\L50A1990.DAT", "1990"));
  ASSERT_TRUE(fs->Open("R00\\0001\\L50A1990.DAT", Access::kReadWrite));  // folder now known
  ASSERT_TRUE(WriteFile(*fs, "R00\\0001\\L50A1995.DAT", "ro"));
  ASSERT_TRUE(fs->SetReadOnly("R00\\0001\\L50A1995.DAT", true));

  EXPECT_EQ(ReadFile(*fs, "R00\\0001\\L50A1991.DAT"), "1991");  // other case
  EXPECT_TRUE(fs->Open("R00\\0001\\L50A1991.DAT", Access::kReadWrite));
  EXPECT_FALSE(fs->Open("R00\\0001\\L50A1992.DAT", Access::kRead));       // leads outside
  EXPECT_FALSE(fs->Open("R00\\0001\\L50A1993.DAT", Access::kRead));       // a pipe: no hang
  EXPECT_FALSE(fs->Open("R00\\0001\\L50A1994.DAT", Access::kRead));       // a folder
  EXPECT_FALSE(fs->Open("R00\\0001\\L50A1995.DAT", Access::kReadWrite));  // read-only
  EXPECT_EQ(ReadFile(*fs, "R00\\0001\\L50A1995.DAT"), "ro");
  EXPECT_FALSE(fs->Open("R00\\0001\\L50A1996.DAT", Access::kReadWrite));  // missing
  auto file = fs->Open("R00\\0001\\L50A1990.DAT", Access::kReadWrite);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), 4u);
  ASSERT_TRUE(file->WriteAt(4, "+", 1));
  EXPECT_EQ(file->Size(), 5u);  // the size of the opening is not kept past a write
}

}  // namespace
}  // namespace livrana::platform
#endif
