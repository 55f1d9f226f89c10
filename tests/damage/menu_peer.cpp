// A window with a menu bar in a process of its own, for the damage tracker's
// tests: under Wine only the owning process is told where its menu bar is,
// so the window puts that place in its title as "Lumo menu peer LEFT TOP
// RIGHT BOTTOM" once it is shown and in front. Told to hang, it sets the
// named event and stops pumping for SECONDS: "in-front" with an edit
// control's caret and scroll bars, "in-menu" inside its File menu's loop.
//   menu_peer SECONDS [in-front|in-menu EVENT]

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>

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

DWORD hangMs = 0;
HANDLE hanging = nullptr;

void hang() {
  SetEvent(hanging);
  Sleep(hangMs);
}

// The system sends WM_ENTERIDLE from the menu's loop once its queue is
// empty: the menu is open and drawn.
LRESULT CALLBACK hungWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ENTERIDLE && wParam == MSGF_MENU) {
    hang();
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int hangWith(const wchar_t *how, const wchar_t *event) {
  hanging = OpenEventW(EVENT_MODIFY_STATE, FALSE, event);
  WNDCLASSW type = {};
  type.lpfnWndProc = &hungWindowProc;
  type.lpszClassName = L"LumoHungPeer";
  RegisterClassW(&type);
  const lumo::UniqueWindow window(CreateWindowExW(
      0, type.lpszClassName, L"Lumo hung peer", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL, 240,
      180, 360, 240, nullptr, nullptr, nullptr, nullptr));
  const lumo::UniqueWindow edit(CreateWindowExW(
      0, L"EDIT", L"hung", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE, 10, 10,
      300, 80, window.get(), nullptr, nullptr, nullptr));
  for (const HWND scrolled : {window.get(), edit.get()}) {
    SCROLLINFO range = {sizeof range, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 100, 10, 30, 0};
    SetScrollInfo(scrolled, SB_VERT, &range, TRUE);
  }
  SetForegroundWindow(window.get());
  SetFocus(edit.get());
  UpdateWindow(window.get());
  if (std::wcscmp(how, L"in-menu") == 0) {
    const UniqueMenu bar(makeMenuBar());
    TrackPopupMenu(GetSubMenu(bar.get(), 0), 0, 260, 220, 0, window.get(), nullptr);
  } else {
    hang();
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: menu_peer SECONDS [in-front|in-menu EVENT]\n");
    return 2;
  }
  if (argc == 4) {
    hangMs = static_cast<DWORD>(_wtof(argv[1]) * 1000);
    return hangWith(argv[2], argv[3]);
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
