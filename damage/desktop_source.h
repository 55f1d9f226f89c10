#pragma once

// What the damage tracker reads from the desktop at each tick, in screen
// coordinates. The system's answers come from SystemDesktop; tests script
// their own.

#include <cstdint>
#include <optional>
#include <vector>

#include "region/rect.h"

namespace lumo {
namespace damage {

struct TopWindow {
  std::uintptr_t id = 0;
  region::Rect place;
};

// A scroll bar as its owner draws it: where it is and where its thumb is.
struct ScrollBarState {
  region::Rect place;
  int thumbTop = 0;
  int thumbBottom = 0;
  // The pressed and disabled states of its parts, as one word.
  std::uint32_t parts = 0;

  bool operator==(const ScrollBarState &other) const {
    return place == other.place && thumbTop == other.thumbTop && thumbBottom == other.thumbBottom &&
           parts == other.parts;
  }
  bool operator!=(const ScrollBarState &other) const { return !(*this == other); }
};

class DesktopSource {
public:
  virtual ~DesktopSource() = default;

  // Called first at each tick, so that a source can read once what the
  // tick's questions share.
  virtual void beginTick() {}
  virtual region::Rect virtualScreen() = 0;
  // The visible top-level windows, in any order.
  virtual std::vector<TopWindow> topWindows() = 0;
  // The foreground thread's caret, where it has one.
  virtual std::optional<region::Rect> caret() = 0;
  // The open popup menus and the menu bar of a window in menu mode; none
  // while no menu is open.
  virtual std::vector<region::Rect> openMenus() = 0;
  // The scroll bars of the foreground window and of the control with the
  // keyboard focus.
  virtual std::vector<ScrollBarState> scrollBars() = 0;
};

}  // namespace damage
}  // namespace lumo
