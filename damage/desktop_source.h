#pragma once

// What the damage tracker reads from the desktop at each tick, in screen
// coordinates. The system's answers come from SystemDesktop; tests give
// their own values.

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

// A scroll bar the system would not describe (under Wine, another
// process's): the band where it is drawn, beside the client area whose
// repainting it follows.
struct UnreadScrollBar {
  region::Rect band;
  region::Rect client;
};

// One look at the desktop, in screen coordinates.
struct DesktopSnapshot {
  // The rectangle spanning every monitor.
  region::Rect virtualScreen;
  // The visible top-level windows, in any order.
  std::vector<TopWindow> windows;
  // The foreground thread's caret, where it has one.
  std::optional<region::Rect> caret;
  // The open popup menus and the menu bar of a window in menu mode; none
  // while no menu is open.
  std::vector<region::Rect> menus;
  // The scroll bars of the foreground window and of the control with the
  // keyboard focus.
  std::vector<ScrollBarState> scrollBars;
  // Those of the same windows that could not be read.
  std::vector<UnreadScrollBar> unreadScrollBars;
};

// Whether the virtual screen must be read anew or may come from a source's
// own cache, which may be as old as the source documents.
enum class ScreenRead { Cached, Now };

class DesktopSource {
public:
  virtual ~DesktopSource() = default;

  // Called once per tick.
  virtual DesktopSnapshot snapshot(ScreenRead screen) = 0;
};

}  // namespace damage
}  // namespace lumo
