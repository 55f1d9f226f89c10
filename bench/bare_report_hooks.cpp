// The second baseline for the hook benchmark: the same hooks and exports as
// the screen-hook library, making exactly the platform calls that its
// reports need (the switch to a per-monitor DPI context and back, the
// rectangle queries, the virtual-screen origin once, the posts) and nothing
// else: no region code, no allocation. What a report costs beyond this is
// the library's own doing.

#include "baseline_hooks.h"
#include "paintwatch/report.h"

// The screen-hook library's frame message without a public name.
static constexpr UINT unnamedFrameMessage = 0x0092;

static void post(int left, int top, int right, int bottom) {
  const auto params = lumo::paintwatch::packReport(lumo::region::Rect(left, top, right, bottom));
  PostMessageW(targetWindow, hookMessage, params.wParam, params.lParam);
}

static void postClient(HWND hwnd) {
  RECT client = {};
  POINT corner = {0, 0};
  GetClientRect(hwnd, &client);
  ClientToScreen(hwnd, &corner);
  const int x = corner.x - GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int y = corner.y - GetSystemMetrics(SM_YVIRTUALSCREEN);
  post(client.left + x, client.top + y, client.right + x, client.bottom + y);
}

// The frame as four bands around the client area, as an ordinary window has.
static void postFrame(HWND hwnd) {
  RECT w = {};
  RECT c = {};
  POINT corner = {0, 0};
  GetWindowRect(hwnd, &w);
  GetClientRect(hwnd, &c);
  ClientToScreen(hwnd, &corner);
  const int ox = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int oy = GetSystemMetrics(SM_YVIRTUALSCREEN);
  OffsetRect(&w, -ox, -oy);
  OffsetRect(&c, corner.x - ox, corner.y - oy);
  post(w.left, w.top, w.right, c.top);
  post(w.left, c.top, c.left, c.bottom);
  post(c.right, c.top, w.right, c.bottom);
  post(w.left, c.bottom, w.right, w.bottom);
}

// A correct report is read in the screen's pixels, whatever the host's DPI
// mode.
static HANDLE setDpiContext(HANDLE context) {
  using SetDpiContext = HANDLE(WINAPI *)(HANDLE);
  static const auto function = reinterpret_cast<SetDpiContext>(reinterpret_cast<void *>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
  return function != nullptr ? function(context) : nullptr;
}

static void report(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_CTLCOLOREDIT:
      postClient(hwnd);
      break;
    case WM_DRAWITEM:
      if (wParam != 0 && lParam != 0) {
        RECT item = {};
        GetWindowRect(reinterpret_cast<const DRAWITEMSTRUCT *>(lParam)->hwndItem, &item);
        const int ox = GetSystemMetrics(SM_XVIRTUALSCREEN);
        const int oy = GetSystemMetrics(SM_YVIRTUALSCREEN);
        post(item.left - ox, item.top - oy, item.right - ox, item.bottom - oy);
      }
      break;
    case WM_NCPAINT:
    case WM_NCACTIVATE:
    case WM_HSCROLL:
    case WM_VSCROLL:
      postFrame(hwnd);
      break;
    case unnamedFrameMessage:
      postClient(hwnd);
      postFrame(hwnd);
      break;
    default:
      break;
  }
}

static void process(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_CTLCOLOREDIT:
    case WM_DRAWITEM:
    case WM_NCPAINT:
    case WM_NCACTIVATE:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case unnamedFrameMessage: {
      const HANDLE previous = setDpiContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)));
      report(hwnd, message, wParam, lParam);
      if (previous != nullptr) {
        setDpiContext(previous);
      }
      break;
    }
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
    process(call->hwnd, call->message, call->wParam, call->lParam);
  }
  return CallNextHookEx(callWndRetHook, code, wParam, lParam);
}

static LRESULT CALLBACK getMsgProc(int code, WPARAM wParam, LPARAM lParam) {
  if (isFilterCode(code)) {
    const auto *msg = reinterpret_cast<const MSG *>(lParam);
    process(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  }
  return CallNextHookEx(getMsgHook, code, wParam, lParam);
}

static LRESULT CALLBACK sysMsgProc(int code, WPARAM wParam, LPARAM lParam) {
  if (isFilterCode(code)) {
    const auto *msg = reinterpret_cast<const MSG *>(lParam);
    process(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  }
  return CallNextHookEx(sysMsgHook, code, wParam, lParam);
}
