#include "storage/safe_file_writer.h"

#include <windows.h>

#include "storage/file_lock.h"
#include "storage/file_operations.h"
#include "storage/storage_api.h"
#include "storage/temporary_file.h"
#include "util/error_text.h"

namespace lumo {
namespace storage {
namespace {

const char conflictMessage[] = "Configuration file changed after it was loaded; reload is required";
const char restoreFailedPrefix[] = "; restoring the original file failed with ";

SafeWriteResult outcome(SafeWriteStatus status, std::string message = std::string()) {
  SafeWriteResult result;
  result.status = status;
  result.message = std::move(message);
  return result;
}

bool matchesSnapshot(const FileReadResult &current, const LoadedFileSnapshot &expected) {
  if (expected.existed != 0) {
    return current.state == FileState::Present && current.bytes == expected.bytes;
  }
  return current.state == FileState::Absent;
}

SafeWriteResult deleteTarget(const std::wstring &path) {
  if (!storageApi.deleteFile(path.c_str())) {
    return outcome(SafeWriteStatus::CommitFailed, windowsErrorText("DeleteFileW", GetLastError()));
  }
  return outcome(SafeWriteStatus::Removed);
}

// Swaps the written temporary file in and, when that goes wrong, puts the
// previous content back where it can.
SafeWriteResult commit(const std::wstring &path, TemporaryFile &temporary, bool targetExists,
                       const std::wstring &backupPath) {
  const bool transientBackup = backupPath.empty();
  const std::wstring backup = transientBackup ? temporary.path() + L".rollback" : backupPath;

  const BOOL renamed =
      targetExists ? storageApi.replaceFile(path.c_str(), temporary.path().c_str(),
                                            backup.c_str(), 0, nullptr, nullptr)
                   : storageApi.moveFileEx(temporary.path().c_str(), path.c_str(),
                                           MOVEFILE_WRITE_THROUGH);
  if (!renamed) {
    const DWORD error = GetLastError();
    std::string suffix;
    // Only a replacement makes a backup; 1177 means the target already
    // went to the backup name and the new file never took its place.
    if (targetExists && error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 &&
        !storageApi.moveFileEx(backup.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
      suffix = restoreFailedPrefix + windowsErrorText("MoveFileExW", GetLastError());
    }
    return outcome(SafeWriteStatus::CommitFailed,
                   windowsErrorText(targetExists ? "ReplaceFileW" : "MoveFileExW", error) + suffix);
  }

  temporary.committed();
  // A new target was moved, not replaced: there is no backup to clean up.
  if (targetExists && transientBackup && !storageApi.deleteFile(backup.c_str())) {
    std::string message =
        windowsErrorText("DeleteFileW for transient authentication backup", GetLastError());
    if (!storageApi.moveFileEx(backup.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      message += restoreFailedPrefix + windowsErrorText("MoveFileExW", GetLastError());
    }
    return outcome(SafeWriteStatus::CommitFailed, message);
  }
  return outcome(SafeWriteStatus::Written);
}

}  // namespace

WindowsSafeFileWriter::WindowsSafeFileWriter(FileProtection protection,
                                             const std::wstring &scopeName)
    : protection(protection), scopeName(scopeName) {}

SafeWriteResult WindowsSafeFileWriter::replaceWith(const std::wstring &path,
                                                   const std::string &bytes, bool targetExists,
                                                   const std::wstring &backupPath) const {
  // Declared inside the caller's lock so it is closed and deleted before the
  // lock is released, also when an exception passes.
  TemporaryFile temporary;
  std::string failure = temporary.create(path, protection);
  if (failure.empty()) {
    failure = temporary.write(bytes);
  }
  if (!failure.empty()) {
    return outcome(SafeWriteStatus::TemporaryFileFailed, failure);
  }
  return commit(path, temporary, targetExists, backupPath);
}

SafeWriteResult WindowsSafeFileWriter::writeIfUnchanged(const std::wstring &path,
                                                        const std::string &bytes,
                                                        const LoadedFileSnapshot &expected,
                                                        const std::wstring &backupPath) const {
  const FileLock lock(fileLockName(scopeName, path));
  if (!lock.owned()) {
    return outcome(SafeWriteStatus::LockFailed, lock.error());
  }
  const FileReadResult current = WindowsFileOperations().readFile(path);
  if (current.state == FileState::Failed) {
    return outcome(SafeWriteStatus::ReadFailed, current.error);
  }
  if (!matchesSnapshot(current, expected)) {
    return outcome(SafeWriteStatus::Conflict, conflictMessage);
  }
  return replaceWith(path, bytes, expected.existed != 0, backupPath);
}

SafeWriteResult WindowsSafeFileWriter::removeIfUnchanged(const std::wstring &path,
                                                         const LoadedFileSnapshot &expected) const {
  const FileLock lock(fileLockName(scopeName, path));
  if (!lock.owned()) {
    return outcome(SafeWriteStatus::LockFailed, lock.error());
  }
  const FileReadResult current = WindowsFileOperations().readFile(path);
  if (current.state == FileState::Failed) {
    return outcome(SafeWriteStatus::ReadFailed, current.error);
  }
  if (!matchesSnapshot(current, expected)) {
    return outcome(SafeWriteStatus::Conflict, conflictMessage);
  }
  if (current.state == FileState::Absent) {
    return outcome(SafeWriteStatus::Removed);
  }
  return deleteTarget(path);
}

SafeWriteResult WindowsSafeFileWriter::writeAtomically(const std::wstring &path,
                                                       const std::string &bytes) const {
  const FileLock lock(fileLockName(scopeName, path));
  if (!lock.owned()) {
    return outcome(SafeWriteStatus::LockFailed, lock.error());
  }
  const FilePresenceResult presence = WindowsFileOperations().checkPresence(path);
  if (presence.state == FileState::Failed) {
    return outcome(SafeWriteStatus::ReadFailed, presence.error);
  }
  return replaceWith(path, bytes, presence.state == FileState::Present, std::wstring());
}

SafeWriteResult WindowsSafeFileWriter::removeFile(const std::wstring &path) const {
  const FileLock lock(fileLockName(scopeName, path));
  if (!lock.owned()) {
    return outcome(SafeWriteStatus::LockFailed, lock.error());
  }
  const FilePresenceResult presence = WindowsFileOperations().checkPresence(path);
  if (presence.state == FileState::Failed) {
    return outcome(SafeWriteStatus::ReadFailed, presence.error);
  }
  if (presence.state == FileState::Absent) {
    return outcome(SafeWriteStatus::Removed);
  }
  return deleteTarget(path);
}

}  // namespace storage
}  // namespace lumo
