// The damage tracker's tick against a bare pass over the top-level windows'
// places, with 50 and with 500 windows of the bench's own (tick_ratio.h).
// --detail also prints the medians in microseconds.

#include <cstdio>
#include <cstring>
#include <vector>

#include "tick_ratio.h"

int main(int argc, char **argv) {
  const bool detail = argc > 1 && std::strcmp(argv[1], "--detail") == 0;
  std::vector<lumo::UniqueWindow> windows;
  lumo::bench::addBenchWindows(&windows, 50);
  const lumo::bench::TickTimes few = lumo::bench::timeTicks(4000);
  lumo::bench::addBenchWindows(&windows, 500);
  const lumo::bench::TickTimes many = lumo::bench::timeTicks(1000);
  if (detail) {
    long listed = 0;
    EnumWindows([](HWND, LPARAM count) { return ++*reinterpret_cast<long *>(count), TRUE; },
                reinterpret_cast<LPARAM>(&listed));
    std::printf("top-level windows on the desktop at the end: %ld\n", listed);
    std::printf(
        "microseconds, median: 50 windows tick %.1f bare %.1f; 500 windows tick %.1f "
        "bare %.1f\n",
        few.tick * 1e6, few.bare * 1e6, many.tick * 1e6, many.bare * 1e6);
  }
  lumo::bench::printTickLine(few, many);
  return 0;
}
