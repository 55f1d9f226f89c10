#pragma once

// The two system calls behind installing and removing the hooks. A failing
// UnhookWindowsHookEx is rare on a real desktop, so tests replace these to
// reach the half-removed state; the library itself never changes them.

#include <windows.h>

namespace lumo {
namespace paintwatch {

struct HookApi {
  HHOOK(WINAPI *setWindowsHookEx)(int, HOOKPROC, HINSTANCE, DWORD);
  BOOL(WINAPI *unhookWindowsHookEx)(HHOOK);
};

// Per process, not shared: each process calls its own system functions.
extern HookApi hookApi;

}  // namespace paintwatch
}  // namespace lumo
