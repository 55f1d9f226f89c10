#include "damage/system_desktop.h"

#include <windows.h>

#include "damage/per_monitor_dpi.h"
#include "damage/platform_seam.h"

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
  // OBJID_MENU reads the menu the window holds; only OBJID_CLIENT on a
  // popup would ask the menu's thread.
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

// The bands right of and below the client area, to the window's edge,
// where a window with scroll-bar styles draws its bars.
void addUnreadScrollBars(HWND window, LONG which, std::vector<UnreadScrollBar> *bars) {
  RECT place;
  RECT client;
  POINT clientOnScreen = {0, 0};
  if (!GetWindowRect(window, &place) || !GetClientRect(window, &client) ||
      !ClientToScreen(window, &clientOnScreen)) {
    return;
  }
  const region::Rect inside(clientOnScreen.x, clientOnScreen.y, clientOnScreen.x + client.right,
                            clientOnScreen.y + client.bottom);
  const bool leftBar = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) != 0;
  const region::Rect band =
      which == OBJID_HSCROLL ? region::Rect(inside.left, inside.bottom, inside.right, place.bottom)
      : leftBar              ? region::Rect(place.left, inside.top, inside.left, inside.bottom)
                             : region::Rect(inside.right, inside.top, place.right, inside.bottom);
  bars->push_back({band, inside});
}

void addScrollBars(HWND window, DesktopSnapshot *now) {
  if (window == nullptr) {
    return;
  }
  // The style is the window's stored one; asking for it sends nothing.
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  for (const LONG which : {OBJID_HSCROLL, OBJID_VSCROLL}) {
    SCROLLBARINFO info{};
    info.cbSize = sizeof info;
    // The window's own bars are read from what it stored; OBJID_CLIENT, a
    // scroll-bar control, would send it a message and wait.
    if (GetScrollBarInfo(window, which, &info)) {
      if ((info.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN)) == 0) {
        now->scrollBars.push_back(
            {fromRect(info.rcScrollBar), info.xyThumbTop, info.xyThumbBottom, partStates(info)});
      }
    } else if ((style & (which == OBJID_HSCROLL ? WS_HSCROLL : WS_VSCROLL)) != 0) {
      addUnreadScrollBars(window, which, &now->unreadScrollBars);
    }
  }
}

// The thread's state is copied out of the window manager: the foreground
// thread is not asked, so it may be hung. Zeroed where it cannot be had.
GUITHREADINFO threadOf(HWND foreground) {
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  if (foreground == nullptr ||
      !GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &thread)) {
    thread = GUITHREADINFO{};
  }
  return thread;
}

std::vector<TopWindow> topWindows() {
  std::vector<TopWindow> windows;
  // Reads the window list and each window's place; sends nothing.
  EnumWindows(addTopWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::optional<region::Rect> caretOf(const GUITHREADINFO &thread) {
  if (thread.hwndCaret == nullptr || IsRectEmpty(&thread.rcCaret)) {
    return std::nullopt;
  }
  RECT onScreen = thread.rcCaret;
  // Window places only, as GetWindowRect reads them.
  MapWindowPoints(thread.hwndCaret, nullptr, reinterpret_cast<POINT *>(&onScreen), 2);
  return fromRect(onScreen);
}

std::vector<region::Rect> openMenus(const GUITHREADINFO &thread) {
  std::vector<region::Rect> menus;
  // Popup menus are top-level windows of the system's menu class, whichever
  // thread opened them. With no title to match, FindWindowExW compares
  // classes and asks no window for its text.
  for (HWND popup = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); popup != nullptr;
       popup = FindWindowExW(nullptr, popup, L"#32768", nullptr)) {
    RECT place;
    if (IsWindowVisible(popup) && GetWindowRect(popup, &place)) {
      menus.push_back(fromRect(place));
    }
  }
  if ((thread.flags & GUI_INMENUMODE) != 0 && thread.hwndMenuOwner != nullptr) {
    if (const std::optional<region::Rect> bar = menuBarOf(thread.hwndMenuOwner)) {
      menus.push_back(*bar);
    }
  }
  return menus;
}

// The foreground window's own scroll bars, and those of the control with the
// keyboard focus, such as an editor's text: a thumb moves without a
// painting message. Under Wine only the calling process's windows answer;
// elsewhere the bands where the bars are drawn stand in.
void addScrollBarsOf(HWND foreground, const GUITHREADINFO &thread, DesktopSnapshot *now) {
  addScrollBars(foreground, now);
  if (thread.hwndFocus != foreground) {
    addScrollBars(thread.hwndFocus, now);
  }
}

}  // namespace

SystemDesktop::SystemDesktop() { const PerMonitorDpiScope tried; }

DesktopSnapshot SystemDesktop::snapshot(ScreenRead screen) {
  const PerMonitorDpiScope perMonitor;
  DesktopSnapshot now;
  now.virtualScreen = virtualScreen(screen);
  // Each read is a round trip to the window server: the foreground window
  // and its thread's state once for the caret, the menus and the bars.
  const HWND foreground = GetForegroundWindow();
  const GUITHREADINFO thread = threadOf(foreground);
  now.windows = topWindows();
  now.caret = caretOf(thread);
  now.menus = openMenus(thread);
  addScrollBarsOf(foreground, thread, &now);
  return now;
}

// Under Wine the four metrics cost some 500 microseconds, a tick's whole
// budget, and displays seldom change: the server says when one did.
region::Rect SystemDesktop::virtualScreen(ScreenRead read) {
  const ULONGLONG now = GetTickCount64();
  if (read == ScreenRead::Now || screenReadAt_ == 0 || now - screenReadAt_ >= screenReadEveryMs) {
    const int left = damageSeam.getSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = damageSeam.getSystemMetrics(SM_YVIRTUALSCREEN);
    screen_ = region::Rect(left, top, left + damageSeam.getSystemMetrics(SM_CXVIRTUALSCREEN),
                           top + damageSeam.getSystemMetrics(SM_CYVIRTUALSCREEN));
    screenReadAt_ = now;
  }
  return screen_;
}

}  // namespace damage
}  // namespace lumo
