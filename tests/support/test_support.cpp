#include "test_support.h"

#include <algorithm>
#include <cstdint>
#include <vector>

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

std::size_t handleMeasure() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) {
    return count;
  }
  std::vector<UniqueHandle> batch;
  std::uintptr_t highest = 0;
  for (int i = 0; i < 300; ++i) {
    batch.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    highest = std::max(highest, reinterpret_cast<std::uintptr_t>(batch.back().get()));
  }
  return highest / 4;
}

}  // namespace test
}  // namespace lumo
