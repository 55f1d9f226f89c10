#pragma once

// The desktop as the system tells it, at each call, without hooks: under
// Wine 8 out-of-context WinEvents bring only object creation, never moves,
// carets or menus, so every tick asks. Every call reads state the window
// manager keeps; none sends a message to another program's thread, so a
// hung program cannot stall a tick.

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "damage/desktop_source.h"

namespace lumo {
namespace damage {

// Reads in physical pixels, in a per-monitor DPI context it enters for each
// snapshot, whatever the server declares.
class SystemDesktop : public DesktopSource {
public:
  // Throws std::runtime_error, saying why, where the system refuses the
  // per-monitor context: before Windows 10 version 1607.
  SystemDesktop();
  // With ScreenRead::Cached the virtual screen is read again once a second
  // at most, so a display change the server is not told of shows up to a
  // second late.
  DesktopSnapshot snapshot(ScreenRead screen) override;

private:
  static constexpr ULONGLONG screenReadEveryMs = 1000;

  region::Rect virtualScreen(ScreenRead read);
  std::vector<region::Rect> menusAmong(const std::vector<TopWindow> &windows);
  // The foreground window's style where the window list read it.
  void addScrollBarsOf(const GUITHREADINFO &thread, std::optional<LONG> foregroundStyle,
                       DesktopSnapshot *now);

  region::Rect screen_;
  ULONGLONG screenReadAt_ = 0;
  // The visible top-level windows of the last snapshot, in the system's
  // order, and those of them that are popup menus.
  std::vector<std::uintptr_t> seen_;
  std::vector<std::uintptr_t> menus_;
  // Of the windows whose bars the last snapshot looked at, those the system
  // would not describe; null ids elsewhere.
  std::array<std::uintptr_t, 2> unreadable_ = {};
};

}  // namespace damage
}  // namespace lumo
