#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "damage/damage_tracker.h"
#include "paintwatch/report.h"

using lumo::damage::DamageTracker;
using lumo::damage::DesktopSource;
using lumo::damage::ScrollBarState;
using lumo::damage::TopWindow;
using lumo::region::Rect;

namespace {

using Box = std::tuple<int, int, int, int>;

// A desktop whose state the test sets between ticks.
class ScriptedDesktop : public DesktopSource {
public:
  Rect virtualScreen() override { return screen; }
  std::vector<TopWindow> topWindows() override { return windows; }
  std::optional<Rect> caret() override { return caretPlace; }
  std::vector<Rect> openMenus() override { return menus; }
  std::vector<ScrollBarState> scrollBars() override { return bars; }

  Rect screen{0, 0, 1000, 800};
  std::vector<TopWindow> windows{{1, Rect(10, 10, 110, 110)}, {2, Rect(500, 500, 600, 550)}};
  std::optional<Rect> caretPlace;
  std::vector<Rect> menus;
  std::vector<ScrollBarState> bars;
};

std::vector<Box> boxes(const std::vector<Rect> &rects) {
  std::vector<Box> out;
  for (const Rect &r : rects) {
    out.emplace_back(r.left, r.top, r.right, r.bottom);
  }
  return out;
}

class DamageTrackerTest : public testing::Test {
protected:
  std::vector<Box> tickAndTake() {
    tracker.tick();
    return boxes(tracker.takeFrame().added);
  }

  ScriptedDesktop desktop;
  DamageTracker tracker{&desktop};
};

TEST_F(DamageTrackerTest, AnUnchangedDesktopAddsNothing) {
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(tickAndTake().empty());
  }
  EXPECT_EQ(tracker.polledShare(), 0.0);
}

TEST_F(DamageTrackerTest, AMoveAddsTheOldAndNewPlacesOnce) {
  tracker.tick();
  desktop.windows[0].place = Rect(200, 10, 300, 110);
  EXPECT_EQ(tickAndTake(), (std::vector<Box>{{10, 10, 110, 110}, {200, 10, 300, 110}}));
  EXPECT_TRUE(tickAndTake().empty());
  // Two ticks of four added 2 * 100 * 100 of 1000 * 800 pixels.
  EXPECT_DOUBLE_EQ(tracker.polledShare(), 20000.0 / 800000 / 3);
}

TEST_F(DamageTrackerTest, WindowsThatAppearOrGoAddTheirPlaceOnce) {
  tracker.tick();
  desktop.windows.erase(desktop.windows.begin());
  desktop.windows.push_back({7, Rect(0, 700, 50, 750)});
  EXPECT_EQ(tickAndTake(), (std::vector<Box>{{10, 10, 110, 110}, {0, 700, 50, 750}}));
  EXPECT_TRUE(tickAndTake().empty());
}

TEST_F(DamageTrackerTest, ACaretAddsItsPaddedPlaceEachTickAndItsLastPlaceOnceMore) {
  desktop.caretPlace = Rect(40, 40, 41, 56);
  EXPECT_EQ(tickAndTake(), (std::vector<Box>{{38, 38, 43, 58}}));
  EXPECT_EQ(tickAndTake(), (std::vector<Box>{{38, 38, 43, 58}}));
  desktop.caretPlace = Rect(60, 40, 61, 56);
  EXPECT_EQ(tickAndTake(), (std::vector<Box>{{38, 38, 43, 58}, {58, 38, 63, 58}}));
  desktop.caretPlace.reset();
  EXPECT_EQ(tickAndTake(), (std::vector<Box>{{58, 38, 63, 58}}));
  EXPECT_TRUE(tickAndTake().empty());
}

TEST_F(DamageTrackerTest, AnOpenMenuAddsEachTickAndAClosedOneStops) {
  desktop.menus = {Rect(10, 30, 110, 50), Rect(20, 50, 90, 200)};
  const std::vector<Box> open{{10, 30, 110, 50}, {20, 50, 90, 200}};
  EXPECT_EQ(tickAndTake(), open);
  EXPECT_EQ(tickAndTake(), open);
  desktop.menus.clear();
  // The system erases the last highlight as the menu closes.
  EXPECT_EQ(tickAndTake(), open);
  EXPECT_TRUE(tickAndTake().empty());
  EXPECT_TRUE(tickAndTake().empty());
}

TEST_F(DamageTrackerTest, ScrollBarsAddTheirPlacesOnlyWhenTheyChange) {
  desktop.bars = {{Rect(100, 0, 116, 300), 20, 60, 0}};
  EXPECT_TRUE(tickAndTake().empty());
  EXPECT_TRUE(tickAndTake().empty());
  desktop.bars[0].thumbTop = 40;
  desktop.bars[0].thumbBottom = 80;
  EXPECT_EQ(tickAndTake(), (std::vector<Box>{{100, 0, 116, 300}}));
  EXPECT_TRUE(tickAndTake().empty());
  desktop.bars[0].parts = 1;
  EXPECT_EQ(tickAndTake(), (std::vector<Box>{{100, 0, 116, 300}}));
}

TEST_F(DamageTrackerTest, ReportsJoinTheDamageButNotTheAdditions) {
  tracker.tick();
  const auto report = lumo::paintwatch::packReport(Rect(0, 0, 20, 20));
  tracker.addReport(report.wParam, report.lParam);
  desktop.windows[1].place = Rect(500, 500, 600, 560);
  tracker.tick();
  const lumo::damage::Frame frame = tracker.takeFrame();
  EXPECT_EQ(boxes(frame.added), (std::vector<Box>{{500, 500, 600, 560}}));
  EXPECT_EQ(boxes(frame.damage), (std::vector<Box>{{0, 0, 20, 20}, {500, 500, 600, 560}}));
  const lumo::damage::Frame next = tracker.takeFrame();
  EXPECT_TRUE(next.damage.empty());
  EXPECT_TRUE(next.added.empty());
}

TEST_F(DamageTrackerTest, EverythingIsClippedToTheVirtualScreenInItsCoordinates) {
  // A second monitor left of the first puts the origin at -1000.
  desktop.screen = Rect(-1000, 0, 1000, 800);
  desktop.windows[0].place = Rect(10, 0, 110, 100);
  tracker.tick();
  desktop.windows[0].place = Rect(-1100, -50, -900, 100);
  desktop.windows[1].place = Rect(900, 700, 1200, 900);
  const auto report = lumo::paintwatch::packReport(Rect(1990, -10, 2100, 10));
  tracker.addReport(report.wParam, report.lParam);
  tracker.tick();
  const lumo::damage::Frame frame = tracker.takeFrame();
  EXPECT_EQ(
      boxes(frame.added),
      (std::vector<Box>{
          {0, 0, 100, 100}, {1010, 0, 1110, 100}, {1500, 500, 1600, 550}, {1900, 700, 2000, 800}}));
  EXPECT_EQ(boxes(frame.damage).front(), (Box{0, 0, 100, 10}));
}

}  // namespace
