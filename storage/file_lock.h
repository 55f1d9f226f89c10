#pragma once

#include <cstdint>
#include <string>

#include "util/unique_handle.h"

namespace lumo {
namespace storage {

// "Global\<scope>-file-lock-<hash>": one machine-wide mutex per file. The
// hash is taken over resolvedPath(path) (full_path.h) with A-Z folded to
// lower case and slashes to backslashes, so a relative spelling, or one
// with "." or "..", meets the full path it stands for, and a full path
// without such parts keeps the name it always had.
//
// The name comes from the text alone, without opening anything: the file
// may not exist yet, and what a drive letter or a link leads to belongs to a
// logon session and can change while a writer waits. So spellings that only
// the file system can tell apart still get two locks: a second drive letter
// for the same folder (subst, a mapped share), a symbolic link, junction or
// hard link, an 8.3 short name, the \\?\ form of a path, and a full path
// written with doubled separators or trailing dots or spaces.
std::wstring fileLockName(const std::wstring &scopeName, const std::wstring &path);

// Who may take a file's lock. The store's files are shared by the server's
// service, which runs as LocalSystem, and by companion programs that run
// elevated or as the signed-in user, so each lock is opened asking only for
// the rights that waiting and releasing need (SYNCHRONIZE and
// MUTEX_MODIFY_STATE), and the process that creates the mutex gives it this
// protected list, which grants exactly those rights to LocalSystem (SY),
// Administrators (BA) and interactive users (IU). A mutex made with its
// creator's default list would shut the others out: a LocalSystem service's
// grants Administrators no more than waiting, and other users nothing. What
// this lets a program in one of those groups do is take a lock and never
// release it, blocking the file's writers (a TimedFileLock gives up after
// its wait); any program could already do that, and worse, by creating the
// name first.
extern const wchar_t fileLockSddl[];

// How long a TimedFileLock waits for the mutex.
constexpr std::uint32_t timedFileLockWaitMs = 30000;

// Waits without limit. Windows mutexes are re-entrant, so a thread that
// already holds the lock gets it again at once. Belongs to the constructing
// thread, which must also destroy it.
class FileLock {
public:
  explicit FileLock(const std::wstring &name);
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;

  bool owned() const { return hold.valid(); }
  // Why the lock is not owned; empty when it is.
  const std::string &error() const { return errorText; }

private:
  UniqueHandle mutex;
  // Declared after the mutex, so released before it is closed.
  UniqueMutexHold hold;
  std::string errorText;
};

enum class TimedLockState : std::int32_t {
  Acquired = 0,
  // The previous owner ended without releasing it.
  AcquiredAbandoned = 1,
  TimedOut = 2,
  Failed = 3,
};

// For callers that keep a file's lock across several steps of their own,
// such as a read, a decision and a writer call.
class TimedFileLock {
public:
  TimedFileLock(const std::wstring &path, const std::wstring &scopeName);
  TimedFileLock(const TimedFileLock &) = delete;
  TimedFileLock &operator=(const TimedFileLock &) = delete;

  TimedLockState state() const { return lockState; }
  bool held() const {
    return lockState == TimedLockState::Acquired || lockState == TimedLockState::AcquiredAbandoned;
  }

private:
  UniqueHandle mutex;
  UniqueMutexHold hold;
  TimedLockState lockState = TimedLockState::Failed;
};

}  // namespace storage
}  // namespace lumo
