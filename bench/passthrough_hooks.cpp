// The first baseline for the hook benchmark: the same three system-wide
// hooks and the same exports as the screen-hook library, but every
// procedure only passes the message on.

#include "baseline_hooks.h"

static LRESULT CALLBACK callWndRetProc(int code, WPARAM wParam, LPARAM lParam) {
  return CallNextHookEx(callWndRetHook, code, wParam, lParam);
}

static LRESULT CALLBACK getMsgProc(int code, WPARAM wParam, LPARAM lParam) {
  return CallNextHookEx(getMsgHook, code, wParam, lParam);
}

static LRESULT CALLBACK sysMsgProc(int code, WPARAM wParam, LPARAM lParam) {
  return CallNextHookEx(sysMsgHook, code, wParam, lParam);
}
