#include "storage/safe_file_writer.h"

#include <windows.h>

#include <optional>

#include "storage/file_lock.h"
#include "storage/file_operations.h"
#include "storage/full_path.h"
#include "storage/platform_seam.h"
#include "storage/temporary_file.h"
#include "storage/whole_file_io.h"
#include "util/error_text.h"

namespace lumo {
namespace storage {
namespace {

const char conflictMessage[] = "Configuration file changed after it was loaded; reload is required";
const char temporaryRole[] = "temporary file";
const char backupRole[] = "temporary backup file";

SafeWriteResult outcome(SafeWriteStatus status, std::string message = std::string()) {
  SafeWriteResult result;
  result.status = status;
  result.message = std::move(message);
  return result;
}

// Why an operation on a snapshot must stop; nothing when the file is as the
// caller loaded it. A file of another size is a conflict without being
// read.
std::optional<SafeWriteResult> refusal(const std::wstring &path,
                                       const LoadedFileSnapshot &expected) {
  const FileToRead current = openToRead(path);
  if (current.state == FileState::Failed) {
    return outcome(SafeWriteStatus::ReadFailed, current.error);
  }
  const bool expectsFile = expected.existed != 0;
  if ((current.state == FileState::Present) != expectsFile) {
    return outcome(SafeWriteStatus::Conflict, conflictMessage);
  }
  if (!expectsFile) {
    return std::nullopt;
  }
  const ContentCheck check = compareWhole(current, expected.bytes);
  if (!check.error.empty()) {
    return outcome(SafeWriteStatus::ReadFailed, check.error);
  }
  if (!check.same) {
    return outcome(SafeWriteStatus::Conflict, conflictMessage);
  }
  return std::nullopt;
}

SafeWriteResult deleteTarget(const std::wstring &path) {
  if (!storageSeam.deleteFile(platformPath(path).c_str())) {
    return outcome(SafeWriteStatus::CommitFailed, windowsErrorText("DeleteFileW", GetLastError()));
  }
  return outcome(SafeWriteStatus::Removed);
}

// Creates, fills and flushes the file beside its final name. Returns the
// failure text, empty on success.
std::string prepare(TemporaryFile &file, const std::wstring &finalName, const std::string &bytes,
                    SECURITY_ATTRIBUTES *security, SECURITY_ATTRIBUTES *withoutOwner) {
  std::string failure = file.create(finalName, security, withoutOwner);
  if (failure.empty()) {
    failure = file.write(bytes);
  }
  return failure;
}

// One rename, so the final name holds the old or the new file at every
// instant, even if the process dies. Without replace, a file that appeared
// meanwhile makes the move fail instead of being overwritten. Returns the
// rename's error, ERROR_SUCCESS once it is done.
DWORD moveIntoPlace(TemporaryFile &file, const std::wstring &finalName, bool replace) {
  const DWORD flags =
      replace ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : MOVEFILE_WRITE_THROUGH;
  const std::wstring destination = platformPath(finalName);
  for (int attempt = 1;; ++attempt) {
    if (storageSeam.moveFileEx(file.path().c_str(), destination.c_str(), flags)) {
      file.committed();
      return ERROR_SUCCESS;
    }
    const DWORD error = GetLastError();
    // Both codes also stand for lasting refusals, hence the bound.
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
        attempt == replaceAttempts) {
      return error;
    }
    storageSeam.sleep(replacePauseMs);
  }
}

}  // namespace

WindowsSafeFileWriter::WindowsSafeFileWriter(FileProtection protection,
                                             const std::wstring &scopeName)
    : protection(protection), scopeName(scopeName) {}

SafeWriteResult WindowsSafeFileWriter::replaceWith(const std::wstring &path,
                                                   const std::string &bytes, bool targetExists,
                                                   const std::wstring &backupPath,
                                                   const std::string &previous) const {
  // Inherited chose no descriptor, and the folder's defaults may let in more
  // than the replaced file did: keep that file's owner and access list. An
  // owner this caller may not assign gives way to the caller's own, as it
  // always did; the access list is kept whatever happens.
  const bool keepsOwn = protection == FileProtection::Inherited && targetExists;
  ProtectionAttributes security =
      keepsOwn ? replacedFileAttributes(path) : protectionAttributes(protection);
  if (!security.error().empty()) {
    return outcome(keepsOwn ? SafeWriteStatus::ReadFailed : SafeWriteStatus::TemporaryFileFailed,
                   security.error());
  }
  SECURITY_ATTRIBUTES *const withoutOwner = keepsOwn ? security.withoutOwner() : nullptr;
  // Declared inside the caller's lock so they are closed and deleted before
  // the lock is released, also when an exception passes.
  TemporaryFile temporary(temporaryRole);
  std::string failure = prepare(temporary, path, bytes, security.get(), withoutOwner);
  if (!failure.empty()) {
    return outcome(SafeWriteStatus::TemporaryFileFailed, failure);
  }
  if (targetExists && !backupPath.empty()) {
    // A copy of the previous content, in place before the target changes:
    // the target itself is never moved away, so it cannot go missing.
    TemporaryFile backup(backupRole);
    failure = prepare(backup, backupPath, previous, security.get(), withoutOwner);
    if (!failure.empty()) {
      return outcome(SafeWriteStatus::TemporaryFileFailed, failure);
    }
    const DWORD error = moveIntoPlace(backup, backupPath, true);
    if (error != ERROR_SUCCESS) {
      return outcome(SafeWriteStatus::CommitFailed,
                     windowsErrorText("MoveFileExW for backup file", error));
    }
  }
  const DWORD error = moveIntoPlace(temporary, path, targetExists);
  if (error != ERROR_SUCCESS) {
    return outcome(SafeWriteStatus::CommitFailed, windowsErrorText("MoveFileExW", error));
  }
  return outcome(SafeWriteStatus::Written);
}

template <typename Operation>
SafeWriteResult WindowsSafeFileWriter::underLock(const std::wstring &path,
                                                 Operation operation) const {
  // Resolved once, so that the lock and every file call name one file even
  // if the current folder changes meanwhile.
  const std::wstring target = resolvedPath(path);
  const FileLock lock(fileLockName(scopeName, target));
  if (!lock.owned()) {
    return outcome(SafeWriteStatus::LockFailed, lock.error());
  }
  return operation(target);
}

SafeWriteResult WindowsSafeFileWriter::writeIfUnchanged(const std::wstring &path,
                                                        const std::string &bytes,
                                                        const LoadedFileSnapshot &expected,
                                                        const std::wstring &backupPath) const {
  return underLock(path, [&](const std::wstring &target) {
    if (const std::optional<SafeWriteResult> refused = refusal(target, expected)) {
      return *refused;
    }
    return replaceWith(target, bytes, expected.existed != 0,
                       backupPath.empty() ? backupPath : resolvedPath(backupPath), expected.bytes);
  });
}

SafeWriteResult WindowsSafeFileWriter::removeIfUnchanged(const std::wstring &path,
                                                         const LoadedFileSnapshot &expected) const {
  return underLock(path, [&](const std::wstring &target) {
    if (const std::optional<SafeWriteResult> refused = refusal(target, expected)) {
      return *refused;
    }
    return expected.existed == 0 ? outcome(SafeWriteStatus::Removed) : deleteTarget(target);
  });
}

SafeWriteResult WindowsSafeFileWriter::writeAtomically(const std::wstring &path,
                                                       const std::string &bytes) const {
  return underLock(path, [&](const std::wstring &target) {
    const FilePresenceResult presence = WindowsFileOperations().checkPresence(target);
    if (presence.state == FileState::Failed) {
      return outcome(SafeWriteStatus::ReadFailed, presence.error);
    }
    return replaceWith(target, bytes, presence.state == FileState::Present, std::wstring(),
                       std::string());
  });
}

SafeWriteResult WindowsSafeFileWriter::removeFile(const std::wstring &path) const {
  return underLock(path, [&](const std::wstring &target) {
    const FilePresenceResult presence = WindowsFileOperations().checkPresence(target);
    if (presence.state == FileState::Failed) {
      return outcome(SafeWriteStatus::ReadFailed, presence.error);
    }
    return presence.state == FileState::Absent ? outcome(SafeWriteStatus::Removed)
                                               : deleteTarget(target);
  });
}

}  // namespace storage
}  // namespace lumo
