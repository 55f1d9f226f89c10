#pragma once

// A server's damage for one frame: the rectangles the screen hooks report,
// and what they cannot see, which the tracker adds at each tick of the
// server's frame clock: the old and new places of top-level windows that
// moved, resized, appeared or went; the foreground thread's caret; open
// menus; the scroll bars of the foreground window and of the focused control
// when they change, where they were and where they are, and where they
// cannot be read, their bands when the client area beside them is
// reported. It starts no thread; the server's loop drives it. Everything is in virtual-screen
// coordinates, the virtual screen's top-left corner at (0, 0), as reports are, and clipped to the
// virtual screen. It fails safe: what it cannot track is damage.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "damage/desktop_source.h"
#include "region/rect.h"

namespace lumo {
namespace region {
class Region;
}

namespace damage {

struct PlaceChange;

// A top-level window that moved without changing size during the frame:
// where it was when the frame began and where it is.
struct WindowMove {
  region::Rect from;
  region::Rect to;
};

struct Frame {
  // The reports and the additions, merged.
  std::vector<region::Rect> damage;
  // What the tracker added, merged, reported or not.
  std::vector<region::Rect> added;
  // The windows that moved, in the order they first moved in the frame; their
  // places are in both lists above too. None in a whole frame.
  std::vector<WindowMove> moves;
  // What windows no longer cover, at any tick of the frame: where one went,
  // was minimised or hidden, and what one that moved or changed size left.
  // What was beneath is drawn there late, without a report of its own. Also
  // in a whole frame; where it cannot be read, the whole virtual screen.
  std::vector<region::Rect> vacated;
};

class DamageTracker {
public:
  // The source must outlive the tracker.
  explicit DamageTracker(DesktopSource *desktop);
  DamageTracker(const DamageTracker &) = delete;
  DamageTracker &operator=(const DamageTracker &) = delete;
  ~DamageTracker();

  // A report as the hooks post it.
  void addReport(WPARAM wParam, LPARAM lParam) noexcept;
  // Looks at the desktop and adds what changed since the last tick. The
  // first tick only learns the desktop, but for carets and open menus.
  void tick() noexcept;
  // For the server's loop when a top-level window of the server receives
  // WM_DISPLAYCHANGE: the next tick reads the virtual screen anew, and the
  // frame after it is the whole screen.
  void displayChanged() noexcept;
  // The frame's rectangles, clipped to the virtual screen of the last tick;
  // the next frame starts empty. Where anything failed since the last
  // frame, whatever it was, the frame is the whole virtual screen, in both
  // lists. Throws std::bad_alloc only where even that cannot be had, and the
  // next frame is the whole screen then.
  Frame takeFrame();
  // Whether the next frame would name anything: a report, a tick's
  // addition, a move, a place left, or a whole screen to send.
  bool hasChanges() const noexcept;

  // The virtual screen in screen coordinates as the last tick saw it; empty
  // before the first tick.
  region::Rect virtualScreen() const { return screen_; }
  // The area the ticks added, as a share of the virtual screen, averaged
  // over the ticks so far.
  double polledShare() const { return ticks_ == 0 ? 0.0 : polledShares_ / ticks_; }

private:
  void look();
  void addHeld(const DesktopSnapshot &now, std::vector<region::Rect> *held,
               std::vector<region::Rect> *additions) const;
  void addScrollBars(const std::vector<ScrollBarState> &bars,
                     std::vector<region::Rect> *additions) const;
  void addRepaintedBars(const DesktopSnapshot &now, std::vector<region::Rect> *additions) const;
  std::unique_ptr<region::Region> onVirtualScreen(const std::vector<region::Rect> &additions,
                                                  const region::Rect &screen) const;
  std::vector<PlaceChange> movedInFrame(const std::vector<PlaceChange> &changed) const;
  void readFrame(Frame *frame) const;
  void readVacated(std::vector<region::Rect> *vacated) const;

  DesktopSource &desktop_;
  region::Rect screen_;
  std::unique_ptr<region::Region> damage_;
  std::unique_ptr<region::Region> added_;
  // The frame is the whole screen: something failed, or the display
  // changed.
  bool whole_ = false;
  bool displayChanged_ = false;
  // A report or a tick's addition since the last frame.
  bool changed_ = false;
  // A tick failed since the last good one.
  bool lost_ = false;
  bool haveBaseline_ = false;
  std::vector<TopWindow> windows_;
  // Each window's place when the frame began and now, in screen
  // coordinates, for the windows whose place changed in the frame.
  std::vector<PlaceChange> moved_;
  // What windows left in the frame, in screen coordinates.
  std::vector<region::Rect> vacated_;
  std::vector<ScrollBarState> scrollBars_;
  // The caret and menus of the last tick: where they leave, the system
  // erases them outside the painting messages too.
  std::vector<region::Rect> held_;
  double polledShares_ = 0.0;
  std::uint64_t ticks_ = 0;
};

}  // namespace damage
}  // namespace lumo
