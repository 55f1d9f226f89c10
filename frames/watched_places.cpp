#include "frames/watched_places.h"

#include <algorithm>

namespace lumo {
namespace frames {

using region::Rect;

Clock::duration ReadableClock::at(Clock::time_point now) const {
  return lastRead_ ? elapsed_ + std::max(now - last_, Clock::duration::zero()) : elapsed_;
}

void ReadableClock::frameEnded(Clock::time_point now, bool readable) {
  if (readable) {
    elapsed_ = at(now);
  }
  last_ = now;
  lastRead_ = readable;
}

// The places a caret or an editor's client area names frame after frame
// are one batch whose time is renewed.
void WatchedPlaces::add(const std::vector<Rect> &places, Clock::duration at) {
  if (places.empty()) {
    return;
  }
  if (!batches_.empty() && batches_.back().places == places) {
    batches_.back().until = std::max(batches_.back().until, at + lasting_);
    return;
  }
  batches_.push_back({places, at + lasting_});
}

void WatchedPlaces::appendTo(std::vector<Rect> *places) const {
  for (const Batch &batch : batches_) {
    places->insert(places->end(), batch.places.begin(), batch.places.end());
  }
}

void WatchedPlaces::expire(Clock::duration at) {
  batches_.erase(std::remove_if(batches_.begin(), batches_.end(),
                                [at](const Batch &batch) { return batch.until <= at; }),
                 batches_.end());
}

// In 64 bits: the origin of a careless caller's screen may move by more
// than an int holds.
void WatchedPlaces::shift(std::int64_t dx, std::int64_t dy, const Rect &bounds) {
  for (Batch &batch : batches_) {
    std::vector<Rect> kept;
    for (const Rect &place : batch.places) {
      const std::int64_t left = std::max<std::int64_t>(place.left + dx, bounds.left);
      const std::int64_t top = std::max<std::int64_t>(place.top + dy, bounds.top);
      const std::int64_t right = std::min<std::int64_t>(place.right + dx, bounds.right);
      const std::int64_t bottom = std::min<std::int64_t>(place.bottom + dy, bounds.bottom);
      if (left < right && top < bottom) {
        kept.push_back(Rect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
                            static_cast<int>(bottom)));
      }
    }
    batch.places = std::move(kept);
  }
}

}  // namespace frames
}  // namespace lumo
