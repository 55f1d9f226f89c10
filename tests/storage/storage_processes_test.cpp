#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "crash_content.h"
#include "storage/file_lock.h"
#include "storage/file_operations.h"
#include "storage/safe_file_writer.h"
#include "storage_test_support.h"

namespace lumo {
namespace storage {
namespace {

using test::contentOf;
using test::exitCodeOf;
using test::putContent;
using test::startPeer;

// The peers' scope.
const wchar_t scope[] = L"PeerTest";

std::wstring quoted(const std::wstring &text) { return L"\"" + text + L"\""; }

class NamedEvent {
public:
  NamedEvent()
      : name(test::uniqueName(L"lumo-storage-event")),
        event(CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {}

  const std::wstring name;
  const UniqueHandle event;
};

class StorageProcessesTest : public ::testing::Test {
protected:
  static bool waitFor(const NamedEvent &event) {
    return WaitForSingleObject(event.event.get(), 10000) == WAIT_OBJECT_0;
  }

  test::ScratchFolder folder;
  const std::wstring target = folder.path(L"shared.txt");
};

TEST_F(StorageProcessesTest, TwoAtomicWritesAtOnceBothLandWhole) {
  const NamedEvent start;
  std::vector<UniqueHandle> peers;
  for (int number = 1; number <= 2; ++number) {
    peers.push_back(startPeer(L"atomic " + quoted(target) + L" " + std::to_wstring(number) + L" " +
                              start.name));
    ASSERT_TRUE(peers.back());
  }
  SetEvent(start.event.get());
  for (const UniqueHandle &peer : peers) {
    EXPECT_EQ(DWORD(SafeWriteStatus::Written), exitCodeOf(peer.get()));
  }
  const std::string result = contentOf(target);
  EXPECT_TRUE(result == test::crashContent(1) || result == test::crashContent(2));
  EXPECT_EQ(std::vector<std::wstring>{L"shared.txt"}, folder.names());
}

TEST_F(StorageProcessesTest, TwoUpdatesFromOneSnapshotGiveOneWriteAndOneConflict) {
  putContent(target, "base");
  const NamedEvent start;
  const UniqueHandle first = startPeer(L"update " + quoted(target) + L" base first " + start.name);
  const UniqueHandle second =
      startPeer(L"update " + quoted(target) + L" base second " + start.name);
  ASSERT_TRUE(first && second);
  SetEvent(start.event.get());
  const DWORD firstStatus = exitCodeOf(first.get());
  const DWORD secondStatus = exitCodeOf(second.get());
  EXPECT_EQ(std::min(firstStatus, secondStatus), DWORD(SafeWriteStatus::Written));
  EXPECT_EQ(std::max(firstStatus, secondStatus), DWORD(SafeWriteStatus::Conflict));
  EXPECT_EQ(firstStatus == 0 ? "first" : "second", contentOf(target));
}

TEST_F(StorageProcessesTest, FourProcessesCountingLoseNoUpdate) {
  putContent(target, "0");
  std::vector<UniqueHandle> peers;
  for (int index = 0; index < 4; ++index) {
    peers.push_back(startPeer(L"count " + quoted(target) + L" 100"));
    ASSERT_TRUE(peers.back());
  }
  for (const UniqueHandle &peer : peers) {
    EXPECT_EQ(0u, exitCodeOf(peer.get()));
  }
  EXPECT_EQ("400", contentOf(target));
}

TEST_F(StorageProcessesTest, ProcessesSpellingOneFileDifferentlyLoseNoUpdate) {
  putContent(target, "0");
  // Relative to the peer's current folder, absolute, and through a folder
  // that is left again.
  const std::wstring spellings[] = {L"shared.txt", target, folder.path(L"sub\\..\\shared.txt")};
  std::vector<UniqueHandle> peers;
  for (const std::wstring &spelling : spellings) {
    peers.push_back(startPeer(L"count " + quoted(spelling) + L" 150", folder.location()));
    ASSERT_TRUE(peers.back());
  }
  for (const UniqueHandle &peer : peers) {
    EXPECT_EQ(0u, exitCodeOf(peer.get()));
  }
  EXPECT_EQ("450", contentOf(target));
}

DWORD WINAPI shortTimedWait(HANDLE handle, DWORD milliseconds) {
  return WaitForSingleObject(handle, milliseconds == timedFileLockWaitMs ? 200 : milliseconds);
}

// Starts a peer that holds the target's lock until it is killed.
UniqueHandle startHolder(const std::wstring &target) {
  const NamedEvent held;
  UniqueHandle holder = startPeer(L"hold " + quoted(target) + L" " + held.name);
  if (holder && WaitForSingleObject(held.event.get(), 10000) != WAIT_OBJECT_0) {
    TerminateProcess(holder.get(), 1);
    holder.reset();
  }
  return holder;
}

void kill(const UniqueHandle &process) {
  TerminateProcess(process.get(), 1);
  WaitForSingleObject(process.get(), INFINITE);
}

TEST_F(StorageProcessesTest, ALockHeldElsewhereTimesOutAndIsTakenOverWhenItsOwnerDies) {
  const UniqueHandle keeper(CreateMutexW(nullptr, FALSE, fileLockName(scope, target).c_str()));
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.waitForSingleObject = &shortTimedWait;
  UniqueHandle holder = startHolder(target);
  ASSERT_TRUE(holder);
  EXPECT_EQ(TimedLockState::TimedOut, TimedFileLock(target, scope).state());
  kill(holder);
  EXPECT_EQ(TimedLockState::AcquiredAbandoned, TimedFileLock(target, scope).state());
  EXPECT_EQ(TimedLockState::Acquired, TimedFileLock(target, scope).state());

  holder = startHolder(target);
  ASSERT_TRUE(holder);
  kill(holder);
  const FileLock lock(fileLockName(scope, target));
  EXPECT_TRUE(lock.owned());
  EXPECT_EQ("", lock.error());
}

TEST_F(StorageProcessesTest, TimedLockWaitsThirtySecondsForAnotherProcess) {
  const UniqueHandle holder = startHolder(target);
  ASSERT_TRUE(holder);
  const ULONGLONG started = GetTickCount64();
  EXPECT_EQ(TimedLockState::TimedOut, TimedFileLock(target, scope).state());
  const ULONGLONG waited = GetTickCount64() - started;
  EXPECT_GE(waited, 29900u);
  EXPECT_LT(waited, 40000u);
  kill(holder);
}

TEST_F(StorageProcessesTest, KilledWritersLeaveAWholeFileAndAnAbandonedLock) {
  const int kills = 100;
  const WindowsSafeFileWriter writer(FileProtection::Inherited, scope);
  ASSERT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, test::crashContent(0)).status);
  std::mt19937 random(20240611);
  int abandoned = 0;
  int temporaryLeft = 0;
  int targetMissing = 0;
  int targetTorn = 0;
  // Without a second handle the mutex would vanish with a killed holder and
  // nobody could see it abandoned.
  const UniqueHandle keeper(CreateMutexW(nullptr, FALSE, fileLockName(scope, target).c_str()));
  for (int kill = 1; kill <= kills; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill));
    const NamedEvent ready;
    const UniqueHandle churn = startPeer(L"churn " + quoted(target) + L" " +
                                         std::to_wstring(kill * 100000) + L" " + ready.name);
    ASSERT_TRUE(churn);
    ASSERT_TRUE(waitFor(ready));
    Sleep(std::uniform_int_distribution<DWORD>(0, 40)(random));
    TerminateProcess(churn.get(), 1);
    WaitForSingleObject(churn.get(), INFINITE);

    const FileReadResult read = WindowsFileOperations().readFile(target);
    ASSERT_NE(FileState::Failed, read.state) << read.error;
    targetMissing += read.state == FileState::Absent;
    targetTorn += read.state == FileState::Present && !test::isCompleteCrashContent(read.bytes);
    for (const std::wstring &name : folder.names()) {
      if (name != L"shared.txt") {
        ++temporaryLeft;
        DeleteFileW(folder.path(name).c_str());
      }
    }

    const TimedFileLock next(target, scope);
    ASSERT_TRUE(next.held());
    abandoned += next.state() == TimedLockState::AcquiredAbandoned;
    ASSERT_EQ(SafeWriteStatus::Written,
              writer.writeAtomically(target, test::crashContent(kill)).status);
  }
  std::printf(
      "%d writers killed: %d left the lock abandoned, %d temporary files left behind, "
      "%d left the target missing, %d left it torn\n",
      kills, abandoned, temporaryLeft, targetMissing, targetTorn);
  EXPECT_GT(abandoned, 0);
  EXPECT_EQ(0, targetMissing);
  EXPECT_EQ(0, targetTorn);
}

}  // namespace
}  // namespace storage
}  // namespace lumo
