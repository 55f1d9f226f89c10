// paintmonitor: stands in for the server program that owns the report window.
// It installs the 64-bit screen hooks, prints every report as one line
// "left top right bottom" (virtual-screen coordinates) and removes the hooks
// when it ends: after --duration, on Ctrl+C, or when its input closes.

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>

#include "paintwatch/paintwatch.h"
#include "paintwatch/report.h"
#include "server/server_object_names.h"
#include "damage_map.h"
#include "util/unique_handle.h"
#include "win/module_file_path.h"

namespace {

const wchar_t kUsage[] =
    L"usage: paintmonitor [--duration SECONDS] [--library PATH] [--window-title TITLE]\n"
    L"                    [--damage-map FILE.png]\n"
    L"\n"
    L"Installs the screen-change hooks and prints each reported rectangle as\n"
    L"\"left top right bottom\" in virtual-screen coordinates. Ends after SECONDS,\n"
    L"on Ctrl+C, or when standard input closes, and then prints a summary.\n"
    L"\n"
    L"  --duration SECONDS    stop after this many seconds (default: no limit)\n"
    L"  --library PATH        the hook library (default: paintwatch64.dll beside\n"
    L"                        this program)\n"
    L"  --window-title TITLE  count in the summary the rectangles that lie inside\n"
    L"                        the top-level window with this title\n"
    L"  --damage-map FILE     at the end, write a PNG of the screen with every\n"
    L"                        reported rectangle outlined and shaded by how often\n"
    L"                        it was reported\n"
    L"  --help                show this text\n";

struct Options {
  DWORD durationMs = INFINITE;
  std::wstring library;
  std::wstring windowTitle;
  std::wstring damageMap;
};

using lumo::UniqueHandle;
using lumo::UniqueModule;
using lumo::UniqueWindow;
using lumo::win::besideThisProgram;

void vcomplain(const wchar_t *format, va_list args) {
  std::fputws(L"paintmonitor: ", stderr);
  std::vfwprintf(stderr, format, args);
  std::fputwc(L'\n', stderr);
}

int fail(const wchar_t *format, ...) {
  va_list args;
  va_start(args, format);
  vcomplain(format, args);
  va_end(args);
  return 1;
}

int usageError(const wchar_t *format, ...) {
  va_list args;
  va_start(args, format);
  vcomplain(format, args);
  va_end(args);
  return 2;
}

// Returns 0 to go on, or the exit code.
int parseOptions(int argc, wchar_t **argv, Options *options, bool *help) {
  options->library = besideThisProgram(L"paintwatch64.dll");
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--help" || arg == L"-h") {
      *help = true;
      return 0;
    }
    if (arg != L"--duration" && arg != L"--library" && arg != L"--window-title" &&
        arg != L"--damage-map") {
      return usageError(L"unknown option \"%ls\" (try --help)", arg.c_str());
    }
    if (i + 1 == argc) {
      return usageError(L"%ls needs a value (try --help)", arg.c_str());
    }
    const std::wstring value = argv[++i];
    if (arg == L"--duration") {
      wchar_t *end = nullptr;
      const double seconds = std::wcstod(value.c_str(), &end);
      if (value.empty() || *end != L'\0' || !(seconds > 0) || seconds > 86400) {
        return usageError(L"--duration needs a number of seconds above 0 and up to 86400, not \"%ls\"",
                    value.c_str());
      }
      options->durationMs = static_cast<DWORD>(seconds * 1000);
    } else if (arg == L"--library") {
      options->library = value;
    } else if (arg == L"--damage-map") {
      options->damageMap = value;
    } else {
      options->windowTitle = value;
    }
  }
  return 0;
}

HANDLE stopEvent = nullptr;

BOOL WINAPI onConsoleControl(DWORD) {
  SetEvent(stopEvent);
  return TRUE;
}

DWORD WINAPI watchInput(void *) {
  char buffer[256];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) &&
         read > 0) {
  }
  SetEvent(stopEvent);
  return 0;
}

using Box = std::tuple<int, int, int, int>;

struct Tally {
  unsigned long reports = 0;
  std::map<Box, unsigned long> distinct;  // with how often each came
  std::set<Box> inWindow;
  lumo::region::Rect window;  // last seen rectangle of the watched window
  bool windowSeen = false;
};

void watchWindow(const std::wstring &title, Tally *tally) {
  if (title.empty()) {
    return;
  }
  HWND window = FindWindowW(nullptr, title.c_str());
  RECT rect;
  if (window != nullptr && GetWindowRect(window, &rect)) {
    const POINT origin = {GetSystemMetrics(SM_XVIRTUALSCREEN),
                          GetSystemMetrics(SM_YVIRTUALSCREEN)};
    tally->window = lumo::paintwatch::virtualFromScreen(rect, origin);
    tally->windowSeen = true;
  }
}

void record(const lumo::region::Rect &r, Tally *tally) {
  ++tally->reports;
  const Box box{r.left, r.top, r.right, r.bottom};
  ++tally->distinct[box];
  const lumo::region::Rect &w = tally->window;
  if (tally->windowSeen && !r.isEmpty() && r.left >= w.left && r.top >= w.top &&
      r.right <= w.right && r.bottom <= w.bottom) {
    tally->inWindow.insert(box);
  }
  std::wprintf(L"%d %d %d %d\n", r.left, r.top, r.right, r.bottom);
}

int monitor(const Options &options) {
  // The number the server's programs use for the same purpose.
  const UINT message = lumo::server::ServerObjectNames::instance().hookUpdateMessage;
  if (message == 0) {
    return fail(L"Windows refused to register the report message");
  }
  // The full path only: a hook library found on the search path would be
  // mapped into every process on the desktop.
  UniqueModule library(LoadLibraryExW(options.library.c_str(), nullptr,
                                       LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library) {
    const DWORD error = GetLastError();
    if (error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ||
        error == ERROR_PATH_NOT_FOUND) {
      return fail(L"cannot find the hook library %ls", options.library.c_str());
    }
    if (error == ERROR_BAD_EXE_FORMAT) {
      return fail(L"%ls is not a 64-bit library", options.library.c_str());
    }
    return fail(L"cannot load %ls (error %lu)", options.library.c_str(), error);
  }
  auto set = reinterpret_cast<SetHookWithMessageFn>(
      reinterpret_cast<void *>(GetProcAddress(library.get(), "setHookWithMessage")));
  auto unset = reinterpret_cast<UnsetHookForWindowFn>(
      reinterpret_cast<void *>(GetProcAddress(library.get(), "unsetHookForWindow")));
  if (set == nullptr || unset == nullptr) {
    return fail(L"%ls is not the screen-hook library: it lacks setHookWithMessage or "
                L"unsetHookForWindow",
                options.library.c_str());
  }

  UniqueWindow target(CreateWindowExW(0, L"STATIC", L"paintmonitor", 0, 0, 0, 0, 0,
                                      HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                      nullptr));
  UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!target || !stop) {
    return fail(L"cannot create the report window (error %lu)", GetLastError());
  }
  stopEvent = stop.get();
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  UniqueHandle inputWatcher(CreateThread(nullptr, 0, watchInput, nullptr, 0, nullptr));

  if (!set(target.get(), message)) {
    return fail(L"cannot install the screen hooks: another program has them installed, "
                L"or the system refused them");
  }

  Tally tally;
  watchWindow(options.windowTitle, &tally);
  const ULONGLONG deadline = GetTickCount64() + options.durationMs;
  for (;;) {
    DWORD wait = INFINITE;
    if (options.durationMs != INFINITE) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) {
        break;
      }
      wait = static_cast<DWORD>(deadline - now);
    }
    const HANDLE handles[] = {stop.get()};
    const DWORD woken = MsgWaitForMultipleObjects(1, handles, FALSE, wait, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
      break;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == message && msg.hwnd == target.get()) {
        watchWindow(options.windowTitle, &tally);
        record(lumo::paintwatch::unpackReport(msg.wParam, msg.lParam), &tally);
      } else {
        DispatchMessageW(&msg);
      }
    }
    std::fflush(stdout);
  }

  const bool removed = unset(target.get(), message);
  bool mapWritten = true;
  if (!options.damageMap.empty()) {
    std::vector<lumo::tools::Damage> damage;
    for (const auto &entry : tally.distinct) {
      const Box &b = entry.first;
      damage.push_back({lumo::region::Rect(std::get<0>(b), std::get<1>(b), std::get<2>(b),
                                           std::get<3>(b)),
                        entry.second});
    }
    const std::string error = lumo::tools::writeDamageMap(options.damageMap, damage);
    if (!error.empty()) {
      const std::wstring why(error.begin(), error.end());  // ASCII
      fail(L"cannot write the damage map %ls: %ls", options.damageMap.c_str(), why.c_str());
      mapWritten = false;
    }
  }
  std::fflush(stdout);
  std::fwprintf(stderr, L"summary: %lu reports, %zu distinct rectangles", tally.reports,
                tally.distinct.size());
  if (!options.windowTitle.empty()) {
    std::fwprintf(stderr, L", %zu of them inside the window \"%ls\"%ls", tally.inWindow.size(),
                  options.windowTitle.c_str(), tally.windowSeen ? L"" : L" (never found)");
  }
  std::fputwc(L'\n', stderr);
  if (!removed) {
    return fail(L"the screen hooks could not all be removed");
  }
  return mapWritten ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  Options options;
  bool help = false;
  if (const int code = parseOptions(argc, argv, &options, &help)) {
    return code;
  }
  if (help) {
    std::fputws(kUsage, stdout);
    return 0;
  }
  return monitor(options);
}
