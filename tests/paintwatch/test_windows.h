#pragma once

// Windows for the hook tests: hidden "quiet" windows whose procedure answers every message itself,
// so that a message sent to them causes no further messages, and so no
// further reports.

#include <windows.h>

#include <ostream>
#include <vector>

#include "region/rect.h"
#include "test_support.h"

namespace lumo {
namespace region {
inline void PrintTo(const Rect &rect, std::ostream *out) {
  *out << "(" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << ")";
}
}  // namespace region

namespace test {

// Hidden; the quiet procedure takes over once creation has finished.
UniqueWindow createQuietWindow(DWORD style, int x, int y, int width, int height,
                               HWND parent = nullptr, int controlId = 0);

// What the hooks should report, worked out here without the region code.
region::Rect expectedClientRect(HWND window);
region::Rect expectedWindowRect(HWND window);
std::vector<region::Rect> expectedNonClientRects(HWND window);

// Removes every report waiting in the target's queue, in order.
std::vector<region::Rect> takeReports(HWND target, UINT message);

// Other processes on the desktop report too; keep only rectangles that lie
// inside one of the given windows.
std::vector<region::Rect> reportsInside(const std::vector<region::Rect> &reports,
                                        const std::vector<HWND> &windows);

}  // namespace test
}  // namespace lumo
