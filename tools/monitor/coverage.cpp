#include "coverage.h"

#include <algorithm>

#include "frames/pixel_image.h"
#include "region/rect_geometry.h"

namespace lumo {
namespace tools {

CoverageTracker::CoverageTracker(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      excluded_(static_cast<std::size_t>(width_) * height_, 0),
      missed_(excluded_.size(), 0),
      scratch_(excluded_.size(), 0) {}

void CoverageTracker::exclude(const region::Rect &rect) {
  const region::Rect c = clipped(rect, width_, height_);
  for (int y = c.top; y < c.bottom; ++y) {
    for (int x = c.left; x < c.right; ++x) {
      excluded_[static_cast<std::size_t>(y) * width_ + x] = 1;
    }
  }
}

void CoverageTracker::addReport(const region::Rect &rect) {
  if (haveBaseline_ && !rect.isEmpty()) {
    pending_.push_back(rect);
  }
}

void CoverageTracker::addCapture(const std::uint32_t *pixels) {
  const std::size_t count = excluded_.size();
  ++figures_.captures;
  if (!haveBaseline_) {
    previous_.assign(pixels, pixels + count);
    haveBaseline_ = true;
    return;
  }
  Interval interval;
  interval.changed.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    interval.changed[i] = frames::coloursDiffer(pixels[i], previous_[i]) && !excluded_[i];
  }
  previous_.assign(pixels, pixels + count);
  interval.reports.swap(pending_);
  intervals_.push_back(std::move(interval));
  if (intervals_.size() == 3) {
    judge(&intervals_[0], intervals_[1], &intervals_[2]);
    intervals_.pop_front();
  } else if (intervals_.size() == 2) {
    judge(nullptr, intervals_[0], &intervals_[1]);
  }
}

void CoverageTracker::finish() {
  if (intervals_.size() == 2) {
    judge(&intervals_[0], intervals_[1], nullptr);
  } else if (intervals_.size() == 1) {
    judge(nullptr, intervals_[0], nullptr);
  }
  intervals_.clear();
}

void CoverageTracker::fillReports(const Interval *interval, std::vector<std::uint8_t> *mask) const {
  if (interval == nullptr) {
    return;
  }
  for (const region::Rect &r : interval->reports) {
    const region::Rect c = clipped(r, width_, height_);
    for (int y = c.top; y < c.bottom && c.left < c.right; ++y) {
      std::fill_n(mask->begin() + static_cast<std::ptrdiff_t>(y) * width_ + c.left,
                  c.right - c.left, std::uint8_t{1});
    }
  }
}

void CoverageTracker::judge(const Interval *before, const Interval &interval,
                            const Interval *after) {
  const std::size_t count = excluded_.size();
  // The changes of this interval against the reports around it.
  std::fill(scratch_.begin(), scratch_.end(), std::uint8_t{0});
  fillReports(before, &scratch_);
  fillReports(&interval, &scratch_);
  fillReports(after, &scratch_);
  for (std::size_t i = 0; i < count; ++i) {
    if (!interval.changed[i]) {
      continue;
    }
    ++figures_.changedPixels;
    if (scratch_[i]) {
      ++figures_.coveredPixels;
    } else {
      ++figures_.missedPixels;
      missed_[i] = 1;
    }
  }
  // This interval's reports against the changes around them.
  std::fill(scratch_.begin(), scratch_.end(), std::uint8_t{0});
  fillReports(&interval, &scratch_);
  for (std::size_t i = 0; i < count; ++i) {
    if (!scratch_[i] || excluded_[i]) {
      continue;
    }
    ++figures_.reportedPixels;
    const bool changed = interval.changed[i] || (before != nullptr && before->changed[i]) ||
                         (after != nullptr && after->changed[i]);
    if (!changed) {
      ++figures_.unchangedReportedPixels;
    }
  }
}

std::vector<MissedArea> CoverageTracker::missedAreas(std::size_t most) const {
  return tools::missedAreas(missed_, width_, height_, most);
}

}  // namespace tools
}  // namespace lumo
