#pragma once

// What the monitor counts of the reports it receives: how many, which
// distinct rectangles, which of them lie inside the windows a person asked
// about, and which top-level windows (title and program) they fall on.

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "damage_map.h"
#include "region/rect.h"

namespace lumo {
namespace tools {

class ReportTally {
public:
  // The windows are found by their titles, anew as they come, go and move.
  explicit ReportTally(const std::vector<std::wstring> &watchedTitles);

  void record(const region::Rect &report);

  std::uint64_t reports() const { return reports_; }
  // Every distinct rectangle with how often it came.
  std::vector<Damage> damage() const;

  // "summary: ..." and the lines after it, each ending in a line end.
  std::wstring summary(double seconds) const;

private:
  using Box = std::tuple<int, int, int, int>;

  struct Watched {
    std::wstring title;
    region::Rect rect;  // last seen, in virtual-screen coordinates
    bool seen = false;
    std::set<Box> inside;
    std::uint64_t reports = 0;
  };

  // A top-level window as people name it: its title and its program.
  using WindowName = std::pair<std::wstring, std::wstring>;

  void locateWatched();
  WindowName windowUnder(const region::Rect &report);

  std::vector<Watched> watched_;
  ULONGLONG locatedAt_ = 0;
  std::uint64_t reports_ = 0;
  std::map<Box, std::uint64_t> distinct_;
  // Each distinct rectangle is put to a window once, when it first comes.
  std::map<Box, WindowName> placed_;
  std::map<HWND, WindowName> names_;
  std::map<WindowName, std::uint64_t> byWindow_;
};

}  // namespace tools
}  // namespace lumo
