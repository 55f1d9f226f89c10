#pragma once

// What the benchmark's baseline hook libraries share with the screen-hook
// library: the three hooks, their shared state and the two exports. Each
// baseline is one source that includes this and defines the three hook
// procedures.

#include <windows.h>

#include <initializer_list>

#include "paintwatch/shared_section.h"
static HHOOK callWndRetHook SHARED_STATE = nullptr;
static HHOOK getMsgHook SHARED_STATE = nullptr;
static HHOOK sysMsgHook SHARED_STATE = nullptr;
static HWND targetWindow SHARED_STATE = nullptr;
static UINT hookMessage SHARED_STATE = 0;

static HINSTANCE moduleInstance = nullptr;

static LRESULT CALLBACK callWndRetProc(int code, WPARAM wParam, LPARAM lParam);
static LRESULT CALLBACK getMsgProc(int code, WPARAM wParam, LPARAM lParam);
static LRESULT CALLBACK sysMsgProc(int code, WPARAM wParam, LPARAM lParam);

extern "C" __declspec(dllexport) bool unsetHookForWindow(HWND, UINT) {
  for (HHOOK *hook : {&callWndRetHook, &getMsgHook, &sysMsgHook}) {
    if (*hook != nullptr && UnhookWindowsHookEx(*hook)) {
      *hook = nullptr;
    }
  }
  return callWndRetHook == nullptr && getMsgHook == nullptr && sysMsgHook == nullptr;
}

extern "C" __declspec(dllexport) bool setHookWithMessage(HWND window, UINT message) {
  if (callWndRetHook != nullptr || getMsgHook != nullptr || sysMsgHook != nullptr) {
    return false;
  }
  targetWindow = window;
  hookMessage = message;
  callWndRetHook = SetWindowsHookExW(WH_CALLWNDPROCRET, callWndRetProc, moduleInstance, 0);
  getMsgHook = SetWindowsHookExW(WH_GETMESSAGE, getMsgProc, moduleInstance, 0);
  sysMsgHook = SetWindowsHookExW(WH_SYSMSGFILTER, sysMsgProc, moduleInstance, 0);
  if (callWndRetHook && getMsgHook && sysMsgHook) {
    return true;
  }
  unsetHookForWindow(nullptr, 0);
  return false;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    moduleInstance = instance;
  }
  return TRUE;
}
