#include "damage/system_desktop.h"

#include <windows.h>

namespace lumo {
namespace damage {

namespace {

region::Rect fromRect(const RECT &r) { return region::Rect(r.left, r.top, r.right, r.bottom); }

BOOL CALLBACK addTopWindow(HWND window, LPARAM windows) {
  RECT place;
  if (IsWindowVisible(window) && GetWindowRect(window, &place)) {
    reinterpret_cast<std::vector<TopWindow> *>(windows)->push_back(
        {reinterpret_cast<std::uintptr_t>(window), fromRect(place)});
  }
  return TRUE;
}

// The pressed and unavailable states of a scroll bar's parts.
std::uint32_t partStates(const SCROLLBARINFO &info) {
  std::uint32_t parts = 0;
  for (int i = 0; i <= CCHILDREN_SCROLLBAR; ++i) {
    const DWORD state = info.rgstate[i];
    parts |= ((state & STATE_SYSTEM_PRESSED) ? 1u : 0u) << (2 * i);
    parts |= ((state & STATE_SYSTEM_UNAVAILABLE) ? 2u : 0u) << (2 * i);
  }
  return parts;
}

// The menu bar's place. Wine answers GetMenuBarInfo only for windows of the
// calling process, so elsewhere the band between the window's top edge and
// its client area stands in: the title bar and the menu bar.
std::optional<region::Rect> menuBarOf(HWND owner) {
  MENUBARINFO bar{};
  bar.cbSize = sizeof bar;
  if (GetMenuBarInfo(owner, OBJID_MENU, 0, &bar)) {
    return fromRect(bar.rcBar);
  }
  RECT window;
  POINT clientTop = {0, 0};
  if (!GetWindowRect(owner, &window) || !ClientToScreen(owner, &clientTop) ||
      clientTop.y <= window.top) {
    return std::nullopt;
  }
  return region::Rect(window.left, window.top, window.right, clientTop.y);
}

void addScrollBars(HWND window, std::vector<ScrollBarState> *bars) {
  for (const LONG which : {OBJID_HSCROLL, OBJID_VSCROLL}) {
    SCROLLBARINFO info{};
    info.cbSize = sizeof info;
    if (window != nullptr && GetScrollBarInfo(window, which, &info) &&
        (info.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN)) == 0) {
      bars->push_back(
          {fromRect(info.rcScrollBar), info.xyThumbTop, info.xyThumbBottom, partStates(info)});
    }
  }
}

}  // namespace

void SystemDesktop::beginTick() {
  foreground_ = GetForegroundWindow();
  thread_ = GUITHREADINFO{};
  thread_.cbSize = sizeof thread_;
  if (foreground_ == nullptr ||
      !GetGUIThreadInfo(GetWindowThreadProcessId(foreground_, nullptr), &thread_)) {
    thread_ = GUITHREADINFO{};
  }
}

// Read again once a second at most: under Wine the four metrics cost some
// 350 microseconds, a third of a tick, and displays seldom change.
region::Rect SystemDesktop::virtualScreen() {
  const ULONGLONG now = GetTickCount64();
  if (screenReadAt_ == 0 || now - screenReadAt_ >= screenReadEveryMs) {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    screen_ = region::Rect(left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                           top + GetSystemMetrics(SM_CYVIRTUALSCREEN));
    screenReadAt_ = now;
  }
  return screen_;
}

std::vector<TopWindow> SystemDesktop::topWindows() {
  std::vector<TopWindow> windows;
  EnumWindows(addTopWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::optional<region::Rect> SystemDesktop::caret() {
  if (thread_.hwndCaret == nullptr || IsRectEmpty(&thread_.rcCaret)) {
    return std::nullopt;
  }
  RECT onScreen = thread_.rcCaret;
  MapWindowPoints(thread_.hwndCaret, nullptr, reinterpret_cast<POINT *>(&onScreen), 2);
  return fromRect(onScreen);
}

std::vector<region::Rect> SystemDesktop::openMenus() {
  std::vector<region::Rect> menus;
  // Popup menus are top-level windows of the system's menu class, whichever
  // thread opened them.
  for (HWND popup = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); popup != nullptr;
       popup = FindWindowExW(nullptr, popup, L"#32768", nullptr)) {
    RECT place;
    if (IsWindowVisible(popup) && GetWindowRect(popup, &place)) {
      menus.push_back(fromRect(place));
    }
  }
  if ((thread_.flags & GUI_INMENUMODE) != 0 && thread_.hwndMenuOwner != nullptr) {
    if (const std::optional<region::Rect> bar = menuBarOf(thread_.hwndMenuOwner)) {
      menus.push_back(*bar);
    }
  }
  return menus;
}

// The foreground window's own scroll bars, and those of the control with the
// keyboard focus, such as an editor's text: a thumb moves without a
// painting message. Under Wine only the calling process's windows answer;
// there is nothing to stand in for a thumb's place.
std::vector<ScrollBarState> SystemDesktop::scrollBars() {
  std::vector<ScrollBarState> bars;
  addScrollBars(foreground_, &bars);
  if (thread_.hwndFocus != foreground_) {
    addScrollBars(thread_.hwndFocus, &bars);
  }
  return bars;
}

}  // namespace damage
}  // namespace lumo
