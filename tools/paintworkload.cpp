// paintworkload: gives the hooks work that nobody here wrote: the system's
// Notepad, typed into through the input functions as a person types, while
// its window is moved and resized.
//   paintworkload [SECONDS]

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "option_table.h"
#include "util/unique_handle.h"
#include "win/argument_quoting.h"

namespace {

const wchar_t kText[] =
    L"The quick brown fox jumps over the lazy dog. \u00FC\u20AC\u65E5\u672C\r\n"
    L"Typed through SendInput, one character at a time.\r\n";
const DWORD kKeyPauseMs = 40;
const DWORD kStartWaitMs = 10000;
const std::uint32_t kMostSeconds = 3600;

const lumo::tools::Diagnostics diagnostics(L"paintworkload");

struct Search {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK matchProcess(HWND window, LPARAM context) {
  auto *search = reinterpret_cast<Search *>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window) &&
      GetWindow(window, GW_OWNER) == nullptr) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The program's main window, once it has shown one.
HWND mainWindowOf(DWORD processId) {
  for (ULONGLONG end = GetTickCount64() + kStartWaitMs; GetTickCount64() < end; Sleep(50)) {
    Search search = {processId, nullptr};
    EnumWindows(matchProcess, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      return search.found;
    }
  }
  return nullptr;
}

void type(wchar_t unit) {
  INPUT keys[2] = {};
  for (INPUT &key : keys) {
    key.type = INPUT_KEYBOARD;
    key.ki.wScan = unit;
    key.ki.dwFlags = KEYEVENTF_UNICODE;
  }
  keys[1].ki.dwFlags |= KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
}

void pumpFor(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  MSG msg;
  while (GetTickCount64() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    }
  }
}

// Closing would ask whether to save what was typed: Notepad is ended, and
// waited for.
void endNotepad(HANDLE process) {
  TerminateProcess(process, 0);
  WaitForSingleObject(process, kStartWaitMs);
  CloseHandle(process);
}
using UniqueNotepad = lumo::UniqueAny<HANDLE, &endNotepad>;

// Notepad, started from the system's folder.
bool startNotepad(UniqueNotepad *process, DWORD *processId) {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring notepad = std::wstring(system, length) + L"\\notepad.exe";
  std::wstring commandLine = lumo::win::quoteArgument(notepad);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(notepad.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    diagnostics.error(L"cannot start " + notepad);
    return false;
  }
  process->reset(info.hProcess);
  const lumo::UniqueHandle thread(info.hThread);
  *processId = info.dwProcessId;
  return true;
}

// Moved and resized in steps, typed into between them, for milliseconds.
void work(HWND window, std::uint32_t milliseconds) {
  const RECT steps[] = {{300, 480, 900, 800}, {340, 460, 1000, 860}, {260, 520, 760, 760}};
  const std::wstring text = kText;
  const std::size_t perStep = text.size() / (sizeof steps / sizeof steps[0]) + 1;
  const ULONGLONG end = GetTickCount64() + milliseconds;
  std::size_t typed = 0;
  for (const RECT &place : steps) {
    SetWindowPos(window, HWND_TOP, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_SHOWWINDOW);
    SetForegroundWindow(window);
    for (std::size_t i = 0; i < perStep && typed < text.size(); ++i) {
      type(text[typed++]);
      pumpFor(kKeyPauseMs);
    }
  }
  if (GetTickCount64() < end) {
    pumpFor(static_cast<DWORD>(end - GetTickCount64()));
  }
}

int runWorkload(std::uint32_t milliseconds) {
  UniqueNotepad notepad;
  DWORD processId = 0;
  if (!startNotepad(&notepad, &processId)) {
    return 1;
  }
  WaitForInputIdle(notepad.get(), kStartWaitMs);
  const HWND window = mainWindowOf(processId);
  if (window == nullptr) {
    return diagnostics.fail(L"Notepad showed no window");
  }
  work(window, milliseconds);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  std::uint32_t milliseconds = 4000;
  lumo::tools::OptionTable table(L"", 0);
  table.operands(lumo::tools::secondsValue(kMostSeconds, &milliseconds));
  if (argc > 2 || !table.parse(argc, argv).problem.text.empty()) {
    diagnostics.error(L"usage: paintworkload [SECONDS], above 0 and up to 3600");
    return 2;
  }
  return runWorkload(milliseconds);
}
