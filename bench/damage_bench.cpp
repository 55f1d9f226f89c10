// The damage tracker's cost per tick with 50 and with 500 top-level windows
// of its own on the desktop, against a bare EnumWindows pass that only
// counts them, and against a pass that also reads each visible window's
// place: the least a tick that compares window places can cost.

#include <windows.h>

#include <cstdio>
#include <vector>

#include "damage/damage_tracker.h"
#include "damage/system_desktop.h"
#include "measure.h"
#include "util/unique_handle.h"

namespace {

volatile long sink;  // keeps results alive so the calls are not optimised away

BOOL CALLBACK countWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<long *>(count);
  return TRUE;
}

BOOL CALLBACK readPlace(HWND window, LPARAM count) {
  RECT place;
  if (IsWindowVisible(window) && GetWindowRect(window, &place)) {
    *reinterpret_cast<long *>(count) += place.left;
  }
  return TRUE;
}

std::vector<lumo::UniqueWindow> makeWindows(int count) {
  std::vector<lumo::UniqueWindow> windows;
  for (int i = 0; i < count; ++i) {
    windows.emplace_back(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"Lumo bench", WS_POPUP,
                                         20 * (i % 10), 20 * (i / 10 % 40), 120, 80, nullptr,
                                         nullptr, nullptr, nullptr));
    // Never active: under Xvfb, with no window manager, Wine waits 2 s to
    // destroy a window that was.
    ShowWindow(windows.back().get(), SW_SHOWNOACTIVATE);
  }
  return windows;
}

void measureWith(int count) {
  const std::vector<lumo::UniqueWindow> windows = makeWindows(count);
  lumo::damage::SystemDesktop desktop;
  lumo::damage::DamageTracker tracker(&desktop);
  long listed = 0;
  EnumWindows(countWindow, reinterpret_cast<LPARAM>(&listed));
  std::printf("top-level windows on the desktop: %ld, %d of them the benchmark's\n", listed, count);
  lumo::bench::printHeader("microseconds per tick", "tracker", "EnumWindows");
  const std::vector<double> t =
      lumo::bench::compare({[&tracker] {
                              tracker.tick();
                              sink = static_cast<long>(tracker.takeFrame().added.size());
                            },
                            [] {
                              long counted = 0;
                              EnumWindows(countWindow, reinterpret_cast<LPARAM>(&counted));
                              sink = counted;
                            },
                            [] {
                              long sum = 0;
                              EnumWindows(readPlace, reinterpret_cast<LPARAM>(&sum));
                              sink = sum;
                            }},
                           count >= 500 ? 10 : 50, 9);
  lumo::bench::printRow("tick, nothing changed", t[0] / 1000, t[1] / 1000);
  lumo::bench::printHeader("microseconds per tick", "tracker", "with places");
  lumo::bench::printRow("tick, nothing changed", t[0] / 1000, t[2] / 1000);
}

}  // namespace

int main() {
  for (const int count : {50, 500}) {
    measureWith(count);
  }
  return 0;
}
