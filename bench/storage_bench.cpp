// Safe writes: writeIfUnchanged and writeAtomically per second against the
// plain writeFile, which flushes the file as the safe writes flush theirs,
// for 1 KiB and 1 MiB files.

#include <windows.h>

#include <cstdio>
#include <string>

#include "measure.h"
#include "storage/file_operations.h"
#include "storage/safe_file_writer.h"

namespace {

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

}  // namespace

int main() {
  using lumo::storage::FileProtection;
  using lumo::storage::LoadedFileSnapshot;
  const lumo::storage::WindowsFileOperations files;
  const lumo::storage::WindowsSafeFileWriter writer(FileProtection::Inherited, L"");
  const std::wstring folder = benchFolder();
  const std::wstring plainPath = folder + L"plain.bin";
  const std::wstring safePath = folder + L"safe.bin";
  const std::wstring atomicPath = folder + L"atomic.bin";
  const int repetitions = 7;

  std::printf("%-40s %14s %14s %14s\n", "writes per second", "writeFile", "writeIfUnchanged",
              "writeAtomically");
  for (const size_t size : {size_t{1024}, size_t{1024 * 1024}}) {
    const std::string bytes(size, 'q');
    LoadedFileSnapshot snapshot;
    files.writeFile(safePath, bytes);
    snapshot.existed = 1;
    snapshot.bytes = bytes;
    const int calls = size == 1024 ? 50 : 10;
    bool failed = false;
    const auto t = lumo::bench::compare(
        {[&] { failed |= !files.writeFile(plainPath, bytes).written; },
         [&] {
           // The content stays the same, so the snapshot stays valid.
           failed |= writer.writeIfUnchanged(safePath, bytes, snapshot, L"").status !=
                     lumo::storage::SafeWriteStatus::Written;
         },
         [&] {
           failed |= writer.writeAtomically(atomicPath, bytes).status !=
                     lumo::storage::SafeWriteStatus::Written;
         }},
        calls, repetitions);
    if (failed) {
      std::fprintf(stderr, "storage_bench: a write failed\n");
      return 1;
    }
    char name[64];
    std::snprintf(name, sizeof name, "%zu KiB file", size / 1024);
    std::printf("%-40s %14.0f %14.0f %14.0f\n", name, 1e9 / t[0], 1e9 / t[1], 1e9 / t[2]);
    std::printf("%-40s %14s %14.2f %14.2f\n", "  time ratio to writeFile", "", t[1] / t[0],
                t[2] / t[0]);
  }
  for (const std::wstring &path : {plainPath, safePath, atomicPath}) {
    DeleteFileW(path.c_str());
  }
  RemoveDirectoryW(folderOf(plainPath).c_str());
  std::printf("median of %d runs; writeFile: a plain write with the same flush\n", repetitions);
  return 0;
}
