#pragma once

// The system calls behind the tracker's DPI rule, which Wine cannot show:
// it gives every process the system DPI and scales nothing. Tests replace
// them (through SeamOverride); the library never changes them, and the
// table is not installed.

#include <windows.h>

namespace lumo {
namespace damage {

struct DamageSeam {
  // SetThreadDpiAwarenessContext where the system has it; elsewhere it
  // refuses, returning null, as the system's does.
  HANDLE(WINAPI *setThreadDpiAwarenessContext)(HANDLE);
  int(WINAPI *getSystemMetrics)(int);
};

extern DamageSeam damageSeam;

}  // namespace damage
}  // namespace lumo
