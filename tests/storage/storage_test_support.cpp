#include "storage_test_support.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

#include <winioctl.h>

#include "test_support.h"

namespace lumo {
namespace storage {
namespace test {

std::wstring uniqueName(const std::wstring &stem) {
  static std::atomic<int> counter{0};
  return stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
}

ScratchFolder::ScratchFolder() {
  folder = (std::filesystem::temp_directory_path() / uniqueName(L"lumo-storage")).wstring();
  std::filesystem::create_directories(folder);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

std::vector<std::wstring> ScratchFolder::names() const {
  std::vector<std::wstring> result;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    result.push_back(entry.path().filename().wstring());
  }
  std::sort(result.begin(), result.end());
  return result;
}

CurrentFolder::CurrentFolder(const std::wstring &folder) {
  previous.resize(GetCurrentDirectoryW(0, nullptr));
  previous.resize(GetCurrentDirectoryW(static_cast<DWORD>(previous.size()), &previous[0]));
  SetCurrentDirectoryW(folder.c_str());
}

CurrentFolder::~CurrentFolder() { SetCurrentDirectoryW(previous.c_str()); }

std::string contentOf(const std::wstring &path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  if (!file) {
    return "<absent>";
  }
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void putContent(const std::wstring &path, const std::string &bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc) << bytes;
}

bool makeSparseFile(const std::wstring &path, std::uint64_t size) {
  const UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  DWORD ignored = 0;
  // Marked sparse where the file system keeps that mark; Wine's files are
  // sparse anyway.
  DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  return file && SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

std::uint64_t sizeOf(const std::wstring &path) {
  const UniqueFileHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size;
  return file && GetFileSizeEx(file.get(), &size) ? static_cast<std::uint64_t>(size.QuadPart)
                                                  : ~std::uint64_t{0};
}

BOOL WINAPI sizeTenBytesLarger(HANDLE file, PLARGE_INTEGER size) {
  const BOOL done = GetFileSizeEx(file, size);
  size->QuadPart += 10;
  return done;
}

BOOL WINAPI readRefused(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  SetLastError(ERROR_LOCK_VIOLATION);
  return FALSE;
}

void outOfMemory(std::string &, std::size_t) { throw std::bad_alloc(); }

HANDLE WINAPI mutexRefused(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

UniqueHandle startPeer(const std::wstring &arguments, const std::wstring &currentFolder) {
  const std::wstring program = lumo::test::besideThisProgram(L"storage_peer.exe");
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &info)) {
    return UniqueHandle();
  }
  const UniqueHandle thread(info.hThread);
  return UniqueHandle(info.hProcess);
}

DWORD exitCodeOf(HANDLE process) {
  WaitForSingleObject(process, INFINITE);
  DWORD code = ~0u;
  GetExitCodeProcess(process, &code);
  return code;
}

}  // namespace test
}  // namespace storage
}  // namespace lumo
