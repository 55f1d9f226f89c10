// What the monitor tests put on the screen, in a process of its own.
//   screen_peer unseen X Y WIDTH HEIGHT SECONDS
//     a window that changes its pixels through GetDC on a timer, without a
//     painting message: changes no hook reports.
//   screen_peer repaint X Y WIDTH HEIGHT SECONDS
//     a window sent WM_PAINT again and again that draws the same each time:
//     reports in which nothing changes.
//   screen_peer move X Y WIDTH HEIGHT SECONDS
//     a painted window moved to and fro with SetWindowPos, never resized,
//     drifting right: the system moves its pixels without a painting
//     message.
//   screen_peer close|minimise X Y WIDTH HEIGHT SECONDS
//     a window over a striped one of its own that covers it with a margin,
//     closed or minimised after a second: the system draws what it left
//     late.
//   screen_peer close-behind X Y WIDTH HEIGHT SECONDS
//     a window over the desktop that, after a small window of its own
//     elsewhere took the activation, is closed after a second: the desktop
//     is drawn there late, and no message comes with it.
//   screen_peer load CHILDREN SECONDS
//     a hidden window "Lumo load" whose children are sent WM_PAINT as fast
//     as this thread can; prints how many it sent.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "tests/support/striped_windows.h"
#include "util/unique_handle.h"

namespace {

const UINT_PTR kStepTimer = 1;

LRESULT CALLBACK repaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Once shown, answers every message itself, so that sending it WM_PAINT
// causes nothing but that message's report.
LRESULT CALLBACK quietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE || message == WM_NCCALCSIZE || message == WM_CREATE) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return 0;
}

// Each window has a device context of its own, which drawing outside the
// painting messages takes and never gives back.
HWND makeWindow(const wchar_t *className, WNDPROC procedure, const wchar_t *title, DWORD style,
                int x, int y, int width, int height, HWND parent) {
  WNDCLASSW windowClass = {};
  windowClass.style = CS_OWNDC;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, className, title, style, x, y, width, height, parent, nullptr,
                         windowClass.hInstance, nullptr);
}

void pump(DWORD milliseconds, void (*step)(HWND), HWND window) {
  SetTimer(window, kStepTimer, 100, nullptr);
  const ULONGLONG end = GetTickCount64() + milliseconds;
  MSG msg;
  while (GetTickCount64() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_TIMER && msg.hwnd == window) {
        step(window);
      } else {
        DispatchMessageW(&msg);
      }
    }
  }
}

int step = 0;

// A new grey at each step: captures spaced by a multiple of two steps, as a
// loaded machine's may be, would see two alternating colours as one.
void drawUnseen(HWND window) {
  const HDC dc = GetDC(window);
  RECT client;
  GetClientRect(window, &client);
  const int grey = 40 + ++step * 37 % 200;
  SetDCBrushColor(dc, RGB(grey, grey, grey));
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void repaint(HWND window) {
  for (int i = 0; i < 5; ++i) {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
  }
}

// Alternately 60 pixels right of its first place and back, a pixel further
// right at each step: captures spaced by a multiple of two steps would
// otherwise see it at one place only.
void move(HWND window) {
  RECT place;
  GetWindowRect(window, &place);
  SetWindowPos(window, nullptr, place.left + (++step % 2 ? 61 : -59), place.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// How the window over the background leaves its place.
struct Leaving {
  const wchar_t *mode;
  void (*leave)(lumo::UniqueWindow *window);
};

const Leaving kLeavings[] = {
    {L"close", [](lumo::UniqueWindow *window) { window->reset(); }},
    {L"minimise", [](lumo::UniqueWindow *window) { ShowWindow(window->get(), SW_MINIMIZE); }},
};

void pumpUntil(ULONGLONG end) {
  MSG msg;
  while (GetTickCount64() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    }
  }
}

int leave(const Leaving &leaving, int x, int y, int width, int height, DWORD milliseconds) {
  const ULONGLONG start = GetTickCount64();
  const int margin = 40;
  const lumo::UniqueWindow background(makeWindow(
      L"LumoBackground", lumo::test::backgroundProc, L"Lumo background", WS_POPUP | WS_VISIBLE,
      x - margin, y - margin, width + 2 * margin, height + 2 * margin, nullptr));
  lumo::UniqueWindow window(makeWindow(L"LumoLeaving", lumo::test::leavingProc,
                                       L"Lumo leaving window", WS_POPUP | WS_VISIBLE, x, y, width,
                                       height, nullptr));
  pumpUntil(start + 1000);
  leaving.leave(&window);
  pumpUntil(start + milliseconds);
  return 0;
}

int closeBehind(int x, int y, int width, int height, DWORD milliseconds) {
  const ULONGLONG start = GetTickCount64();
  lumo::UniqueWindow window(makeWindow(L"LumoLeaving", lumo::test::leavingProc,
                                       L"Lumo leaving window", WS_POPUP | WS_VISIBLE, x, y, width,
                                       height, nullptr));
  pumpUntil(start + 300);
  const lumo::UniqueWindow active(makeWindow(L"LumoActive", repaintProc, L"Lumo active window",
                                             WS_POPUP | WS_VISIBLE, x + width + 40, y, 40, 40,
                                             nullptr));
  pumpUntil(start + 1000);
  window.reset();
  pumpUntil(start + milliseconds);
  return 0;
}

int load(int children, DWORD milliseconds) {
  const lumo::UniqueWindow parent(
      makeWindow(L"LumoLoadParent", quietProc, L"Lumo load", WS_POPUP, 40, 500, 400, 300, nullptr));
  std::vector<lumo::UniqueWindow> windows;
  for (int i = 0; i < children; ++i) {
    windows.emplace_back(makeWindow(L"LumoLoadChild", quietProc, L"", WS_CHILD, (i % 10) * 40,
                                    (i / 10) * 30, 37, 27, parent.get()));
  }
  unsigned long sent = 0;
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (GetTickCount64() < end) {
    for (const lumo::UniqueWindow &child : windows) {
      SendMessageW(child.get(), WM_PAINT, 0, 0);
      ++sent;
    }
  }
  std::printf("%lu\n", sent);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"load") == 0) {
    return load(_wtoi(argv[2]), static_cast<DWORD>(_wtof(argv[3]) * 1000));
  }
  if (argc != 7) {
    return 2;
  }
  if (std::wcscmp(argv[1], L"close-behind") == 0) {
    return closeBehind(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]),
                       static_cast<DWORD>(_wtof(argv[6]) * 1000));
  }
  for (const Leaving &leaving : kLeavings) {
    if (std::wcscmp(argv[1], leaving.mode) == 0) {
      return leave(leaving, _wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]),
                   static_cast<DWORD>(_wtof(argv[6]) * 1000));
    }
  }
  const bool unseen = std::wcscmp(argv[1], L"unseen") == 0;
  const bool moving = std::wcscmp(argv[1], L"move") == 0;
  const lumo::UniqueWindow window(makeWindow(unseen ? L"LumoUnseen" : L"LumoRepaint",
                                             unseen ? DefWindowProcW : repaintProc,
                                             unseen   ? L"Lumo unseen"
                                             : moving ? L"Lumo moved window"
                                                      : L"Lumo repaint",
                                             WS_POPUP | WS_VISIBLE, _wtoi(argv[2]), _wtoi(argv[3]),
                                             _wtoi(argv[4]), _wtoi(argv[5]), nullptr));
  UpdateWindow(window.get());
  pump(static_cast<DWORD>(_wtof(argv[6]) * 1000),
       unseen   ? drawUnseen
       : moving ? move
                : repaint,
       window.get());
  return 0;
}
