#pragma once

// Places the frame builder compares whole in every frame that reads the
// screen, for a set time after something happened there, however they
// change meanwhile: a change may land in pieces, be drawn twice, or in the
// colour the replica already holds. The time is the screen's readable time,
// which stands still while the screen cannot be read (a secure desktop, a
// locked session): what was to be drawn then is still looked for after.

#include <chrono>
#include <cstdint>
#include <vector>

#include "region/rect.h"

namespace lumo {
namespace frames {

using Clock = std::chrono::steady_clock;

// Time that runs only between two frames that both read the screen.
class ReadableClock {
public:
  // The readable time at `now`, should the frame then read the screen. What
  // a frame that cannot read it names is watched from then on, a frame's
  // time longer than had it been counted from the last readable frame.
  Clock::duration at(Clock::time_point now) const;
  // A frame at `now` ended, having read the screen or not.
  void frameEnded(Clock::time_point now, bool readable);

private:
  Clock::duration elapsed_{0};
  Clock::time_point last_;
  bool lastRead_ = false;
};

class WatchedPlaces {
public:
  explicit WatchedPlaces(Clock::duration lasting) : lasting_(lasting) {}

  // Places to watch from readable time `at` on.
  void add(const std::vector<region::Rect> &places, Clock::duration at);
  void appendTo(std::vector<region::Rect> *places) const;
  bool empty() const { return batches_.empty(); }
  // A frame that read the screen compared them all at readable time `at`:
  // those whose time is up then are let go.
  void expire(Clock::duration at);
  // The virtual screen's origin moved: each place moves by (dx, dy) in its
  // coordinates, to stay where it is on the screen, and keeps what lies on
  // the new virtual screen, `bounds`.
  void shift(std::int64_t dx, std::int64_t dy, const region::Rect &bounds);

private:
  // The places one call named, and when they are let go.
  struct Batch {
    std::vector<region::Rect> places;
    Clock::duration until;
  };

  Clock::duration lasting_;
  std::vector<Batch> batches_;
};

}  // namespace frames
}  // namespace lumo
