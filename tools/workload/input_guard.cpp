#include "input_guard.h"

#include "util/text_conversion.h"
#include "util/unique_handle.h"

namespace lumo {
namespace tools {

namespace {

// The program's path, where it can be read.
std::wstring programOf(DWORD processId) {
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  wchar_t path[MAX_PATH];
  DWORD length = MAX_PATH;
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &length)) {
    return L"an unknown program";
  }
  return std::wstring(path, length);
}

// "window "Untitled - Notepad" of C:\...\notepad.exe (process 42)". Another
// process's title is read from the system's copy: the window is not asked.
std::wstring describe(HWND window) {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, sizeof title / sizeof title[0]);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  return L"window \"" + std::wstring(title) + L"\" of " + programOf(processId) + L" (process " +
         std::to_wstring(processId) + L")";
}

}  // namespace

void checkInFront(const ProgramGroup &programs) {
  const HWND front = GetForegroundWindow();
  if (front == nullptr) {
    throw ForeignWindowInFront(
        "no window is in front, so keys could reach whichever window comes forward: stopped");
  }
  if (!programs.owns(front)) {
    const std::wstring problem = L"the " + describe(front) +
                                 L" is in front, not one of the workload's programs: stopped, so "
                                 L"that no key reaches it";
    throw ForeignWindowInFront(toUtf8(problem.c_str()));
  }
}

}  // namespace tools
}  // namespace lumo
