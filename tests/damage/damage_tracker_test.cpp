#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "damage/damage_tracker.h"
#include "paintwatch/report.h"
#include "region/rect_geometry.h"

using lumo::damage::DamageTracker;
using lumo::damage::DesktopSnapshot;
using lumo::damage::DesktopSource;
using lumo::damage::ScreenRead;
using lumo::damage::ScrollBarState;
using lumo::region::Rect;

namespace {

using Box = std::tuple<int, int, int, int>;
using Boxes = std::vector<Box>;

// A desktop that is a value: each tick sees `now`.
class DesktopValue : public DesktopSource {
public:
  DesktopSnapshot snapshot(ScreenRead screen) override {
    lastRead = screen;
    return now;
  }

  DesktopSnapshot now{Rect(0, 0, 1000, 800),
                      {{1, Rect(10, 10, 110, 110)}, {2, Rect(500, 500, 600, 550)}},
                      std::nullopt,
                      {},
                      {},
                      {}};
  ScreenRead lastRead = ScreenRead::Cached;
};

Boxes boxes(const std::vector<Rect> &rects) {
  Boxes out;
  for (const Rect &r : rects) {
    out.emplace_back(r.left, r.top, r.right, r.bottom);
  }
  return out;
}

class DamageTrackerTest : public testing::Test {
protected:
  Boxes tickAndTake() {
    tracker.tick();
    return boxes(tracker.takeFrame().added);
  }
  void report(const Rect &r) {
    const auto packed = lumo::paintwatch::packReport(r);
    tracker.addReport(packed.wParam, packed.lParam);
  }

  DesktopValue desktop;
  DamageTracker tracker{&desktop};
};

TEST_F(DamageTrackerTest, AnUnchangedDesktopAddsNothing) {
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(tickAndTake().empty());
  }
  EXPECT_EQ(tracker.polledShare(), 0.0);
  EXPECT_EQ(tracker.virtualScreen(), Rect(0, 0, 1000, 800));
}

TEST_F(DamageTrackerTest, AMoveAddsTheOldAndNewPlacesOnce) {
  tracker.tick();
  desktop.now.windows[0].place = Rect(200, 10, 300, 110);
  EXPECT_EQ(tickAndTake(), (Boxes{{10, 10, 110, 110}, {200, 10, 300, 110}}));
  EXPECT_TRUE(tickAndTake().empty());
  // Two ticks of four added 2 * 100 * 100 of 1000 * 800 pixels.
  EXPECT_DOUBLE_EQ(tracker.polledShare(), 20000.0 / 800000 / 3);
}

TEST_F(DamageTrackerTest, AWindowMovedWithoutResizingIsAMoveFromWhereItWasWhenTheFrameBegan) {
  struct Case {
    const char *what;
    std::vector<Rect> places;  // window 1's place at each tick of one frame
    Boxes moves;               // from, then to
  };
  const Case cases[] = {
      {"moved", {Rect(200, 10, 300, 110)}, {{10, 10, 110, 110}, {200, 10, 300, 110}}},
      {"moved twice",
       {Rect(200, 10, 300, 110), Rect(400, 300, 500, 400)},
       {{10, 10, 110, 110}, {400, 300, 500, 400}}},
      {"moved and back", {Rect(200, 10, 300, 110), Rect(10, 10, 110, 110)}, {}},
      {"moved and resized", {Rect(200, 10, 300, 110), Rect(200, 10, 320, 110)}, {}},
  };
  for (const Case &c : cases) {
    desktop.now.windows[0].place = Rect(10, 10, 110, 110);
    tracker.tick();
    tracker.takeFrame();
    for (const Rect &place : c.places) {
      desktop.now.windows[0].place = place;
      tracker.tick();
    }
    Boxes moves;
    for (const auto &move : tracker.takeFrame().moves) {
      moves.emplace_back(move.from.left, move.from.top, move.from.right, move.from.bottom);
      moves.emplace_back(move.to.left, move.to.top, move.to.right, move.to.bottom);
    }
    EXPECT_EQ(moves, c.moves) << c.what;
  }
  // A move is the frame's own: the next frame has none, and a whole frame
  // none either.
  tracker.tick();
  EXPECT_TRUE(tracker.takeFrame().moves.empty());
  desktop.now.windows[0].place = Rect(300, 10, 400, 110);
  tracker.displayChanged();
  tracker.tick();
  EXPECT_TRUE(tracker.takeFrame().moves.empty());
}

TEST_F(DamageTrackerTest, WindowsThatAppearOrGoAddTheirPlaceOnce) {
  tracker.tick();
  desktop.now.windows.erase(desktop.now.windows.begin());
  desktop.now.windows.push_back({7, Rect(0, 700, 50, 750)});
  EXPECT_EQ(tickAndTake(), (Boxes{{10, 10, 110, 110}, {0, 700, 50, 750}}));
  EXPECT_TRUE(tickAndTake().empty());
}

// The system lists windows front to back: one brought forward changes the
// order, not the places.
TEST_F(DamageTrackerTest, AChangeOfOrderAloneAddsNothing) {
  const struct {
    const char *what;
    std::vector<lumo::damage::TopWindow> after;
    Boxes added;
  } cases[] = {
      {"swapped", {{2, Rect(500, 500, 600, 550)}, {1, Rect(10, 10, 110, 110)}}, {}},
      {"swapped, one moved",
       {{2, Rect(500, 500, 600, 550)}, {1, Rect(20, 10, 120, 110)}},
       {{10, 10, 120, 110}}},
  };
  for (const auto &c : cases) {
    desktop.now.windows = {{1, Rect(10, 10, 110, 110)}, {2, Rect(500, 500, 600, 550)}};
    tracker.tick();
    tracker.takeFrame();
    desktop.now.windows = c.after;
    EXPECT_EQ(tickAndTake(), c.added) << c.what;
    desktop.now.windows = {c.after[1], c.after[0]};
    EXPECT_EQ(tickAndTake(), Boxes{}) << c.what;
  }
}

// What a window no longer covers is named apart, in virtual-screen
// coordinates and clipped, over all ticks of the frame, and in a whole
// frame too: what was beneath is drawn there late.
TEST_F(DamageTrackerTest, WhatWindowsLeaveIsNamedForTheFrame) {
  desktop.now.virtualScreen = Rect(-100, 0, 900, 800);
  const struct {
    const char *what;
    std::vector<Rect> places;  // window 1's place at each tick; none: gone
    bool displayChanged;
    Boxes vacated;
  } cases[] = {
      {"closed or hidden", {}, false, {{110, 10, 210, 110}}},
      {"minimised", {Rect(-32000, -32000, -31840, -31970)}, false, {{110, 10, 210, 110}}},
      {"shrunk", {Rect(10, 10, 60, 110)}, false, {{160, 10, 210, 110}}},
      {"moved twice",
       {Rect(30, 10, 130, 110), Rect(30, 30, 130, 130)},
       false,
       {{110, 10, 130, 110}, {130, 10, 230, 30}}},
      {"closed as the display changed", {}, true, {{110, 10, 210, 110}}},
      {"unchanged", {Rect(10, 10, 110, 110)}, false, {}},
  };
  for (const auto &c : cases) {
    desktop.now.windows = {{1, Rect(10, 10, 110, 110)}};
    tracker.tick();
    tracker.takeFrame();
    for (const Rect &place : c.places) {
      desktop.now.windows = {{1, place}};
      tracker.tick();
    }
    if (c.places.empty()) {
      desktop.now.windows.clear();
      tracker.tick();
    }
    if (c.displayChanged) {
      tracker.displayChanged();
      tracker.tick();
    }
    EXPECT_EQ(boxes(tracker.takeFrame().vacated), c.vacated) << c.what;
    EXPECT_TRUE(tracker.takeFrame().vacated.empty()) << c.what;
  }
}

// A server that stops asking for frames must not make the tracker grow
// with every tick; what it keeps still covers every place left.
TEST_F(DamageTrackerTest, PlacesLeftStayBoundedWhileNoFrameIsTaken) {
  tracker.tick();
  tracker.takeFrame();
  for (int step = 1; step <= 2000; ++step) {
    desktop.now.windows[0].place = Rect(10 + step % 500, 10, 110 + step % 500, 110);
    tracker.tick();
    ASSERT_TRUE(tracker.hasChanges());
  }
  const std::vector<Rect> vacated = tracker.takeFrame().vacated;
  EXPECT_LE(vacated.size(), 257u);
  Rect all;
  for (const Rect &r : vacated) {
    all = lumo::region::boundingUnion(all, r);
  }
  EXPECT_EQ(boxes({all}), Boxes({{10, 10, 609, 110}}));
  EXPECT_FALSE(tracker.hasChanges());
}

TEST_F(DamageTrackerTest, ACaretAddsItsPaddedPlaceEachTickAndItsLastPlaceOnceMore) {
  desktop.now.caret = Rect(40, 40, 41, 56);
  EXPECT_EQ(tickAndTake(), (Boxes{{38, 38, 43, 58}}));
  EXPECT_EQ(tickAndTake(), (Boxes{{38, 38, 43, 58}}));
  desktop.now.caret = Rect(60, 40, 61, 56);
  EXPECT_EQ(tickAndTake(), (Boxes{{38, 38, 43, 58}, {58, 38, 63, 58}}));
  desktop.now.caret.reset();
  EXPECT_EQ(tickAndTake(), (Boxes{{58, 38, 63, 58}}));
  EXPECT_TRUE(tickAndTake().empty());
}

TEST_F(DamageTrackerTest, AnOpenMenuAddsEachTickAndAClosedOneStops) {
  desktop.now.menus = {Rect(10, 30, 110, 50), Rect(20, 50, 90, 200)};
  const Boxes open{{10, 30, 110, 50}, {20, 50, 90, 200}};
  EXPECT_EQ(tickAndTake(), open);
  EXPECT_EQ(tickAndTake(), open);
  desktop.now.menus.clear();
  // The system erases the last highlight as the menu closes.
  EXPECT_EQ(tickAndTake(), open);
  EXPECT_TRUE(tickAndTake().empty());
}

TEST_F(DamageTrackerTest, AScrollBarThatChangesMovesOrGoesAddsWhereItWasAndWhereItIs) {
  const ScrollBarState bar{Rect(100, 0, 116, 300), 20, 60, 0};
  const struct {
    const char *change;
    std::vector<ScrollBarState> after;
    Boxes added;
  } cases[] = {
      {"unchanged", {bar}, {}},
      {"thumb moved", {{bar.place, 40, 80, 0}}, {{100, 0, 116, 300}}},
      {"part pressed", {{bar.place, 20, 60, 1}}, {{100, 0, 116, 300}}},
      {"bar moved",
       {{Rect(300, 0, 316, 300), 20, 60, 0}},
       {{100, 0, 116, 300}, {300, 0, 316, 300}}},
      {"bar gone", {}, {{100, 0, 116, 300}}},
  };
  for (const auto &c : cases) {
    desktop.now.scrollBars = {bar};
    tracker.tick();
    tracker.takeFrame();
    desktop.now.scrollBars = c.after;
    EXPECT_EQ(tickAndTake(), c.added) << c.change;
    EXPECT_TRUE(tickAndTake().empty()) << c.change;
  }
}

// Where a bar cannot be read, its band is added in the frames whose reports
// touch the client area beside it, and only then.
TEST_F(DamageTrackerTest, AnUnreadScrollBarIsAddedWhenItsClientAreaIsReported) {
  desktop.now.virtualScreen = Rect(-100, 0, 900, 800);
  desktop.now.unreadScrollBars = {{Rect(383, 40, 400, 300), Rect(100, 40, 383, 300)}};
  const struct {
    const char *report;
    Rect place;
    Boxes added;
  } cases[] = {
      {"none", Rect(), {}},
      {"inside the client area", Rect(300, 100, 310, 110), {{483, 40, 500, 300}}},
      {"beside it", Rect(500, 100, 510, 110), {}},
      {"across its edge", Rect(150, 0, 210, 41), {{483, 40, 500, 300}}},
  };
  tracker.tick();
  tracker.takeFrame();
  for (const auto &c : cases) {
    report(c.place);
    EXPECT_EQ(tickAndTake(), c.added) << c.report;
  }
}

TEST_F(DamageTrackerTest, ReportsJoinTheDamageButNotTheAdditions) {
  tracker.tick();
  report(Rect(0, 0, 20, 20));
  desktop.now.windows[1].place = Rect(500, 500, 600, 560);
  tracker.tick();
  const lumo::damage::Frame frame = tracker.takeFrame();
  EXPECT_EQ(boxes(frame.added), (Boxes{{500, 500, 600, 560}}));
  EXPECT_EQ(boxes(frame.damage), (Boxes{{0, 0, 20, 20}, {500, 500, 600, 560}}));
  const lumo::damage::Frame next = tracker.takeFrame();
  EXPECT_TRUE(next.damage.empty());
  EXPECT_TRUE(next.added.empty());
}

TEST_F(DamageTrackerTest, EverythingIsClippedToTheVirtualScreenInItsCoordinates) {
  // A second monitor left of the first puts the origin at -1000.
  desktop.now.virtualScreen = Rect(-1000, 0, 1000, 800);
  desktop.now.windows[0].place = Rect(10, 0, 110, 100);
  tracker.tick();
  desktop.now.windows[0].place = Rect(-1100, -50, -900, 100);
  desktop.now.windows[1].place = Rect(900, 700, 1200, 900);
  report(Rect(1990, -10, 2100, 10));
  report(Rect(-32768, 790, 32767, 900));
  tracker.tick();
  const lumo::damage::Frame frame = tracker.takeFrame();
  EXPECT_EQ(
      boxes(frame.added),
      (Boxes{
          {0, 0, 100, 100}, {1010, 0, 1110, 100}, {1500, 500, 1600, 550}, {1900, 700, 2000, 800}}));
  EXPECT_EQ(boxes(frame.damage).front(), (Box{0, 0, 100, 10}));
  EXPECT_EQ(boxes(frame.damage).back(), (Box{0, 790, 2000, 800}));
}

// What the hooks post after a full queue lost reports.
TEST_F(DamageTrackerTest, TheEverythingChangedReportDamagesTheWholeScreen) {
  desktop.now.virtualScreen = Rect(-1000, -200, 1000, 800);
  tracker.tick();
  tracker.takeFrame();
  report(lumo::paintwatch::everythingChanged());
  tracker.tick();
  EXPECT_EQ(boxes(tracker.takeFrame().damage), (Boxes{{0, 0, 2000, 1000}}));
}

// After a display change, told or seen, the next frame is the whole new
// screen and the additions after it use the new origin.
TEST_F(DamageTrackerTest, TheFrameAfterADisplayChangeIsTheWholeNewScreen) {
  const struct {
    const char *change;
    Rect screen;
    bool told;
  } cases[] = {
      {"a monitor added on the left", Rect(-1000, 0, 1000, 800), false},
      {"a smaller mode", Rect(0, 0, 800, 600), false},
      {"told, the same size", Rect(0, 0, 1000, 800), true},
      {"told, a monitor added above", Rect(0, -600, 1000, 800), true},
  };
  for (const auto &c : cases) {
    desktop.now.virtualScreen = Rect(0, 0, 1000, 800);
    tracker.tick();
    tracker.takeFrame();
    EXPECT_EQ(desktop.lastRead, ScreenRead::Cached);
    if (c.told) {
      tracker.displayChanged();
    }
    desktop.now.virtualScreen = c.screen;
    tracker.tick();
    EXPECT_EQ(desktop.lastRead, c.told ? ScreenRead::Now : ScreenRead::Cached) << c.change;
    const Box whole{0, 0, c.screen.getWidth(), c.screen.getHeight()};
    const lumo::damage::Frame frame = tracker.takeFrame();
    EXPECT_EQ(boxes(frame.damage), Boxes{whole}) << c.change;
    EXPECT_EQ(boxes(frame.added), Boxes{whole}) << c.change;
    desktop.now.windows[0].place.left += 1;
    EXPECT_EQ(
        tickAndTake(),
        (Boxes{{10 - c.screen.left, 10 - c.screen.top, 110 - c.screen.left, 110 - c.screen.top}}))
        << c.change;
    desktop.now.windows[0].place.left -= 1;
    tickAndTake();
  }
}

}  // namespace
