// What the screen source's tests run in a process of their own.
//   source_peer consume EVENT
//     a server: starts a screen source, takes its first frame, sets the
//     inherited event and asks for frames until it is killed.
//   source_peer hung EVENT
//     a program that stops pumping while it is in front: shows a window,
//     lets it be drawn, sets the event and sleeps for good.
//   source_peer paint EVENT
//     a window at (200, 150), 320x240, painted in four colours one after
//     another, 60 ms apart; then sets the event and pumps until killed.

#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "source/screen_source.h"
#include "util/unique_handle.h"

namespace {

int consume(HANDLE ready) {
  lumo::source::ScreenSource source{lumo::source::ScreenSourceSettings()};
  lumo::source::SourceFrame frame;
  if (source.next(std::chrono::seconds(10), &frame) != lumo::source::NextResult::frame) {
    return 1;
  }
  SetEvent(ready);
  for (;;) {
    source.next(std::chrono::seconds(1), &frame);
  }
}

void pump(ULONGLONG milliseconds) {
  const ULONGLONG until = GetTickCount64() + milliseconds;
  MSG msg;
  while (GetTickCount64() < until) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    }
    Sleep(5);
  }
}

int hang(HANDLE ready) {
  const lumo::UniqueWindow window(CreateWindowExW(
      WS_EX_TOPMOST, L"STATIC", L"Lumo hung window", WS_POPUP | WS_VISIBLE | WS_BORDER, 100, 100,
      400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
  SetForegroundWindow(window.get());
  pump(300);
  SetEvent(ready);
  Sleep(INFINITE);
  return 0;
}

COLORREF colour = RGB(0, 0, 0);

LRESULT CALLBACK colourProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window, &paint);
  SetDCBrushColor(dc, colour);
  FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  EndPaint(window, &paint);
  return 0;
}

int paint(HANDLE ready) {
  WNDCLASSW type = {};
  type.lpfnWndProc = colourProc;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"LumoSourcePeerColour";
  RegisterClassW(&type);
  const lumo::UniqueWindow window(CreateWindowExW(WS_EX_TOPMOST, type.lpszClassName, L"",
                                                  WS_POPUP | WS_VISIBLE, 200, 150, 320, 240,
                                                  nullptr, nullptr, type.hInstance, nullptr));
  for (COLORREF next : {RGB(200, 30, 30), RGB(30, 200, 30), RGB(30, 30, 200), RGB(220, 200, 40)}) {
    colour = next;
    InvalidateRect(window.get(), nullptr, FALSE);
    pump(60);
  }
  SetEvent(ready);
  for (;;) {
    pump(1000);
  }
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 3) {
    return 2;
  }
  const auto ready =
      reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(argv[2], nullptr, 10)));
  if (std::wcscmp(argv[1], L"consume") == 0) {
    return consume(ready);
  }
  if (std::wcscmp(argv[1], L"paint") == 0) {
    return paint(ready);
  }
  return std::wcscmp(argv[1], L"hung") == 0 ? hang(ready) : 2;
}
