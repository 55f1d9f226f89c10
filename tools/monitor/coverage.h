#pragma once

// How well the reports cover what changes on screen: the monitor captures
// the virtual screen at a steady interval, and each capture tells which
// pixels changed since the one before. Reports are posted, so they can
// trail the pixels they stand for, and a hook that sees a message before
// the window procedure runs reports before the pixels change: a report
// counts for the changes of its own interval and of the intervals on
// either side of it.

#include <cstdint>
#include <deque>
#include <vector>

#include "missed_areas.h"
#include "region/rect.h"

namespace lumo {
namespace tools {

struct CoverageFigures {
  std::uint64_t captures = 0;
  // Pixel changes, one per pixel and interval in which it changed.
  std::uint64_t changedPixels = 0;
  std::uint64_t coveredPixels = 0;
  std::uint64_t missedPixels = 0;
  // Reported area, one per pixel and interval in which a report covered it.
  std::uint64_t reportedPixels = 0;
  // Reported area in which nothing changed within one interval either side.
  std::uint64_t unchangedReportedPixels = 0;
};

class CoverageTracker {
public:
  // The size of the virtual screen; pixels and reports are in its
  // coordinates, its top-left corner at (0, 0).
  CoverageTracker(int width, int height);

  // Pixels in the rectangle are not measured from now on: the monitor's own
  // window and output.
  void exclude(const region::Rect &rect);

  // The screen at the end of an interval, top-down rows of 32-bit pixels
  // whose top byte is ignored. The first capture only sets the baseline.
  void addCapture(const std::uint32_t *pixels);
  // A report that arrived since the last capture.
  void addReport(const region::Rect &rect);
  // Judges the intervals still waiting for the one after them.
  void finish();

  const CoverageFigures &figures() const { return figures_; }
  // One byte per pixel, row by row: 1 where a change was never covered.
  const std::vector<std::uint8_t> &missedMask() const { return missed_; }
  // The places of the missed changes, largest first, at most `most` of them.
  std::vector<MissedArea> missedAreas(std::size_t most) const;

private:
  struct Interval {
    std::vector<std::uint8_t> changed;  // one byte per pixel
    std::vector<region::Rect> reports;
  };

  void judge(const Interval *before, const Interval &interval, const Interval *after);
  void fillReports(const Interval *interval, std::vector<std::uint8_t> *mask) const;

  int width_;
  int height_;
  std::vector<std::uint8_t> excluded_;
  std::vector<std::uint32_t> previous_;
  bool haveBaseline_ = false;
  // The last three intervals; the middle one is judged once the third ends.
  std::deque<Interval> intervals_;
  std::vector<region::Rect> pending_;
  std::vector<std::uint8_t> missed_;
  std::vector<std::uint8_t> scratch_;
  CoverageFigures figures_;
};

}  // namespace tools
}  // namespace lumo
