#include <gtest/gtest.h>

#include <cstdint>

#include "paintwatch/report.h"

using lumo::paintwatch::packReport;
using lumo::paintwatch::unpackReport;
using lumo::paintwatch::virtualFromClient;
using lumo::paintwatch::virtualFromScreen;
using lumo::region::Rect;

TEST(ReportPackingTest, FieldsSitInTheirSixteenBitHalves) {
  const auto params = packReport(Rect(0x1234, 0x5678, 0x1ABC, 0x2DEF));
  EXPECT_EQ(static_cast<uintptr_t>(params.wParam), uintptr_t{0x12345678u});
  EXPECT_EQ(static_cast<uintptr_t>(params.lParam), uintptr_t{0x1ABC2DEFu});
}

TEST(ReportPackingTest, NegativeCoordinatesTravelAsTwosComplementWithNothingAbove) {
  const auto params = packReport(Rect(-5, -1, -32768, 7));
  // Sign bits must not leak into bits 32 to 63 of the 64-bit parameters; the
  // 32-bit build's LPARAM is signed, so its bits are compared, not its value.
  EXPECT_EQ(static_cast<uintptr_t>(params.wParam), uintptr_t{0xFFFBFFFFu});
  EXPECT_EQ(static_cast<uintptr_t>(params.lParam), uintptr_t{0x80000007u});
  const Rect back = unpackReport(params.wParam, params.lParam);
  EXPECT_EQ(back, Rect(-5, -1, -32768, 7));
}

TEST(ReportPackingTest, CoordinatesBeyondSixteenBitsAreCutNotClamped) {
  const Rect back = unpackReport(packReport(Rect(70000, 0, 0x18000, 1)).wParam,
                                 packReport(Rect(70000, 0, 0x18000, 1)).lParam);
  EXPECT_EQ(back.left, 70000 - 65536);
  EXPECT_EQ(back.right, -32768);
}

TEST(VirtualScreenTest, ScreenRectangleIsMovedByTheOrigin) {
  EXPECT_EQ(virtualFromScreen(RECT{100, 50, 300, 250}, POINT{-1920, 0}), Rect(2020, 50, 2220, 250));
  EXPECT_EQ(virtualFromScreen(RECT{-10, -20, 30, 40}, POINT{0, -1080}), Rect(-10, 1060, 30, 1120));
}

TEST(VirtualScreenTest, ClientRectangleIsPlacedAtItsScreenCornerThenMoved) {
  EXPECT_EQ(virtualFromClient(RECT{0, 0, 200, 100}, POINT{108, 131}, POINT{-1920, 0}),
            Rect(2028, 131, 2228, 231));
}
