#pragma once

// Window procedures that paint stripes, for windows whose places the tests
// and the late drawing benchmark watch: no two neighbouring pixels of a
// stripe's edge alike, and the two kinds unlike each other.

#include <windows.h>

namespace lumo {
namespace test {

inline void paintStripes(HWND window, bool across, COLORREF one, COLORREF other) {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  for (int at = 0; at < (across ? client.bottom : client.right); at += 8) {
    SetDCBrushColor(dc, at / 8 % 2 ? one : other);
    const RECT stripe =
        across ? RECT{0, at, client.right, at + 8} : RECT{at, 0, at + 8, client.bottom};
    FillRect(dc, &stripe, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  }
  EndPaint(window, &paint);
}

// The window beneath: upright stripes.
inline LRESULT CALLBACK backgroundProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  paintStripes(window, false, RGB(200, 40, 40), RGB(240, 220, 60));
  return 0;
}

// The window that leaves: stripes across.
inline LRESULT CALLBACK leavingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  paintStripes(window, true, RGB(30, 60, 200), RGB(60, 200, 90));
  return 0;
}

}  // namespace test
}  // namespace lumo
