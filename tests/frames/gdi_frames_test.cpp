// The frame builder on the real screen: a window of ours moved and
// repainted, read through GDI, and the replica equal to a picture of the
// whole screen afterwards.

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "damage/platform_seam.h"
#include "frames/frame_builder.h"
#include "frames/gdi_screen_capture.h"
#include "seam_override.h"
#include "util/unique_handle.h"

using lumo::frames::FrameHints;
using lumo::frames::FrameUpdate;
using lumo::region::Rect;

namespace {

// Stripes in the colour the window's user data holds, so that a move keeps
// its pixels and a repaint changes them.
LRESULT CALLBACK stripesProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window, &paint);
  const auto colour = static_cast<COLORREF>(GetWindowLongPtrW(window, GWLP_USERDATA));
  RECT client;
  GetClientRect(window, &client);
  for (int y = 0; y < client.bottom; y += 6) {
    const RECT stripe = {0, y, client.right, y + 3};
    const lumo::UniqueBrush brush(CreateSolidBrush(colour + static_cast<COLORREF>(y)));
    FillRect(dc, &stripe, brush.get());
  }
  EndPaint(window, &paint);
  return 0;
}

void settle() {
  for (int i = 0; i < 5; ++i) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
    Sleep(40);
  }
}

Rect placeOf(HWND window, const Rect &virtualScreen) {
  RECT r;
  GetWindowRect(window, &r);
  return Rect(r.left - virtualScreen.left, r.top - virtualScreen.top, r.right - virtualScreen.left,
              r.bottom - virtualScreen.top);
}

TEST(GdiFramesTest, AMovedAndRepaintedWindowLeavesTheReplicaEqualToTheScreen) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = stripesProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"lumo-frames-test-stripes";
  RegisterClassW(&windowClass);
  const lumo::UniqueWindow window(
      CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 100,
                      100, 240, 160, nullptr, nullptr, windowClass.hInstance, nullptr));
  ASSERT_TRUE(window);
  SetWindowLongPtrW(window.get(), GWLP_USERDATA, RGB(200, 40, 0));
  settle();

  const Rect virtualScreen(
      GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
      GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
      GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN));
  lumo::frames::GdiScreenCapture screen;
  lumo::frames::FrameBuilder builder(&screen);
  ASSERT_TRUE(builder.build({virtualScreen, false, {}, {}}).whole);

  const Rect from = placeOf(window.get(), virtualScreen);
  SetWindowPos(window.get(), nullptr, 300, 220, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  settle();
  const Rect to = placeOf(window.get(), virtualScreen);
  const FrameUpdate moved = builder.build({virtualScreen, false, {from, to}, {{from, to}}});
  EXPECT_EQ(moved.counts.copied, 240u * 160);

  SetWindowLongPtrW(window.get(), GWLP_USERDATA, RGB(0, 90, 200));
  InvalidateRect(window.get(), nullptr, TRUE);
  settle();
  const FrameUpdate repainted = builder.build({virtualScreen, false, {to}, {}});
  EXPECT_GT(repainted.counts.sent, 0u);
  EXPECT_LE(repainted.counts.sent, 240u * 160);

  lumo::frames::PixelImage whole(virtualScreen.getWidth(), virtualScreen.getHeight());
  ASSERT_TRUE(screen.capture(virtualScreen, &whole, 0, 0));
  int differing = 0;
  for (int y = 0; y < whole.height(); ++y) {
    for (int x = 0; x < whole.width(); ++x) {
      differing += lumo::frames::coloursDiffer(whole.at(x, y), builder.replica().at(x, y));
    }
  }
  EXPECT_EQ(differing, 0);
}

// The capture reads in the per-monitor context and puts the thread's own
// back; where the system refuses that context it reads nothing, since a
// scaled picture would be sent as the screen. Played through the seam:
// Wine scales nothing.
std::vector<HANDLE> contexts;

HANDLE WINAPI recordContext(HANDLE context) {
  contexts.push_back(context);
  return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));
}

HANDLE WINAPI refuseContext(HANDLE) { return nullptr; }

TEST(GdiFramesTest, TheScreenIsReadInThePerMonitorContextOrNotAtAll) {
  const lumo::test::SeamOverride<lumo::damage::DamageSeam> seam(lumo::damage::damageSeam);
  lumo::frames::GdiScreenCapture screen;
  lumo::frames::PixelImage into(16, 16);
  const Rect corner(GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                    GetSystemMetrics(SM_XVIRTUALSCREEN) + 16,
                    GetSystemMetrics(SM_YVIRTUALSCREEN) + 16);
  lumo::damage::damageSeam.setThreadDpiAwarenessContext = recordContext;
  contexts.clear();
  EXPECT_TRUE(screen.capture(corner, &into, 0, 0));
  EXPECT_EQ(contexts, (std::vector<HANDLE>{reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)),
                                           reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1))}));
  lumo::damage::damageSeam.setThreadDpiAwarenessContext = refuseContext;
  EXPECT_FALSE(screen.capture(corner, &into, 0, 0));
}

}  // namespace
