#pragma once

// The damage tracker's tick against the least a tick that compares window
// places can cost: EnumWindows, and for each window its visibility (the
// WS_VISIBLE bit, which for a child of the desktop is what IsWindowVisible
// answers) and, where visible, GetWindowRect. The bench's own windows, N of
// them, stand on the desktop; nothing changes. The tick and the bare pass
// take turns call by call, so that the machine's load falls on both alike.

#include <windows.h>

#include <cstdio>
#include <vector>

#include "damage/damage_tracker.h"
#include "damage/system_desktop.h"
#include "measure.h"
#include "util/unique_handle.h"

namespace lumo {
namespace bench {

// Keeps results alive, so that the calls are not optimised away.
inline volatile long tickSink;

inline BOOL CALLBACK readVisiblePlace(HWND window, LPARAM sum) {
  RECT place;
  if ((GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0 && GetWindowRect(window, &place)) {
    *reinterpret_cast<long *>(sum) += place.left;
  }
  return TRUE;
}

inline long barePlacesPass() {
  long sum = 0;
  EnumWindows(readVisiblePlace, reinterpret_cast<LPARAM>(&sum));
  return sum;
}

// Adds windows until there are `count`. Shown without activation, Wine
// leaves them to no window manager and destroys them at once (one that a
// window manager would handle costs 2 s under Xvfb, which has none); the
// first one is put in front, so that a tick reads a foreground thread.
inline void addBenchWindows(std::vector<UniqueWindow> *windows, int count) {
  for (int i = static_cast<int>(windows->size()); i < count; ++i) {
    windows->emplace_back(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"Lumo bench", WS_POPUP,
                                          20 * (i % 10), 20 * (i / 10 % 40), 120, 80, nullptr,
                                          nullptr, nullptr, nullptr));
    ShowWindow(windows->back().get(), SW_SHOWNOACTIVATE);
  }
  if (!windows->empty()) {
    SetForegroundWindow(windows->front().get());
  }
}

struct TickTimes {
  double tick;
  double bare;
};

// Median seconds of one tick and of one bare pass, over `pairs` turns, on
// the desktop as it is.
inline TickTimes timeTicks(int pairs) {
  damage::SystemDesktop desktop;
  damage::DamageTracker tracker(&desktop);
  std::vector<double> ticks;
  std::vector<double> bare;
  const auto timed = [](auto call, std::vector<double> *into) {
    const double start = nowSeconds();
    call();
    into->push_back(nowSeconds() - start);
  };
  const auto tick = [&tracker] { tracker.tick(); };
  const auto pass = [] { tickSink = barePlacesPass(); };
  for (int i = 0; i < 20; ++i) {
    tick();
  }
  // Each goes first in every other turn: neither always finds the other's
  // traces in the caches.
  for (int i = 0; i < pairs; ++i) {
    if (i % 2 == 0) {
      timed(tick, &ticks);
      timed(pass, &bare);
    } else {
      timed(pass, &bare);
      timed(tick, &ticks);
    }
    // A server takes frames between ticks; untimed here.
    tickSink = static_cast<long>(tracker.takeFrame().added.size());
  }
  return {median(ticks), median(bare)};
}

// The line `tick: 50 windows T1 of EnumWindows with places; 500 windows T2`.
inline void printTickLine(const TickTimes &few, const TickTimes &many) {
  std::printf("tick: 50 windows %.2f of EnumWindows with places; 500 windows %.2f\n",
              few.tick / few.bare, many.tick / many.bare);
}

}  // namespace bench
}  // namespace lumo
