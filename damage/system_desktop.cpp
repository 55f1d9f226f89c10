#include "damage/system_desktop.h"

#include <windows.h>

#include <algorithm>
#include <array>

#include "damage/per_monitor_dpi.h"
#include "damage/platform_seam.h"

namespace lumo {
namespace damage {

namespace {

region::Rect fromRect(const RECT &r) { return region::Rect(r.left, r.top, r.right, r.bottom); }

// The enumeration's findings; the foreground window's style, read there,
// saves asking again for its scroll bars.
struct WindowList {
  std::vector<TopWindow> *windows;
  HWND foreground;
  std::optional<LONG> foregroundStyle;
};

BOOL CALLBACK addTopWindow(HWND window, LPARAM listed) {
  WindowList &list = *reinterpret_cast<WindowList *>(listed);
  // A top-level window's parent is the desktop, which is always visible: its
  // own style says what IsWindowVisible would, without walking up to it.
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  if (window == list.foreground) {
    list.foregroundStyle = style;
  }
  RECT place;
  if ((style & WS_VISIBLE) != 0 && GetWindowRect(window, &place)) {
    list.windows->push_back({reinterpret_cast<std::uintptr_t>(window), fromRect(place)});
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
// where a window with scroll-bar styles draws the bars named in `which`.
void addUnreadScrollBars(HWND window, const LONG *which, int count,
                         std::vector<UnreadScrollBar> *bars) {
  RECT place;
  RECT client;
  POINT clientOnScreen = {0, 0};
  if (count == 0 || !GetWindowRect(window, &place) || !GetClientRect(window, &client) ||
      !ClientToScreen(window, &clientOnScreen)) {
    return;
  }
  const region::Rect inside(clientOnScreen.x, clientOnScreen.y, clientOnScreen.x + client.right,
                            clientOnScreen.y + client.bottom);
  const bool leftBar = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) != 0;
  for (int i = 0; i < count; ++i) {
    const region::Rect band =
        which[i] == OBJID_HSCROLL
            ? region::Rect(inside.left, inside.bottom, inside.right, place.bottom)
        : leftBar ? region::Rect(place.left, inside.top, inside.left, inside.bottom)
                  : region::Rect(inside.right, inside.top, place.right, inside.bottom);
    bars->push_back({band, inside});
  }
}

// Only the bars the style shows: the system reports the others invisible.
// Where the system would not describe them (`readable` false, or it
// refuses), the bands stand in; false where it refused.
bool addScrollBars(HWND window, LONG style, bool readable, DesktopSnapshot *now) {
  LONG unread[2];
  int unreadCount = 0;
  bool refused = false;
  for (const LONG which : {OBJID_HSCROLL, OBJID_VSCROLL}) {
    if ((style & (which == OBJID_HSCROLL ? WS_HSCROLL : WS_VSCROLL)) == 0) {
      continue;
    }
    SCROLLBARINFO info{};
    info.cbSize = sizeof info;
    // The window's own bars are read from what it stored; OBJID_CLIENT, a
    // scroll-bar control, would send it a message and wait.
    if (!readable || !GetScrollBarInfo(window, which, &info)) {
      refused = refused || readable;
      unread[unreadCount++] = which;
    } else if ((info.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN)) == 0) {
      now->scrollBars.push_back(
          {fromRect(info.rcScrollBar), info.xyThumbTop, info.xyThumbBottom, partStates(info)});
    }
  }
  addUnreadScrollBars(window, unread, unreadCount, &now->unreadScrollBars);
  return !refused;
}

// The foreground thread's state, copied out of the window manager: the
// thread is not asked, so it may be hung; its active window is the
// foreground window. Zeroed where there is none.
GUITHREADINFO foregroundThread() {
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  if (!GetGUIThreadInfo(0, &thread)) {
    thread = GUITHREADINFO{};
  }
  return thread;
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

// Popup menus are top-level windows of the system's menu class, whichever
// thread opened them; a window's class is asked once, as it appears. The
// class is the integer atom 32768 ("#32768").
bool isPopupMenu(std::uintptr_t window) {
  return GetClassLongPtrW(reinterpret_cast<HWND>(window), GCW_ATOM) == 32768;
}

}  // namespace

SystemDesktop::SystemDesktop() { const PerMonitorDpiScope tried; }

DesktopSnapshot SystemDesktop::snapshot(ScreenRead screen) {
  const PerMonitorDpiScope perMonitor;
  DesktopSnapshot now;
  now.virtualScreen = virtualScreen(screen);
  // Each read is a round trip to the window server: the foreground thread's
  // state once for the window in front, the caret, the menu bar and the
  // bars; the window list once for the places and the popup menus.
  const GUITHREADINFO thread = foregroundThread();
  now.windows.reserve(seen_.size() + 16);
  WindowList listed{&now.windows, thread.hwndActive, std::nullopt};
  // Reads the window list and each window's style and place; sends nothing.
  EnumWindows(addTopWindow, reinterpret_cast<LPARAM>(&listed));
  now.caret = caretOf(thread);
  now.menus = menusAmong(now.windows);
  if ((thread.flags & GUI_INMENUMODE) != 0 && thread.hwndMenuOwner != nullptr) {
    if (const std::optional<region::Rect> bar = menuBarOf(thread.hwndMenuOwner)) {
      now.menus.push_back(*bar);
    }
  }
  addScrollBarsOf(thread, listed.foregroundStyle, &now);
  return now;
}

// The foreground window's own scroll bars, and those of the control with the
// keyboard focus, such as an editor's text: a thumb moves without a
// painting message. Under Wine only the calling process's windows answer;
// elsewhere the bands where the bars are drawn stand in. A window the system
// would not describe at the last look is not asked again: under Wine a
// refusal costs some 13 microseconds a bar.
void SystemDesktop::addScrollBarsOf(const GUITHREADINFO &thread,
                                    std::optional<LONG> foregroundStyle, DesktopSnapshot *now) {
  std::array<std::uintptr_t, 2> unreadable = {};
  int count = 0;
  const auto look = [&](HWND window, LONG style) {
    const auto id = reinterpret_cast<std::uintptr_t>(window);
    const bool refusedBefore =
        std::find(unreadable_.begin(), unreadable_.end(), id) != unreadable_.end();
    if (!addScrollBars(window, style, !refusedBefore, now) || refusedBefore) {
      unreadable[count++] = id;
    }
  };
  if (thread.hwndActive != nullptr) {
    look(thread.hwndActive,
         foregroundStyle ? *foregroundStyle : GetWindowLongW(thread.hwndActive, GWL_STYLE));
  }
  if (thread.hwndFocus != nullptr && thread.hwndFocus != thread.hwndActive) {
    look(thread.hwndFocus, GetWindowLongW(thread.hwndFocus, GWL_STYLE));
  }
  unreadable_ = unreadable;
}

// The popup menus among the windows. The windows of the last look, in the
// system's order, are known; mostly the list is the same, and no window's
// class is asked.
std::vector<region::Rect> SystemDesktop::menusAmong(const std::vector<TopWindow> &windows) {
  const bool same = std::equal(windows.begin(), windows.end(), seen_.begin(), seen_.end(),
                               [](const TopWindow &w, std::uintptr_t id) { return w.id == id; });
  std::vector<std::uintptr_t> known;
  if (!same) {
    known = seen_;
    std::sort(known.begin(), known.end());
  }
  std::vector<std::uintptr_t> seen;
  seen.reserve(windows.size());
  std::vector<std::uintptr_t> menuIds;
  std::vector<region::Rect> menus;
  for (const TopWindow &w : windows) {
    const bool wasSeen = same || std::binary_search(known.begin(), known.end(), w.id);
    const bool menu =
        wasSeen ? std::find(menus_.begin(), menus_.end(), w.id) != menus_.end() : isPopupMenu(w.id);
    if (menu) {
      menuIds.push_back(w.id);
      menus.push_back(w.place);
    }
    seen.push_back(w.id);
  }
  seen_.swap(seen);
  menus_.swap(menuIds);
  return menus;
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
