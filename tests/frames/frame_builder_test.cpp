// The frame builder against a screen made in memory. After every frame a
// client applies what was sent; it must hold the builder's replica, and the
// screen wherever the hints pointed.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <new>

#include "screen_fakes.h"

using lumo::damage::WindowMove;
using lumo::frames::FrameBuilder;
using lumo::frames::FrameHints;
using lumo::frames::FrameUpdate;
using lumo::region::intersection;
using lumo::region::overlap;
using lumo::region::pixelCount;
using lumo::region::Rect;
using lumo::region::translated;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr std::chrono::milliseconds kFrameInterval(40);
const lumo::frames::FrameBuilderSettings kSettings;

class FrameBuilderTest : public ::testing::Test {
protected:
  FrameBuilderTest() {
    screen.paint(screen.pixels.bounds(), &random);
    const FrameUpdate first = frame({});
    EXPECT_TRUE(first.whole);
  }

  FrameUpdate frame(std::vector<Rect> hinted, std::vector<WindowMove> moves = {},
                    std::vector<Rect> vacated = {}, bool displayChanged = false) {
    FrameHints hints;
    hints.virtualScreen = screen.virtualScreen;
    hints.displayChanged = displayChanged;
    hints.hinted = std::move(hinted);
    hints.moves = std::move(moves);
    hints.vacated = std::move(vacated);
    now += kFrameInterval;
    const FrameUpdate update = builder.build(hints, now);
    lumo::frames::applyUpdate(update, &client);
    EXPECT_EQ(lumo::test::differences(client, builder.replica()), 0) << "the client drifted";
    return update;
  }

  int stale() const { return lumo::test::differences(client, screen.pixels); }

  // A window of random pixels moved from one place to another, what it
  // uncovered filled with the desktop's colour.
  // The part that lands off the screen is not drawn.
  void moveWindow(const Rect &from, const Rect &to) {
    lumo::frames::PixelImage saved = screen.pixels;
    screen.fill(from, 0x336699);
    const Rect seen(from.left, from.top, from.right - std::max(0, to.right - kWidth),
                    from.bottom - std::max(0, to.bottom - kHeight));
    lumo::frames::copyPixels(saved, seen, &screen.pixels, to.left, to.top);
  }

  std::mt19937 random{7};
  lumo::frames::Clock::time_point now;
  // A monitor left of the primary one: the virtual screen starts left of 0.
  lumo::test::MemoryScreen screen{-kWidth / 2, 0, kWidth, kHeight};
  FrameBuilder builder{&screen};
  lumo::frames::PixelImage client;
};

TEST_F(FrameBuilderTest, OnePixelChangedIsOneAreaOfOnePixel) {
  screen.pixels.at(101, 57) ^= 0x000100;
  const FrameUpdate update = frame({Rect(64, 32, 192, 96)});
  ASSERT_EQ(update.areas.size(), 1u);
  EXPECT_EQ(update.areas[0].place, Rect(101, 57, 102, 58));
  EXPECT_EQ(update.counts.sent, 1u);
  EXPECT_EQ(update.counts.hinted, 128u * 64);
  EXPECT_EQ(stale(), 0);
}

TEST_F(FrameBuilderTest, OnlyTheColourBitsCount) {
  screen.pixels.at(10, 10) ^= 0xFF000000;
  EXPECT_TRUE(frame({Rect(0, 0, 32, 32)}).areas.empty());
}

TEST_F(FrameBuilderTest, AnUnchangedMovedWindowIsOneMoveAndNothingElseOfIt) {
  const Rect from(20, 30, 120, 110);
  const Rect to(150, 100, 250, 180);
  moveWindow(from, to);
  const FrameUpdate update = frame({from, to}, {{from, to}});
  ASSERT_EQ(update.moves.size(), 1u);
  EXPECT_EQ(update.moves[0].source, from);
  EXPECT_EQ(update.moves[0].toLeft, to.left);
  EXPECT_EQ(update.moves[0].toTop, to.top);
  EXPECT_EQ(update.counts.copied, 100u * 80);
  // Only the uncovered desktop is sent.
  for (const auto &area : update.areas) {
    EXPECT_TRUE(area.place.right <= to.left || area.place.bottom <= to.top) << area.place.left;
  }
  EXPECT_EQ(stale(), 0);
}

TEST_F(FrameBuilderTest, AWindowMovedByAFewPixelsOverlapsItself) {
  const Rect from(40, 40, 200, 160);
  const Rect to(43, 38, 203, 158);
  moveWindow(from, to);
  const FrameUpdate update = frame({from, to}, {{from, to}});
  EXPECT_EQ(update.counts.copied, 160u * 120);
  // The uncovered strips only, 3 and 2 pixels wide, were it not for the grid.
  EXPECT_LT(update.counts.sent, 16u * 120 + 16u * 160);
  EXPECT_EQ(stale(), 0);
}

TEST_F(FrameBuilderTest, WhatChangedInAMovedWindowGoesOutBesideTheMove) {
  const Rect from(20, 30, 120, 110);
  const Rect to(150, 100, 250, 180);
  moveWindow(from, to);
  screen.fill(Rect(160, 110, 170, 115), 0xFF0000);
  // Another window's corner drawn over the new place too.
  screen.paint(Rect(230, 160, 300, 220), &random);
  const FrameUpdate update = frame({from, to, Rect(230, 160, 300, 220)}, {{from, to}});
  EXPECT_FALSE(update.moves.empty());
  EXPECT_LT(update.counts.copied, 100u * 80);
  EXPECT_GT(update.counts.copied, 100u * 80 / 2);
  EXPECT_EQ(stale(), 0);
}

// A move copies, in the client's order, only what the client still holds
// of the old picture: a part whose source an earlier copy overwrote, by
// another move or by an earlier part of its own, goes out as changed areas.
TEST_F(FrameBuilderTest, MovesCopyOnlyWhatTheClientStillHoldsOfTheOldPicture) {
  const Rect a(10, 10, 90, 70);
  const Rect b(200, 150, 280, 210);
  const Rect c(100, 160, 180, 220);
  const Rect window(40, 40, 200, 160);
  const Rect down = translated(window, 0, 3);
  struct Case {
    const char *what;
    std::vector<WindowMove> moves;
    // The screen after the moves: what shows each place now.
    std::vector<WindowMove> shown;
    // A pixel drawn at its new place, which no copy proves.
    bool changedInside;
    size_t moveCount;
    std::uint64_t copied;
    std::uint64_t sent;
  };
  const Case cases[] = {
      {"two windows swapped", {{a, b}, {b, a}}, {{a, b}, {b, a}}, false, 1, 4800, 4800},
      {"the second from where the first went",
       {{a, b}, {b, c}},
       {{a, b}, {b, c}},
       false,
       1,
       4800,
       9600},
      {"the second first", {{b, c}, {a, b}}, {{a, b}, {b, c}}, false, 2, 9600, 4800},
      {"down by three pixels, one cell of it redrawn",
       {{window, down}},
       {{window, down}},
       true,
       5,
       18080,
       1936},
  };
  for (const Case &c : cases) {
    screen.paint(screen.pixels.bounds(), &random);
    frame({screen.pixels.bounds()});
    const lumo::frames::PixelImage saved = screen.pixels;
    std::vector<Rect> hinted;
    for (const WindowMove &move : c.shown) {
      screen.fill(move.from, 0x336699);
    }
    for (const WindowMove &move : c.shown) {
      lumo::frames::copyPixels(saved, move.from, &screen.pixels, move.to.left, move.to.top);
      hinted.insert(hinted.end(), {move.from, move.to});
    }
    if (c.changedInside) {
      screen.pixels.at(100, 80) ^= 0x0000FF;
    }
    const FrameUpdate update = frame(hinted, c.moves);
    EXPECT_EQ(update.moves.size(), c.moveCount) << c.what;
    EXPECT_EQ(update.counts.copied, c.copied) << c.what;
    EXPECT_EQ(update.counts.sent, c.sent) << c.what;
    EXPECT_EQ(stale(), 0) << c.what;
  }
}

TEST_F(FrameBuilderTest, AHintedAreaIsComparedAgainForTheRecheckTimeThenLetGo) {
  const Rect window(50, 50, 150, 120);
  EXPECT_TRUE(frame({window}).areas.empty());
  const auto hinted = now;
  // The paint lands after the capture, in two pieces, the last as the
  // recheck time runs out; nothing hints it again.
  screen.fill(Rect(60, 60, 70, 70), 0x00FF00);
  EXPECT_EQ(frame({}).counts.sent, 100u);
  while (now + kFrameInterval - hinted < kSettings.recheck) {
    EXPECT_TRUE(frame({}).areas.empty());
  }
  screen.fill(Rect(80, 80, 90, 90), 0x0000FF);
  EXPECT_EQ(frame({}).counts.sent, 100u);
  EXPECT_EQ(stale(), 0);
  const auto sent = now;
  while (now - sent < kSettings.recheck) {
    frame({});
  }
  const int captures = screen.captures;
  frame({});
  EXPECT_EQ(screen.captures, captures) << "an area that stayed the same is let go";
}

TEST_F(FrameBuilderTest, HintsOffTheScreenInvertedOrResizedAreTakenForWhatTheyAre) {
  const Rect window(20, 20, 60, 60);
  const Rect offTheEdge(kWidth - 20, kHeight - 20, kWidth + 20, kHeight + 20);
  moveWindow(window, offTheEdge);
  const FrameUpdate update = frame(
      {Rect(-50, -50, 70, 70), Rect(90, 90, 80, 80), Rect(32768, 100, INT_MIN, 112),
       Rect(0, INT_MAX, 10, INT_MIN), Rect(kWidth - 20, kHeight - 20, kWidth + 5000, kHeight + 9)},
      {{window, Rect(100, 100, 150, 150)}, {window, offTheEdge}});
  // The resized one is no move; of the other, what lands on the screen.
  ASSERT_EQ(update.moves.size(), 1u);
  EXPECT_EQ(update.moves[0].source, Rect(20, 20, 40, 40));
  EXPECT_EQ(update.moves[0].toLeft, kWidth - 20);
  EXPECT_EQ(update.counts.hinted, 70u * 70 + 20u * 20);
  EXPECT_EQ(stale(), 0);
}

// What was beneath a window is drawn late, without a hint, and in pieces,
// some by other windows: however it goes, each piece is sent, as long as it
// comes within the late-drawing time of readable frames.
TEST_F(FrameBuilderTest, WhatAWindowUncoveredOrLeftIsComparedForTheWholeLateDrawingTime) {
  const Rect from(40, 40, 140, 120);
  const Rect beside(100, 40, 200, 120);
  enum class Step { Quiet, SquareHinted, TopHalf, Unreadable, DisplayChanged, OutOfMemory, Busy };
  struct Case {
    const char *what;
    Rect to;
    // Where the window no longer is, drawn late.
    Rect left;
    // Closed: nothing moved.
    bool closed;
    std::vector<Step> steps;
  };
  const std::vector<Step> aWhile(6, Step::Quiet);
  const auto then = [&aWhile](std::vector<Step> first) {
    first.insert(first.end(), aWhile.begin(), aWhile.end());
    return first;
  };
  const Rect strip(40, 40, 100, 120);
  // Another window's, in the top left corner of the window's old place.
  const Rect square(40, 40, 56, 56);
  const Case cases[] = {
      {"uncovered, drawn at once", beside, strip, false, {}},
      {"uncovered, another window paints in it first", beside, strip, false,
       then({Step::SquareHinted})},
      {"uncovered, drawn in two passes", beside, strip, false, then({Step::TopHalf})},
      {"uncovered, 30 frames unreadable", beside, strip, false,
       then(std::vector<Step>(30, Step::Unreadable))},
      {"uncovered, a display change", beside, strip, false, then({Step::DisplayChanged})},
      {"uncovered, out of memory", beside, strip, false, then({Step::OutOfMemory, Step::Quiet})},
      {"uncovered, changes all around", beside, strip, false, then({Step::Busy})},
      // 65536 pixels away: the same place in 16 bits.
      {"moved far off the screen", translated(from, 65536, 0), from, false, aWhile},
      {"closed", Rect(), from, true, then({Step::SquareHinted})},
  };
  for (const Case &c : cases) {
    screen.paint(screen.pixels.bounds(), &random);
    frame({screen.pixels.bounds()});
    // The window is drawn at its new place; where it was still shows it.
    lumo::frames::PixelImage saved = screen.pixels;
    if (!c.closed && c.to.right <= kWidth) {
      lumo::frames::copyPixels(saved, from, &screen.pixels, c.to.left, c.to.top);
    }
    if (c.closed) {
      frame({from}, {}, {from});
    } else {
      frame({from, c.to}, {{from, c.to}});
    }
    for (const Step step : c.steps) {
      screen.refuse = step == Step::Unreadable;
      screen.outOfMemory = step == Step::OutOfMemory;
      if (step == Step::SquareHinted) {
        screen.fill(square, 0xFF00FF);
      } else if (step == Step::TopHalf) {
        screen.fill(Rect(c.left.left, c.left.top, c.left.right, 80), 0x336699);
      } else if (step == Step::Busy) {
        for (int i = 0; i < 500; ++i) {
          const int x = static_cast<int>(random() % kWidth);
          const int y = static_cast<int>(random() % kHeight);
          screen.pixels.at(x, y) ^= overlap(c.left, Rect(x, y, x + 1, y + 1)) ? 0 : 0x010101;
        }
      }
      const Rect hint = step == Step::SquareHinted ? square
                        : step == Step::Busy       ? screen.pixels.bounds()
                                                   : Rect();
      frame({hint}, {}, {}, step == Step::DisplayChanged);
    }
    screen.refuse = screen.outOfMemory = false;
    // The rest of what was beneath, without a hint.
    std::vector<Rect> rest;
    lumo::region::appendDifference(c.left, square, &rest);
    for (const Rect &part : rest) {
      screen.fill(part, 0x336699);
    }
    EXPECT_GT(frame({}).counts.sent, 0u) << c.what;
    EXPECT_EQ(stale(), 0) << c.what;
  }
  // Once the time is up, the places are let go.
  const auto drawn = now;
  while (now - drawn < kSettings.lateDrawing) {
    frame({});
  }
  const int captures = screen.captures;
  frame({});
  EXPECT_EQ(screen.captures, captures);
}

TEST_F(FrameBuilderTest, WhatIsToBeDrawnLateStaysWhereItIsOnTheScreenAsTheOriginMoves) {
  const Rect closed(40, 40, 140, 120);
  frame({closed}, {}, {closed});
  // A monitor comes on the left: the virtual screen starts 60 pixels further
  // left, and what is on it lies 60 pixels further right in its coordinates.
  lumo::test::MemoryScreen grown(screen.virtualScreen.left - 60, 0, kWidth + 60, kHeight);
  lumo::frames::copyPixels(screen.pixels, screen.pixels.bounds(), &grown.pixels, 60, 0);
  screen = grown;
  EXPECT_TRUE(frame({}).whole);
  frame({});
  screen.fill(translated(closed, 60, 0), 0x336699);
  EXPECT_EQ(frame({}).counts.sent, pixelCount(closed));
  EXPECT_EQ(stale(), 0);
}

TEST_F(FrameBuilderTest, AnUnreadableScreenSendsNothingAndIsReadAgain) {
  screen.fill(Rect(5, 5, 25, 25), 0x123456);
  screen.refuse = true;
  EXPECT_TRUE(frame({Rect(0, 0, 32, 32)}).areas.empty());
  screen.refuse = false;
  EXPECT_EQ(frame({}).counts.sent, 400u);
  EXPECT_EQ(stale(), 0);
}

// What a capture may throw that no std::exception handler catches.
struct Foreign {};

class ThrowingScreen : public lumo::test::MemoryScreen {
public:
  using MemoryScreen::MemoryScreen;
  bool capture(const Rect &onScreen, lumo::frames::PixelImage *into, int left, int top) override {
    if (foreign) {
      throw Foreign();
    }
    return MemoryScreen::capture(onScreen, into, left, top);
  }
  bool foreign = false;
};

TEST(FrameBuilderFailureTest, AFrameWhoseCaptureThrowsSendsNothingAndTheNextIsWhole) {
  for (const bool foreign : {false, true}) {
    ThrowingScreen screen(0, 0, 64, 48);
    FrameBuilder builder(&screen);
    const FrameHints hints{screen.virtualScreen, false, {Rect(0, 0, 10, 10)}, {}};
    EXPECT_TRUE(builder.build(hints).whole);
    screen.outOfMemory = !foreign;
    screen.foreign = foreign;
    EXPECT_NO_THROW(EXPECT_TRUE(builder.build(hints).areas.empty()));
    screen.outOfMemory = screen.foreign = false;
    EXPECT_TRUE(builder.build(hints).whole);
  }
}

TEST_F(FrameBuilderTest, ADisplayChangeSendsTheWholeNewScreen) {
  struct Case {
    const char *what;
    lumo::test::MemoryScreen screen;
    bool told;
  };
  const Case cases[] = {
      {"the server is told", {-kWidth / 2, 0, kWidth, kHeight}, true},
      {"the size changes", {-kWidth / 2, 0, 400, 300}, false},
      {"the origin moves", {0, 0, 400, 300}, false},
  };
  for (const Case &c : cases) {
    screen = c.screen;
    screen.paint(screen.pixels.bounds(), &random);
    FrameHints hints{screen.virtualScreen, c.told, {Rect(0, 0, 10, 10)}, {}};
    const FrameUpdate update = builder.build(hints);
    ASSERT_TRUE(update.whole) << c.what;
    EXPECT_EQ(update.areas[0].place, screen.pixels.bounds()) << c.what;
    EXPECT_EQ(lumo::test::differences(builder.replica(), screen.pixels), 0) << c.what;
  }
}

TEST_F(FrameBuilderTest, AClientPictureOfAnotherSizeIsDrawnOnlyWhereItReaches) {
  const Rect from(20, 30, 120, 110);
  const Rect to(150, 100, 250, 180);
  moveWindow(from, to);
  const FrameUpdate update = frame({from, to}, {{from, to}});
  ASSERT_FALSE(update.moves.empty());
  ASSERT_FALSE(update.areas.empty());
  for (const Rect &size : {Rect(0, 0, 0, 0), Rect(0, 0, 140, 120), Rect(0, 0, 400, 300)}) {
    lumo::frames::PixelImage other(size.right, size.bottom);
    lumo::frames::applyUpdate(update, &other);
    EXPECT_EQ(other.bounds(), size);
    // The areas are drawn last: where they reach, the picture holds what was sent.
    for (const auto &area : update.areas) {
      const Rect drawn = intersection(area.place, size);
      for (int y = drawn.top; y < drawn.bottom; ++y) {
        for (int x = drawn.left; x < drawn.right; ++x) {
          ASSERT_EQ(other.at(x, y), builder.replica().at(x, y)) << size.right << " " << x;
        }
      }
    }
  }
}

TEST(FrameBuilderLimitsTest, AMoveBeyondWhatAnIntHoldsCopiesNothing) {
  struct Case {
    WindowMove move;
    // The one coloured line of a black screen, which a copy would blacken.
    Rect line;
  };
  const Case cases[] = {
      // From and to 2^32 - 1 pixels apart, which wraps to -1.
      {{Rect(INT_MIN, 0, 10, 10), Rect(INT_MAX, 0, 9, 10)}, Rect(0, 0, 1, 48)},
      {{Rect(0, INT_MIN, 10, 10), Rect(0, INT_MAX, 10, 9)}, Rect(0, 0, 64, 1)},
      // Inverted by more than 2^31, which wraps to a width.
      {{Rect(32768, 40, INT_MIN, 48), Rect(32769, 40, INT_MIN + 1, 48)}, Rect(0, 0, 1, 48)},
  };
  for (const Case &c : cases) {
    lumo::test::MemoryScreen screen(0, 0, 64, 48);
    screen.fill(c.line, 0x123456);
    FrameBuilder builder(&screen);
    lumo::frames::PixelImage client;
    for (const auto &moves : {std::vector<WindowMove>{}, {c.move}, {}}) {
      const FrameUpdate update = builder.build({screen.virtualScreen, false, {}, moves});
      lumo::frames::applyUpdate(update, &client);
      EXPECT_TRUE(update.moves.empty());
    }
    EXPECT_EQ(lumo::test::differences(client, screen.pixels), 0);
  }
}

TEST(FrameBuilderLimitsTest, AScreenBeyondSixteenBitsIsSentWholeAndNoChangeIsLost) {
  struct Case {
    int width;
    int height;
    bool whole;
  };
  const Case cases[] = {
      {32767, 2, false},
      {32768, 2, true},
      {40000, 2, true},
      {2, 40000, true},
  };
  for (const Case &c : cases) {
    lumo::test::MemoryScreen screen(-c.width / 2, 0, c.width, c.height);
    FrameBuilder builder(&screen);
    lumo::frames::PixelImage client;
    lumo::frames::applyUpdate(builder.build({screen.virtualScreen, false, {}, {}}), &client);
    screen.pixels.at(c.width - 1, c.height - 1) = 0xABCDEF;
    const FrameUpdate update = builder.build(
        {screen.virtualScreen, false, {Rect(c.width - 2, c.height - 2, c.width, c.height)}, {}});
    lumo::frames::applyUpdate(update, &client);
    EXPECT_EQ(update.whole, c.whole) << c.width << "x" << c.height;
    EXPECT_EQ(lumo::test::differences(client, screen.pixels), 0) << c.width << "x" << c.height;
  }
}

TEST(FrameBuilderLimitsTest, APageOfGlyphsHintedOneByOneStaysCheap) {
  lumo::test::MemoryScreen screen(0, 0, 1280, 1024);
  FrameBuilder builder(&screen);
  FrameHints hints{screen.virtualScreen, false, {}, {}};
  builder.build(hints);
  for (int top = 0; top < 1024; top += 16) {
    for (int left = 0; left < 1280; left += 8) {
      hints.hinted.push_back(Rect(left, top, left + 7, top + 14));
    }
  }
  // Frames in a row, as the areas watched after a hint pile up.
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 4; ++i) {
    builder.build(hints);
  }
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took.count(), 400)
      << "a frame costs some 10 ms here; uniting one rectangle at a time, 300";
}

TEST(FrameBuilderLimitsTest, AGridOfNoPixelsIsTakenAsOneOfOnePixel) {
  const Rect from(0, 0, 20, 20);
  const Rect to(30, 20, 50, 40);
  for (const lumo::frames::TileGrid grid : {lumo::frames::TileGrid{0, 0}, {-16, 16}, {16, -16}}) {
    lumo::test::MemoryScreen screen(0, 0, 64, 48);
    std::mt19937 random(3);
    screen.paint(screen.pixels.bounds(), &random);
    lumo::frames::FrameBuilderSettings settings;
    settings.grid = grid;
    FrameBuilder builder(&screen, settings);
    lumo::frames::PixelImage client;
    lumo::frames::applyUpdate(builder.build({screen.virtualScreen, false, {}, {}}), &client);
    lumo::frames::PixelImage saved = screen.pixels;
    lumo::frames::copyPixels(saved, from, &screen.pixels, to.left, to.top);
    screen.pixels.at(5, 5) ^= 0x0000FF;
    const FrameUpdate update =
        builder.build({screen.virtualScreen, false, {screen.pixels.bounds()}, {{from, to}}});
    lumo::frames::applyUpdate(update, &client);
    EXPECT_EQ(update.counts.copied, pixelCount(from)) << grid.width << "x" << grid.height;
    EXPECT_EQ(lumo::test::differences(client, screen.pixels), 0)
        << grid.width << "x" << grid.height;
  }
}

TEST_F(FrameBuilderTest, ScatteredChangesStayWithinTheAreaCountAndNoneIsLost) {
  std::uniform_int_distribution<int> x(0, kWidth - 1);
  std::uniform_int_distribution<int> y(0, kHeight - 1);
  for (int i = 0; i < 500; ++i) {
    screen.pixels.at(x(random), y(random)) ^= 0x010101;
  }
  const FrameUpdate update = frame({screen.pixels.bounds()});
  EXPECT_LE(update.areas.size(), 64u);
  EXPECT_EQ(stale(), 0);
}

}  // namespace
