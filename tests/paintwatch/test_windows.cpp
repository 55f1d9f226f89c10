#include "test_windows.h"

#include "paintwatch/report.h"

namespace lumo {
namespace test {

namespace {

const wchar_t kQuietClass[] = L"LumoQuietTestWindow";
const wchar_t kQuietProperty[] = L"LumoQuiet";

LRESULT CALLBACK quietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (GetPropW(window, kQuietProperty) != nullptr && message != WM_NCDESTROY) {
    return 0;
  }
  if (message == WM_NCDESTROY) {
    RemovePropW(window, kQuietProperty);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void registerQuietClass() {
  static const ATOM atom = [] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = quietProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kQuietClass;
    return RegisterClassW(&windowClass);
  }();
  (void)atom;
}

POINT virtualOrigin() {
  return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)};
}

bool inside(const region::Rect &inner, const region::Rect &outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

}  // namespace

UniqueWindow createQuietWindow(DWORD style, int x, int y, int width, int height, HWND parent,
                               int controlId) {
  registerQuietClass();
  HWND window = CreateWindowExW(0, kQuietClass, L"quiet", style, x, y, width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                GetModuleHandleW(nullptr), nullptr);
  if (window != nullptr) {
    SetPropW(window, kQuietProperty, reinterpret_cast<HANDLE>(1));
  }
  return UniqueWindow(window);
}

region::Rect expectedClientRect(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  POINT corner = {0, 0};
  ClientToScreen(window, &corner);
  const POINT origin = virtualOrigin();
  return region::Rect(client.left + corner.x - origin.x, client.top + corner.y - origin.y,
                      client.right + corner.x - origin.x, client.bottom + corner.y - origin.y);
}

region::Rect expectedWindowRect(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  const POINT origin = virtualOrigin();
  return region::Rect(rect.left - origin.x, rect.top - origin.y, rect.right - origin.x,
                      rect.bottom - origin.y);
}

std::vector<region::Rect> expectedNonClientRects(HWND window) {
  const region::Rect w = expectedWindowRect(window);
  const region::Rect c = expectedClientRect(window);
  if (c.isEmpty()) {
    return {w};
  }
  std::vector<region::Rect> bands = {
      region::Rect(w.left, w.top, w.right, c.top),
      region::Rect(w.left, c.top, c.left, c.bottom),
      region::Rect(c.right, c.top, w.right, c.bottom),
      region::Rect(w.left, c.bottom, w.right, w.bottom),
  };
  std::vector<region::Rect> rects;
  for (const region::Rect &band : bands) {
    if (!band.isEmpty()) {
      rects.push_back(band);
    }
  }
  return rects;
}

std::vector<region::Rect> takeReports(HWND target, UINT message) {
  std::vector<region::Rect> reports;
  MSG msg;
  while (PeekMessageW(&msg, target, message, message, PM_REMOVE)) {
    reports.push_back(paintwatch::unpackReport(msg.wParam, msg.lParam));
  }
  return reports;
}

std::vector<region::Rect> reportsInside(const std::vector<region::Rect> &reports,
                                        const std::vector<HWND> &windows) {
  std::vector<region::Rect> kept;
  for (const region::Rect &report : reports) {
    for (HWND window : windows) {
      if (inside(report, expectedWindowRect(window))) {
        kept.push_back(report);
        break;
      }
    }
  }
  return kept;
}

}  // namespace test
}  // namespace lumo
