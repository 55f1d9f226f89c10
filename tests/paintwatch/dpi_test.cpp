// Reports from a host whose coordinates the system scales for DPI. Wine
// gives every process the system DPI and scales nothing, so the scaling is
// played through the seam: a DPI-unaware host on a 150% display, which the
// system answers in logical coordinates, two thirds of the screen's pixels,
// unless the thread is in a per-monitor context. The hook library's source
// is compiled into this test, and its hook procedures are called directly.

#include <gtest/gtest.h>

#include <map>

#include "paintwatch/paintwatch.h"
#include "paintwatch/platform_seam.h"
#include "seam_override.h"
#include "test_windows.h"

using lumo::paintwatch::hookSeam;
using lumo::region::Rect;

namespace {

HANDLE context(INT_PTR value) { return reinterpret_cast<HANDLE>(value); }
const HANDLE kUnaware = context(-1);
const HANDLE kPerMonitor = context(-3);

struct ScaledDesktop {
  HANDLE threadContext = kUnaware;
  bool offersContexts = true;
  int contextCalls = 0;
  int geometryReads = 0;
  std::map<int, HOOKPROC> procedures;
};
ScaledDesktop desktop;

int scaled(int pixels) {
  ++desktop.geometryReads;
  return desktop.threadContext == kPerMonitor ? pixels : pixels * 2 / 3;
}

// The painted window in the screen's pixels, on a virtual screen that
// starts 1920 pixels left of the primary monitor.
const RECT kWindow = {300, 150, 900, 600};
const POINT kClientOnScreen = {308, 180};
const SIZE kClientSize = {584, 412};
const POINT kOrigin = {-1920, 0};

HANDLE WINAPI fakeSetContext(HANDLE wanted) {
  ++desktop.contextCalls;
  if (!desktop.offersContexts) {
    return nullptr;
  }
  const HANDLE previous = desktop.threadContext;
  desktop.threadContext = wanted;
  return previous;
}
int WINAPI fakeMetrics(int index) {
  if (index == SM_XVIRTUALSCREEN) {
    return scaled(kOrigin.x);
  }
  return index == SM_YVIRTUALSCREEN ? scaled(kOrigin.y) : GetSystemMetrics(index);
}
BOOL WINAPI fakeWindowRect(HWND, LPRECT rect) {
  *rect = {scaled(kWindow.left), scaled(kWindow.top), scaled(kWindow.right),
           scaled(kWindow.bottom)};
  return TRUE;
}
BOOL WINAPI fakeClientRect(HWND, LPRECT rect) {
  *rect = {0, 0, scaled(kClientSize.cx), scaled(kClientSize.cy)};
  return TRUE;
}
BOOL WINAPI fakeClientToScreen(HWND, LPPOINT point) {
  point->x += scaled(kClientOnScreen.x);
  point->y += scaled(kClientOnScreen.y);
  return TRUE;
}
HHOOK WINAPI fakeSetHook(int type, HOOKPROC procedure, HINSTANCE, DWORD) {
  desktop.procedures[type] = procedure;
  return reinterpret_cast<HHOOK>(static_cast<INT_PTR>(0x100 + type));
}
BOOL WINAPI fakeUnhook(HHOOK) { return TRUE; }

// The client rectangle the reports should carry, as a thread in the given
// context reads it.
Rect clientRectIn(HANDLE threadContext) {
  const ScaledDesktop saved = desktop;
  desktop.threadContext = threadContext;
  const int x = scaled(kClientOnScreen.x) - scaled(kOrigin.x);
  const int y = scaled(kClientOnScreen.y) - scaled(kOrigin.y);
  const Rect rect(x, y, x + scaled(kClientSize.cx), y + scaled(kClientSize.cy));
  desktop = saved;
  return rect;
}

class DpiTest : public ::testing::Test {
protected:
  void SetUp() override {
    desktop = ScaledDesktop();
    hookSeam.setWindowsHookEx = fakeSetHook;
    hookSeam.unhookWindowsHookEx = fakeUnhook;
    hookSeam.setThreadDpiAwarenessContext = fakeSetContext;
    hookSeam.getSystemMetrics = fakeMetrics;
    hookSeam.getWindowRect = fakeWindowRect;
    hookSeam.getClientRect = fakeClientRect;
    hookSeam.clientToScreen = fakeClientToScreen;
    ASSERT_TRUE(setHookWithMessage(target_.get(), kMessage));
  }
  void TearDown() override { EXPECT_TRUE(unsetHookForWindow(target_.get(), kMessage)); }

  // As the system calls the hook after a window procedure returned.
  std::vector<Rect> reportsOf(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    CWPRETSTRUCT call = {0, lParam, wParam, message, painted_.get()};
    desktop.procedures[WH_CALLWNDPROCRET](HC_ACTION, 0, reinterpret_cast<LPARAM>(&call));
    return lumo::test::takeReports(target_.get(), kMessage);
  }

  static constexpr UINT kMessage = 0xC321;
  const lumo::test::SeamOverride<lumo::paintwatch::HookSeam> seam_{hookSeam};
  lumo::test::UniqueWindow target_ = lumo::test::createTargetWindow();
  lumo::test::UniqueWindow painted_ =
      lumo::test::createQuietWindow(WS_OVERLAPPEDWINDOW, 0, 0, 9, 9);
};

TEST_F(DpiTest, GeometryIsReadInThePerMonitorContextAndTheHostsContextComesBack) {
  EXPECT_EQ(reportsOf(WM_PAINT), std::vector<Rect>{clientRectIn(kPerMonitor)});
  EXPECT_EQ(desktop.threadContext, kUnaware);

  // The frame: four bands whose outer edges are the window's, in pixels.
  const std::vector<Rect> frame = reportsOf(WM_NCPAINT, 1);
  ASSERT_EQ(frame.size(), 4u);
  const Rect window(kWindow.left - kOrigin.x, kWindow.top - kOrigin.y, kWindow.right - kOrigin.x,
                    kWindow.bottom - kOrigin.y);
  EXPECT_EQ(Rect(frame.front().left, frame.front().top, frame.back().right, frame.back().bottom),
            window);
  EXPECT_EQ(desktop.threadContext, kUnaware);
}

TEST_F(DpiTest, WhereTheSystemRefusesTheContextReportsAreReadAsTheyCome) {
  desktop.offersContexts = false;
  EXPECT_EQ(reportsOf(WM_PAINT), std::vector<Rect>{clientRectIn(kUnaware)});
  EXPECT_EQ(desktop.contextCalls, 1);
  EXPECT_EQ(desktop.threadContext, kUnaware);
}

TEST_F(DpiTest, MessagesThatReportNothingCallNothing) {
  EXPECT_TRUE(reportsOf(WM_USER + 5).empty());
  EXPECT_TRUE(reportsOf(WM_DRAWITEM, 0, 0).empty());
  EXPECT_EQ(desktop.contextCalls, 0);
  EXPECT_EQ(desktop.geometryReads, 0);
}

}  // namespace
