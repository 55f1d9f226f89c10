#include "test_support.h"

namespace lumo {
namespace test {

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
