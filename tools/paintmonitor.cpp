// paintmonitor: stands in for the server program that owns the report window.
// It installs the screen hooks, the 64-bit build itself and the 32-bit one
// through the 32-bit hook loader, prints every report as one line
// "left top right bottom" (virtual-screen coordinates) and removes the hooks
// when it ends: after --duration, on Ctrl+C, or when its input closes.

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "damage_map.h"
#include "virtual_screen.h"
#include "paintwatch/paintwatch.h"
#include "paintwatch/report.h"
#include "server/server_object_names.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "util/unique_handle.h"
#include "win/argument_quoting.h"
#include "win/module_file_path.h"
#include "win/process.h"

namespace {

const wchar_t kUsage[] =
    L"usage: paintmonitor [--duration SECONDS] [--build 64|32|both] [--library PATH]\n"
    L"                    [--window-title TITLE]... [--damage-map FILE.png]\n"
    L"\n"
    L"Installs the screen-change hooks and prints each reported rectangle as\n"
    L"\"left top right bottom\" in virtual-screen coordinates. Ends after SECONDS,\n"
    L"on Ctrl+C, or when standard input closes, and then prints a summary.\n"
    L"\n"
    L"  --duration SECONDS    stop after this many seconds (default: no limit)\n"
    L"  --build BITS          which processes to watch: 64-bit ones (this program\n"
    L"                        installs paintwatch64.dll), 32-bit ones (paintloader32\n"
    L"                        beside this program installs paintwatch32.dll), or\n"
    L"                        both (the default)\n"
    L"  --library PATH        the 64-bit hook library (default: paintwatch64.dll\n"
    L"                        beside this program)\n"
    L"  --window-title TITLE  count in the summary the rectangles that lie inside\n"
    L"                        the top-level window with this title; may be given\n"
    L"                        more than once\n"
    L"  --damage-map FILE     at the end, write a PNG of the screen with every\n"
    L"                        reported rectangle outlined and shaded by how often\n"
    L"                        it was reported\n"
    L"  --help                show this text\n";

struct Options {
  DWORD durationMs = INFINITE;
  bool watch64 = true;
  bool watch32 = true;
  std::wstring library;
  std::vector<std::wstring> windowTitles;
  std::wstring damageMap;
};

// How long the 32-bit loader may take to install its hooks, and to remove
// them and end.
const DWORD kLoaderWaitMs = 10000;

using lumo::UniqueHandle;
using lumo::UniqueModule;
using lumo::UniqueWindow;
using lumo::server::ServerObjectNames;
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
    if (arg != L"--duration" && arg != L"--build" && arg != L"--library" &&
        arg != L"--window-title" && arg != L"--damage-map") {
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
    } else if (arg == L"--build") {
      if (value != L"64" && value != L"32" && value != L"both") {
        return usageError(L"--build needs 64, 32 or both, not \"%ls\"", value.c_str());
      }
      options->watch64 = value != L"32";
      options->watch32 = value != L"64";
    } else if (arg == L"--library") {
      options->library = value;
    } else if (arg == L"--damage-map") {
      options->damageMap = value;
    } else {
      options->windowTitles.push_back(value);
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

// A window whose reports the summary counts, found by its title.
struct WatchedWindow {
  std::wstring title;
  lumo::region::Rect rect;  // last seen, in virtual-screen coordinates
  bool seen = false;
  std::set<Box> inside;
};

struct Tally {
  unsigned long reports = 0;
  std::map<Box, unsigned long> distinct;  // with how often each came
  std::vector<WatchedWindow> windows;
};

// Looked up anew for every report: a watched window may come, go and move.
void locateWindows(Tally *tally) {
  const POINT origin = lumo::tools::virtualScreen().origin;
  for (WatchedWindow &watched : tally->windows) {
    const HWND window = FindWindowW(nullptr, watched.title.c_str());
    RECT rect;
    if (window != nullptr && GetWindowRect(window, &rect)) {
      watched.rect = lumo::paintwatch::virtualFromScreen(rect, origin);
      watched.seen = true;
    }
  }
}

void record(const lumo::region::Rect &r, Tally *tally) {
  ++tally->reports;
  const Box box{r.left, r.top, r.right, r.bottom};
  ++tally->distinct[box];
  for (WatchedWindow &watched : tally->windows) {
    const lumo::region::Rect &w = watched.rect;
    if (watched.seen && !r.isEmpty() && r.left >= w.left && r.top >= w.top &&
        r.right <= w.right && r.bottom <= w.bottom) {
      watched.inside.insert(box);
    }
  }
  std::wprintf(L"%d %d %d %d\n", r.left, r.top, r.right, r.bottom);
}

void printSummary(const Tally &tally) {
  std::fwprintf(stderr, L"summary: %lu reports, %zu distinct rectangles", tally.reports,
                tally.distinct.size());
  bool first = true;
  for (const WatchedWindow &watched : tally.windows) {
    std::fwprintf(stderr, L", %zu %ls the window \"%ls\"%ls", watched.inside.size(),
                  first ? L"of them inside" : L"inside", watched.title.c_str(),
                  watched.seen ? L"" : L" (never found)");
    first = false;
  }
  std::fputwc(L'\n', stderr);
}

// The 32-bit hooks, installed by paintloader32 for our window: a hook
// library reaches only processes of its own bitness.
class Loader32 {
public:
  // Starts the loader and waits until it has installed its hooks. Says why
  // on stderr, with the consequence, and returns false when it has not.
  bool start(const wchar_t *consequence) {
    consequence_ = consequence;
    const std::wstring program = besideThisProgram(L"paintloader32.exe");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const UniqueHandle ready(CreateEventW(&inherit, TRUE, FALSE, nullptr));
    if (!ready) {
      fail(L"cannot make an event for the 32-bit hook loader (error %lu)", GetLastError());
      return false;
    }
    // Its standard handles are ours, so that it speaks on our stderr.
    lumo::Process child(lumo::toUtf8(lumo::win::quoteArgument(program).c_str()),
                        "--ready-event " + std::to_string(reinterpret_cast<uintptr_t>(ready.get())));
    child.setInheritHandles(true);
    try {
      child.start();
    } catch (const lumo::SystemException &e) {
      if (e.getErrorCode() == ERROR_FILE_NOT_FOUND || e.getErrorCode() == ERROR_PATH_NOT_FOUND) {
        fail(L"cannot find the 32-bit hook loader %ls", program.c_str());
      } else {
        cannotRun32(lumo::toUtf16(e.getMessage()));
      }
      return false;
    }
    process_.reset(child.releaseProcessHandle());
    const HANDLE handles[] = {ready.get(), process_.get()};
    const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, kLoaderWaitMs);
    if (woken == WAIT_OBJECT_0) {
      return true;
    }
    if (woken != WAIT_OBJECT_0 + 1) {
      TerminateProcess(process_.get(), 1);
      fail(L"the 32-bit hook loader did not install its hooks in time");
    } else if (exitCode() == 0) {
      // It ended at once without a word: the system could not run it.
      cannotRun32(L"the 32-bit hook loader ended at once");
    }
    // Otherwise the loader said why itself.
    process_.reset();
    return false;
  }

  // Null while no loader runs.
  HANDLE process() const { return process_.get(); }

  // Called once the loader has ended by itself.
  void ended() {
    fail(L"the 32-bit hook loader ended (exit code %lu): 32-bit processes are no longer "
         L"watched",
         exitCode());
    process_.reset();
  }

  // Has the loader remove its hooks and end; false if it could not.
  bool stop(UINT closeMessage, const std::wstring &loaderWindowName) {
    if (!process_) {
      return true;
    }
    const DWORD processId = GetProcessId(process_.get());
    HWND window = nullptr;
    while ((window = FindWindowExW(HWND_MESSAGE, window, nullptr, loaderWindowName.c_str()))) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == processId) {
        PostMessageW(window, closeMessage, 0, 0);
        break;
      }
    }
    if (WaitForSingleObject(process_.get(), kLoaderWaitMs) != WAIT_OBJECT_0) {
      TerminateProcess(process_.get(), 1);
      fail(L"the 32-bit hook loader did not end in time");
      return false;
    }
    // A loader that could not remove its hooks has said so itself.
    return exitCode() == 0;
  }

private:
  void cannotRun32(const std::wstring &why) const {
    fail(L"32-bit programs do not run here (%ls)%ls", why.c_str(), consequence_);
  }

  DWORD exitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

  UniqueHandle process_;
  const wchar_t *consequence_ = L"";
};

// The 64-bit hooks, installed by this process.
class Hooks64 {
public:
  explicit Hooks64(const std::wstring &path) : path_(path) {}

  // Says why on stderr and returns false when the hooks are not installed.
  bool install(HWND target, UINT message) {
    // The full path only: a hook library found on the search path would be
    // mapped into every process on the desktop.
    library_.reset(LoadLibraryExW(path_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library_) {
      const DWORD error = GetLastError();
      if (error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ||
          error == ERROR_PATH_NOT_FOUND) {
        fail(L"cannot find the hook library %ls", path_.c_str());
      } else if (error == ERROR_BAD_EXE_FORMAT) {
        fail(L"%ls is not a 64-bit library", path_.c_str());
      } else {
        fail(L"cannot load %ls (error %lu)", path_.c_str(), error);
      }
      return false;
    }
    auto set = reinterpret_cast<SetHookWithMessageFn>(
        reinterpret_cast<void *>(GetProcAddress(library_.get(), "setHookWithMessage")));
    unset_ = reinterpret_cast<UnsetHookForWindowFn>(
        reinterpret_cast<void *>(GetProcAddress(library_.get(), "unsetHookForWindow")));
    if (set == nullptr || unset_ == nullptr) {
      fail(L"%ls is not the screen-hook library: it lacks setHookWithMessage or "
           L"unsetHookForWindow",
           path_.c_str());
      return false;
    }
    if (!set(target, message)) {
      fail(L"cannot install the screen hooks: another program has them installed, "
           L"or the system refused them");
      return false;
    }
    target_ = target;
    message_ = message;
    return true;
  }

  bool remove() { return target_ == nullptr || unset_(target_, message_); }

private:
  std::wstring path_;
  UniqueModule library_;
  UnsetHookForWindowFn unset_ = nullptr;
  HWND target_ = nullptr;
  UINT message_ = 0;
};

int monitor(const Options &options) {
  const ServerObjectNames &names = ServerObjectNames::instance();
  // The number the server's programs use for the same purpose.
  const UINT message = names.hookUpdateMessage;
  if (message == 0 || names.hookLoaderCloseMessage == 0) {
    return fail(L"Windows refused to register the report message");
  }
  // Named as the server's window, so that the 32-bit loader finds it.
  UniqueWindow target(CreateWindowExW(0, L"STATIC",
                                      lumo::toUtf16(names.hookTargetWindowName).c_str(), 0, 0, 0,
                                      0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                      nullptr));
  UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!target || !stop) {
    return fail(L"cannot create the report window (error %lu)", GetLastError());
  }
  stopEvent = stop.get();
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  UniqueHandle inputWatcher(CreateThread(nullptr, 0, watchInput, nullptr, 0, nullptr));

  Hooks64 hooks64(options.library);
  if (options.watch64 && !hooks64.install(target.get(), message)) {
    return 1;
  }
  Loader32 loader;
  if (options.watch32 &&
      !loader.start(options.watch64 ? L": watching 64-bit processes only" : L"") &&
      !options.watch64) {
    hooks64.remove();
    return 1;
  }

  const bool watching32 = loader.process() != nullptr;
  std::fwprintf(stderr, L"paintmonitor: watching %ls processes\n",
                options.watch64 ? (watching32 ? L"64-bit and 32-bit" : L"64-bit") : L"32-bit");

  Tally tally;
  for (const std::wstring &title : options.windowTitles) {
    tally.windows.emplace_back();
    tally.windows.back().title = title;
  }
  locateWindows(&tally);
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
    const HANDLE handles[] = {stop.get(), loader.process()};
    const DWORD count = loader.process() != nullptr ? 2 : 1;
    const DWORD woken = MsgWaitForMultipleObjects(count, handles, FALSE, wait, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
      break;
    }
    if (woken == WAIT_OBJECT_0 + 1 && count == 2) {
      loader.ended();
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == message && msg.hwnd == target.get()) {
        locateWindows(&tally);
        record(lumo::paintwatch::unpackReport(msg.wParam, msg.lParam), &tally);
      } else {
        DispatchMessageW(&msg);
      }
    }
    std::fflush(stdout);
  }

  const bool removed64 = hooks64.remove();
  const bool removed32 = loader.stop(names.hookLoaderCloseMessage, names.hookLoaderWindowName);
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
  printSummary(tally);
  if (!removed64 || !removed32) {
    return fail(L"the screen hooks could not all be removed");
  }
  return mapWritten ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  // What goes wrong is said at once, also into a file or a pipe.
  std::setvbuf(stderr, nullptr, _IONBF, 0);
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
