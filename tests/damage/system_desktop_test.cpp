// The tracker on the real desktop: a window of ours moved, the caret of an
// idle edit control, a menu opened with the keyboard and scroll bars whose
// thumbs move, each on a thread of its own as a program's window would be,
// and the menu bar of another process's window.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "damage/damage_tracker.h"
#include "damage/system_desktop.h"
#include "paintwatch/report.h"
#include "region/region.h"
#include "test_support.h"
#include "util/unique_handle.h"

using lumo::damage::DamageTracker;
using lumo::damage::SystemDesktop;
using lumo::region::Rect;
using lumo::region::Region;

namespace {

// True where the rectangles leave no pixel of the target out.
bool covers(const std::vector<Rect> &rects, const Rect &target) {
  Region left(&target);
  for (const Rect &r : rects) {
    const Region part(&r);
    left.subtract(&part);
  }
  std::vector<Rect> rest;
  left.getRectVector(&rest);
  return rest.empty();
}

Rect onVirtualScreen(const RECT &r) {
  return lumo::paintwatch::virtualFromScreen(
      r, POINT{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)});
}

HMENU makeMenuBar() {
  const HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, 100, L"&Open");
  AppendMenuW(file, MF_STRING, 101, L"&Save");
  AppendMenuW(file, MF_STRING, 102, L"E&xit");
  const HMENU bar = CreateMenu();
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
  return bar;
}

// A top-level window with a menu bar and an edit control that has the
// focus, owned and pumped by a thread of its own until the test ends.
class ForegroundWindow {
public:
  ForegroundWindow() {
    std::promise<HWND> made;
    std::future<HWND> window = made.get_future();
    thread_ = std::thread([this, &made] { run(&made); });
    window_ = window.get();
  }
  ~ForegroundWindow() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }

  HWND get() const { return window_; }
  HWND edit() const { return edit_; }

private:
  void run(std::promise<HWND> *made) {
    threadId_ = GetCurrentThreadId();
    lumo::UniqueWindow window(
        CreateWindowExW(0, L"STATIC", L"Lumo tracked window",
                        WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL | SS_NOTIFY, 200, 150, 360,
                        240, nullptr, makeMenuBar(), nullptr, nullptr));
    const lumo::UniqueWindow edit(
        CreateWindowExW(0, L"EDIT", L"some text", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE,
                        10, 10, 300, 60, window.get(), nullptr, nullptr, nullptr));
    edit_ = edit.get();
    SetForegroundWindow(window.get());
    SetFocus(edit.get());
    made->set_value(window.get());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  std::thread thread_;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
};

void endPeer(HANDLE process) {
  TerminateProcess(process, 0);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
}
using UniquePeer = lumo::UniqueAny<HANDLE, &endPeer>;

UniquePeer startMenuPeer(const std::wstring &arguments = L"20") {
  const std::wstring program = lumo::test::besideThisProgram(L"menu_peer.exe");
  std::wstring commandLine = L"menu_peer " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    return UniquePeer();
  }
  CloseHandle(info.hThread);
  return UniquePeer(info.hProcess);
}

struct PeerSearch {
  HWND window = nullptr;
  RECT bar = {};
};

BOOL CALLBACK matchPeer(HWND window, LPARAM context) {
  auto *search = reinterpret_cast<PeerSearch *>(context);
  wchar_t title[96] = {};
  GetWindowTextW(window, title, 96);
  RECT &bar = search->bar;
  if (std::swscanf(title, L"Lumo menu peer %ld %ld %ld %ld", &bar.left, &bar.top, &bar.right,
                   &bar.bottom) == 4) {
    search->window = window;
    return FALSE;
  }
  return TRUE;
}

// The peer's window once it has said where its menu bar is.
PeerSearch findMenuPeer() {
  PeerSearch search;
  for (int i = 0; i < 100 && search.window == nullptr; ++i, Sleep(50)) {
    EnumWindows(matchPeer, reinterpret_cast<LPARAM>(&search));
  }
  return search;
}

Rect scrollBarOf(HWND window) {
  SCROLLBARINFO info{};
  info.cbSize = sizeof info;
  GetScrollBarInfo(window, OBJID_VSCROLL, &info);
  return onVirtualScreen(info.rcScrollBar);
}

void press(WORD key) {
  INPUT inputs[2] = {};
  for (INPUT &input : inputs) {
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
  }
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
  Sleep(200);
}

class SystemDesktopTest : public testing::Test {
protected:
  std::vector<Rect> tickAndTake() {
    tracker_.tick();
    return tracker_.takeFrame().added;
  }
  // Ticks until the additions cover what `want` gives, for a second at most.
  bool soonCovered(const std::function<Rect()> &want) {
    for (int i = 0; i < 20; ++i, Sleep(50)) {
      if (covers(tickAndTake(), want())) {
        return true;
      }
    }
    return false;
  }

  ForegroundWindow window_;
  SystemDesktop desktop_;
  DamageTracker tracker_{&desktop_};
};

TEST_F(SystemDesktopTest, AWindowMovedWithSetWindowPosIsCoveredAtBothPlaces) {
  Sleep(200);
  tickAndTake();
  RECT before;
  GetWindowRect(window_.get(), &before);
  SetWindowPos(window_.get(), nullptr, before.left + 150, before.top + 40, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT after;
  GetWindowRect(window_.get(), &after);
  ASSERT_NE(after.left, before.left);
  const std::vector<Rect> added = tickAndTake();
  EXPECT_TRUE(covers(added, onVirtualScreen(before)));
  EXPECT_TRUE(covers(added, onVirtualScreen(after)));
  // Once: the window stays where it is now.
  EXPECT_FALSE(covers(tickAndTake(), onVirtualScreen(after)));
}

TEST_F(SystemDesktopTest, AnIdleEditControlsCaretIsCoveredAtEveryTick) {
  const auto caret = [this] {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window_.get(), nullptr), &info);
    MapWindowPoints(info.hwndCaret, nullptr, reinterpret_cast<POINT *>(&info.rcCaret), 2);
    return onVirtualScreen(info.rcCaret);
  };
  ASSERT_TRUE(soonCovered(caret));
  EXPECT_FALSE(caret().isEmpty());
  for (int i = 0; i < 3; ++i) {
    Sleep(100);
    EXPECT_TRUE(covers(tickAndTake(), caret())) << i;
  }
}

TEST_F(SystemDesktopTest, AMenuOpenedWithTheKeyboardIsCoveredUntilItCloses) {
  Sleep(200);
  press(VK_MENU);
  // The menu bar's highlight first, with no popup open.
  const auto bar = [this] {
    MENUBARINFO info{};
    info.cbSize = sizeof info;
    GetMenuBarInfo(window_.get(), OBJID_MENU, 0, &info);
    return onVirtualScreen(info.rcBar);
  };
  EXPECT_TRUE(soonCovered(bar));
  EXPECT_FALSE(bar().isEmpty());
  press(VK_DOWN);
  const auto popup = [] {
    RECT place = {};
    const HWND menu = FindWindowW(L"#32768", nullptr);
    if (menu != nullptr && IsWindowVisible(menu)) {
      GetWindowRect(menu, &place);
    }
    return onVirtualScreen(place);
  };
  ASSERT_TRUE(soonCovered(popup));
  const Rect open = popup();
  EXPECT_FALSE(open.isEmpty());
  // At every tick while it is open, also after another window appears.
  for (int i = 0; i < 6; ++i) {
    lumo::UniqueWindow appeared;
    if (i == 3) {
      appeared.reset(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 20, 20,
                                     nullptr, nullptr, nullptr, nullptr));
      ShowWindow(appeared.get(), SW_SHOWNOACTIVATE);
    }
    EXPECT_TRUE(covers(tickAndTake(), open)) << i;
  }
  press(VK_ESCAPE);
  press(VK_ESCAPE);
  EXPECT_TRUE(popup().isEmpty());
  tickAndTake();
  tickAndTake();
  // The edit control's caret is still added.
  EXPECT_FALSE(covers(tickAndTake(), open));
}

TEST_F(SystemDesktopTest, ScrollBarsAreCoveredWhenTheirThumbsMoveAndOnlyThen) {
  for (const HWND window : {window_.get(), window_.edit()}) {
    SCROLLINFO range = {sizeof range, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 100, 10, 0, 0};
    SetScrollInfo(window, SB_VERT, &range, TRUE);
  }
  Sleep(200);
  tickAndTake();
  // Neither the foreground window's bar nor the focused edit control's has
  // changed: the caret alone is added.
  EXPECT_FALSE(covers(tickAndTake(), scrollBarOf(window_.get())));
  for (const HWND window : {window_.get(), window_.edit()}) {
    SetScrollPos(window, SB_VERT, 60, TRUE);
    EXPECT_TRUE(covers(tickAndTake(), scrollBarOf(window)));
    EXPECT_FALSE(covers(tickAndTake(), scrollBarOf(window)));
  }
}

TEST_F(SystemDesktopTest, AnotherProcesssMenuBarIsCoveredInMenuMode) {
  const UniquePeer peer = startMenuPeer();
  ASSERT_TRUE(peer.valid());
  const PeerSearch found = findMenuPeer();
  ASSERT_NE(found.window, nullptr);
  ASSERT_FALSE(IsRectEmpty(&found.bar));
  // Wine's answer reaches a pixel into the client area, where the menu bar
  // does not draw.
  POINT clientTop = {0, 0};
  ClientToScreen(found.window, &clientTop);
  RECT drawn = found.bar;
  drawn.bottom = std::min(drawn.bottom, clientTop.y);
  const Rect bar = onVirtualScreen(drawn);
  SetForegroundWindow(found.window);
  Sleep(200);
  tickAndTake();
  EXPECT_FALSE(covers(tickAndTake(), bar));
  press(VK_MENU);
  EXPECT_TRUE(soonCovered([&bar] { return bar; }));
  press(VK_ESCAPE);
}

// Under Wine the system will not describe another process's bars: their
// bands are added in each frame whose reports touch the client area beside
// them, and only then.
TEST_F(SystemDesktopTest, AnotherProcesssScrollBarIsAddedWhenItsClientAreaIsReported) {
  const std::wstring event = L"LumoBarsPeer" + std::to_wstring(GetCurrentProcessId());
  const lumo::UniqueHandle shown(CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
  const UniquePeer peer = startMenuPeer(L"30 in-front " + event);
  ASSERT_TRUE(peer.valid());
  ASSERT_EQ(WaitForSingleObject(shown.get(), 10000), WAIT_OBJECT_0);
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  ASSERT_TRUE(GetGUIThreadInfo(0, &thread));
  // The peer's edit control, whose vertical bar stands right of its client
  // area.
  RECT place;
  RECT client;
  GetWindowRect(thread.hwndFocus, &place);
  GetClientRect(thread.hwndFocus, &client);
  MapWindowPoints(thread.hwndFocus, nullptr, reinterpret_cast<POINT *>(&client), 2);
  const Rect bar = onVirtualScreen(RECT{client.right, client.top, place.right, client.bottom});
  ASSERT_FALSE(bar.isEmpty());
  const auto packed = lumo::paintwatch::packReport(onVirtualScreen(client));
  tickAndTake();
  for (int frame = 0; frame < 3; ++frame) {
    EXPECT_FALSE(covers(tickAndTake(), bar)) << frame;
    tracker_.addReport(packed.wParam, packed.lParam);
    EXPECT_TRUE(covers(tickAndTake(), bar)) << frame;
  }
}

// Programs that stop pumping, one in front with a caret and scroll bars,
// one inside its menu's loop: every call a tick makes reads what the window
// manager keeps, so ticks go on returning. They run on a thread of their
// own, so that a tick that waits shows as a failure, not a stuck test.
TEST_F(SystemDesktopTest, TicksGoOnReturningWhileTheProgramInFrontHangs) {
  for (const wchar_t *how : {L"in-front", L"in-menu"}) {
    const std::wstring event = L"LumoHungPeer" + std::to_wstring(GetCurrentProcessId());
    const lumo::UniqueHandle hanging(CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
    UniquePeer peer = startMenuPeer(std::wstring(L"60 ") + how + L" " + event);
    ASSERT_TRUE(peer.valid());
    ASSERT_EQ(WaitForSingleObject(hanging.get(), 10000), WAIT_OBJECT_0);
    DWORD inFront = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &inFront);
    EXPECT_EQ(inFront, GetProcessId(peer.get()));
    std::promise<void> ticked;
    std::future<void> done = ticked.get_future();
    std::thread ticks([this, &ticked] {
      for (int i = 0; i < 20; ++i) {
        tickAndTake();
      }
      ticked.set_value();
    });
    // Twenty ticks take some 20 ms; a tick that waited on the peer would
    // wait for the whole minute.
    EXPECT_EQ(done.wait_for(std::chrono::seconds(15)), std::future_status::ready)
        << "ticks stalled with a peer hung " << how;
    peer.reset();
    ticks.join();
  }
}

}  // namespace
