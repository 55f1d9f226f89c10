#pragma once

// Windows for the hook tests: a message-only target that receives reports,
// and hidden "quiet" windows whose procedure answers every message itself,
// so that a message sent to them causes no further messages, and so no
// further reports.

#include <windows.h>

#include <memory>
#include <string>
#include <ostream>
#include <type_traits>
#include <vector>

#include "region/rect.h"

namespace lumo {
namespace region {
inline void PrintTo(const Rect &rect, std::ostream *out) {
  *out << "(" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << ")";
}
}  // namespace region

namespace test {

struct WindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

UniqueWindow createTargetWindow();

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

// Runs a program to its end and gives its exit code; ~0u if it cannot start.
DWORD runProcess(const std::wstring &program, std::wstring commandLine);

}  // namespace test
}  // namespace lumo
