#include <gtest/gtest.h>

#include <thread>

#include "storage/file_lock.h"
#include "storage_test_support.h"

namespace lumo {
namespace storage {
namespace {

TEST(FileLockNameTest, FoldsAsciiCaseAndSlashesOnly) {
  const std::wstring expected = L"Global\\tarnwick-file-lock-0365adba06b60ea3";
  EXPECT_EQ(expected, fileLockName(L"Tarnwick", L"C:\\Data\\a.txt"));
  EXPECT_EQ(expected, fileLockName(L"Tarnwick", L"c:/data/A.TXT"));
  EXPECT_EQ(L"Global\\tarnwick-file-lock-cbf29ce484222325", fileLockName(L"Tarnwick", L""));

  EXPECT_NE(expected, fileLockName(L"Tarnwick", L"C:\\Data\\a.txt "));
  EXPECT_NE(expected, fileLockName(L"Tarnwick", L"C:\\Data\\\\a.txt"));
  // Only A-Z fold: the high byte of each unit counts too.
  EXPECT_NE(fileLockName(L"s", L"\u00c9"), fileLockName(L"s", L"\u00e9"));
  EXPECT_NE(fileLockName(L"s", L"\u0141"), fileLockName(L"s", L"A"));
  // The scope keeps its slashes and non-ASCII letters.
  EXPECT_EQ(L"Global\\a/b\u00c9-file-lock-cbf29ce484222325", fileLockName(L"A/B\u00c9", L""));
}

TEST(FileLockNameTest, SpellingsOfOneFullPathShareItsName) {
  const std::wstring documented = L"Global\\tarnwick-file-lock-0365adba06b60ea3";
  for (const wchar_t *spelling : {L"C:\\Data\\x\\..\\a.txt", L"C:\\Data\\.\\a.txt",
                                  L"c:/data/x/y/../../A.TXT", L"C:\\Data\\x\\..\\\\a.txt"}) {
    EXPECT_EQ(documented, fileLockName(L"Tarnwick", spelling)) << spelling;
  }

  test::ScratchFolder folder;
  const test::CurrentFolder here(folder.location());
  const std::wstring full = fileLockName(L"s", folder.path(L"a.txt"));
  const std::wstring drive = folder.location().substr(0, 2);
  for (const std::wstring &spelling :
       {std::wstring(L"a.txt"), std::wstring(L".\\A.txt"), std::wstring(L"sub/../a.txt"),
        folder.location().substr(2) + L"\\a.txt", drive + L"a.txt"}) {
    EXPECT_EQ(full, fileLockName(L"s", spelling)) << spelling;
  }
  EXPECT_NE(full, fileLockName(L"s", L"..\\a.txt"));
}

DWORD requestedWait;

// Records the requested time-out and waits only briefly.
DWORD WINAPI shortWait(HANDLE handle, DWORD milliseconds) {
  requestedWait = milliseconds;
  return WaitForSingleObject(handle, milliseconds == INFINITE ? INFINITE : 100);
}

TimedLockState timedStateFromOtherThread(const std::wstring &path) {
  TimedLockState state = TimedLockState::Failed;
  std::thread([&] { state = TimedFileLock(path, L"LockTest").state(); }).join();
  return state;
}

TEST(FileLockTest, IsReentrantForItsThreadAndExcludesOthersUntilReleased) {
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.waitForSingleObject = &shortWait;
  const std::wstring path = test::uniqueName(L"C:\\locked");
  {
    const TimedFileLock outer(path, L"LockTest");
    EXPECT_EQ(TimedLockState::Acquired, outer.state());
    EXPECT_EQ(timedFileLockWaitMs, requestedWait);
    {
      const FileLock inner(fileLockName(L"LockTest", path));
      EXPECT_TRUE(inner.owned());
      EXPECT_EQ("", inner.error());
      EXPECT_EQ(DWORD(INFINITE), requestedWait);
    }
    // Releasing the inner hold must not free the outer one.
    EXPECT_EQ(TimedLockState::TimedOut, timedStateFromOtherThread(path));
    // Another scope or path is another lock.
    EXPECT_EQ(TimedLockState::Acquired, timedStateFromOtherThread(path + L"x"));
  }
  EXPECT_EQ(TimedLockState::Acquired, timedStateFromOtherThread(path));
}

DWORD WINAPI waitFails(HANDLE, DWORD) {
  SetLastError(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}

TEST(FileLockTest, FailuresAreReportedAndNothingIsHeld) {
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  const std::wstring path = test::uniqueName(L"C:\\failing");
  storageSeam.createMutexEx = &test::mutexRefused;
  {
    const FileLock lock(fileLockName(L"LockTest", path));
    EXPECT_FALSE(lock.owned());
    EXPECT_EQ("CreateMutexW failed with Windows error 5", lock.error());
    EXPECT_EQ(TimedLockState::Failed, TimedFileLock(path, L"LockTest").state());
  }
  storageSeam.createMutexEx = &CreateMutexExW;
  storageSeam.waitForSingleObject = &waitFails;
  {
    const FileLock lock(fileLockName(L"LockTest", path));
    EXPECT_FALSE(lock.owned());
    EXPECT_EQ("WaitForSingleObject failed with Windows error 6", lock.error());
    EXPECT_EQ(TimedLockState::Failed, TimedFileLock(path, L"LockTest").state());
  }
  storageSeam.waitForSingleObject = &WaitForSingleObject;
  EXPECT_EQ(TimedLockState::Acquired, timedStateFromOtherThread(path));
}

}  // namespace
}  // namespace storage
}  // namespace lumo
