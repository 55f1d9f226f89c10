#pragma once

// The system calls whose rare or unobservable outcomes the library must
// handle: a failing UnhookWindowsHookEx (the half-removed state), a thread id
// that a new thread reused after the installer ended, a heap that runs out,
// a post that a full queue refuses (Wine refuses none), and a host whose
// coordinates the system scales for DPI (Wine scales none). Tests replace
// them (through SeamOverride); the library itself never changes them, and
// the table is not installed.

#include <windows.h>

namespace lumo {
namespace paintwatch {

struct HookSeam {
  HHOOK(WINAPI *setWindowsHookEx)(int, HOOKPROC, HINSTANCE, DWORD);
  BOOL(WINAPI *unhookWindowsHookEx)(HHOOK);
  BOOL(WINAPI *getThreadTimes)(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME, LPFILETIME);
  LPVOID(WINAPI *heapAlloc)(HANDLE, DWORD, SIZE_T);
  LPVOID(WINAPI *heapReAlloc)(HANDLE, DWORD, LPVOID, SIZE_T);
  // SetThreadDpiAwarenessContext where the system has it; elsewhere it
  // refuses, returning null, as the system's does.
  HANDLE(WINAPI *setThreadDpiAwarenessContext)(HANDLE);
  int(WINAPI *getSystemMetrics)(int);
  BOOL(WINAPI *getWindowRect)(HWND, LPRECT);
  BOOL(WINAPI *getClientRect)(HWND, LPRECT);
  BOOL(WINAPI *clientToScreen)(HWND, LPPOINT);
  BOOL(WINAPI *postMessage)(HWND, UINT, WPARAM, LPARAM);
};

// Per process, not shared: each process calls its own system functions.
// Constant-initialised, since the library runs no code at load.
extern HookSeam hookSeam;

}  // namespace paintwatch
}  // namespace lumo
