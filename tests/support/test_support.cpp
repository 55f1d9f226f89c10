#include "test_support.h"

namespace lumo {
namespace test {

std::wstring besideThisProgram(const std::wstring &name) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring self(path, length);
  return self.substr(0, self.find_last_of(L"\\/") + 1) + name;
}

UniqueWindow createTargetWindow() {
  return UniqueWindow(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr));
}

DWORD runProcess(const std::wstring &program, std::wstring commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    return ~0u;
  }
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = ~0u;
  GetExitCodeProcess(process.get(), &exitCode);
  return exitCode;
}

}  // namespace test
}  // namespace lumo
