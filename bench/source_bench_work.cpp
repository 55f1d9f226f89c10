// The scripted work of the source benchmark, each in a process of its own:
// a marker painted at recorded times, a window typed into, and a flood of
// paints.

#include <cstdio>
#include <random>

#include "source_bench_modes.h"

namespace lumo {
namespace bench {

namespace {

// A window that paints itself in the colour its user data holds.
LRESULT CALLBACK paintedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    return 1;
  }
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    SetDCBrushColor(dc, static_cast<COLORREF>(GetWindowLongPtrW(window, GWLP_USERDATA)));
    FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Shown without activation; the process's end takes it.
HWND paintedWindow(const RECT &place) {
  WNDCLASSW type = {};
  type.lpfnWndProc = &paintedProc;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"LumoSourceBenchPainted";
  RegisterClassW(&type);
  const HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, type.lpszClassName, L"",
                                      WS_POPUP, place.left, place.top, place.right - place.left,
                                      place.bottom - place.top, nullptr, nullptr, nullptr, nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);
  return window;
}

void repaint(HWND window, COLORREF colour) {
  SetWindowLongPtrW(window, GWLP_USERDATA, static_cast<LONG_PTR>(colour));
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

void pumpFor(double seconds) {
  const double end = nowSeconds() + seconds;
  MSG msg;
  for (double left = seconds; left > 0; left = end - nowSeconds()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left * 1000) + 1, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

int markers(SharedBlock *shared, AfterPaint after) {
  const RECT place = {600, 40, 648, 88};
  const HWND window = paintedWindow(place);
  shared->markerPlace = place;
  InterlockedIncrement(&shared->workReady);
  waitForPhase(*shared, working);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> gap(0.12, 0.22);
  for (LONG i = 1; i <= kMarkersPerRun && phaseOf(*shared) == working; ++i) {
    pumpFor(gap(random));
    const int r = (i * 53) & 0xFF;
    const int g = (i * 101 + 64) & 0xFF;
    const int b = 0x80 | (i & 0x7F);
    shared->markerPixel = (r << 16) | (g << 8) | b;
    shared->markerPaintedAt = nowSeconds();
    InterlockedExchange(&shared->markerNumber, i);
    repaint(window, RGB(r, g, b));
    for (const double end = nowSeconds() + 0.05; after == AfterPaint::spin && nowSeconds() < end;) {
    }
  }
  pumpFor(0.4);
  return 0;
}

// A person typing into an editor in front: some characters a second, a new
// line now and then.
int typing(SharedBlock *shared) {
  const HWND editor =
      CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE,
                      100, 120, 600, 400, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(editor);
  SetFocus(editor);
  InterlockedIncrement(&shared->workReady);
  waitForPhase(*shared, working);
  const char text[] = "the quick brown fox jumps over the lazy dog ";
  for (int typed = 0; phaseOf(*shared) == working; ++typed) {
    const wchar_t key = typed % 60 == 59 ? L'\r' : static_cast<wchar_t>(text[typed % 44]);
    PostMessageW(editor, WM_CHAR, key, 1);
    pumpFor(1.0 / 6);
  }
  return 0;
}

// Two windows of this process, repainted in turn as fast as they can be.
int flood(SharedBlock *shared, int index) {
  HWND windows[2];
  for (int k = 0; k < 2; ++k) {
    const int slot = index * 2 + k;
    const RECT place = {40 + slot % 4 * 300, 560 + slot / 4 * 200, 300 + slot % 4 * 300,
                        720 + slot / 4 * 200};
    windows[k] = paintedWindow(place);
  }
  InterlockedIncrement(&shared->workReady);
  waitForPhase(*shared, working);
  COLORREF colour = static_cast<COLORREF>(index * 0x203040);
  MSG msg;
  while (phaseOf(*shared) == working) {
    for (const HWND window : windows) {
      colour = (colour + 0x010307) & 0xFFFFFF;
      repaint(window, colour);
    }
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    }
  }
  waitForPhase(*shared, finished);
  return 0;
}

}  // namespace

int runWork(const std::wstring &what, SharedBlock *shared, int argument) {
  if (what == L"marker") {
    return markers(shared, argument != 0 ? AfterPaint::spin : AfterPaint::wait);
  }
  if (what == L"typing") {
    return typing(shared);
  }
  if (what == L"flood") {
    return flood(shared, argument);
  }
  std::fprintf(stderr, "source_bench: no work named %ls\n", what.c_str());
  return 2;
}

}  // namespace bench
}  // namespace lumo
