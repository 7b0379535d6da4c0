#include "run/folder_lock.h"

#include <gtest/gtest.h>

#include "platform/memory_file_system.h"
#include "platform/process.h"
#include "tests/test_util.h"

namespace livrana {
namespace {

using test::WriteFile;

constexpr int kDeadPid = 2147483000;  // no process has this id

TEST(FolderLockTest, OneConverterAtATimeAndGoneWhenReleased) {
  platform::MemoryFileSystem fs;
  std::optional<FolderLock> first, second;
  LockHolder holder;
  ASSERT_TRUE(FolderLock::Acquire(fs, "convert", false, &first, &holder));
  auto written = ReadLock(fs);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->pid, platform::CurrentProcessId());
  EXPECT_EQ(written->host, platform::HostName());
  EXPECT_EQ(written->time.size(), 19u);
  EXPECT_EQ(written->task, "convert");
  EXPECT_EQ(holder.pid, 0);  // no lock was taken over

  // The same process asking again is refused too: the lock is per run, not per process.
  EXPECT_TRUE(LockHeld(FolderLock::Acquire(fs, "convert", false, &second, &holder)));
  EXPECT_EQ(holder.pid, platform::CurrentProcessId());
  EXPECT_FALSE(second);
  first.reset();
  EXPECT_FALSE(fs.Attributes(kLockFile));
  EXPECT_EQ(fs.Snapshot().size(), 0u);  // no work file left either
}

TEST(FolderLockTest, StaleLocksOfThisMachineAreTakenOverOthersOnlyWhenBroken) {
  platform::MemoryFileSystem fs;
  std::optional<FolderLock> lock;
  LockHolder holder;
  WriteFile(fs, "LIVRANA.LCK",
            "pid=" + std::to_string(kDeadPid) + "\r\nhost=" + platform::HostName() +
                "\r\ntask=run chart-r1\r\n");
  EXPECT_TRUE(FolderLock::Acquire(fs, "convert", false, &lock, &holder));
  // The taken-over lock's holder is told, so that the run knows whose work it finds.
  EXPECT_EQ(holder.pid, kDeadPid);
  EXPECT_EQ(holder.task, "run chart-r1");
  lock.reset();

  WriteFile(fs, "LIVRANA.LCK", "pid=" + std::to_string(kDeadPid) + "\r\nhost=other-machine\r\n");
  EXPECT_TRUE(LockHeld(FolderLock::Acquire(fs, "convert", false, &lock, &holder)));
  EXPECT_EQ(holder.host, "other-machine");
  WriteFile(fs, "LIVRANA.LCK", "garbage");
  EXPECT_TRUE(LockHeld(FolderLock::Acquire(fs, "convert", false, &lock, &holder)));
  EXPECT_TRUE(FolderLock::Acquire(fs, "convert", true, &lock, &holder));
  EXPECT_EQ(ReadLock(fs)->pid, platform::CurrentProcessId());

  // A lock that another converter broke and took over is not removed by this one.
  WriteFile(fs, "LIVRANA.LCK", "pid=12\r\nhost=other-machine\r\n");
  lock.reset();
  EXPECT_EQ(ReadLock(fs)->host, "other-machine");
}

TEST(FolderLockTest, WorkFilesOfKilledConvertersAreRemoved) {
  platform::MemoryFileSystem fs;
  const std::string dead = "LIVRANA." + std::to_string(kDeadPid) + ".TMP";
  WriteFile(fs, dead, "");  // killed before it was written
  WriteFile(fs, "LIVRANA.7.TMP", "pid=7\r\nhost=other-machine\r\n");
  std::optional<FolderLock> lock;
  LockHolder holder;
  ASSERT_TRUE(FolderLock::Acquire(fs, "convert", false, &lock, &holder));
  EXPECT_FALSE(fs.Attributes(dead));
  EXPECT_TRUE(fs.Attributes("LIVRANA.7.TMP"));  // another machine's: left to it
  lock.reset();
  ASSERT_TRUE(FolderLock::Acquire(fs, "convert", true, &lock, &holder));
  EXPECT_FALSE(fs.Attributes("LIVRANA.7.TMP"));
}

}  // namespace
}  // namespace livrana
