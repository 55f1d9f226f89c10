// Hook cost, side by side in one run: time per SendMessageW on a thread
// hooked by the screen-hook library of this program's bitness, by a hook
// library that makes only the platform calls a report needs, by a
// pass-through hook library, and by no hooks; and what every hooked process
// pays for the library's load and unload, in time and in heap left behind,
// against the pass-through library, a minimal hook DLL without a runtime.
// Each figure is the median of several repetitions.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "measure.h"
#include "paintwatch/paintwatch.h"
#include "tests/support/heap_in_use.h"
#include "util/unique_handle.h"
#include "win/module_file_path.h"

namespace {

using lumo::UniqueModule;
using lumo::UniqueWindow;
using lumo::win::besideThisProgram;

const int kRepetitions = 31;
// Well below the 10000-message queue limit, so that every post of a run
// really lands before the reports are drained.
const int kCalls = 1000;

LRESULT CALLBACK quietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE || message == WM_NCCALCSIZE || message == WM_CREATE) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return 0;
}

void drain(HWND target) {
  MSG msg;
  while (PeekMessageW(&msg, target, 0, 0, PM_REMOVE)) {
  }
}

// Nanoseconds per SendMessageW over one run of calls. Draining is not timed.
double nanosPerSend(HWND window, HWND target, UINT message) {
  drain(target);
  const double nanos =
      lumo::bench::nanosPerCall(kCalls, [&] { SendMessageW(window, message, 0, 0); });
  drain(target);
  return nanos;
}

struct Hooks {
  UniqueModule library;
  SetHookWithMessageFn set = nullptr;
  UnsetHookForWindowFn unset = nullptr;
};

Hooks loadHooks(const wchar_t *file) {
  Hooks hooks;
  const std::wstring path = besideThisProgram(file);
  hooks.library.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (hooks.library) {
    hooks.set = reinterpret_cast<SetHookWithMessageFn>(
        reinterpret_cast<void *>(GetProcAddress(hooks.library.get(), "setHookWithMessage")));
    hooks.unset = reinterpret_cast<UnsetHookForWindowFn>(
        reinterpret_cast<void *>(GetProcAddress(hooks.library.get(), "unsetHookForWindow")));
  }
  return hooks;
}

const UINT kMessages[] = {WM_USER + 1, WM_NCPAINT, WM_PAINT};
const char *const kRowNames[] = {"message outside the ten", "WM_NCPAINT (frame, up to 4 posts)",
                                 "WM_PAINT (client, 1 post)"};
const int kRows = 3;
const int kSetups = 4;  // no hooks, pass-through, bare reports, paintwatch

#ifdef _WIN64
const wchar_t kLibrary[] = L"paintwatch64.dll";
#else
const wchar_t kLibrary[] = L"paintwatch32.dll";
#endif

const int kLoadRepetitions = 11;
const int kLoadsPerRun = 50;

void loadAndUnload(const std::wstring &path) {
  FreeLibrary(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

// Bytes left on this process's heaps per load and unload, after one of
// each has warmed the loader up.
double heapLeftPerLoad(const std::wstring &path) {
  loadAndUnload(path);
  const SIZE_T before = heapBytesInUse();
  for (int i = 0; i < kLoadsPerRun; ++i) {
    loadAndUnload(path);
  }
  return (static_cast<double>(heapBytesInUse()) - static_cast<double>(before)) / kLoadsPerRun;
}

// Measured before anything here keeps either library loaded.
void compareLoads() {
  const std::wstring paintwatch = besideThisProgram(kLibrary);
  const std::wstring minimal = besideThisProgram(L"passthrough_hooks.dll");
  const std::vector<double> nanos =
      lumo::bench::compare({[&] { loadAndUnload(paintwatch); }, [&] { loadAndUnload(minimal); }},
                           kLoadsPerRun, kLoadRepetitions);
  std::printf("%-34s %12s %12s %9s\n", "per load and unload", "paintwatch", "minimal", "ratio");
  std::printf("%-34s %12.1f %12.1f %9.3f\n", "time, microseconds", nanos[0] / 1000, nanos[1] / 1000,
              nanos[0] / nanos[1]);
  std::printf("%-34s %12.0f %12.0f\n", "heap left behind, bytes", heapLeftPerLoad(paintwatch),
              heapLeftPerLoad(minimal));
  std::printf("median of %d runs of %d loads; minimal: the pass-through hooks\n\n",
              kLoadRepetitions, kLoadsPerRun);
}

}  // namespace

int main() {
  std::printf("%d-bit\n", static_cast<int>(sizeof(void *) * 8));
  compareLoads();
  Hooks paintwatch = loadHooks(kLibrary);
  Hooks passThrough = loadHooks(L"passthrough_hooks.dll");
  Hooks bareReports = loadHooks(L"bare_report_hooks.dll");
  if (!paintwatch.set || !passThrough.set || !bareReports.set) {
    std::fprintf(stderr,
                 "hook_bench: %ls, passthrough_hooks.dll or bare_report_hooks.dll "
                 "missing\n",
                 kLibrary);
    return 1;
  }
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = quietProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"LumoBenchWindow";
  RegisterClassW(&windowClass);
  UniqueWindow window(CreateWindowExW(0, windowClass.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW,
                                      100, 100, 400, 300, nullptr, nullptr, windowClass.hInstance,
                                      nullptr));
  UniqueWindow target(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      windowClass.hInstance, nullptr));
  const UINT reportMessage = RegisterWindowMessageW(L"lumo-bench-hook-update");

  // The set-ups take turns within each repetition, so that a change in the
  // machine's load affects all of them alike.
  Hooks *setups[kSetups] = {nullptr, &passThrough, &bareReports, &paintwatch};
  std::vector<double> runs[kRows][kSetups];
  for (int r = 0; r < kRepetitions; ++r) {
    for (int s = 0; s < kSetups; ++s) {
      Hooks *hooks = setups[s];
      if (hooks != nullptr && !hooks->set(target.get(), reportMessage)) {
        std::fprintf(stderr, "hook_bench: the hooks could not be installed\n");
        return 1;
      }
      for (int row = 0; row < kRows; ++row) {
        runs[row][s].push_back(nanosPerSend(window.get(), target.get(), kMessages[row]));
      }
      if (hooks != nullptr) {
        hooks->unset(target.get(), reportMessage);
      }
    }
  }

  std::printf("%-34s %12s %12s %12s %12s %9s %9s\n", "SendMessageW, ns per call", "no hooks",
              "pass-through", "bare reports", "paintwatch", "/ pass", "/ bare");
  for (int row = 0; row < kRows; ++row) {
    const double none = lumo::bench::median(runs[row][0]);
    const double pass = lumo::bench::median(runs[row][1]);
    const double bare = lumo::bench::median(runs[row][2]);
    const double watch = lumo::bench::median(runs[row][3]);
    std::printf("%-34s %12.0f %12.0f %12.0f %12.0f %9.3f %9.3f\n", kRowNames[row], none, pass, bare,
                watch, watch / pass, watch / bare);
  }
  std::printf(
      "paintwatch against the pass-through and the bare-report hooks; median of %d runs "
      "of %d calls\n",
      kRepetitions, kCalls);
  return 0;
}
