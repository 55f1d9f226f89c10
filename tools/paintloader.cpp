// paintloader32: stands in for the server's 32-bit hook loader. A hook
// library reaches only processes of its own bitness, so a 64-bit program
// that wants reports from 32-bit processes has this program install
// paintwatch32.dll's hooks for its window. The window is found by the
// catalogue's target-window name; the hooks come down when the catalogue's
// close message arrives or when that window disappears.

#include <windows.h>

#include <cstdint>
#include <string>

#include "command_line.h"
#include "console_text.h"
#include "paintwatch/paintwatch.h"
#include "server/server_object_names.h"
#include "util/text_conversion.h"
#include "util/unique_handle.h"
#include "win/module_file_path.h"

namespace {

const wchar_t kUsage[] =
    L"usage: paintloader32 [--ready-event HANDLE]\n"
    L"       paintloader32 --close\n"
    L"\n"
    L"Installs the 32-bit screen-change hooks (paintwatch32.dll beside this\n"
    L"program) for the window named \"lumoserver-hook-target-window\", and removes\n"
    L"them when told to close, when that window disappears, or on Ctrl+C.\n"
    L"\n"
    L"  --ready-event HANDLE  an inherited event to set once the hooks are installed\n"
    L"  --close               tell the running loader to remove its hooks, and wait\n"
    L"                        until it has ended\n"
    L"  --help                show this text\n";

// How often the loader looks whether the target window still exists.
const DWORD kWindowCheckMs = 250;
const DWORD kCloseWaitMs = 10000;

using lumo::UniqueHandle;
using lumo::UniqueModule;
using lumo::UniqueWindow;
using lumo::server::ServerObjectNames;

int fail(const wchar_t *text, const std::wstring &detail = std::wstring()) {
  lumo::tools::complain(L"paintloader32", text + detail);
  return 1;
}

// The server's windows may be top-level or message-only.
HWND findWindowNamed(const std::wstring &name) {
  HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, name.c_str());
  return window != nullptr ? window : FindWindowW(nullptr, name.c_str());
}

HANDLE stopEvent = nullptr;

BOOL WINAPI onConsoleControl(DWORD) {
  SetEvent(stopEvent);
  return TRUE;
}

int closeRunningLoader(const ServerObjectNames &names) {
  const HWND loader =
      FindWindowExW(HWND_MESSAGE, nullptr, nullptr, names.hookLoaderWindowName.c_str());
  if (loader == nullptr) {
    return fail(L"no hook loader is running");
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(loader, &processId);
  const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!PostMessageW(loader, names.hookLoaderCloseMessage, 0, 0)) {
    return fail(L"cannot reach the hook loader's window");
  }
  if (process && WaitForSingleObject(process.get(), kCloseWaitMs) == WAIT_TIMEOUT) {
    return fail(L"the hook loader did not end in time");
  }
  return 0;
}

// Pumps messages while installed: on Windows the 64-bit hooks of other
// processes are called on this thread for this process's windows.
void serveUntilClosed(const ServerObjectNames &names, HWND target) {
  const HANDLE handles[] = {stopEvent};
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, handles, FALSE, kWindowCheckMs, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED || !IsWindow(target)) {
      return;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == names.hookLoaderCloseMessage || msg.message == WM_QUIT) {
        return;
      }
      DispatchMessageW(&msg);
    }
  }
}

int load(const ServerObjectNames &names, HANDLE readyEvent) {
  if (names.hookUpdateMessage == 0 || names.hookLoaderCloseMessage == 0) {
    return fail(L"Windows refused to register the hook messages");
  }
  UniqueWindow own(CreateWindowExW(0, L"STATIC", names.hookLoaderWindowName.c_str(), 0, 0, 0, 0, 0,
                                   HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr));
  UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!own || !stop) {
    return fail(L"cannot create the loader's window");
  }
  stopEvent = stop.get();
  SetConsoleCtrlHandler(onConsoleControl, TRUE);

  const std::wstring targetName = lumo::toUtf16(names.hookTargetWindowName);
  const HWND target = findWindowNamed(targetName);
  if (target == nullptr) {
    return fail(L"no window to report to: none is named ", L"\"" + targetName + L"\"");
  }
  const std::wstring path =
      lumo::win::besideThisProgram(lumo::toUtf16(names.hookLibrary32FileName));
  // The full path only: a library found on the search path would be mapped
  // into every 32-bit process on the desktop.
  UniqueModule library(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library) {
    return fail(L"cannot load ", path);
  }
  auto set = reinterpret_cast<SetHookWithMessageFn>(
      reinterpret_cast<void *>(GetProcAddress(library.get(), "setHookWithMessage")));
  auto unset = reinterpret_cast<UnsetHookForWindowFn>(
      reinterpret_cast<void *>(GetProcAddress(library.get(), "unsetHookForWindow")));
  if (set == nullptr || unset == nullptr) {
    return fail(L"not the screen-hook library: ", path);
  }
  if (!set(target, names.hookUpdateMessage)) {
    return fail(
        L"cannot install the 32-bit screen hooks: another program has them installed, "
        L"or the system refused them");
  }
  if (readyEvent != nullptr) {
    SetEvent(readyEvent);
  }
  serveUntilClosed(names, target);
  if (!unset(target, names.hookUpdateMessage)) {
    return fail(L"the 32-bit screen hooks could not all be removed");
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  HANDLE readyEvent = nullptr;
  bool close = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--help" || arg == L"-h") {
      lumo::tools::writeText(GetStdHandle(STD_OUTPUT_HANDLE), kUsage);
      return 0;
    }
    if (arg == L"--close") {
      close = true;
    } else if (arg == L"--ready-event" && i + 1 < argc) {
      std::uint32_t value = 0;
      if (!lumo::tools::parseUInt32(argv[++i], &value) || value == 0) {
        fail(L"--ready-event needs a handle, not ", lumo::tools::quoted(argv[i]));
        return 2;
      }
      readyEvent = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    } else {
      fail(L"unknown option ", lumo::tools::quoted(argv[i]) + L" (try --help)");
      return 2;
    }
  }
  const ServerObjectNames &names = ServerObjectNames::instance();
  return close ? closeRunningLoader(names) : load(names, readyEvent);
}
