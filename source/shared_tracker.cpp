#include "source/shared_tracker.h"

namespace lumo {
namespace source {

void SharedTracker::addReports(const Report *reports, std::size_t count,
                               Clock::time_point takenAt) noexcept {
  if (count == 0) {
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < count; ++i) {
      tracker_.addReport(reports[i].wParam, reports[i].lParam);
    }
    if (firstReport_ == Clock::time_point()) {
      firstReport_ = takenAt;
    }
  }
  changed_.notify_one();
}

void SharedTracker::tick() noexcept {
  bool changes = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    tracker_.tick();
    changes = tracker_.hasChanges();
  }
  if (changes) {
    changed_.notify_one();
  }
}

void SharedTracker::displayChanged() noexcept {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    tracker_.displayChanged();
  }
  changed_.notify_one();
}

void SharedTracker::stop() noexcept {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
}

bool SharedTracker::dueLocked(bool builderDue, Clock::time_point earliest,
                              Clock::time_point now) const {
  return (builderDue || tracker_.hasChanges()) && now >= earliest;
}

SharedTracker::Wait SharedTracker::wait(bool builderDue, Clock::time_point earliest,
                                        Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopped_) {
      return Wait::stopped;
    }
    const Clock::time_point now = Clock::now();
    if (dueLocked(builderDue, earliest, now)) {
      return Wait::due;
    }
    if (now >= deadline) {
      // What the last tick has not seen yet belongs in this answer too.
      tracker_.tick();
      return dueLocked(builderDue, earliest, now) ? Wait::due : Wait::timedOut;
    }
    const bool pending = builderDue || tracker_.hasChanges();
    changed_.wait_until(lock, pending ? std::min(earliest, deadline) : deadline);
  }
}

SharedTracker::Taken SharedTracker::take() {
  const std::lock_guard<std::mutex> lock(mutex_);
  tracker_.tick();
  Taken taken;
  taken.frame = tracker_.takeFrame();
  taken.virtualScreen = tracker_.virtualScreen();
  taken.firstReport = firstReport_;
  firstReport_ = Clock::time_point();
  return taken;
}

double SharedTracker::polledShare() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return tracker_.polledShare();
}

}  // namespace source
}  // namespace lumo
