// Hook cost, side by side in one run: time per SendMessageW on a thread
// hooked by paintwatch64.dll, by a pass-through hook library, and by no hooks.
// Each figure is the median of several repetitions.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "paintwatch/paintwatch.h"
#include "util/unique_handle.h"
#include "win/module_file_path.h"

namespace {

using lumo::UniqueModule;
using lumo::UniqueWindow;
using lumo::win::besideThisProgram;

const int kRepetitions = 31;
const int kCalls = 1000;
// Reports are drained in batches well below the 10000-message queue limit,
// so that every post really lands.
const int kBatch = 1000;

LRESULT CALLBACK quietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE || message == WM_NCCALCSIZE || message == WM_CREATE) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return 0;
}

double nowSeconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void drain(HWND target) {
  MSG msg;
  while (PeekMessageW(&msg, target, 0, 0, PM_REMOVE)) {
  }
}

// Nanoseconds per SendMessageW over one run of calls. Draining is not timed.
double nanosPerSend(HWND window, HWND target, UINT message) {
  double total = 0;
  for (int done = 0; done < kCalls; done += kBatch) {
    drain(target);
    const double start = nowSeconds();
    for (int i = 0; i < kBatch; ++i) {
      SendMessageW(window, message, 0, 0);
    }
    total += nowSeconds() - start;
  }
  drain(target);
  return total * 1e9 / kCalls;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
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
const int kSetups = 3;  // no hooks, pass-through, paintwatch

}  // namespace

int main() {
  Hooks paintwatch = loadHooks(L"paintwatch64.dll");
  Hooks passThrough = loadHooks(L"passthrough_hooks.dll");
  if (!paintwatch.set || !passThrough.set) {
    std::fprintf(stderr, "hook_bench: paintwatch64.dll or passthrough_hooks.dll missing\n");
    return 1;
  }
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = quietProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"LumoBenchWindow";
  RegisterClassW(&windowClass);
  UniqueWindow window(CreateWindowExW(0, windowClass.lpszClassName, L"bench",
                                      WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, nullptr, nullptr,
                                      windowClass.hInstance, nullptr));
  UniqueWindow target(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      windowClass.hInstance, nullptr));
  const UINT reportMessage = RegisterWindowMessageW(L"lumo-bench-hook-update");

  // The set-ups take turns within each repetition, so that a change in the
  // machine's load affects all of them alike.
  Hooks *setups[kSetups] = {nullptr, &passThrough, &paintwatch};
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

  std::printf("%-34s %12s %12s %12s %10s\n", "SendMessageW, ns per call", "no hooks",
              "pass-through", "paintwatch", "ratio");
  for (int row = 0; row < kRows; ++row) {
    const double none = median(runs[row][0]);
    const double pass = median(runs[row][1]);
    const double watch = median(runs[row][2]);
    std::printf("%-34s %12.0f %12.0f %12.0f %10.3f\n", kRowNames[row], none, pass, watch,
                watch / pass);
  }
  std::printf("ratio: paintwatch / pass-through; median of %d runs of %d calls\n", kRepetitions,
              kCalls);
  return 0;
}

