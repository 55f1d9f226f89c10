#include "coverage.h"

#include <algorithm>

namespace lumo {
namespace tools {

namespace {

// Missed changes are grouped into areas through tiles of this size: two
// changes in touching tiles belong to one area.
constexpr int tileSize = 16;

}  // namespace

CoverageTracker::CoverageTracker(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      excluded_(static_cast<std::size_t>(width_) * height_, 0),
      missed_(excluded_.size(), 0),
      scratch_(excluded_.size(), 0) {}

void CoverageTracker::exclude(const region::Rect &rect) {
  for (int y = std::max(rect.top, 0); y < std::min(rect.bottom, height_); ++y) {
    for (int x = std::max(rect.left, 0); x < std::min(rect.right, width_); ++x) {
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
    interval.changed[i] = ((pixels[i] ^ previous_[i]) & 0x00FFFFFF) != 0 && !excluded_[i];
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
    const int left = std::max(r.left, 0);
    const int right = std::min(r.right, width_);
    for (int y = std::max(r.top, 0); y < std::min(r.bottom, height_); ++y) {
      if (left < right) {
        std::fill_n(mask->begin() + static_cast<std::ptrdiff_t>(y) * width_ + left, right - left,
                    std::uint8_t{1});
      }
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
  const int columns = (width_ + tileSize - 1) / tileSize;
  const int rows = (height_ + tileSize - 1) / tileSize;
  struct Tile {
    std::uint64_t pixels = 0;
    region::Rect bounds;
  };
  std::vector<Tile> tiles(static_cast<std::size_t>(columns) * rows);
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      if (!missed_[static_cast<std::size_t>(y) * width_ + x]) {
        continue;
      }
      Tile &tile = tiles[static_cast<std::size_t>(y / tileSize) * columns + x / tileSize];
      const region::Rect pixel(x, y, x + 1, y + 1);
      tile.bounds = tile.pixels == 0
                        ? pixel
                        : region::Rect(std::min(tile.bounds.left, x), std::min(tile.bounds.top, y),
                                       std::max(tile.bounds.right, x + 1),
                                       std::max(tile.bounds.bottom, y + 1));
      ++tile.pixels;
    }
  }
  // Touching tiles with missed pixels make one area.
  std::vector<MissedArea> areas;
  std::vector<std::uint8_t> seen(tiles.size(), 0);
  std::vector<int> stack;
  for (int start = 0; start < static_cast<int>(tiles.size()); ++start) {
    if (tiles[start].pixels == 0 || seen[start]) {
      continue;
    }
    MissedArea area{tiles[start].bounds, 0};
    stack.assign(1, start);
    seen[start] = 1;
    while (!stack.empty()) {
      const int index = stack.back();
      stack.pop_back();
      const Tile &tile = tiles[index];
      area.pixels += tile.pixels;
      const region::Rect &b = tile.bounds;
      area.bounds = region::Rect(
          std::min(area.bounds.left, b.left), std::min(area.bounds.top, b.top),
          std::max(area.bounds.right, b.right), std::max(area.bounds.bottom, b.bottom));
      const int column = index % columns;
      const int row = index / columns;
      const int neighbours[][2] = {
          {column - 1, row}, {column + 1, row}, {column, row - 1}, {column, row + 1}};
      for (const auto &n : neighbours) {
        if (n[0] < 0 || n[0] >= columns || n[1] < 0 || n[1] >= rows) {
          continue;
        }
        const int next = n[1] * columns + n[0];
        if (tiles[next].pixels != 0 && !seen[next]) {
          seen[next] = 1;
          stack.push_back(next);
        }
      }
    }
    areas.push_back(area);
  }
  std::sort(areas.begin(), areas.end(),
            [](const MissedArea &a, const MissedArea &b) { return a.pixels > b.pixels; });
  if (areas.size() > most) {
    areas.resize(most);
  }
  return areas;
}

}  // namespace tools
}  // namespace lumo
