#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <thread>

#include "crash_content.h"
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

int reads;

BOOL WINAPI readCounted(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED at) {
  ++reads;
  return ReadFile(file, buffer, size, done, at);
}

TimedLockState timedStateFromOtherThread(const std::wstring &path) {
  TimedLockState state = TimedLockState::Failed;
  std::thread([&] { state = TimedFileLock(path, scope).state(); }).join();
  return state;
}

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

  // Nothing was replaced, so there is nothing to back up.
  const std::wstring other = folder.path(L"b.txt");
  EXPECT_EQ(SafeWriteStatus::Written,
            writer.writeIfUnchanged(other, "", snapshot(0), folder.path(L"b.bak")).status);
  EXPECT_EQ((std::vector<std::wstring>{L"a.bak", L"a.txt", L"b.txt"}), names());
  // An empty previous content is backed up as such.
  EXPECT_EQ(SafeWriteStatus::Written,
            writer.writeIfUnchanged(other, "b", snapshot(1, ""), folder.path(L"b.bak")).status);
  EXPECT_EQ("", contentOf(folder.path(L"b.bak")));
  EXPECT_EQ("b", contentOf(other));
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

TEST_F(SafeFileWriterTest, AFileBeyondMemoryIsAConflictWithoutBeingRead) {
  const std::uint64_t oneTebibyte = std::uint64_t{1} << 40;
  ASSERT_TRUE(test::makeSparseFile(target, oneTebibyte));
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.readFile = &readCounted;
  reads = 0;
  for (const SafeWriteResult &result :
       {writer.writeIfUnchanged(target, "new", snapshot(1, "old"), folder.path(L"a.bak")),
        writer.writeIfUnchanged(target, "new", snapshot(0), L""),
        writer.removeIfUnchanged(target, snapshot(1, "old")),
        writer.removeIfUnchanged(target, snapshot(0))}) {
    EXPECT_EQ(SafeWriteStatus::Conflict, result.status);
    EXPECT_EQ(conflict, result.message);
  }
  EXPECT_EQ(0, reads);
  EXPECT_EQ(oneTebibyte, test::sizeOf(target));
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, names());
}

TEST_F(SafeFileWriterTest, ContentIsComparedPieceByPieceToTheLastByte) {
  // Several of the pieces the comparison reads at a time.
  std::string loaded(200 * 1024 + 7, 'c');
  loaded[0] = 'f';
  for (const std::size_t changed : {std::size_t{0}, std::size_t{64 * 1024}, loaded.size() - 1}) {
    SCOPED_TRACE(changed);
    std::string onDisk = loaded;
    onDisk[changed] = 'x';
    putContent(target, onDisk);
    EXPECT_EQ(SafeWriteStatus::Conflict,
              writer.writeIfUnchanged(target, "new", snapshot(1, loaded), L"").status);
    EXPECT_EQ(SafeWriteStatus::Conflict,
              writer.removeIfUnchanged(target, snapshot(1, loaded)).status);
    EXPECT_TRUE(onDisk == contentOf(target));
  }
  putContent(target, loaded);
  {
    const test::SeamOverride<StorageSeam> seam(storageSeam);
    storageSeam.readFile = &test::readRefused;
    const SafeWriteResult refused =
        writer.writeIfUnchanged(target, "new", snapshot(1, loaded), L"");
    EXPECT_EQ(SafeWriteStatus::ReadFailed, refused.status);
    EXPECT_EQ("ReadFile failed with Windows error 33", refused.message);
    storageSeam.readFile = &ReadFile;
    storageSeam.getFileSizeEx = &test::sizeTenBytesLarger;
    const SafeWriteResult shrunk =
        writer.removeIfUnchanged(target, snapshot(1, loaded + std::string(10, 'c')));
    EXPECT_EQ(SafeWriteStatus::ReadFailed, shrunk.status);
    EXPECT_EQ("ReadFile returned no data before end of file", shrunk.message);
  }
  EXPECT_TRUE(loaded == contentOf(target));
  EXPECT_EQ(SafeWriteStatus::Written,
            writer.writeIfUnchanged(target, "new", snapshot(1, loaded), L"").status);
}

TEST_F(SafeFileWriterTest, TheComparisonNeedsNoBufferOfTheFilesSize) {
  putContent(target, "old");
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.resizeBuffer = &test::outOfMemory;
  EXPECT_EQ(SafeWriteStatus::Written,
            writer.writeIfUnchanged(target, "new", snapshot(1, "old"), L"").status);
  EXPECT_EQ(SafeWriteStatus::Removed, writer.removeIfUnchanged(target, snapshot(1, "new")).status);
  EXPECT_TRUE(names().empty());
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
  const UniqueFileHandle busy(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
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
  EXPECT_EQ(SafeWriteStatus::Removed,
            writer.removeIfUnchanged(target, snapshot(1, "newer")).status);
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
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.createFile = &recordTemporaryNames;
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

// A second folder that becomes the current one while a write is under way.
const std::wstring *elsewhere;

HANDLE WINAPI movesAwayOnCreate(LPCWSTR name, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE from) {
  if (disposition == CREATE_NEW) {
    temporaryNames.push_back(name);
    SetCurrentDirectoryW(elsewhere->c_str());
  }
  return CreateFileW(name, access, share, security, disposition, flags, from);
}

TEST_F(SafeFileWriterTest, ARelativePathNamesOneFileForTheWholeOperation) {
  const test::ScratchFolder other;
  const std::wstring otherLocation = other.location();
  elsewhere = &otherLocation;
  const test::CurrentFolder here(folder.location());
  putContent(target, "old");
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.createFile = &movesAwayOnCreate;
  temporaryNames.clear();
  const SafeWriteResult result =
      writer.writeIfUnchanged(L"sub\\..\\a.txt", "new", snapshot(1, "old"), L"a.bak");
  EXPECT_EQ(SafeWriteStatus::Written, result.status) << result.message;
  EXPECT_EQ("new", contentOf(target));
  EXPECT_EQ("old", contentOf(folder.path(L"a.bak")));
  EXPECT_TRUE(other.names().empty());
  ASSERT_EQ(2u, temporaryNames.size());
  EXPECT_EQ(0u, temporaryNames[0].find(target + L".tmp."));
  EXPECT_EQ(0u, temporaryNames[1].find(folder.path(L"a.bak.tmp.")));
}

// Where each temporary file goes: beside its target, named TARGET.tmp.PID.
// TICK.N, with the target's part cut to fit 255 units when it must be.
void expectBesideWithinOneEntry(std::wstring created, const std::wstring &target) {
  // Long paths reach the platform with the \\?\ prefix; not the matter here.
  if (created.compare(0, 4, L"\\\\?\\") == 0) {
    created.erase(0, 4);
  }
  const std::size_t nameStart = target.find_last_of(L'\\') + 1;
  ASSERT_EQ(target.substr(0, nameStart), created.substr(0, nameStart)) << "same folder";
  const std::wstring name = created.substr(nameStart);
  const std::wstring suffix = name.substr(name.rfind(L".tmp."));
  const std::wstring targetName = target.substr(nameStart);
  if (targetName.size() + suffix.size() <= 255) {
    EXPECT_EQ(targetName + suffix, name);
  } else {
    EXPECT_EQ(255u, name.size());
    EXPECT_EQ(targetName.substr(0, 255 - suffix.size()) + suffix, name);
  }
}

TEST_F(SafeFileWriterTest, NamesUpToTheLimitOfAFolderEntryCanBeWritten) {
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.createFile = &recordTemporaryNames;
  for (const std::size_t length : {200, 230, 240, 255}) {
    SCOPED_TRACE(length);
    const std::wstring longTarget = folder.path(std::wstring(length - 4, L'n') + L".cfg");
    const std::wstring backup = folder.path(std::wstring(length - 4, L'b') + L".bak");
    temporaryNames.clear();
    EXPECT_EQ(SafeWriteStatus::Written, writer.writeAtomically(longTarget, "1").status);
    const SafeWriteResult replaced =
        writer.writeIfUnchanged(longTarget, "2", snapshot(1, "1"), backup);
    EXPECT_EQ(SafeWriteStatus::Written, replaced.status) << replaced.message;
    EXPECT_EQ("2", contentOf(longTarget));
    EXPECT_EQ("1", contentOf(backup));
    ASSERT_EQ(3u, temporaryNames.size());
    expectBesideWithinOneEntry(temporaryNames[0], longTarget);
    expectBesideWithinOneEntry(temporaryNames[1], longTarget);
    expectBesideWithinOneEntry(temporaryNames[2], backup);
    EXPECT_EQ(SafeWriteStatus::Removed, writer.removeFile(longTarget).status);
    EXPECT_EQ(SafeWriteStatus::Removed, writer.removeFile(backup).status);
    EXPECT_TRUE(names().empty());
  }
}

// Every path the store hands the platform. Like Windows without long-path
// support, a path of MAX_PATH units or more is refused unless it has the
// \\?\ prefix.
std::vector<std::wstring> handedPaths;

bool refusedAsTooLong(LPCWSTR path) {
  handedPaths.push_back(path);
  if (handedPaths.back().size() >= MAX_PATH && handedPaths.back().find(L"\\\\?\\") != 0) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return true;
  }
  return false;
}

HANDLE WINAPI createShortPathsOnly(LPCWSTR name, DWORD access, DWORD share,
                                   LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                   HANDLE from) {
  return refusedAsTooLong(name)
             ? INVALID_HANDLE_VALUE
             : CreateFileW(name, access, share, security, disposition, flags, from);
}

DWORD WINAPI attributesOfShortPathsOnly(LPCWSTR name) {
  return refusedAsTooLong(name) ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(name);
}

BOOL WINAPI moveShortPathsOnly(LPCWSTR from, LPCWSTR to, DWORD flags) {
  return refusedAsTooLong(from) || refusedAsTooLong(to) ? FALSE : MoveFileExW(from, to, flags);
}

BOOL WINAPI deleteShortPathsOnly(LPCWSTR name) {
  return refusedAsTooLong(name) ? FALSE : DeleteFileW(name);
}

DWORD WINAPI securityOfShortPathsOnly(LPCWSTR name, SE_OBJECT_TYPE type,
                                      SECURITY_INFORMATION information, PSID *owner, PSID *group,
                                      PACL *dacl, PACL *sacl, PSECURITY_DESCRIPTOR *descriptor) {
  return refusedAsTooLong(name)
             ? ERROR_PATH_NOT_FOUND
             : GetNamedSecurityInfoW(name, type, information, owner, group, dacl, sacl, descriptor);
}

// Every call that takes a path, on a target and a backup of one length.
void useEveryPathCall(const WindowsSafeFileWriter &writer, const std::wstring &target,
                      const std::wstring &backup) {
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.createFile = &createShortPathsOnly;
  storageSeam.getFileAttributes = &attributesOfShortPathsOnly;
  storageSeam.moveFileEx = &moveShortPathsOnly;
  storageSeam.deleteFile = &deleteShortPathsOnly;
  storageSeam.getNamedSecurityInfo = &securityOfShortPathsOnly;
  const WindowsFileOperations files;
  EXPECT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, "1").status);
  const FileWriteResult plain = files.writeFile(target, "2");
  EXPECT_TRUE(plain.written) << plain.error;
  EXPECT_EQ(FileState::Present, files.checkPresence(target).state);
  // Inherited reads the replaced file's descriptor.
  const SafeWriteResult replaced = WindowsSafeFileWriter(FileProtection::Inherited, scope)
                                       .writeIfUnchanged(target, "3", snapshot(1, "2"), backup);
  EXPECT_EQ(SafeWriteStatus::Written, replaced.status) << replaced.message;
  const FileReadResult read = files.readFile(target);
  EXPECT_EQ("3", read.bytes) << read.error;
  EXPECT_EQ("2", files.readFile(backup).bytes);
  EXPECT_EQ(SafeWriteStatus::Removed, writer.removeFile(backup).status);
  EXPECT_EQ(SafeWriteStatus::Removed, writer.removeIfUnchanged(target, snapshot(1, "3")).status);
}

TEST_F(SafeFileWriterTest, PathsFromMaxPathOnReachThePlatformInTheLongForm) {
  std::vector<std::size_t> lengths = {255, 300};
  // Either side of the limit, where a misplaced threshold shows.
  for (std::size_t length = MAX_PATH - 1; length <= MAX_PATH + 10; ++length) {
    lengths.push_back(length);
  }
  for (const std::size_t length : lengths) {
    SCOPED_TRACE(length);
    const std::wstring deep =
        folder.path(std::wstring(length - folder.location().size() - 9, L'd'));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    const std::wstring longTarget = deep + L"\\cfg.txt";
    ASSERT_EQ(length, longTarget.size());
    handedPaths.clear();
    useEveryPathCall(writer, longTarget, deep + L"\\cfg.bak");
    for (const std::wstring &path : handedPaths) {
      // The long form only where the plain one does not fit.
      const bool longForm = path.find(L"\\\\?\\") == 0;
      EXPECT_EQ(longForm, path.size() - (longForm ? 4 : 0) >= MAX_PATH) << path.size();
    }
    EXPECT_TRUE(RemoveDirectoryW((L"\\\\?\\" + deep).c_str())) << "the folder is empty";
  }
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

BOOL WINAPI moveRefused(LPCWSTR, LPCWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

bool isBackupName(LPCWSTR name) { return std::wstring(name).find(L"a.bak") != std::wstring::npos; }

HANDLE WINAPI backupTemporaryRefused(LPCWSTR name, DWORD access, DWORD share,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                     HANDLE from) {
  if (disposition == CREATE_NEW && isBackupName(name)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(name, access, share, security, disposition, flags, from);
}

// The new content's file is flushed first, the backup copy second.
int flushes;

BOOL WINAPI secondFlushFails(HANDLE handle) {
  if (++flushes == 2) {
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
  }
  return FlushFileBuffers(handle);
}

BOOL WINAPI backupMoveRefused(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (isBackupName(to)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return MoveFileExW(from, to, flags);
}

BOOL WINAPI targetMoveRefused(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (!isBackupName(to)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return MoveFileExW(from, to, flags);
}

struct FailureRow {
  const char *name;
  void (*arrange)();
  bool targetExists;
  // a.bak is passed as the backup and holds "stale" beforehand.
  bool withBackup;
  SafeWriteStatus status;
  std::string message;
  std::string target;  // "<absent>" for none
  std::string backup;  // what a.bak holds afterwards
};

const FailureRow failureRows[] = {
    {"temporary file refused", [] { storageSeam.createFile = &temporaryRefused; }, true, false,
     SafeWriteStatus::TemporaryFileFailed,
     "CreateFileW for temporary file failed with Windows error 5", "old", "<absent>"},
    {"every name taken", [] { storageSeam.createFile = &temporaryCollides; }, true, false,
     SafeWriteStatus::TemporaryFileFailed, "Unable to allocate a unique temporary file name", "old",
     "<absent>"},
    {"write fails", [] { storageSeam.writeFile = &diskFull; }, true, false,
     SafeWriteStatus::TemporaryFileFailed,
     "WriteFile for temporary file failed with Windows error 112", "old", "<absent>"},
    {"flush fails", [] { storageSeam.flushFileBuffers = &deviceError; }, true, false,
     SafeWriteStatus::TemporaryFileFailed,
     "FlushFileBuffers for temporary file failed with Windows error 1117", "old", "<absent>"},
    {"close fails", [] { storageSeam.closeHandle = &closeReportsDeviceError; }, true, false,
     SafeWriteStatus::TemporaryFileFailed,
     "CloseHandle for temporary file failed with Windows error 1117", "old", "<absent>"},
    {"replacement refused", [] { storageSeam.moveFileEx = &moveRefused; }, true, false,
     SafeWriteStatus::CommitFailed, "MoveFileExW failed with Windows error 5", "old", "<absent>"},
    {"move to a new target refused", [] { storageSeam.moveFileEx = &moveRefused; }, false, false,
     SafeWriteStatus::CommitFailed, "MoveFileExW failed with Windows error 5", "<absent>",
     "<absent>"},
    {"backup copy refused", [] { storageSeam.createFile = &backupTemporaryRefused; }, true, true,
     SafeWriteStatus::TemporaryFileFailed,
     "CreateFileW for temporary backup file failed with Windows error 5", "old", "stale"},
    {"backup copy not flushed",
     [] {
       flushes = 0;
       storageSeam.flushFileBuffers = &secondFlushFails;
     },
     true, true, SafeWriteStatus::TemporaryFileFailed,
     "FlushFileBuffers for temporary backup file failed with Windows error 1117", "old", "stale"},
    {"backup rename refused", [] { storageSeam.moveFileEx = &backupMoveRefused; }, true, true,
     SafeWriteStatus::CommitFailed, "MoveFileExW for backup file failed with Windows error 5",
     "old", "stale"},
    {"replacement refused after the backup", [] { storageSeam.moveFileEx = &targetMoveRefused; },
     true, true, SafeWriteStatus::CommitFailed, "MoveFileExW failed with Windows error 5", "old",
     "old"},
};

int pauses;

VOID WINAPI countPause(DWORD) { ++pauses; }

TEST_F(SafeFileWriterTest, EachFailureLeavesTheDiskAsDocumented) {
  const std::wstring backup = folder.path(L"a.bak");
  for (const FailureRow &row : failureRows) {
    SCOPED_TRACE(row.name);
    for (const std::wstring &name : names()) {
      DeleteFileW(folder.path(name).c_str());
    }
    if (row.targetExists) {
      putContent(target, "old");
    }
    if (row.withBackup) {
      putContent(backup, "stale");
    }
    SafeWriteResult result;
    {
      const test::SeamOverride<StorageSeam> seam(storageSeam);
      storageSeam.sleep = &countPause;
      row.arrange();
      result = row.targetExists ? writer.writeIfUnchanged(target, "new", snapshot(1, "old"),
                                                          row.withBackup ? backup : L"")
                                : writer.writeAtomically(target, "new");
    }
    EXPECT_EQ(row.status, result.status);
    EXPECT_EQ(row.message, result.message);
    EXPECT_EQ(row.target, contentOf(target));
    EXPECT_EQ(row.backup, contentOf(backup));
    std::vector<std::wstring> others = names();
    for (const wchar_t *known : {L"a.txt", L"a.bak"}) {
      others.erase(std::remove(others.begin(), others.end(), known), others.end());
    }
    EXPECT_TRUE(others.empty()) << "left behind: " << testing::PrintToString(others);
  }
  EXPECT_EQ(128, collisions);
}

// A reader's handle that goes away after the writer has paused three times.
UniqueFileHandle openReader;

VOID WINAPI readerLeavesOnThirdPause(DWORD) {
  if (++pauses == 3) {
    openReader.reset();
  }
}

TEST_F(SafeFileWriterTest, AFileOpenInAReaderIsReplacedOnceTheReaderIsDone) {
  const std::wstring backup = folder.path(L"a.bak");
  putContent(target, "old");
  putContent(backup, "stale");
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  for (const std::wstring &busy : {target, backup}) {
    SCOPED_TRACE(std::string(busy == target ? "target" : "backup") + " open");
    openReader = UniqueFileHandle(CreateFileW(
        busy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(openReader);
    pauses = 0;
    storageSeam.sleep = &readerLeavesOnThirdPause;
    const std::string now = contentOf(target);
    EXPECT_EQ(SafeWriteStatus::Written,
              writer.writeIfUnchanged(target, now + "+", snapshot(1, now), backup).status);
    EXPECT_EQ(3, pauses) << "the platform refuses to replace an open file";
    EXPECT_EQ(now + "+", contentOf(target));
    EXPECT_EQ(now, contentOf(backup));
  }

  // A reader that stays makes the write fail after a bounded wait.
  openReader = UniqueFileHandle(CreateFileW(target.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
  pauses = 0;
  storageSeam.sleep = &countPause;
  const SafeWriteResult stuck = writer.writeAtomically(target, "new");
  openReader.reset();
  EXPECT_EQ(SafeWriteStatus::CommitFailed, stuck.status);
  EXPECT_EQ("MoveFileExW failed with Windows error 5", stuck.message);
  EXPECT_EQ(replaceAttempts - 1, pauses);
  EXPECT_EQ("old++", contentOf(target));
  EXPECT_EQ((std::vector<std::wstring>{L"a.bak", L"a.txt"}), names());
}

TEST_F(SafeFileWriterTest, AReaderDuringReplacementsSeesOnlyWholeContents) {
  const int replacements = 100;
  ASSERT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, test::crashContent(0)).status);
  std::atomic<bool> done{false};
  int reads = 0;
  int absent = 0;
  int failed = 0;
  int torn = 0;
  std::thread reader([&] {
    while (!done) {
      const FileReadResult read = WindowsFileOperations().readFile(target);
      ++reads;
      absent += read.state == FileState::Absent;
      failed += read.state == FileState::Failed;
      torn += read.state == FileState::Present && !test::isCompleteCrashContent(read.bytes);
    }
  });
  int written = 0;
  for (int number = 1; number <= replacements; ++number) {
    written += writer.writeAtomically(target, test::crashContent(number)).status ==
               SafeWriteStatus::Written;
  }
  done = true;
  reader.join();
  std::printf("%d replacements, %d reads: %d absent, %d failed, %d torn\n", replacements, reads,
              absent, failed, torn);
  EXPECT_EQ(replacements, written);
  EXPECT_GT(reads, replacements);
  EXPECT_EQ(0, absent);
  EXPECT_EQ(0, failed);
  EXPECT_EQ(0, torn);
  EXPECT_TRUE(test::crashContent(replacements) == contentOf(target));
}

TEST_F(SafeFileWriterTest, NothingIsTouchedWithoutTheLock) {
  putContent(target, "old");
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.createMutexEx = &test::mutexRefused;
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
    const test::SeamOverride<StorageSeam> seam(storageSeam);
    storageSeam.writeFile = &writeRunsOutOfMemory;
    EXPECT_THROW(writer.writeAtomically(target, "new"), std::bad_alloc);
  }
  EXPECT_EQ("old", contentOf(target));
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, names());
  EXPECT_EQ(TimedLockState::Acquired, timedStateFromOtherThread(target));
}

}  // namespace
}  // namespace storage
}  // namespace lumo
