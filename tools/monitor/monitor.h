#pragma once

// paintmonitor's run: starts a screen source, whose hooks are the 64-bit
// build and the 32-bit one through the 32-bit hook loader, prints every
// report as one line "left top right bottom" (virtual-screen coordinates),
// and stops the source when it ends, then says what it saw.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumo {
namespace tools {

struct MonitorOptions {
  std::uint32_t durationMs = INFINITE;
  bool watch64 = true;
  bool watch32 = true;
  bool verify = false;
  std::wstring library;
  std::vector<std::wstring> windowTitles;
  std::wstring damageMap;
};

// Until the duration has passed, Ctrl+C or the end of standard input; gives
// the exit code.
int runMonitor(const MonitorOptions &options);

}  // namespace tools
}  // namespace lumo
