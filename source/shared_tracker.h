#pragma once

// The damage tracker between the source's thread, which feeds it, and the
// consumer's, which takes its frames: one lock, held for a tick, a batch of
// reports or the taking of a frame, and what the consumer waits on.

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "damage/damage_tracker.h"
#include "damage/desktop_source.h"
#include "frames/watched_places.h"
#include "region/rect.h"

namespace lumo {
namespace source {

using frames::Clock;

// A report as the hooks posted it.
struct Report {
  WPARAM wParam;
  LPARAM lParam;
};

class SharedTracker {
public:
  // The desktop must outlive the tracker.
  explicit SharedTracker(damage::DesktopSource *desktop) : tracker_(desktop) {}

  // The source's thread.
  void addReports(const Report *reports, std::size_t count, Clock::time_point takenAt) noexcept;
  void tick() noexcept;
  void displayChanged() noexcept;
  // Wakes a waiting consumer for good.
  void stop() noexcept;

  enum class Wait { due, timedOut, stopped };
  // The consumer's thread. Waits until the tracker has something, or
  // `builderDue`, and `earliest` has passed; or until `deadline`, when the
  // tracker looks once more before nothing is said to have changed.
  Wait wait(bool builderDue, Clock::time_point earliest, Clock::time_point deadline);

  struct Taken {
    damage::Frame frame;
    region::Rect virtualScreen;
    // The epoch where no report came.
    Clock::time_point firstReport;
  };
  // Ticks, so that the frame ends now, and takes the tracker's frame.
  // Throws std::bad_alloc only where the tracker does.
  Taken take();

  double polledShare() const;

private:
  bool dueLocked(bool builderDue, Clock::time_point earliest, Clock::time_point now) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  damage::DamageTracker tracker_;
  Clock::time_point firstReport_;
  bool stopped_ = false;
};

}  // namespace source
}  // namespace lumo
