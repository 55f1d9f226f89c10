// The screen-change hooks. This library is mapped into every hooked process
// of its bitness, so the hook procedures must stay cheap on the common path
// and must never let a failure escape into the host process.

#include "paintwatch/paintwatch.h"

#include <vector>

#include "paintwatch/platform_seam.h"
#include "paintwatch/report.h"
#include "paintwatch/shared_section.h"
#include "region/region.h"
#include "util/unique_handle.h"

using lumo::paintwatch::packReport;
using lumo::region::Rect;
using lumo::region::Region;

// One installation per build for every process that maps this library.
static UINT hookMessage SHARED_STATE = 0;
static HHOOK callWndRetHook SHARED_STATE = nullptr;
static HHOOK getMsgHook SHARED_STATE = nullptr;
static HHOOK sysMsgHook SHARED_STATE = nullptr;
static HWND targetWindow SHARED_STATE = nullptr;
// The thread that installed the hooks, told apart from a later thread that
// got the same id by its creation time.
static DWORD installerThread SHARED_STATE = 0;
static ULONGLONG installerThreadCreated SHARED_STATE = 0;

static HINSTANCE moduleInstance = nullptr;

// Sent with frame changes; it has no public name.
static constexpr UINT unnamedFrameMessage = 0x0092;
// RegisterWindowMessageW hands out numbers in this range only.
static constexpr UINT firstRegisteredMessage = 0xC000;
static constexpr UINT lastRegisteredMessage = 0xFFFF;

lumo::paintwatch::HookSeam lumo::paintwatch::hookSeam = {SetWindowsHookExW, UnhookWindowsHookEx,
                                                         GetThreadTimes};

// Read for every message that reports: a change of the monitor layout
// applies at once. One message's rectangles share one reading, so that the
// frame is never worked out from two different layouts.
static POINT virtualScreenOrigin() {
  return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)};
}

static Rect virtualClientRect(HWND hwnd, POINT origin) {
  RECT client;
  if (!GetClientRect(hwnd, &client)) {
    return Rect();
  }
  POINT onScreen = {0, 0};
  ClientToScreen(hwnd, &onScreen);
  return lumo::paintwatch::virtualFromClient(client, onScreen, origin);
}

static Rect virtualWindowRect(HWND hwnd, POINT origin) {
  RECT window;
  if (!GetWindowRect(hwnd, &window)) {
    return Rect();
  }
  return lumo::paintwatch::virtualFromScreen(window, origin);
}

static void postRect(const Rect &rect) {
  const auto params = packReport(rect);
  PostMessageW(targetWindow, hookMessage, params.wParam, params.lParam);
}

static void postClientRect(HWND hwnd) { postRect(virtualClientRect(hwnd, virtualScreenOrigin())); }

static void postItemRect(WPARAM controlId, LPARAM lParam) {
  if (lParam == 0 || controlId == 0) {
    return;
  }
  const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
  postRect(virtualWindowRect(item->hwndItem, virtualScreenOrigin()));
}

// The frame, caption, menu bar and scroll bars: window minus client area.
static void postNonClientRects(HWND hwnd) {
  try {
    const POINT origin = virtualScreenOrigin();
    const Rect windowRect = virtualWindowRect(hwnd, origin);
    const Rect clientRect = virtualClientRect(hwnd, origin);
    Region frame(&windowRect);
    const Region client(&clientRect);
    frame.subtract(&client);
    std::vector<Rect> rects;
    frame.getRectVector(&rects);
    for (const Rect &rect : rects) {
      postRect(rect);
    }
  } catch (...) {
    // Out of memory: this message's reports are dropped, like a lost post.
  }
}

static void processHookedMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_CTLCOLOREDIT:
      postClientRect(hwnd);
      break;
    case WM_DRAWITEM:
      postItemRect(wParam, lParam);
      break;
    case WM_NCPAINT:
    case WM_NCACTIVATE:
    case WM_HSCROLL:
    case WM_VSCROLL:
      postNonClientRects(hwnd);
      break;
    case unnamedFrameMessage:
      postClientRect(hwnd);
      postNonClientRects(hwnd);
      break;
    default:
      break;
  }
}

static bool isFilterCode(int code) {
  return code == MSGF_DIALOGBOX || code == MSGF_MENU || code == MSGF_SCROLLBAR;
}

static LRESULT CALLBACK callWndRetProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto *call = reinterpret_cast<const CWPRETSTRUCT *>(lParam);
    processHookedMessage(call->hwnd, call->message, call->wParam, call->lParam);
  }
  return CallNextHookEx(callWndRetHook, code, wParam, lParam);
}

// Whether the message is being removed is not looked at: a peeked message
// counts too.
static LRESULT CALLBACK getMsgProc(int code, WPARAM wParam, LPARAM lParam) {
  if (isFilterCode(code)) {
    const auto *msg = reinterpret_cast<const MSG *>(lParam);
    processHookedMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  }
  return CallNextHookEx(getMsgHook, code, wParam, lParam);
}

static LRESULT CALLBACK sysMsgProc(int code, WPARAM wParam, LPARAM lParam) {
  if (isFilterCode(code)) {
    const auto *msg = reinterpret_cast<const MSG *>(lParam);
    processHookedMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  }
  return CallNextHookEx(sysMsgHook, code, wParam, lParam);
}

// A hook that no longer exists (its installer ended, say) counts as removed.
static bool unhook(HHOOK *hook) {
  if (*hook == nullptr) {
    return true;
  }
  if (!lumo::paintwatch::hookSeam.unhookWindowsHookEx(*hook) &&
      GetLastError() != ERROR_INVALID_HOOK_HANDLE) {
    return false;
  }
  *hook = nullptr;
  return true;
}

static bool creationTime(HANDLE thread, ULONGLONG *created) {
  FILETIME creation, exit, kernel, user;
  if (!lumo::paintwatch::hookSeam.getThreadTimes(thread, &creation, &exit, &kernel, &user)) {
    return false;
  }
  *created = static_cast<ULONGLONG>(creation.dwHighDateTime) << 32 | creation.dwLowDateTime;
  return true;
}

// Whether the thread that installed the stored hooks still runs. A thread
// that cannot be looked at counts as running: a live installation must never
// be taken over.
static bool installerRuns() {
  const lumo::UniqueHandle thread(
      OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, installerThread));
  if (!thread) {
    return GetLastError() == ERROR_ACCESS_DENIED;
  }
  if (WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0) {
    return false;
  }
  ULONGLONG created = 0;
  return installerThreadCreated == 0 || !creationTime(thread.get(), &created) ||
         created == installerThreadCreated;
}

// An installer that ended without removing its hooks (killed, crashed, or a
// worker thread that returned), or whose window is gone, would otherwise
// lock every later caller out until the desktop session ends.
static bool installationAbandoned() { return !IsWindow(targetWindow) || !installerRuns(); }

extern "C" bool unsetHookForWindow(HWND window, UINT message) {
  if (window != targetWindow || message != hookMessage) {
    return true;  // the hooks, if any, belong to another caller
  }
  const bool callWndRetRemoved = unhook(&callWndRetHook);
  const bool getMsgRemoved = unhook(&getMsgHook);
  const bool sysMsgRemoved = unhook(&sysMsgHook);
  if (!(callWndRetRemoved && getMsgRemoved && sysMsgRemoved)) {
    return false;  // the pair stays so that the same call can retry
  }
  targetWindow = nullptr;
  hookMessage = 0;
  installerThread = 0;
  installerThreadCreated = 0;
  return true;
}

extern "C" bool setHookWithMessage(HWND window, UINT message) {
  if (!IsWindow(window)) {
    return false;
  }
  if (message < firstRegisteredMessage || message > lastRegisteredMessage) {
    return false;
  }
  if (callWndRetHook != nullptr || getMsgHook != nullptr || sysMsgHook != nullptr) {
    if (!installationAbandoned() || !unsetHookForWindow(targetWindow, hookMessage)) {
      return false;
    }
  }
  // Stored first, so that the first hook call already finds them.
  targetWindow = window;
  hookMessage = message;
  installerThread = GetCurrentThreadId();
  if (!creationTime(GetCurrentThread(), &installerThreadCreated)) {
    installerThreadCreated = 0;
  }
  const auto install = lumo::paintwatch::hookSeam.setWindowsHookEx;
  callWndRetHook = install(WH_CALLWNDPROCRET, callWndRetProc, moduleInstance, 0);
  getMsgHook = install(WH_GETMESSAGE, getMsgProc, moduleInstance, 0);
  sysMsgHook = install(WH_SYSMSGFILTER, sysMsgProc, moduleInstance, 0);
  if (callWndRetHook != nullptr && getMsgHook != nullptr && sysMsgHook != nullptr) {
    return true;
  }
  unsetHookForWindow(window, message);
  return false;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    moduleInstance = instance;
  }
  return TRUE;
}
