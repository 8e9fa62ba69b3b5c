#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/posix/posix_internal.h"
#include "posix_fixture.h"

namespace cw::test {
namespace {

using LockTest = PosixTest;

TEST_F(LockTest, AFileLockExcludesOtherThreadsOfTheProcess) {
  auto held = sys().AcquireLock("E:\\LOG.TXT", kWaitForever);
  ASSERT_NE(held, nullptr);
  EXPECT_TRUE(std::filesystem::exists(card_ + "/LOG.TXT"));  // created to be locked
  std::unique_ptr<HeldLock> other;
  uint32_t error = 0;
  std::thread([&] {
    other = sys().TryAcquireLock("e:\\log.txt");
    error = GetLastError();
  }).join();
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(error, kErrSharingViolation);
  held.reset();
  std::thread([&] { other = sys().TryAcquireLock("E:\\LOG.TXT"); }).join();
  EXPECT_NE(other, nullptr);
}

TEST_F(LockTest, BlockingLockSerialisesThreads) {
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        auto held = sys().AcquireLock("E:\\SERIAL.LOG", kWaitForever);
        ASSERT_NE(held, nullptr);
        if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
        std::this_thread::yield();
        inside.fetch_sub(1);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(overlaps.load(), 0);
}

// The child takes the lock and holds it until told; a child that dies drops it.
TEST_F(LockTest, ALockHoldsAcrossProcessesAndDiesWithItsHolder) {
  int toParent[2], toChild[2];
  ASSERT_EQ(::pipe(toParent), 0);
  ASSERT_EQ(::pipe(toChild), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto held = sys().AcquireLock("B_LOGTOFILE_MUTEX", kWaitForever);
    char byte = held ? 'y' : 'n';
    (void)!::write(toParent[1], &byte, 1);
    (void)!::read(toChild[0], &byte, 1);
    ::_exit(0);  // without releasing: the system must drop the lock
  }
  char byte = 0;
  ASSERT_EQ(::read(toParent[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  EXPECT_EQ(sys().TryAcquireLock("B_LOGTOFILE_MUTEX"), nullptr);
  (void)!::write(toChild[1], &byte, 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_NE(sys().TryAcquireLock("B_LOGTOFILE_MUTEX"), nullptr);
  EXPECT_TRUE(std::filesystem::exists(temp_.Sub("cardwright-B_LOGTOFILE_MUTEX.lock")));
  for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) ::close(fd);
}

TEST_F(LockTest, AFileInAMissingFolderIsLockedByName) {
  auto held = sys().AcquireLock("E:\\NO\\SUCH\\FILE.LOG", kWaitForever);
  ASSERT_NE(held, nullptr);
  EXPECT_FALSE(std::filesystem::exists(card_ + "/NO"));
  EXPECT_EQ(sys().TryAcquireLock("E:\\NO\\SUCH\\FILE.LOG"), nullptr);
}

TEST(LockNames, OnlyPlainCharactersReachTheFileName) {
  EXPECT_EQ(posix::NamedLockPath("/tmp", "B_LOGTOFILE_MUTEX"),
            "/tmp/cardwright-B_LOGTOFILE_MUTEX.lock");
  EXPECT_EQ(posix::NamedLockPath("/tmp/", "a/../b c"), "/tmp/cardwright-a_.._b_c.lock");
}

}  // namespace
}  // namespace cw::test
