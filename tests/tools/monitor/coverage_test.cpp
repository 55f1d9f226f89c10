// The coverage check against screens and reports made up here: a report
// stream that misses a change, one that over-reports, and the one interval
// of grace either side.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/monitor/coverage.h"

using lumo::region::Rect;
using lumo::tools::CoverageTracker;

namespace {

const int kWidth = 64;
const int kHeight = 48;

class Screen {
public:
  Screen() : pixels_(kWidth * kHeight, 0x00202020) {}
  void fill(const Rect &r, std::uint32_t colour) {
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        pixels_[y * kWidth + x] = colour;
      }
    }
  }
  const std::uint32_t *pixels() const { return pixels_.data(); }

private:
  std::vector<std::uint32_t> pixels_;
};

std::uint64_t area(const Rect &r) {
  return static_cast<std::uint64_t>(r.getWidth()) * r.getHeight();
}

TEST(CoverageTest, ChangeReportedInItsIntervalOrTheOneAfterIsCovered) {
  for (int lag = 0; lag <= 1; ++lag) {
    SCOPED_TRACE(lag);
    Screen screen;
    CoverageTracker tracker(kWidth, kHeight);
    tracker.addCapture(screen.pixels());
    const Rect window(4, 4, 20, 12);
    screen.fill(window, 0x00FFFFFF);
    if (lag == 0) {
      tracker.addReport(window);
    }
    tracker.addCapture(screen.pixels());
    if (lag == 1) {
      tracker.addReport(window);
    }
    tracker.addCapture(screen.pixels());
    tracker.finish();
    EXPECT_EQ(tracker.figures().changedPixels, area(window));
    EXPECT_EQ(tracker.figures().coveredPixels, area(window));
    EXPECT_EQ(tracker.figures().missedPixels, 0u);
    EXPECT_EQ(tracker.figures().unchangedReportedPixels, 0u);
    EXPECT_TRUE(tracker.missedAreas(5).empty());
  }
}

TEST(CoverageTest, WindowThatDrawsWithoutAReportIsMissedWhereItDrew) {
  Screen screen;
  CoverageTracker tracker(kWidth, kHeight);
  tracker.addCapture(screen.pixels());
  const Rect reported(0, 0, 10, 10);
  const Rect drawnUnseen(30, 20, 42, 26);
  screen.fill(reported, 0x00FF0000);
  screen.fill(drawnUnseen, 0x0000FF00);
  tracker.addReport(reported);
  tracker.addCapture(screen.pixels());
  tracker.finish();
  EXPECT_EQ(tracker.figures().changedPixels, area(reported) + area(drawnUnseen));
  EXPECT_EQ(tracker.figures().missedPixels, area(drawnUnseen));
  const auto areas = tracker.missedAreas(5);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0].bounds, drawnUnseen);
  EXPECT_EQ(areas[0].pixels, area(drawnUnseen));
  EXPECT_EQ(tracker.missedMask()[21 * kWidth + 31], 1u);
  EXPECT_EQ(tracker.missedMask()[5 * kWidth + 5], 0u);
}

TEST(CoverageTest, ReportTwoIntervalsLateIsAMissAndAnOverReport) {
  Screen screen;
  CoverageTracker tracker(kWidth, kHeight);
  tracker.addCapture(screen.pixels());
  const Rect window(8, 8, 16, 16);
  screen.fill(window, 0x00FFFFFF);
  tracker.addCapture(screen.pixels());
  tracker.addCapture(screen.pixels());
  tracker.addReport(window);
  tracker.addCapture(screen.pixels());
  tracker.finish();
  EXPECT_EQ(tracker.figures().missedPixels, area(window));
  EXPECT_EQ(tracker.figures().reportedPixels, area(window));
  EXPECT_EQ(tracker.figures().unchangedReportedPixels, area(window));
}

TEST(CoverageTest, ReportsOfAnUnchangedScreenAreAllOverReporting) {
  Screen screen;
  CoverageTracker tracker(kWidth, kHeight);
  tracker.addCapture(screen.pixels());
  // Overlapping reports of one interval count once per pixel.
  tracker.addReport(Rect(0, 0, 32, 24));
  tracker.addReport(Rect(16, 12, 48, 36));
  tracker.addReport(Rect(-10, -10, 2, 2));
  tracker.addCapture(screen.pixels());
  tracker.finish();
  // The third, clipped to the screen, lies inside the first.
  const std::uint64_t union_ = 32 * 24 + 32 * 24 - 16 * 12;
  EXPECT_EQ(tracker.figures().changedPixels, 0u);
  EXPECT_EQ(tracker.figures().reportedPixels, union_);
  EXPECT_EQ(tracker.figures().unchangedReportedPixels, union_);
}

TEST(CoverageTest, ExcludedAreaAndTheAlphaByteAreNotMeasured) {
  Screen screen;
  CoverageTracker tracker(kWidth, kHeight);
  tracker.exclude(Rect(40, 0, 64, 10));
  tracker.addCapture(screen.pixels());
  screen.fill(Rect(40, 0, 64, 10), 0x00FFFFFF);
  screen.fill(Rect(0, 40, 10, 48), 0xFF202020);
  tracker.addReport(Rect(50, 0, 60, 5));
  tracker.addCapture(screen.pixels());
  tracker.finish();
  EXPECT_EQ(tracker.figures().changedPixels, 0u);
  EXPECT_EQ(tracker.figures().reportedPixels, 0u);
  EXPECT_EQ(tracker.figures().captures, 2u);
}

TEST(CoverageTest, SeparateMissesAreSeparateAreasLargestFirst) {
  Screen screen;
  CoverageTracker tracker(kWidth, kHeight);
  tracker.addCapture(screen.pixels());
  screen.fill(Rect(1, 1, 3, 3), 0x00FFFFFF);
  screen.fill(Rect(40, 30, 60, 40), 0x00FFFFFF);
  tracker.addCapture(screen.pixels());
  tracker.finish();
  const auto areas = tracker.missedAreas(5);
  ASSERT_EQ(areas.size(), 2u);
  EXPECT_EQ(areas[0].bounds, Rect(40, 30, 60, 40));
  EXPECT_EQ(areas[1].bounds, Rect(1, 1, 3, 3));
  EXPECT_EQ(tracker.missedAreas(1).size(), 1u);
}

}  // namespace
