#include "storage/file_lock.h"

#include <windows.h>

#include "storage/file_protection.h"
#include "storage/full_path.h"
#include "storage/platform_seam.h"
#include "util/error_text.h"

namespace lumo {
namespace storage {
namespace {

wchar_t foldLetter(wchar_t unit) {
  return unit >= L'A' && unit <= L'Z' ? static_cast<wchar_t>(unit + 0x20) : unit;
}

std::uint64_t pathHash(const std::wstring &path) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const wchar_t raw : path) {
    const std::uint16_t unit = raw == L'/' ? L'\\' : foldLetter(raw);
    hash = (hash ^ (unit & 0xFFu)) * 0x100000001b3ull;
    hash = (hash ^ (unit >> 8)) * 0x100000001b3ull;
  }
  return hash;
}

// The lock's descriptor, converted by the first lock of the process: the
// conversion costs as much as taking the lock, and the same conversion of
// the same text gives the same descriptor. Null while the table holds
// another conversion (a test's) or where the first one failed. Never freed:
// another thread may still take a lock while the process ends.
SECURITY_ATTRIBUTES *convertedOnce() {
  struct Converted {
    decltype(StorageSeam::convertSecurityDescriptor) conversion;
    ProtectionAttributes attributes;
  };
  static Converted *const first =
      new Converted{storageSeam.convertSecurityDescriptor, sddlAttributes(fileLockSddl)};
  return first->conversion == storageSeam.convertSecurityDescriptor ? first->attributes.get()
                                                                    : nullptr;
}

// Opens or creates the mutex; null, with the reason in *error where one is
// wanted, when that fails.
UniqueHandle openLock(const std::wstring &name, std::string *error) {
  ProtectionAttributes convertedNow;
  SECURITY_ATTRIBUTES *security = convertedOnce();
  if (!security) {
    convertedNow = sddlAttributes(fileLockSddl);
    security = convertedNow.get();
  }
  if (!security) {
    if (error) {
      *error = convertedNow.error();
    }
    return UniqueHandle();
  }
  UniqueHandle mutex(
      storageSeam.createMutexEx(security, name.c_str(), 0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
  if (!mutex && error) {
    // The text callers have always been given for a lock that would not open.
    *error = windowsErrorText("CreateMutexW", GetLastError());
  }
  return mutex;
}

}  // namespace

const wchar_t fileLockSddl[] = L"D:P(A;;0x00100001;;;SY)(A;;0x00100001;;;BA)(A;;0x00100001;;;IU)";

std::wstring fileLockName(const std::wstring &scopeName, const std::wstring &path) {
  std::wstring name = L"Global\\";
  for (const wchar_t unit : scopeName) {
    name += foldLetter(unit);
  }
  name += L"-file-lock-";
  const std::uint64_t hash = pathHash(resolvedPath(path));
  for (int shift = 60; shift >= 0; shift -= 4) {
    name += L"0123456789abcdef"[(hash >> shift) & 0xF];
  }
  return name;
}

FileLock::FileLock(const std::wstring &name) {
  mutex = openLock(name, &errorText);
  if (!mutex) {
    return;
  }
  const DWORD wait = storageSeam.waitForSingleObject(mutex.get(), INFINITE);
  // An abandoned mutex is taken over: the writer's renames leave the file
  // whole even when a holder dies half-way.
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
    hold.reset(mutex.get());
  } else {
    errorText = windowsErrorText("WaitForSingleObject", GetLastError());
  }
}

TimedFileLock::TimedFileLock(const std::wstring &path, const std::wstring &scopeName)
    : mutex(openLock(fileLockName(scopeName, path), nullptr)) {
  if (!mutex) {
    return;
  }
  switch (storageSeam.waitForSingleObject(mutex.get(), timedFileLockWaitMs)) {
    case WAIT_OBJECT_0:
      lockState = TimedLockState::Acquired;
      hold.reset(mutex.get());
      break;
    case WAIT_ABANDONED:
      lockState = TimedLockState::AcquiredAbandoned;
      hold.reset(mutex.get());
      break;
    case WAIT_TIMEOUT:
      lockState = TimedLockState::TimedOut;
      break;
    default:
      break;
  }
}

}  // namespace storage
}  // namespace lumo
