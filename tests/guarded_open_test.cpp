#include "records/guarded_open.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/memory_file_system.h"
#include "tests/test_util.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace livrana {
namespace {

using test::ReadFile;
using test::Record;
using test::WriteFile;

constexpr const char* kSharingText =
    "Erro ao abrir o arquivo.\nO compartilhamento de arquivos no servidor precisa ter "
    "permissão para gravação.";

class GuardedOpenTest : public ::testing::Test {
 protected:
  // Adds a record of 100 bytes through FOpen2 and gives the record number it went to.
  std::int32_t Add(std::string_view text, Reuse reuse = Reuse::kNone, std::int32_t after = -1) {
    std::int32_t record = after;
    FileHandle file = FOpen2(ctx, "A.DAT", 100, record, true, reuse);
    if (!file) return -99;
    EXPECT_TRUE(file->Write(Record(100, {{0, text}})));
    EXPECT_TRUE(CloseFile(file));
    return record;
  }
  std::string Contents() { return ReadFile(fs, "A.DAT").value_or("<missing>"); }

  platform::MemoryFileSystem fs;
  test::RecordingSink sink;
  Context ctx{fs, sink, ""};
};

TEST_F(GuardedOpenTest, AddingGoesAfterTheLastRecordCompletingAPartialOne) {
  EXPECT_EQ(Add("first"), 0);  // the missing file is created
  EXPECT_EQ(Contents(), Record(100, {{0, "first"}}));
  WriteFile(fs, "A.DAT", std::string(250, 'x'));
  EXPECT_EQ(Add("next"), 3);
  EXPECT_EQ(Contents(), std::string(250, 'x') + std::string(50, ' ') + Record(100, {{0, "next"}}));
  EXPECT_EQ(Add("again"), 4);  // a whole number of records: nothing is added first
  EXPECT_EQ(Contents().size(), 500u);
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_EQ(sink.wait_depth, 0);

  // Without a record length the record number stays -1 and bytes are just appended.
  std::int32_t record = 5;
  FileHandle file = FOpen2(ctx, "B.DAT", 0, record, true);
  ASSERT_TRUE(file);
  EXPECT_EQ(record, -1);
}

TEST_F(GuardedOpenTest, ReusesDeletedRecords) {
  auto deleted = [](std::string_view t) { return Record(100, {{0, t}, {99, "+"}}); };
  WriteFile(fs, "A.DAT",
            Record(100, {{0, "r0"}}) + deleted("r1") + Record(100, {{0, "r2"}}) + deleted("r3") +
                Record(100, {{0, "r4"}}));
  std::string before = Contents();
  EXPECT_EQ(Add("new1", Reuse::kAfter, 1), 3);  // the search starts after record 1
  EXPECT_EQ(Add("new2", Reuse::kFirst, 4), 1);  // from the start, whatever was passed
  EXPECT_EQ(Add("new3", Reuse::kAfter, 0), 5);  // none left: appended
  std::string expected = before;
  expected.replace(300, 100, Record(100, {{0, "new1"}}));
  expected.replace(100, 100, Record(100, {{0, "new2"}}));
  EXPECT_EQ(Contents(), expected + Record(100, {{0, "new3"}}));
  // A deleted record whose last byte lies beyond the end is not a record to reuse.
  WriteFile(fs, "A.DAT", Record(100, {{0, "r0"}}) + std::string(60, ' '));
  EXPECT_EQ(Add("x", Reuse::kFirst), 2);
}

// The attribute is cleared and the record written, as before; a note names the file once per
// opening, also when a search for a deleted record gave up the first opening.
TEST_F(GuardedOpenTest, AReadOnlyFileIsWrittenAndANoteNamesIt) {
  const std::string note =
      "A.DAT era somente leitura; o atributo foi retirado para gravar o arquivo.";
  WriteFile(fs, "A.DAT", Record(100, {{0, "r0"}}) + Record(100, {{0, "r1"}, {99, "+"}}));
  for (Reuse reuse : {Reuse::kNone, Reuse::kFirst, Reuse::kAfter}) {
    fs.SetReadOnly("A.DAT", true);
    sink.notes.clear();
    EXPECT_GE(Add("new", reuse, 1), 1) << static_cast<int>(reuse);
    EXPECT_EQ(sink.notes, std::vector<std::string>{note}) << static_cast<int>(reuse);
    EXPECT_EQ(*fs.Attributes("A.DAT") & platform::kReadOnly, 0u);
  }
  EXPECT_EQ(Contents().substr(100, 3), "new");  // kFirst reused record 1
  fs.SetReadOnly("A.DAT", true);
  sink.notes.clear();
  std::int32_t record = 0;
  EXPECT_TRUE(FOpen2(ctx, "A.DAT", 100, record, false));
  EXPECT_EQ(sink.notes, std::vector<std::string>{note});
  sink.notes.clear();
  EXPECT_TRUE(FOpen2(ctx, "A.DAT", 100, record, false));  // writable now: no note
  EXPECT_TRUE(sink.notes.empty());
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(GuardedOpenTest, ABusyFileIsNotSearchedAndIsAppendedToAfterTheWait) {
  WriteFile(fs, "A.DAT", Record(100, {{99, "+"}}));
  fs.SetBusy("A.DAT", true);
  EXPECT_EQ(Add("x", Reuse::kFirst), 1);
  EXPECT_EQ(fs.PausedMilliseconds(), 2000);  // two busy tests of 20 pauses each
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(GuardedOpenTest, RewritingPositionsAtAnExistingRecordOnly) {
  WriteFile(fs, "A.DAT", std::string(500, '.'));
  std::int32_t record = 2;
  FileHandle file = FOpen2(ctx, "A.DAT", 100, record, false);
  ASSERT_TRUE(file);
  file->Write(Record(100, {{0, "two"}}));
  CloseFile(file);
  EXPECT_EQ(Contents().substr(200, 100), Record(100, {{0, "two"}}));
  EXPECT_EQ(Contents().size(), 500u);

  record = 5;
  Outcome why;
  EXPECT_FALSE(FOpen2(ctx, "A.DAT", 100, record, false, Reuse::kNone, &why));
  EXPECT_EQ(why.cause(), Cause::kNoRecord);
  EXPECT_EQ(why.file(), "A.DAT");
  record = 0;
  EXPECT_FALSE(FOpen2(ctx, "NONE.DAT", 100, record, false));
  EXPECT_FALSE(fs.Attributes("NONE.DAT"));                    // nothing created
  EXPECT_FALSE(FOpen2(ctx, "NO\\A.DAT", 100, record, true));  // its folder is missing
  ASSERT_EQ(sink.messages.size(), 3u);
  EXPECT_EQ(sink.messages[0].text, "Erro ao posicionar arquivo (r+t).");
  EXPECT_EQ(sink.messages[1].text, "Arquivo inexistente.");
  EXPECT_EQ(sink.messages[2].text, kSharingText);
  for (const auto& m : sink.messages) {
    EXPECT_EQ(m.kind, "fail");
    EXPECT_EQ(m.caption, "FOpen2");
  }
}

TEST_F(GuardedOpenTest, FileBusyRetriesForAboutOneSecond) {
  WriteFile(fs, "A.DAT", "x");
  EXPECT_FALSE(FileBusy(ctx, "A.DAT", BusyMode::kMessage));
  EXPECT_FALSE(FileBusy(ctx, "NONE.DAT", BusyMode::kMessage));
  EXPECT_EQ(fs.PausedMilliseconds(), 0);
  fs.SetBusy("A.DAT", true);
  EXPECT_TRUE(FileBusy(ctx, "A.DAT", BusyMode::kSilent));
  EXPECT_FALSE(FileBusy(ctx, "A.DAT", BusyMode::kGoOn));
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_TRUE(FileBusy(ctx, "A.DAT", BusyMode::kMessage));
  EXPECT_EQ(fs.PausedMilliseconds(), 3 * 20 * 50);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].kind, "warn");
  EXPECT_EQ(sink.messages[0].caption, "FileBusy");
  EXPECT_EQ(sink.messages[0].text, "Sistema ocupado, tente novamente.");
  EXPECT_EQ(sink.wait_depth, 0);
}

// Very large files, as sparse files on the host.
class GuardedOpenSizeTest : public ::testing::Test {
 protected:
  GuardedOpenSizeTest() : fs(platform::OpenHostFileSystem(dir.str())), ctx{*fs, sink, ""} {}
  std::int32_t AddTo(std::uintmax_t size) {
    std::ofstream(dir.path() / "BIG.DAT").put('x');
    std::filesystem::resize_file(dir.path() / "BIG.DAT", size);
    std::int32_t record = -1;
    FileHandle file = FOpen2(ctx, "BIG.DAT", 100, record, true);
    if (!file) return -99;
    file->Write(std::string(100, 'r'));
    CloseFile(file);
    return record;
  }
  std::uintmax_t Size() { return std::filesystem::file_size(dir.path() / "BIG.DAT"); }

  test::TempDir dir;
  std::unique_ptr<platform::FileSystem> fs;
  test::RecordingSink sink;
  Context ctx;
};

TEST_F(GuardedOpenSizeTest, AskBeforeGoingOnAbove512MB) {
  EXPECT_EQ(AddTo(600'000'000), -99);
  EXPECT_EQ(Size(), 600'000'000u);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].kind, "ask");
  EXPECT_EQ(sink.messages[0].caption, "FOpen2");
  EXPECT_EQ(sink.messages[0].text,
            "O arquivo já possui mais de 512 MB.\nTamanho: 600.000.000 bytes\n\nAvise o suporte "
            "técnico.\n\nDeseja continuar?");
  sink.answer = true;
  EXPECT_EQ(AddTo(600'000'050), 6'000'001);
  EXPECT_EQ(Size(), 600'000'200u);
  EXPECT_EQ(AddTo(512'000'000), 5'120'000);  // not above the limit: no question
  EXPECT_EQ(sink.messages.size(), 2u);
}

TEST_F(GuardedOpenSizeTest, RefuseAbove2GBWithoutAQuestion) {
  sink.answer = true;
  EXPECT_EQ(AddTo(2'000'000'001), -99);
  EXPECT_EQ(AddTo(5'000'000'000), -99);  // beyond 32 bits
  EXPECT_EQ(Size(), 5'000'000'000u);
  ASSERT_EQ(sink.messages.size(), 2u);
  EXPECT_EQ(sink.messages[0].kind, "fail");
  EXPECT_EQ(sink.messages[0].text,
            "O arquivo ultrapassou o limite permitido (2 GB).\nTamanho: 2.000.000.001 bytes");
  EXPECT_EQ(sink.messages[1].text,
            "O arquivo ultrapassou o limite permitido (2 GB).\nTamanho: 5.000.000.000 bytes");
}

// A second process that holds a file open for writing until it is released.
class FileHolder {
 public:
  explicit FileHolder(const std::filesystem::path& path);
  ~FileHolder() { Release(); }
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;
  bool held() const { return held_; }
  void Release();

 private:
  bool held_ = false;
#ifdef _WIN32
  std::filesystem::path path_;
  PROCESS_INFORMATION process_ = {};
#else
  pid_t pid_ = -1;
  int release_ = -1;
#endif
};

#ifdef _WIN32
constexpr const char* kHoldEnv = "LIVRANA_HOLD_FILE";

// Runs in the child process only (the test binary started again with a filter): holds the
// file open for writing without sharing until the parent asks it to let go.
TEST(FileHolderProcess, HoldsTheFileForTheBusyTest) {
  const char* path = std::getenv(kHoldEnv);
  if (path == nullptr) GTEST_SKIP() << "helper of the busy test";
  HANDLE h =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::ofstream(std::string(path) + ".ready").put('1');
  std::string release = std::string(path) + ".release";
  for (int i = 0; i < 600 && !std::filesystem::exists(release); ++i) Sleep(50);
  CloseHandle(h);
}

FileHolder::FileHolder(const std::filesystem::path& path) : path_(path) {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string command =
      std::string("\"") + exe + "\" --gtest_filter=FileHolderProcess.HoldsTheFileForTheBusyTest";
  SetEnvironmentVariableA(kHoldEnv, path.string().c_str());
  // The child's own test report is of no interest here.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE quiet = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = quiet;
  BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process_);
  SetEnvironmentVariableA(kHoldEnv, nullptr);
  if (quiet != INVALID_HANDLE_VALUE) CloseHandle(quiet);
  if (!started) return;
  std::filesystem::path ready = path.string() + ".ready";
  for (int i = 0; i < 400 && !held_; ++i) {
    held_ = std::filesystem::exists(ready);
    if (!held_) Sleep(50);
  }
}

void FileHolder::Release() {
  if (process_.hProcess == nullptr) return;
  std::ofstream(path_.string() + ".release").put('1');
  WaitForSingleObject(process_.hProcess, 30000);
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
  process_ = {};
}
#else
FileHolder::FileHolder(const std::filesystem::path& path) {
  int ready[2], release[2];
  if (::pipe(ready) != 0) return;
  if (::pipe(release) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return;
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    int fd = ::open(path.c_str(), O_RDWR);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? '1' : '0';
    if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
    char c;
    while (::read(release[0], &c, 1) < 0 && errno == EINTR) {
    }
    ::_exit(0);  // the lock goes with the process
  }
  ::close(ready[1]);
  ::close(release[0]);
  release_ = release[1];
  char ok = 0;
  held_ = pid_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == '1';
  ::close(ready[0]);
}

void FileHolder::Release() {
  if (release_ < 0) return;
  ::close(release_);
  release_ = -1;
  if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}
#endif

TEST(FileBusySecondProcessTest, AFileHeldForWritingIsBusyUntilReleased) {
  test::TempDir dir;
  auto fs = platform::OpenHostFileSystem(dir.str());
  test::RecordingSink sink;
  Context ctx{*fs, sink, ""};
  std::ofstream(dir.path() / "A.DAT") << std::string(100, ' ');
  EXPECT_FALSE(FileBusy(ctx, "A.DAT", BusyMode::kMessage));

  FileHolder holder(dir.path() / "A.DAT");
  ASSERT_TRUE(holder.held());
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(FileBusy(ctx, "a.dat", BusyMode::kMessage));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(950));
  EXPECT_LT(waited, std::chrono::seconds(5));
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].caption, "FileBusy");
  EXPECT_EQ(sink.messages[0].text, "Sistema ocupado, tente novamente.");

  holder.Release();
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(FileBusy(ctx, "A.DAT", BusyMode::kMessage));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace livrana
