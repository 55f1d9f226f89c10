// The desktop read for a server whose thread is not per-monitor aware, on a
// display the system scales. Wine gives every process the system DPI and
// scales nothing, so the scaling is played through the seam: a 150%
// display, which the system answers in logical units, two thirds of the
// screen's pixels, unless the thread is in a per-monitor context.

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "damage/platform_seam.h"
#include "damage/system_desktop.h"
#include "seam_override.h"

using lumo::damage::damageSeam;
using lumo::damage::ScreenRead;
using lumo::damage::SystemDesktop;
using lumo::region::Rect;

namespace {

HANDLE context(INT_PTR value) { return reinterpret_cast<HANDLE>(value); }
const HANDLE kUnaware = context(-1);
const HANDLE kPerMonitor = context(-3);

struct ScaledSystem {
  HANDLE threadContext = kUnaware;
  bool offersContexts = true;
  // Metrics read before one throws; negative: none throws.
  int readsBeforeFailure = -1;
};
ScaledSystem scaled;

HANDLE WINAPI fakeSetContext(HANDLE wanted) {
  if (!scaled.offersContexts) {
    return nullptr;
  }
  const HANDLE previous = scaled.threadContext;
  scaled.threadContext = wanted;
  return previous;
}

// A virtual screen of 3840x1080 pixels whose origin is 1920 left of the
// primary monitor.
int WINAPI fakeMetrics(int index) {
  if (scaled.readsBeforeFailure >= 0 && scaled.readsBeforeFailure-- == 0) {
    throw std::bad_alloc();
  }
  const int pixels = index == SM_XVIRTUALSCREEN    ? -1920
                     : index == SM_CXVIRTUALSCREEN ? 3840
                     : index == SM_CYVIRTUALSCREEN ? 1080
                                                   : 0;
  return scaled.threadContext == kPerMonitor ? pixels : pixels * 2 / 3;
}

class SystemDesktopDpiTest : public testing::Test {
protected:
  SystemDesktopDpiTest() {
    scaled = ScaledSystem();
    damageSeam.setThreadDpiAwarenessContext = &fakeSetContext;
    damageSeam.getSystemMetrics = &fakeMetrics;
  }

  const lumo::test::SeamOverride<lumo::damage::DamageSeam> seam_{damageSeam};
};

TEST_F(SystemDesktopDpiTest, AnUnawareThreadGetsPixelsAndKeepsItsContext) {
  SystemDesktop desktop;
  EXPECT_EQ(desktop.snapshot(ScreenRead::Now).virtualScreen, Rect(-1920, 0, 1920, 1080));
  EXPECT_EQ(scaled.threadContext, kUnaware);
  for (int reads = 0; reads < 4; ++reads) {
    scaled.readsBeforeFailure = reads;
    EXPECT_THROW(desktop.snapshot(ScreenRead::Now), std::bad_alloc);
    EXPECT_EQ(scaled.threadContext, kUnaware) << reads;
  }
}

TEST_F(SystemDesktopDpiTest, ASystemWithoutPerMonitorContextsIsRefusedSayingWhy) {
  scaled.offersContexts = false;
  try {
    SystemDesktop desktop;
    ADD_FAILURE() << "made";
  } catch (const std::runtime_error &refused) {
    EXPECT_NE(std::string(refused.what()).find("per-monitor DPI"), std::string::npos);
  }
}

}  // namespace
