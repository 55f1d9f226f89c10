#pragma once

// The virtual screen, the rectangle spanning every monitor, in which the
// hooks report. The hook library reads its origin itself: it links nothing
// of the tools.

#include <windows.h>

namespace lumo {
namespace tools {

struct VirtualScreen {
  POINT origin;  // top-left corner, in screen coordinates
  int width;
  int height;
};

// Read anew on every call: the monitor layout may change at any time.
inline VirtualScreen virtualScreen() {
  return {{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)},
          GetSystemMetrics(SM_CXVIRTUALSCREEN),
          GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

}  // namespace tools
}  // namespace lumo
