#pragma once

// The desktop as the system tells it, at each call, without hooks: under
// Wine 8 out-of-context WinEvents bring only object creation, never moves,
// carets or menus, so every tick asks.

#include <windows.h>

#include "damage/desktop_source.h"

namespace lumo {
namespace damage {

class SystemDesktop : public DesktopSource {
public:
  // The foreground window and its thread's state, read once per tick: each
  // read is a round trip to the window server.
  void beginTick() override;
  region::Rect virtualScreen() override;
  std::vector<TopWindow> topWindows() override;
  std::optional<region::Rect> caret() override;
  std::vector<region::Rect> openMenus() override;
  std::vector<ScrollBarState> scrollBars() override;

private:
  static constexpr ULONGLONG screenReadEveryMs = 1000;

  region::Rect screen_;
  ULONGLONG screenReadAt_ = 0;
  HWND foreground_ = nullptr;
  // Zeroed where the foreground thread cannot be asked.
  GUITHREADINFO thread_{};
};

}  // namespace damage
}  // namespace lumo
