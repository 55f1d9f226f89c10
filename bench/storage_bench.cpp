// Safe writes: writeIfUnchanged and writeAtomically per second, each beside
// two baselines: its floor, which makes the calls the writer's definition
// demands, bare and in the same order, and the plain writeFile, which
// flushes the file as the safe writes flush theirs; for 1 KiB and 1 MiB
// files.
//   storage_bench          the comparison
//   storage_bench --calls  the 1 KiB floors timed call by call

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "measure.h"
#include "storage/file_lock.h"
#include "storage/file_operations.h"
#include "storage/platform_seam.h"
#include "storage/safe_file_writer.h"
#include "storage/temporary_file.h"
#include "storage/whole_file_io.h"

namespace {

volatile bool failed = false;

std::wstring folderOf(const std::wstring &path) {
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring benchFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder =
      std::wstring(temp) + L"lumo-storage-bench-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\";
}

// A floor's file. The lock's name and descriptor come from text alone and
// never change, so they are made once: neither takes a call the write must
// repeat.
struct Target {
  std::wstring path;
  std::wstring lockName;
  SECURITY_ATTRIBUTES *lockSecurity;
  std::string *readBuffer;  // sized once, as large as the file
};

wchar_t *appendDecimal(wchar_t *at, unsigned long value) {
  wchar_t digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) {
    *at++ = digits[--count];
  }
  return at;
}

// TARGET.tmp.PID.TICK.N
void temporaryName(wchar_t *name, const std::wstring &target, DWORD process, DWORD tick,
                   unsigned long counter) {
  std::memcpy(name, target.c_str(), target.size() * sizeof(wchar_t));
  wchar_t *at = name + target.size();
  std::memcpy(at, L".tmp.", 5 * sizeof(wchar_t));
  at = appendDecimal(at + 5, process);
  *at++ = L'.';
  at = appendDecimal(at, tick);
  *at++ = L'.';
  *appendDecimal(at, counter) = L'\0';
}

template <typename Time>
HANDLE floorLock(Time &time, const Target &target) {
  const HANDLE mutex = time("CreateMutexExW", [&] {
    return CreateMutexExW(target.lockSecurity, target.lockName.c_str(), 0,
                          SYNCHRONIZE | MUTEX_MODIFY_STATE);
  });
  failed |= time("WaitForSingleObject", [&] { return WaitForSingleObject(mutex, INFINITE); }) !=
            WAIT_OBJECT_0;
  return mutex;
}

template <typename Time>
void floorUnlock(Time &time, HANDLE mutex) {
  time("ReleaseMutex", [&] { return ReleaseMutex(mutex); });
  time("CloseHandle (lock)", [&] { return CloseHandle(mutex); });
}

// The replaced file's owner and access list read; the temporary file
// beside the target created with them, filled, flushed and closed; one
// rename over the target.
template <typename Time>
void floorReplace(Time &time, const Target &target, const std::string &bytes) {
  static unsigned long counter = 0;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  failed |= time("GetNamedSecurityInfoW", [&] {
              return GetNamedSecurityInfoW(target.path.c_str(), SE_FILE_OBJECT,
                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                           nullptr, nullptr, nullptr, nullptr, &descriptor);
            }) != ERROR_SUCCESS;
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  const DWORD process = time("GetCurrentProcessId", [] { return GetCurrentProcessId(); });
  const DWORD tick = time("GetTickCount", [] { return GetTickCount(); });
  wchar_t name[MAX_PATH];
  temporaryName(name, target.path, process, tick, ++counter);
  const HANDLE file = time("CreateFileW (temporary)", [&] {
    return CreateFileW(name, GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY,
                       nullptr);
  });
  DWORD written = 0;
  failed |= !time("WriteFile", [&] {
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  });
  failed |= !time("FlushFileBuffers", [&] { return FlushFileBuffers(file); });
  failed |= !time("CloseHandle (temporary)", [&] { return CloseHandle(file); });
  failed |= !time("MoveFileExW", [&] {
    return MoveFileExW(name, target.path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  });
  time("LocalFree", [&] { return LocalFree(descriptor); });
}

// Under the lock: the file read and compared with the snapshot, then
// replaced.
template <typename Time>
void floorWriteIfUnchanged(Time &time, const Target &target, const std::string &bytes) {
  const HANDLE mutex = floorLock(time, target);
  const HANDLE file = time("CreateFileW (reading)", [&] {
    return CreateFileW(target.path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  });
  LARGE_INTEGER size = {};
  time("GetFileSizeEx", [&] { return GetFileSizeEx(file, &size); });
  std::string &current = *target.readBuffer;
  DWORD read = 0;
  failed |= !time("ReadFile", [&] {
    return ReadFile(file, &current[0], static_cast<DWORD>(size.QuadPart), &read, nullptr);
  });
  failed |= read != bytes.size() || std::memcmp(current.data(), bytes.data(), read) != 0;
  time("CloseHandle (reading)", [&] { return CloseHandle(file); });
  floorReplace(time, target, bytes);
  floorUnlock(time, mutex);
}

// Under the lock: whether the target is there, then the replacement.
template <typename Time>
void floorWriteAtomically(Time &time, const Target &target, const std::string &bytes) {
  const HANDLE mutex = floorLock(time, target);
  failed |= time("GetFileAttributesW", [&] { return GetFileAttributesW(target.path.c_str()); }) ==
            INVALID_FILE_ATTRIBUTES;
  floorReplace(time, target, bytes);
  floorUnlock(time, mutex);
}

const int kRepetitions = 7;
// A write's time swings with what the file system has to flush, and a
// batch of writes meets the flushes of the batch before it: the candidates
// take turns write by write, and each figure is the median of the writes.
const int kSmallRepetitions = 301;
const int kLargeRepetitions = 51;

struct Files {
  std::wstring plain, safe, atomic, safeFloor, atomicFloor;
};

// The library's own calls, timed through its seam table: each entry used
// here is replaced by one that times the platform's call.
lumo::bench::CallTimes *libraryTimes = nullptr;

template <auto member,
          typename Entry = std::remove_reference_t<decltype(lumo::storage::storageSeam.*member)>>
struct Timed;

template <auto member, typename Result, typename... Arguments>
struct Timed<member, Result(WINAPI *)(Arguments...)> {
  static inline Result(WINAPI *platform)(Arguments...) = nullptr;
  static inline const char *name = nullptr;

  static Result WINAPI call(Arguments... arguments) {
    return (*libraryTimes)(name, [&] { return platform(arguments...); });
  }
  static void install(const char *callName) {
    platform = lumo::storage::storageSeam.*member;
    name = callName;
    lumo::storage::storageSeam.*member = &call;
  }
};

void timeLibraryCalls() {
  using lumo::storage::StorageSeam;
  Timed<&StorageSeam::createMutexEx>::install("CreateMutexExW");
  Timed<&StorageSeam::waitForSingleObject>::install("WaitForSingleObject");
  Timed<&StorageSeam::createFile>::install("CreateFileW");
  Timed<&StorageSeam::getFileSizeEx>::install("GetFileSizeEx");
  Timed<&StorageSeam::readFile>::install("ReadFile");
  Timed<&StorageSeam::getFileAttributes>::install("GetFileAttributesW");
  Timed<&StorageSeam::getNamedSecurityInfo>::install("GetNamedSecurityInfoW");
  Timed<&StorageSeam::writeFile>::install("WriteFile");
  Timed<&StorageSeam::flushFileBuffers>::install("FlushFileBuffers");
  Timed<&StorageSeam::closeHandle>::install("CloseHandle (temporary)");
  Timed<&StorageSeam::moveFileEx>::install("MoveFileExW");
}

int timeCalls(const Files &files, SECURITY_ATTRIBUTES *lockSecurity) {
  using lumo::storage::SafeWriteStatus;
  const std::string bytes(1024, 'q');
  std::string readBuffer(bytes.size(), '\0');
  const lumo::storage::WindowsFileOperations plain;
  for (const std::wstring &path : {files.plain, files.safe, files.safeFloor, files.atomicFloor}) {
    plain.writeFile(path, bytes);
  }
  lumo::storage::LoadedFileSnapshot snapshot;
  snapshot.existed = 1;
  snapshot.bytes = bytes;
  const lumo::storage::WindowsSafeFileWriter writer(lumo::storage::FileProtection::Inherited, L"");
  const Target safe = {files.safeFloor, lumo::storage::fileLockName(L"", files.safeFloor),
                       lockSecurity, &readBuffer};
  const Target atomic = {files.atomicFloor, lumo::storage::fileLockName(L"", files.atomicFloor),
                         lockSecurity, &readBuffer};
  const int calls = 50;
  lumo::bench::CallTimes safeTimes, atomicTimes, librarySafeTimes, libraryAtomicTimes, whole,
      extraTimes, unused;
  const lumo::storage::StorageSeam platform = lumo::storage::storageSeam;
  timeLibraryCalls();
  for (int r = 0; r < kRepetitions; ++r) {
    for (int i = 0; i < calls; ++i) {
      floorWriteIfUnchanged(safeTimes, safe, bytes);
      libraryTimes = &librarySafeTimes;
      failed |= whole("writeIfUnchanged", [&] {
                  return writer.writeIfUnchanged(files.safe, bytes, snapshot, L"").status;
                }) != SafeWriteStatus::Written;
      floorWriteAtomically(atomicTimes, atomic, bytes);
      libraryTimes = &libraryAtomicTimes;
      failed |= whole("writeAtomically", [&] {
                  return writer.writeAtomically(files.atomic, bytes).status;
                }) != SafeWriteStatus::Written;
      libraryTimes = &unused;
      extraTimes("FileLock, taken and released", [&] {
        const lumo::storage::FileLock lock(lumo::storage::fileLockName(L"", files.safe));
        return lock.owned();
      });
      extraTimes("fileLockName", [&] { return lumo::storage::fileLockName(L"", files.safe); });
      extraTimes("openToRead, compareWhole", [&] {
        const lumo::storage::FileToRead opened = lumo::storage::openToRead(files.safe);
        return lumo::storage::compareWhole(opened, bytes).same;
      });
      extraTimes("replacedFileAttributes, withoutOwner", [&] {
        lumo::storage::ProtectionAttributes kept =
            lumo::storage::replacedFileAttributes(files.safe);
        return kept.withoutOwner();
      });
      extraTimes("TemporaryFile, created, written, deleted", [&] {
        lumo::storage::TemporaryFile temporary("temporary file");
        return temporary.create(files.safe, nullptr, nullptr) + temporary.write(bytes);
      });
      // The rename as first written down: the target replaced through a
      // backup name, then the backup deleted.
      const std::wstring replacement = files.plain + L".new";
      const std::wstring backup = files.plain + L".rollback";
      plain.writeFile(replacement, bytes);
      failed |= !extraTimes("ReplaceFileW and DeleteFileW, for MoveFileExW", [&] {
        return ReplaceFileW(files.plain.c_str(), replacement.c_str(), backup.c_str(), 0, nullptr,
                            nullptr) &&
               DeleteFileW(backup.c_str());
      });
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      extraTimes("ConvertStringSecurityDescriptorToSecurityDescriptorW (lock)", [&] {
        return ConvertStringSecurityDescriptorToSecurityDescriptorW(
            lumo::storage::fileLockSddl, SDDL_REVISION_1, &descriptor, nullptr);
      });
      LocalFree(descriptor);
    }
    for (lumo::bench::CallTimes *times :
         {&safeTimes, &atomicTimes, &librarySafeTimes, &libraryAtomicTimes, &whole, &extraTimes}) {
      times->endRepetition(calls);
    }
  }
  lumo::storage::storageSeam = platform;
  if (failed) {
    std::fprintf(stderr, "storage_bench: a write failed\n");
    return 1;
  }
  safeTimes.print("writeIfUnchanged 1 KiB floor");
  librarySafeTimes.print("writeIfUnchanged 1 KiB, the library's calls through its seam");
  atomicTimes.print("writeAtomically 1 KiB floor");
  libraryAtomicTimes.print("writeAtomically 1 KiB, the library's calls through its seam");
  whole.print("the library's whole writes");
  extraTimes.print("not in the floors");
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  using lumo::storage::FileProtection;
  using lumo::storage::LoadedFileSnapshot;
  const lumo::storage::WindowsFileOperations files;
  const lumo::storage::WindowsSafeFileWriter writer(FileProtection::Inherited, L"");
  const std::wstring folder = benchFolder();
  const Files paths = {folder + L"plain.bin", folder + L"safe.bin", folder + L"atomic.bin",
                       folder + L"safe-floor.bin", folder + L"atomic-floor.bin"};
  PSECURITY_DESCRIPTOR lockDescriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(lumo::storage::fileLockSddl, SDDL_REVISION_1,
                                                       &lockDescriptor, nullptr);
  SECURITY_ATTRIBUTES lockSecurity = {sizeof lockSecurity, lockDescriptor, FALSE};
  int exitCode = 0;
  if (argc == 2 && std::strcmp(argv[1], "--calls") == 0) {
    exitCode = timeCalls(paths, &lockSecurity);
  } else {
    std::printf("%-24s %10s %16s %10s %16s %10s\n", "writes per second", "writeFile",
                "writeIfUnchanged", "floor", "writeAtomically", "floor");
    for (const size_t size : {size_t{1024}, size_t{1024 * 1024}}) {
      const std::string bytes(size, 'q');
      std::string readBuffer(size, '\0');
      files.writeFile(paths.safe, bytes);
      files.writeFile(paths.safeFloor, bytes);
      files.writeFile(paths.atomicFloor, bytes);
      LoadedFileSnapshot snapshot;
      snapshot.existed = 1;
      snapshot.bytes = bytes;
      const Target safe = {paths.safeFloor, lumo::storage::fileLockName(L"", paths.safeFloor),
                           &lockSecurity, &readBuffer};
      const Target atomic = {paths.atomicFloor, lumo::storage::fileLockName(L"", paths.atomicFloor),
                             &lockSecurity, &readBuffer};
      lumo::bench::Untimed bare;
      const auto t = lumo::bench::compare(
          {[&] { failed |= !files.writeFile(paths.plain, bytes).written; },
           [&] {
             // The content stays the same, so the snapshot stays valid.
             failed |= writer.writeIfUnchanged(paths.safe, bytes, snapshot, L"").status !=
                       lumo::storage::SafeWriteStatus::Written;
           },
           [&] { floorWriteIfUnchanged(bare, safe, bytes); },
           [&] {
             failed |= writer.writeAtomically(paths.atomic, bytes).status !=
                       lumo::storage::SafeWriteStatus::Written;
           },
           [&] { floorWriteAtomically(bare, atomic, bytes); }},
          1, size == 1024 ? kSmallRepetitions : kLargeRepetitions);
      if (failed) {
        std::fprintf(stderr, "storage_bench: a write failed\n");
        exitCode = 1;
        break;
      }
      const char *const label = size == 1024 ? "1 KiB" : "1 MiB";
      char name[64];
      std::snprintf(name, sizeof name, "%s file", label);
      std::printf("%-24s %10.0f %16.0f %10.0f %16.0f %10.0f\n", name, 1e9 / t[0], 1e9 / t[1],
                  1e9 / t[2], 1e9 / t[3], 1e9 / t[4]);
      std::snprintf(name, sizeof name, "writeIfUnchanged %s", label);
      lumo::bench::printFloorLine(name, t[1] / t[2], t[1] / t[0]);
      std::snprintf(name, sizeof name, "writeAtomically %s", label);
      lumo::bench::printFloorLine(name, t[3] / t[4], t[3] / t[0]);
    }
    std::printf(
        "ratios: time per write, over the floor and over writeFile; median of %d (1 KiB) and "
        "%d (1 MiB) writes each, taking turns\n"
        "writeFile: a plain write with the same flush\n",
        kSmallRepetitions, kLargeRepetitions);
  }
  LocalFree(lockDescriptor);
  for (const std::wstring &path :
       {paths.plain, paths.safe, paths.atomic, paths.safeFloor, paths.atomicFloor}) {
    DeleteFileW(path.c_str());
  }
  RemoveDirectoryW(folderOf(paths.plain).c_str());
  return exitCode;
}
