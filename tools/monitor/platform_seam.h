#pragma once

// The Windows call of the monitor's clock whose rare outcome it must handle:
// a thread's queue that refuses a post once it holds 10,000 messages. Tests
// replace it (through SeamOverride); the monitor never changes it.

#include <windows.h>

namespace lumo {
namespace tools {

struct MonitorSeam {
  BOOL(WINAPI *postThreadMessage)(DWORD, UINT, WPARAM, LPARAM);
};

extern MonitorSeam monitorSeam;

}  // namespace tools
}  // namespace lumo
