// The replica check driven by a screen in memory, which the frame builder
// reads and whose pixels are the captures the replica is checked against:
// it must count what the builder was never told of, blinks too, and say
// when it compared nothing.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/frames/screen_fakes.h"
#include "tools/monitor/replica_check.h"

using lumo::region::Rect;

namespace {

struct Figures {
  unsigned long long differing = ~0ull;
  unsigned long long stale = ~0ull;
};

// The replica line's two figures, read strictly: a line not in the agreed
// form fails.
Figures figuresOf(const std::wstring &summary) {
  Figures f;
  const std::size_t at = summary.find(L"\nreplica: ");
  if (at == std::wstring::npos ||
      std::swscanf(summary.c_str() + at,
                   L"\nreplica: %llu pixels differ from the screen at the end; at most %llu "
                   L"pixels stale for more than two captures\n",
                   &f.differing, &f.stale) != 2) {
    ADD_FAILURE() << "no replica figures in: " << std::string(summary.begin(), summary.end());
  }
  return f;
}

// The check of a replica kept from what the builder makes of a screen in
// memory, whose top left 64x48 pixels are captured; the rest is there for
// the builder after a display change.
struct CheckedScreen {
  // A frame of the tracker naming `damage` and the layout, then a capture.
  void frameAndCapture(std::vector<Rect> damage = {}, const Rect &layout = kCaptured) {
    lumo::damage::Frame tracked;
    tracked.damage = std::move(damage);
    now += std::chrono::milliseconds(40);
    check.frame(layout, builder.build({layout, false, tracked.damage, {}}, now));
    lumo::frames::PixelImage captured(kCaptured.getWidth(), kCaptured.getHeight());
    lumo::frames::copyPixels(screen.pixels, captured.bounds(), &captured, 0, 0);
    check.addCapture(captured.row(0));
  }

  static inline const Rect kCaptured{-16, 0, 48, 48};
  lumo::test::MemoryScreen screen{-16, 0, 96, 64};
  lumo::frames::FrameBuilder builder{&screen};
  lumo::tools::ReplicaCheck check{kCaptured};
  lumo::frames::Clock::time_point now;
};

TEST(ReplicaCheckTest, WhatTheBuilderWasNeverToldOfIsCountedBlinksToo) {
  const Rect square(8, 8, 12, 12);
  struct Case {
    const char *what;
    // The square's colour at each capture; 0 is the replica's.
    std::vector<std::uint32_t> colours;
    bool hinted;
    unsigned long long differing;
    unsigned long long stale;
  };
  const Case cases[] = {
      {"hinted", {0xFF, 0xFF, 0xFF, 0xFF}, true, 0, 0},
      {"never hinted", {0xFF, 0xFF, 0xFF, 0xFF}, false, 16, 16},
      {"never hinted, seen at the last capture only", {0, 0, 0, 0xFF}, false, 0, 0},
      {"blinking, ending on", {0xFF, 0, 0xFF, 0, 0xFF}, false, 16, 16},
      {"blinking, ending off", {0xFF, 0, 0xFF, 0, 0xFF, 0}, false, 0, 16},
      {"wrong at two captures of eight", {0xFF, 0, 0, 0, 0, 0, 0xFF, 0}, false, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    CheckedScreen checked;
    checked.frameAndCapture();
    for (std::uint32_t colour : c.colours) {
      checked.screen.fill(square, colour);
      checked.frameAndCapture(c.hinted ? std::vector<Rect>{square} : std::vector<Rect>{});
    }
    const Figures f = figuresOf(checked.check.summary(0));
    EXPECT_EQ(f.differing, c.differing);
    EXPECT_EQ(f.stale, c.stale);
  }
}

// The map's sent tint is of the frames the frames line counts: not the
// client's first picture, but a whole frame after a display change.
TEST(ReplicaCheckTest, WhatWasSentIsMarkedWhereItWasSentAfterTheFirstPicture) {
  const Rect square(8, 8, 12, 12);
  struct Case {
    const char *what;
    bool changed;
    Rect layout;
    int marked;
    int markedInSquare;
  };
  const Case cases[] = {
      {"the first picture alone", false, CheckedScreen::kCaptured, 0, 0},
      {"a hinted change", true, CheckedScreen::kCaptured, 16, 16},
      {"a whole frame after a display change", false, Rect(0, 0, 64, 48), 64 * 48, 16},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    CheckedScreen checked;
    checked.frameAndCapture();
    if (c.changed) {
      checked.screen.fill(square, 0xFF);
    }
    checked.frameAndCapture(c.changed ? std::vector<Rect>{square} : std::vector<Rect>{}, c.layout);
    const std::vector<std::uint8_t> &sent = checked.check.sent();
    int marked = 0;
    int inSquare = 0;
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        const bool on = sent[static_cast<size_t>(y) * 64 + x] != 0;
        marked += on;
        inSquare +=
            on && x >= square.left && x < square.right && y >= square.top && y < square.bottom;
      }
    }
    EXPECT_EQ(marked, c.marked);
    EXPECT_EQ(inSquare, c.markedInSquare);
    EXPECT_EQ(checked.check.counts().sent, static_cast<std::uint64_t>(c.marked));
  }
}

TEST(ReplicaCheckTest, CapturesOfAnotherVirtualScreenThanTheReplicasAreNotChecked) {
  struct Case {
    const char *what;
    Rect layout;
    bool checked;
  };
  const Case cases[] = {
      {"the same", CheckedScreen::kCaptured, true},
      {"moved", Rect(0, 0, 64, 48), false},
      {"resized", Rect(-16, 0, 32, 48), false},
      {"back", CheckedScreen::kCaptured, true},
  };
  CheckedScreen checked;
  for (const Case &c : cases) {
    checked.frameAndCapture({}, c.layout);
    const std::wstring summary = checked.check.summary(0);
    EXPECT_EQ(summary.find(L"replica: not checked") == std::wstring::npos, c.checked) << c.what;
  }
}

}  // namespace
