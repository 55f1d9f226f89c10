// A window with a menu bar in a process of its own, for the damage tracker's
// tests: under Wine only the owning process is told where its menu bar is,
// so the window puts that place in its title as "Lumo menu peer LEFT TOP
// RIGHT BOTTOM" once it is shown and in front.
//   menu_peer SECONDS

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "util/unique_handle.h"

namespace {

using UniqueMenu = lumo::UniqueAny<HMENU, &DestroyMenu>;

HMENU makeMenuBar() {
  UniqueMenu file(CreatePopupMenu());
  AppendMenuW(file.get(), MF_STRING, 100, L"&Open");
  AppendMenuW(file.get(), MF_STRING, 101, L"E&xit");
  UniqueMenu bar(CreateMenu());
  if (AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(file.get()), L"&File")) {
    static_cast<void>(file.release());
  }
  return bar.release();
}

void showBarInTitle(HWND window) {
  MENUBARINFO bar{};
  bar.cbSize = sizeof bar;
  GetMenuBarInfo(window, OBJID_MENU, 0, &bar);
  wchar_t title[96];
  std::swprintf(title, sizeof title / sizeof title[0], L"Lumo menu peer %ld %ld %ld %ld",
                bar.rcBar.left, bar.rcBar.top, bar.rcBar.right, bar.rcBar.bottom);
  SetWindowTextW(window, title);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: menu_peer SECONDS\n");
    return 2;
  }
  // The window owns its menu bar from here on.
  const lumo::UniqueWindow window(CreateWindowExW(0, L"STATIC", L"Lumo menu peer",
                                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 260, 200, 320,
                                                  200, nullptr, makeMenuBar(), nullptr, nullptr));
  SetForegroundWindow(window.get());
  showBarInTitle(window.get());
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(_wtof(argv[1]) * 1000);
  MSG msg;
  while (GetTickCount64() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return 0;
}
