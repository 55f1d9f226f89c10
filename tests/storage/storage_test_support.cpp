#include "storage_test_support.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

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
