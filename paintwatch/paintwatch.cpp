// The screen-change hooks. This library is mapped into every hooked process
// of its bitness, so the hook procedures must stay cheap on the common path
// and must never let a failure escape into the host process. It links no
// runtime (guest_runtime.cpp): nothing here throws, and nothing needs code
// run at load.

#include "paintwatch/paintwatch.h"

#include "paintwatch/platform_seam.h"
#include "paintwatch/report.h"
#include "paintwatch/shared_section.h"
#include "region/region.h"
#include "util/unique_handle.h"

using lumo::paintwatch::everythingChanged;
using lumo::paintwatch::hookSeam;
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
// Non-zero once a full queue refused a report, in any process. A count, not
// a flag, so that lowering it after the catch-up post cannot swallow a
// refusal that came meanwhile; 32 bits, since the 32-bit build has no
// runtime for 64-bit atomics.
static volatile LONG queueFullNote SHARED_STATE = 0;

static HINSTANCE moduleInstance = nullptr;

// Sent with frame changes; it has no public name.
static constexpr UINT unnamedFrameMessage = 0x0092;
// RegisterWindowMessageW hands out numbers in this range only.
static constexpr UINT firstRegisteredMessage = 0xC000;
static constexpr UINT lastRegisteredMessage = 0xFFFF;

static bool isRegisteredMessage(UINT message) {
  return message >= firstRegisteredMessage && message <= lastRegisteredMessage;
}

// Geometry read in this scope is in the screen's pixels even where the
// system scales coordinates for a host that is not per-monitor DPI aware;
// the host thread's own context is back when the scope ends. Where the
// system has no such contexts, or refuses, geometry is read as it comes.
class PerMonitorDpiScope {
public:
  PerMonitorDpiScope() : previous_(hookSeam.setThreadDpiAwarenessContext(perMonitorAware())) {}
  PerMonitorDpiScope(const PerMonitorDpiScope &) = delete;
  PerMonitorDpiScope &operator=(const PerMonitorDpiScope &) = delete;
  ~PerMonitorDpiScope() {
    if (previous_ != nullptr) {
      hookSeam.setThreadDpiAwarenessContext(previous_);
    }
  }

  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE: physical pixels from Windows 10
  // version 1607 on, where the version 2 context does not exist yet.
  static HANDLE perMonitorAware() { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)); }

private:
  const HANDLE previous_;
};

// Read for every message that reports: a change of the monitor layout
// applies at once. One message's rectangles share one reading, so that the
// frame is never worked out from two different layouts.
static POINT virtualScreenOrigin() {
  return {hookSeam.getSystemMetrics(SM_XVIRTUALSCREEN),
          hookSeam.getSystemMetrics(SM_YVIRTUALSCREEN)};
}

static Rect virtualClientRect(HWND hwnd, POINT origin) {
  RECT client;
  if (!hookSeam.getClientRect(hwnd, &client)) {
    return Rect();
  }
  POINT onScreen = {0, 0};
  hookSeam.clientToScreen(hwnd, &onScreen);
  return lumo::paintwatch::virtualFromClient(client, onScreen, origin);
}

static Rect virtualWindowRect(HWND hwnd, POINT origin) {
  RECT window;
  if (!hookSeam.getWindowRect(hwnd, &window)) {
    return Rect();
  }
  return lumo::paintwatch::virtualFromScreen(window, origin);
}

// Every process that maps this library can write its shared section, a
// sandboxed one too, so what it holds is checked before each post: reports
// go only as a registered message and only to one window. Anything else
// would let such a process make every hooked process, elevated ones
// included, post system messages anywhere. Each value is read once, so a
// writer cannot change it between the check and the post. True if the
// report was posted.
static bool postRect(const Rect &rect) {
  const UINT message = *static_cast<const volatile UINT *>(&hookMessage);
  const HWND target = *static_cast<const volatile HWND *>(&targetWindow);
  if (!isRegisteredMessage(message) || target == nullptr || target == HWND_BROADCAST) {
    return false;
  }
  const auto params = packReport(rect);
  if (hookSeam.postMessage(target, message, params.wParam, params.lParam)) {
    return true;
  }
  // Only a full queue raises the note: a target that is gone has no
  // receiver, and a host whose posts are refused for integrity level (a
  // low-integrity one's every post) would have its catch-up refused too.
  if (GetLastError() == ERROR_NOT_ENOUGH_QUOTA) {
    // Zero would read as lowered, so a wrap skips it.
    if (InterlockedIncrement(&queueFullNote) == 0) {
      InterlockedIncrement(&queueFullNote);
    }
  }
  return false;
}

// A report that a full queue refused is lost, and on an idle desktop nothing
// may be drawn there again for a long time: the next hook call, whatever
// its message, says first that everything may have changed. Each hook
// procedure reads the note first; this stays out of line, so that their
// common path is that one read and a branch. The note, as read then, is
// lowered only if this post got through, and only if no refusal came since.
__attribute__((noinline)) static void catchUpAfterFullQueue(LONG seen) {
  if (postRect(everythingChanged())) {
    InterlockedCompareExchange(&queueFullNote, 0, seen);
  }
}

// The frame, caption, menu bar and scroll bars: window minus client area.
// Out of memory, the region is left in its failed state and yields no
// rectangles: this message's frame reports are dropped, like a lost post.
static void postNonClientRects(HWND hwnd, POINT origin) {
  const Rect windowRect = virtualWindowRect(hwnd, origin);
  const Rect clientRect = virtualClientRect(hwnd, origin);
  Region frame(&windowRect);
  const Region client(&clientRect);
  frame.subtract(&client);
  frame.forEachRect(postRect);
}

enum class Reports { none, clientArea, item, nonClient, clientAreaThenNonClient };

static Reports reportsFor(UINT message) {
  switch (message) {
    case WM_ACTIVATE:
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_CTLCOLOREDIT:
      return Reports::clientArea;
    case WM_DRAWITEM:
      return Reports::item;
    case WM_NCPAINT:
    case WM_NCACTIVATE:
    case WM_HSCROLL:
    case WM_VSCROLL:
      return Reports::nonClient;
    case unnamedFrameMessage:
      return Reports::clientAreaThenNonClient;
    default:
      return Reports::none;
  }
}

// A menu draws its items with control id 0; only controls are reported.
static HWND drawnControl(WPARAM controlId, LPARAM lParam) {
  if (lParam == 0 || controlId == 0) {
    return nullptr;
  }
  return reinterpret_cast<const DRAWITEMSTRUCT *>(lParam)->hwndItem;
}

static void processHookedMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const Reports reports = reportsFor(message);
  const HWND control = reports == Reports::item ? drawnControl(wParam, lParam) : nullptr;
  if (reports == Reports::none || (reports == Reports::item && control == nullptr)) {
    return;
  }
  const PerMonitorDpiScope perMonitor;
  const POINT origin = virtualScreenOrigin();
  switch (reports) {
    case Reports::item:
      postRect(virtualWindowRect(control, origin));
      break;
    case Reports::nonClient:
      postNonClientRects(hwnd, origin);
      break;
    case Reports::clientAreaThenNonClient:
      postRect(virtualClientRect(hwnd, origin));
      postNonClientRects(hwnd, origin);
      break;
    case Reports::clientArea:
    default:
      postRect(virtualClientRect(hwnd, origin));
      break;
  }
}

static bool isFilterCode(int code) {
  return code == MSGF_DIALOGBOX || code == MSGF_MENU || code == MSGF_SCROLLBAR;
}

static LRESULT CALLBACK callWndRetProc(int code, WPARAM wParam, LPARAM lParam) {
  if (const LONG owed = queueFullNote) {
    catchUpAfterFullQueue(owed);
  }
  if (code == HC_ACTION) {
    const auto *call = reinterpret_cast<const CWPRETSTRUCT *>(lParam);
    processHookedMessage(call->hwnd, call->message, call->wParam, call->lParam);
  }
  return CallNextHookEx(callWndRetHook, code, wParam, lParam);
}

// Whether the message is being removed is not looked at: a peeked message
// counts too.
static LRESULT CALLBACK getMsgProc(int code, WPARAM wParam, LPARAM lParam) {
  if (const LONG owed = queueFullNote) {
    catchUpAfterFullQueue(owed);
  }
  if (isFilterCode(code)) {
    const auto *msg = reinterpret_cast<const MSG *>(lParam);
    processHookedMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  }
  return CallNextHookEx(getMsgHook, code, wParam, lParam);
}

static LRESULT CALLBACK sysMsgProc(int code, WPARAM wParam, LPARAM lParam) {
  if (const LONG owed = queueFullNote) {
    catchUpAfterFullQueue(owed);
  }
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
  if (!hookSeam.unhookWindowsHookEx(*hook) && GetLastError() != ERROR_INVALID_HOOK_HANDLE) {
    return false;
  }
  *hook = nullptr;
  return true;
}

static bool creationTime(HANDLE thread, ULONGLONG *created) {
  FILETIME creation, exit, kernel, user;
  if (!hookSeam.getThreadTimes(thread, &creation, &exit, &kernel, &user)) {
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
  // No receiver is left for the catch-up post.
  queueFullNote = 0;
  return true;
}

extern "C" bool setHookWithMessage(HWND window, UINT message) {
  if (!IsWindow(window)) {
    return false;
  }
  if (!isRegisteredMessage(message)) {
    return false;
  }
  if (callWndRetHook != nullptr || getMsgHook != nullptr || sysMsgHook != nullptr) {
    if (!installationAbandoned() || !unsetHookForWindow(targetWindow, hookMessage)) {
      return false;
    }
  }
  // Stored first, so that the first hook call already finds them. A new
  // receiver has lost nothing, whatever a post refused since the last
  // removal.
  targetWindow = window;
  hookMessage = message;
  queueFullNote = 0;
  installerThread = GetCurrentThreadId();
  if (!creationTime(GetCurrentThread(), &installerThreadCreated)) {
    installerThreadCreated = 0;
  }
  const auto install = hookSeam.setWindowsHookEx;
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
