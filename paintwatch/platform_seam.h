#pragma once

// The system calls whose rare outcomes the installation must handle: a
// failing UnhookWindowsHookEx (the half-removed state) and a thread id that
// a new thread reused after the installer ended. Tests replace them (through
// SeamOverride); the library itself never changes them, and the table is
// not installed.

#include <windows.h>

namespace lumo {
namespace paintwatch {

struct HookSeam {
  HHOOK(WINAPI *setWindowsHookEx)(int, HOOKPROC, HINSTANCE, DWORD);
  BOOL(WINAPI *unhookWindowsHookEx)(HHOOK);
  BOOL(WINAPI *getThreadTimes)(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME, LPFILETIME);
};

// Per process, not shared: each process calls its own system functions.
extern HookSeam hookSeam;

}  // namespace paintwatch
}  // namespace lumo
