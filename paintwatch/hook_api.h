#pragma once

// The system calls whose rare outcomes the installation must handle: a
// failing UnhookWindowsHookEx (the half-removed state) and a thread id that
// a new thread reused after the installer ended. Tests replace them; the
// library itself never changes them.

#include <windows.h>

namespace lumo {
namespace paintwatch {

struct HookApi {
  HHOOK(WINAPI *setWindowsHookEx)(int, HOOKPROC, HINSTANCE, DWORD);
  BOOL(WINAPI *unhookWindowsHookEx)(HHOOK);
  BOOL(WINAPI *getThreadTimes)(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME, LPFILETIME);
};

// Per process, not shared: each process calls its own system functions.
extern HookApi hookApi;

}  // namespace paintwatch
}  // namespace lumo
