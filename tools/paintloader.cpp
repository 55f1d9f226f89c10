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
#include "diagnostics.h"
#include "option_table.h"
#include "server/server_object_names.h"
#include "source/hook_library.h"
#include "util/text_conversion.h"
#include "util/unique_handle.h"
#include "win/module_file_path.h"

namespace {

const wchar_t kHead[] =
    L"usage: paintloader32 [--ready-event HANDLE]\n"
    L"       paintloader32 --close\n"
    L"\n"
    L"Installs the 32-bit screen-change hooks (paintwatch32.dll beside this\n"
    L"program) for the window named \"lumoserver-hook-target-window\", and removes\n"
    L"them when told to close, when that window disappears, or on Ctrl+C.\n"
    L"\n";
const std::size_t kHelpColumn = 24;

// How often the loader looks whether the target window still exists.
const DWORD kWindowCheckMs = 250;
const DWORD kCloseWaitMs = 10000;

using lumo::UniqueHandle;
using lumo::UniqueWindow;
using lumo::server::ServerObjectNames;
using lumo::source::HookLibrary;
using lumo::tools::Problem;

const lumo::tools::Diagnostics diagnostics(L"paintloader32");

struct Options {
  HANDLE readyEvent = nullptr;
  bool close = false;
};

lumo::tools::TakeValue handleValue(HANDLE *into) {
  return [into](const std::wstring &name, const std::wstring &value) {
    std::uint32_t number = 0;
    if (!lumo::tools::parseUInt32(value, &number) || number == 0) {
      return Problem(name + L" needs a handle, not " + lumo::tools::quoted(value), false);
    }
    *into = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(number));
    return Problem();
  };
}

lumo::tools::OptionTable optionTable(Options *options) {
  lumo::tools::OptionTable table(kHead, kHelpColumn);
  table
      .option(L"--ready-event", L"HANDLE",
              L"an inherited event to set once the hooks are installed",
              handleValue(&options->readyEvent))
      .option(L"--close", nullptr,
              L"tell the running loader to remove its hooks, and wait\n"
              L"until it has ended",
              lumo::tools::flagValue(&options->close))
      .help()
      .missingValueIsUnknown();
  return table;
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
    return diagnostics.fail(L"no hook loader is running");
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(loader, &processId);
  const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!PostMessageW(loader, names.hookLoaderCloseMessage, 0, 0)) {
    return diagnostics.fail(L"cannot reach the hook loader's window");
  }
  if (process && WaitForSingleObject(process.get(), kCloseWaitMs) == WAIT_TIMEOUT) {
    return diagnostics.fail(L"the hook loader did not end in time");
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

// What the loader says when its hooks are not installed.
int installFailure(HookLibrary::Outcome outcome, const std::wstring &path) {
  switch (outcome) {
    case HookLibrary::Outcome::NotHookLibrary:
      return diagnostics.fail(L"not the screen-hook library: " + path);
    case HookLibrary::Outcome::Refused:
      return diagnostics.fail(
          L"cannot install the 32-bit screen hooks: another program has them installed, "
          L"or the system refused them");
    default:
      return diagnostics.fail(L"cannot load " + path);
  }
}

int installAndServe(const ServerObjectNames &names, HWND target, HANDLE readyEvent) {
  HookLibrary hooks(lumo::win::besideThisProgram(lumo::toUtf16(names.hookLibrary32FileName)));
  const HookLibrary::Outcome outcome = hooks.install(target, names.hookUpdateMessage);
  if (outcome != HookLibrary::Outcome::Installed) {
    return installFailure(outcome, hooks.path());
  }
  if (readyEvent != nullptr) {
    SetEvent(readyEvent);
  }
  serveUntilClosed(names, target);
  if (!hooks.remove()) {
    return diagnostics.fail(L"the 32-bit screen hooks could not all be removed");
  }
  return 0;
}

int load(const ServerObjectNames &names, HANDLE readyEvent) {
  if (names.hookUpdateMessage == 0 || names.hookLoaderCloseMessage == 0) {
    return diagnostics.fail(L"Windows refused to register the hook messages");
  }
  const UniqueWindow own(CreateWindowExW(0, L"STATIC", names.hookLoaderWindowName.c_str(), 0, 0, 0,
                                         0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                         nullptr));
  const UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!own || !stop) {
    return diagnostics.fail(L"cannot create the loader's window");
  }
  stopEvent = stop.get();
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  const std::wstring targetName = lumo::toUtf16(names.hookTargetWindowName);
  const HWND target = findWindowNamed(targetName);
  if (target == nullptr) {
    return diagnostics.fail(L"no window to report to: none is named \"" + targetName + L"\"");
  }
  return installAndServe(names, target, readyEvent);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  Options options;
  const int code = optionTable(&options).read(argc, argv, diagnostics);
  if (code != lumo::tools::OptionTable::kGoOn) {
    return code;
  }
  const ServerObjectNames &names = ServerObjectNames::instance();
  return options.close ? closeRunningLoader(names) : load(names, options.readyEvent);
}
