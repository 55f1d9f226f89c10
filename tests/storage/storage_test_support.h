#pragma once

// Scratch folders, peer processes and seam overrides for the storage tests.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "seam_override.h"
#include "storage/platform_seam.h"
#include "util/unique_handle.h"

namespace lumo {
namespace storage {
namespace test {

// A fresh folder under the temporary directory, removed with its content.
class ScratchFolder {
public:
  ScratchFolder();
  ScratchFolder(const ScratchFolder &) = delete;
  ScratchFolder &operator=(const ScratchFolder &) = delete;
  ~ScratchFolder();

  std::wstring path(const std::wstring &name) const { return folder + L"\\" + name; }
  const std::wstring &location() const { return folder; }
  // Names of everything in the folder, sorted.
  std::vector<std::wstring> names() const;

private:
  std::wstring folder;
};

// Storage tests replace platform calls through the one seam override.
using lumo::test::SeamOverride;

// Makes a folder the process's current one until the test ends.
class CurrentFolder {
public:
  explicit CurrentFolder(const std::wstring &folder);
  CurrentFolder(const CurrentFolder &) = delete;
  CurrentFolder &operator=(const CurrentFolder &) = delete;
  ~CurrentFolder();

private:
  std::wstring previous;
};

// The content of a file, or "<absent>" when it cannot be read.
std::string contentOf(const std::wstring &path);
void putContent(const std::wstring &path, const std::string &bytes);

// A file of size bytes that takes no disk space: the platform gives its
// unwritten range back as zeros. False if it cannot be made.
bool makeSparseFile(const std::wstring &path, std::uint64_t size);
// The file's size, or ~0 when it cannot be opened.
std::uint64_t sizeOf(const std::wstring &path);

// Starts storage_peer.exe with the arguments, in currentFolder when one is
// given; null if it cannot start.
UniqueHandle startPeer(const std::wstring &arguments,
                       const std::wstring &currentFolder = std::wstring());
DWORD exitCodeOf(HANDLE process);

// Seam entries for failures that more than one suite brings about.
// GetFileSizeEx of a file that then shrinks by ten bytes.
BOOL WINAPI sizeTenBytesLarger(HANDLE file, PLARGE_INTEGER size);
// ReadFile failing with ERROR_LOCK_VIOLATION.
BOOL WINAPI readRefused(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
// The read buffer cannot be had: throws std::bad_alloc.
void outOfMemory(std::string &, std::size_t);
// CreateMutexExW failing with ERROR_ACCESS_DENIED.
HANDLE WINAPI mutexRefused(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);

// A name no other test run uses at the same time.
std::wstring uniqueName(const std::wstring &stem);

}  // namespace test
}  // namespace storage
}  // namespace lumo
