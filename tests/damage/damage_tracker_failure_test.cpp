// The tracker when memory runs out: the C runtime's allocator, which pixman
// and operator new share, is wrapped at link time (--wrap=malloc) so that
// a test can make it refuse.

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <vector>

#include "damage/damage_tracker.h"
#include "paintwatch/report.h"

extern "C" void *__real_malloc(std::size_t size);
extern "C" void *__real_realloc(void *block, std::size_t size);

namespace {

// Allocations granted before the allocator refuses one; negative: refuses
// none. One only: the C++ runtime's emergency store for exceptions locks a
// mutex that takes its memory from malloc when first used.
long grantsLeft = -1;

bool refused() { return grantsLeft >= 0 && grantsLeft-- == 0; }

}  // namespace

extern "C" void *__wrap_malloc(std::size_t size) {
  return refused() ? nullptr : __real_malloc(size);
}

extern "C" void *__wrap_realloc(void *block, std::size_t size) {
  return refused() ? nullptr : __real_realloc(block, size);
}

using lumo::damage::DamageTracker;
using lumo::damage::DesktopSnapshot;
using lumo::damage::DesktopSource;
using lumo::damage::Frame;
using lumo::damage::ScreenRead;
using lumo::region::Rect;

namespace {

// A desktop whose windows all move by one step at every tick, so that every
// frame has additions of many rectangles.
class MovingDesktop : public DesktopSource {
public:
  DesktopSnapshot snapshot(ScreenRead) override {
    DesktopSnapshot now{Rect(0, 0, 1000, 800), {}, Rect(500, 40, 501, 56), {}, {}, {}};
    for (int i = 0; i < 12; ++i) {
      const int x = 60 * i + step;
      now.windows.push_back(
          {static_cast<std::uintptr_t>(i + 1), Rect(x, 20 * i, x + 40, 20 * i + 15)});
    }
    step = 1 - step;
    return now;
  }

  int step = 0;
};

const Rect wholeScreen(0, 0, 1000, 800);

// Refuses the allocation after `grant` more while it lives.
class Refusal {
public:
  explicit Refusal(long grant) {
    // A thread's first exception takes the thread's exception state from
    // malloc (emulated thread-local storage), and aborts where it cannot:
    // taken before the allocator refuses.
    try {
      throw std::bad_alloc();
    } catch (const std::bad_alloc &) {
    }
    grantsLeft = grant;
  }
  Refusal(const Refusal &) = delete;
  Refusal &operator=(const Refusal &) = delete;
  ~Refusal() { grantsLeft = -1; }
};

bool isWhole(const Frame &frame) {
  return frame.damage == std::vector<Rect>{wholeScreen} &&
         frame.added == std::vector<Rect>{wholeScreen};
}

// Every allocation of a tick refused in turn, the region's and the vectors'
// alike: the tick returns, and each frame is either what it would have been
// or the whole screen, until the tracker is right again.
TEST(DamageTrackerFailureTest, AnyRefusedAllocationInATickMakesTheFrameTheWholeScreen) {
  MovingDesktop desktop;
  DamageTracker tracker(&desktop);
  tracker.tick();
  tracker.takeFrame();
  tracker.tick();
  const Frame expected = tracker.takeFrame();
  ASSERT_GT(expected.added.size(), 12u);
  int whole = 0;
  for (long grant = 0; grant < 400; ++grant) {
    {
      const Refusal refusal(grant);
      tracker.tick();
    }
    for (int after = 0; after < 3; ++after) {
      const Frame frame = tracker.takeFrame();
      whole += isWhole(frame) ? 1 : 0;
      if (after < 2) {
        EXPECT_TRUE(isWhole(frame) || frame.added == expected.added) << grant << " " << after;
      } else {
        EXPECT_EQ(frame.added, expected.added) << grant;
      }
      tracker.tick();
    }
    tracker.takeFrame();
  }
  // The last grants reach past the tick's allocations.
  EXPECT_GT(whole, 10);
  EXPECT_LT(whole, 400);
}

TEST(DamageTrackerFailureTest, AReportTheRegionCannotHoldMakesTheFrameTheWholeScreen) {
  MovingDesktop desktop;
  DamageTracker tracker(&desktop);
  tracker.tick();
  tracker.takeFrame();
  {
    const Refusal refusal(0);
    // Two apart need the region's own allocation.
    for (const Rect &r : {Rect(0, 0, 10, 10), Rect(50, 50, 60, 60)}) {
      const auto packed = lumo::paintwatch::packReport(r);
      tracker.addReport(packed.wParam, packed.lParam);
    }
  }
  EXPECT_TRUE(isWhole(tracker.takeFrame()));
  EXPECT_FALSE(isWhole(tracker.takeFrame()));
}

}  // namespace
