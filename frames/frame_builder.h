#pragma once

// From hints to what a server sends: the places the hooks and the damage
// tracker say may have changed (the tracker's frame: its damage and moves) are captured, compared
// with the server's last-sent picture of the screen (the replica), and what really changed comes
// out as tight rectangles with their pixels; a window that moved comes out as a copy, where its
// pixels prove it. The server's loop calls build() once per frame; it reads the screen through a
// ScreenCapture.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "damage/damage_tracker.h"
#include "frames/changed_areas.h"
#include "frames/pixel_image.h"
#include "frames/screen_capture.h"
#include "frames/watched_places.h"
#include "region/rect.h"

namespace lumo {
namespace frames {

// One frame's hints, in virtual-screen coordinates.
struct FrameHints {
  // The rectangle spanning every monitor, in screen coordinates.
  region::Rect virtualScreen;
  // The layout of the monitors changed: everything is sent again.
  bool displayChanged = false;
  std::vector<region::Rect> hinted;
  // The tracker's windows that moved without being resized.
  std::vector<damage::WindowMove> moves;
  // The places windows left: where one went, was minimised or hidden, and
  // what one no longer covers after it shrank or moved (the tracker names
  // each step of a window moved over several ticks). What was beneath is
  // drawn there late, without a hint of its own. Defaulted, so that hints
  // written before it need not name it.
  std::vector<region::Rect> vacated = {};
};

// Copy `source` of the screen as it was to the place whose top left is
// (toLeft, toTop).
struct Move {
  region::Rect source;
  int toLeft = 0;
  int toTop = 0;
};

// A changed rectangle and its new pixels, valid until the next build().
struct ChangedArea {
  region::Rect place;
  const std::uint32_t *pixels = nullptr;
  // Pixels from one row to the next.
  int stride = 0;
};

// Pixels per frame, for logs: what the hints named, what was read from the
// screen, what was compared with the replica, what goes out as changed
// areas, and what the moves copy (not counted as sent).
struct FrameCounts {
  std::uint64_t hinted = 0;
  std::uint64_t captured = 0;
  std::uint64_t compared = 0;
  std::uint64_t sent = 0;
  std::uint64_t copied = 0;
};

// What the client does, in this order: apply the moves one after another,
// then draw the changed areas. The replica is updated the same way.
struct FrameUpdate {
  // The replica was made anew: the one area is the whole screen.
  bool whole = false;
  std::vector<Move> moves;
  std::vector<ChangedArea> areas;
  FrameCounts counts;
};

// What one capture call costs: a call, and each pixel it copies. Decides
// between one capture of the hints' bounding box and one per hinted area.
// The defaults are GDI's under Wine 8 on Xvfb, measured by frames_bench: a
// call costs 9 to 80 microseconds there, the more when the X server has to be woken.
struct CaptureCost {
  double perCallMicroseconds = 10;
  double perPixelNanoseconds = 6;
};

// The times below are readable time: they run only while the screen can be
// read (frames/watched_places.h).
struct FrameBuilderSettings {
  TileGrid grid;
  // How long a hinted or sent area is compared again: a hint comes when a
  // paint begins, and a paint may land in pieces.
  Clock::duration recheck = std::chrono::milliseconds(120);
  // How long what a move uncovered or a window left is compared whole: what
  // was beneath is drawn late, without a hint of its own (under Wine 2 s
  // after an active window was closed or hidden).
  Clock::duration lateDrawing = std::chrono::milliseconds(3000);
  // Past this many changed areas they merge into fewer, larger ones.
  size_t maxAreas = 64;
  CaptureCost capture;
};

// What a client does with an update, on its picture of the virtual screen:
// made anew for a whole one, then the moves in order, then the areas.
void applyUpdate(const FrameUpdate &update, PixelImage *client);

class FrameBuilder {
public:
  explicit FrameBuilder(ScreenCapture *capture, FrameBuilderSettings settings = {});

  // The frame at `now`. Never throws, whatever the capture or an allocation
  // does. A frame that fails (out of memory, the screen unreadable) sends
  // nothing, and what it could not send is sent later: what it should have
  // looked at stays watched, and after running out of memory the next frame
  // is whole. A whole frame keeps the watches.
  FrameUpdate build(const FrameHints &hints, Clock::time_point now) noexcept;
  FrameUpdate build(const FrameHints &hints) noexcept { return build(hints, Clock::now()); }

  // Whether a frame is due even without a hint: a place is watched, or the
  // replica must be made anew.
  bool needsFrame() const {
    return !replicaValid_ || !hintedRecheck_.empty() || !sentRecheck_.empty() ||
           !lateDrawing_.empty();
  }

  const PixelImage &replica() const { return replica_; }

private:
  bool buildFrame(const FrameHints &hints, Clock::duration at, FrameUpdate *update);
  bool followOrigin(const region::Rect &layout);
  bool buildWhole(const region::Rect &layout, FrameUpdate *update);
  bool captureAreas(const std::vector<region::Rect> &areas, FrameCounts *counts);
  bool captureArea(const region::Rect &area, PixelImage *into);
  void applyMoves(const std::vector<damage::WindowMove> &moves, FrameUpdate *update);
  std::vector<region::Rect> sendChanges(const std::vector<region::Rect> &compared,
                                        FrameUpdate *update);

  ScreenCapture *capture_;
  FrameBuilderSettings settings_;
  ReadableClock clock_;
  // Where the replica's origin, and the watched places', are on the screen.
  int originLeft_ = 0;
  int originTop_ = 0;
  PixelImage replica_;
  PixelImage captured_;
  bool replicaValid_ = false;
  // One rule each: hinted areas, whose paint may land after the hint; sent
  // areas, whose paint may not have ended; and what a move uncovered or a
  // window left, drawn late.
  WatchedPlaces hintedRecheck_;
  WatchedPlaces sentRecheck_;
  WatchedPlaces lateDrawing_;
};

}  // namespace frames
}  // namespace lumo
