#include <gtest/gtest.h>

#include <new>
#include <thread>

#include "storage/file_lock.h"
#include "storage/file_operations.h"
#include "storage/safe_file_writer.h"
#include "storage_test_support.h"

namespace lumo {
namespace storage {
namespace {

using test::contentOf;
using test::putContent;

const wchar_t scope[] = L"WriterTest";
const std::string conflict = "Configuration file changed after it was loaded; reload is required";

LoadedFileSnapshot snapshot(std::int32_t existed, const std::string &bytes = std::string()) {
  LoadedFileSnapshot loaded;
  loaded.existed = existed;
  loaded.bytes = bytes;
  return loaded;
}

class SafeFileWriterTest : public ::testing::Test {
protected:
  std::vector<std::wstring> names() const { return folder.names(); }

  test::ScratchFolder folder;
  const std::wstring target = folder.path(L"a.txt");
  const WindowsSafeFileWriter writer{FileProtection::AdminOwned, scope};
};

TEST_F(SafeFileWriterTest, WritesOnlyOverTheContentTheCallerLoaded) {
  struct Case {
    const char *onDisk;  // null: no file
    LoadedFileSnapshot expected;
    SafeWriteStatus status;
  };
  const Case cases[] = {
      {nullptr, snapshot(0), SafeWriteStatus::Written},
      {"old", snapshot(0), SafeWriteStatus::Conflict},
      {nullptr, snapshot(1, ""), SafeWriteStatus::Conflict},
      {"old", snapshot(1, "olD"), SafeWriteStatus::Conflict},
      {"old", snapshot(1, "ol"), SafeWriteStatus::Conflict},
      {"old", snapshot(1, std::string("old\0", 4)), SafeWriteStatus::Conflict},
      {"", snapshot(0), SafeWriteStatus::Conflict},
      {"", snapshot(1, ""), SafeWriteStatus::Written},
      {"old", snapshot(1, "old"), SafeWriteStatus::Written},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.onDisk ? c.onDisk : "<none>") + " expected " + c.expected.bytes);
    DeleteFileW(target.c_str());
    if (c.onDisk) {
      putContent(target, c.onDisk);
    }
    const SafeWriteResult result = writer.writeIfUnchanged(target, "new", c.expected, L"");
    EXPECT_EQ(c.status, result.status);
    const bool written = c.status == SafeWriteStatus::Written;
    EXPECT_EQ(written ? "" : conflict, result.message);
    EXPECT_EQ(written ? "new" : (c.onDisk ? c.onDisk : "<absent>"), contentOf(target));
    const bool present = written || c.onDisk;
    EXPECT_EQ(present ? std::vector<std::wstring>{L"a.txt"} : std::vector<std::wstring>{}, names())
        << "no temporary or backup file";
  }
}

TEST_F(SafeFileWriterTest, AGivenBackupKeepsThePreviousContent) {
  putContent(target, "old");
  const std::wstring backup = folder.path(L"a.bak");
  putContent(backup, "stale backup");
  const SafeWriteResult result = writer.writeIfUnchanged(target, "new", snapshot(1, "old"), backup);
  EXPECT_EQ(SafeWriteStatus::Written, result.status);
  EXPECT_EQ("", result.message);
  EXPECT_EQ("new", contentOf(target));
  EXPECT_EQ("old", contentOf(backup));
  EXPECT_EQ((std::vector<std::wstring>{L"a.bak", L"a.txt"}), names());
}

TEST_F(SafeFileWriterTest, WritesAtomicallyWhateverIsThere) {
  EXPECT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, "first").status);
  EXPECT_EQ("first", contentOf(target));
  EXPECT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, "").status);
  EXPECT_EQ("", contentOf(target));
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, names());

  const SafeWriteResult onFolder = writer.writeAtomically(folder.path(L"."), "x");
  EXPECT_EQ(SafeWriteStatus::ReadFailed, onFolder.status);
  EXPECT_EQ("The credential path names a directory", onFolder.message);
}

TEST_F(SafeFileWriterTest, RemovesOnlyWhatTheCallerExpects) {
  SafeWriteResult result = writer.removeIfUnchanged(target, snapshot(0));
  EXPECT_EQ(SafeWriteStatus::Removed, result.status);
  EXPECT_EQ("", result.message);
  EXPECT_EQ(SafeWriteStatus::Conflict, writer.removeIfUnchanged(target, snapshot(1, "")).status);

  putContent(target, "old");
  result = writer.removeIfUnchanged(target, snapshot(0));
  EXPECT_EQ(SafeWriteStatus::Conflict, result.status);
  EXPECT_EQ(conflict, result.message);
  EXPECT_EQ(SafeWriteStatus::Conflict, writer.removeIfUnchanged(target, snapshot(1, "ol")).status);
  EXPECT_EQ("old", contentOf(target));
  EXPECT_EQ(SafeWriteStatus::Removed, writer.removeIfUnchanged(target, snapshot(1, "old")).status);
  EXPECT_TRUE(names().empty());

  EXPECT_EQ(SafeWriteStatus::Removed, writer.removeFile(target).status);
  putContent(target, "old");
  EXPECT_EQ(SafeWriteStatus::Removed, writer.removeFile(target).status);
  EXPECT_TRUE(names().empty());
  result = writer.removeFile(folder.path(L"."));
  EXPECT_EQ(SafeWriteStatus::ReadFailed, result.status);
  EXPECT_EQ("The credential path names a directory", result.message);
}

TEST_F(SafeFileWriterTest, FailuresToExamineOrDeleteAreReported) {
  const std::wstring here = folder.path(L".");
  const SafeWriteResult unreadable = writer.writeIfUnchanged(here, "x", snapshot(0), L"");
  EXPECT_EQ(SafeWriteStatus::ReadFailed, unreadable.status);
  EXPECT_EQ(WindowsFileOperations().readFile(here).error, unreadable.message);
  EXPECT_NE("", unreadable.message);
  EXPECT_EQ(SafeWriteStatus::ReadFailed, writer.removeIfUnchanged(here, snapshot(0)).status);

  putContent(target, "old");
  // Open without delete sharing, so the deletion is refused.
  const UniqueHandle busy = test::ownedFile(CreateFileW(
      target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(busy);
  for (const SafeWriteResult &result :
       {writer.removeFile(target), writer.removeIfUnchanged(target, snapshot(1, "old"))}) {
    EXPECT_EQ(SafeWriteStatus::CommitFailed, result.status);
    EXPECT_EQ("DeleteFileW failed with Windows error 32", result.message);
  }
  EXPECT_EQ("old", contentOf(target));
}

TEST_F(SafeFileWriterTest, RunsInsideALockTheThreadAlreadyHolds) {
  const TimedFileLock held(target, scope);
  ASSERT_EQ(TimedLockState::Acquired, held.state());
  EXPECT_EQ(SafeWriteStatus::Written,
            writer.writeIfUnchanged(target, "new", snapshot(0), L"").status);
  EXPECT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, "newer").status);
  EXPECT_EQ(SafeWriteStatus::Removed, writer.removeIfUnchanged(target, snapshot(1, "newer")).status);
  EXPECT_EQ(SafeWriteStatus::Removed, writer.removeFile(target).status);
}

std::vector<std::wstring> temporaryNames;

HANDLE WINAPI recordTemporaryNames(LPCWSTR name, DWORD access, DWORD share,
                                   LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                   HANDLE from) {
  if (disposition == CREATE_NEW) {
    temporaryNames.push_back(name);
  }
  return CreateFileW(name, access, share, security, disposition, flags, from);
}

TEST_F(SafeFileWriterTest, TemporaryFilesAreNamedAfterTargetProcessTickAndCounter) {
  const test::StorageApiRestorer restorer;
  storageApi.createFile = &recordTemporaryNames;
  temporaryNames.clear();
  ASSERT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, "1").status);
  ASSERT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, "2").status);
  ASSERT_EQ(2u, temporaryNames.size());
  const std::wstring prefix = target + L".tmp." + std::to_wstring(GetCurrentProcessId()) + L".";
  for (const std::wstring &name : temporaryNames) {
    ASSERT_EQ(0u, name.find(prefix));
    const std::wstring rest = name.substr(prefix.size());
    ASSERT_EQ(std::wstring::npos, rest.find_first_not_of(L"0123456789.")) << rest;
  }
  const auto counter = [](const std::wstring &name) {
    return std::stol(name.substr(name.find_last_of(L'.') + 1));
  };
  EXPECT_EQ(counter(temporaryNames[0]) + 1, counter(temporaryNames[1]));
}

// The failure rows: each replaces some calls, writes "new" over "old" (or
// to a new target) and checks the status, the message and the disk.
int collisions;

HANDLE WINAPI temporaryRefused(LPCWSTR name, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE from) {
  if (disposition == CREATE_NEW) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(name, access, share, security, disposition, flags, from);
}

HANDLE WINAPI temporaryCollides(LPCWSTR name, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE from) {
  if (disposition == CREATE_NEW) {
    ++collisions;
    SetLastError(collisions % 2 ? ERROR_FILE_EXISTS : ERROR_ALREADY_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(name, access, share, security, disposition, flags, from);
}

BOOL WINAPI diskFull(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

BOOL WINAPI deviceError(HANDLE) {
  SetLastError(ERROR_IO_DEVICE);
  return FALSE;
}

BOOL WINAPI closeReportsDeviceError(HANDLE handle) {
  CloseHandle(handle);
  SetLastError(ERROR_IO_DEVICE);
  return FALSE;
}

BOOL WINAPI replaceRefused(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

// The target went to the backup name, the replacement never took its place.
BOOL WINAPI replaceStopsHalfWay(LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD, LPVOID,
                                LPVOID) {
  MoveFileExW(replaced, backup, 0);
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
  return FALSE;
}

BOOL WINAPI moveRefused(LPCWSTR, LPCWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

BOOL WINAPI backupUndeletable(LPCWSTR name) {
  const std::wstring path = name;
  const std::wstring suffix = L".rollback";
  if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return DeleteFileW(name);
}

struct FailureRow {
  const char *name;
  void (*arrange)();
  bool targetExists;
  SafeWriteStatus status;
  std::string message;
  std::string target;      // "<absent>" for none
  const char *backup;      // the transient backup's content; null for none
};

const std::string restoreFailed =
    "; restoring the original file failed with MoveFileExW failed with Windows error 5";

const FailureRow failureRows[] = {
    {"temporary file refused", [] { storageApi.createFile = &temporaryRefused; }, true,
     SafeWriteStatus::TemporaryFileFailed,
     "CreateFileW for temporary file failed with Windows error 5", "old", nullptr},
    {"every name taken", [] { storageApi.createFile = &temporaryCollides; }, true,
     SafeWriteStatus::TemporaryFileFailed, "Unable to allocate a unique temporary file name",
     "old", nullptr},
    {"write fails", [] { storageApi.writeFile = &diskFull; }, true,
     SafeWriteStatus::TemporaryFileFailed,
     "WriteFile for temporary file failed with Windows error 112", "old", nullptr},
    {"flush fails", [] { storageApi.flushFileBuffers = &deviceError; }, true,
     SafeWriteStatus::TemporaryFileFailed,
     "FlushFileBuffers for temporary file failed with Windows error 1117", "old", nullptr},
    {"close fails", [] { storageApi.closeHandle = &closeReportsDeviceError; }, true,
     SafeWriteStatus::TemporaryFileFailed,
     "CloseHandle for temporary file failed with Windows error 1117", "old", nullptr},
    {"replace refused", [] { storageApi.replaceFile = &replaceRefused; }, true,
     SafeWriteStatus::CommitFailed, "ReplaceFileW failed with Windows error 5", "old", nullptr},
    {"move to a new target refused", [] { storageApi.moveFileEx = &moveRefused; }, false,
     SafeWriteStatus::CommitFailed, "MoveFileExW failed with Windows error 5", "<absent>",
     nullptr},
    {"replace stops half-way, restored", [] { storageApi.replaceFile = &replaceStopsHalfWay; },
     true, SafeWriteStatus::CommitFailed, "ReplaceFileW failed with Windows error 1177", "old",
     nullptr},
    {"replace stops half-way, not restored",
     [] {
       storageApi.replaceFile = &replaceStopsHalfWay;
       storageApi.moveFileEx = &moveRefused;
     },
     true, SafeWriteStatus::CommitFailed,
     "ReplaceFileW failed with Windows error 1177" + restoreFailed, "<absent>", "old"},
    {"backup undeletable, restored", [] { storageApi.deleteFile = &backupUndeletable; }, true,
     SafeWriteStatus::CommitFailed,
     "DeleteFileW for transient authentication backup failed with Windows error 5", "old",
     nullptr},
    {"backup undeletable, not restored",
     [] {
       storageApi.deleteFile = &backupUndeletable;
       storageApi.moveFileEx = &moveRefused;
     },
     true, SafeWriteStatus::CommitFailed,
     "DeleteFileW for transient authentication backup failed with Windows error 5" +
         restoreFailed,
     "new", "old"},
};

TEST_F(SafeFileWriterTest, EachFailureLeavesTheDiskAsDocumented) {
  for (const FailureRow &row : failureRows) {
    SCOPED_TRACE(row.name);
    for (const std::wstring &name : names()) {
      DeleteFileW(folder.path(name).c_str());
    }
    if (row.targetExists) {
      putContent(target, "old");
    }
    SafeWriteResult result;
    {
      const test::StorageApiRestorer restorer;
      row.arrange();
      result = row.targetExists
                   ? writer.writeIfUnchanged(target, "new", snapshot(1, "old"), L"")
                   : writer.writeAtomically(target, "new");
    }
    EXPECT_EQ(row.status, result.status);
    EXPECT_EQ(row.message, result.message);
    EXPECT_EQ(row.target, contentOf(target));
    std::vector<std::wstring> others = names();
    others.erase(std::remove(others.begin(), others.end(), L"a.txt"), others.end());
    if (!row.backup) {
      EXPECT_TRUE(others.empty()) << "left behind: " << testing::PrintToString(others);
      continue;
    }
    ASSERT_EQ(1u, others.size());
    EXPECT_NE(std::wstring::npos, others[0].find(L".rollback"));
    EXPECT_EQ(row.backup, contentOf(folder.path(others[0])));
  }
  EXPECT_EQ(128, collisions);
}

HANDLE WINAPI mutexRefused(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR) {
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

TEST_F(SafeFileWriterTest, NothingIsTouchedWithoutTheLock) {
  putContent(target, "old");
  const test::StorageApiRestorer restorer;
  storageApi.createMutex = &mutexRefused;
  for (const SafeWriteResult &result :
       {writer.writeIfUnchanged(target, "new", snapshot(1, "old"), L""),
        writer.removeIfUnchanged(target, snapshot(1, "old")), writer.writeAtomically(target, "new"),
        writer.removeFile(target)}) {
    EXPECT_EQ(SafeWriteStatus::LockFailed, result.status);
    EXPECT_EQ("CreateMutexW failed with Windows error 5", result.message);
  }
  EXPECT_EQ("old", contentOf(target));
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, names());
}

BOOL WINAPI writeRunsOutOfMemory(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  throw std::bad_alloc();
}

TEST_F(SafeFileWriterTest, AnExceptionStillRemovesTheTemporaryFileAndReleasesTheLock) {
  putContent(target, "old");
  {
    const test::StorageApiRestorer restorer;
    storageApi.writeFile = &writeRunsOutOfMemory;
    EXPECT_THROW(writer.writeAtomically(target, "new"), std::bad_alloc);
  }
  EXPECT_EQ("old", contentOf(target));
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, names());
  TimedLockState other = TimedLockState::Failed;
  std::thread([&] { other = TimedFileLock(target, scope).state(); }).join();
  EXPECT_EQ(TimedLockState::Acquired, other);
}

}  // namespace
}  // namespace storage
}  // namespace lumo
