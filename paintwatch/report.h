#pragma once

// The rectangle report posted to the server window, and the coordinate
// arithmetic behind it. Plain functions, so both ends and the tests share
// one definition.

#include <windows.h>

#include <cstdint>

#include "region/rect.h"

namespace lumo {
namespace paintwatch {

struct ReportParams {
  WPARAM wParam;
  LPARAM lParam;
};

// Each coordinate travels as its low 16 bits, two's complement, unclamped.
inline ReportParams packReport(const region::Rect &rect) {
  auto pair = [](int high, int low) {
    return (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16) | static_cast<uint16_t>(low);
  };
  return {static_cast<WPARAM>(pair(rect.left, rect.top)),
          static_cast<LPARAM>(static_cast<uintptr_t>(pair(rect.right, rect.bottom)))};
}

// Reserved: reports were lost, so everything may have changed. Its corners
// are the furthest that 16 bits reach, so a receiver that clips reports to
// its screen takes it as the whole screen. A function, not a constant: Rect
// is no literal type, and the hook library runs nothing at load.
inline region::Rect everythingChanged() { return region::Rect(-32768, -32768, 32767, 32767); }

inline region::Rect unpackReport(WPARAM wParam, LPARAM lParam) {
  auto high = [](uintptr_t v) { return static_cast<int>(static_cast<int16_t>(v >> 16)); };
  auto low = [](uintptr_t v) { return static_cast<int>(static_cast<int16_t>(v)); };
  auto w = static_cast<uintptr_t>(wParam);
  auto l = static_cast<uintptr_t>(lParam);
  return region::Rect(high(w), low(w), high(l), low(l));
}

// A screen rectangle moved into virtual-screen coordinates, whose origin is
// the virtual screen's top-left corner: the one conversion the hooks, the
// damage tracker and the tools share.
inline region::Rect virtualFromScreen(const region::Rect &screen, POINT origin) {
  return region::Rect(screen.left - origin.x, screen.top - origin.y, screen.right - origin.x,
                      screen.bottom - origin.y);
}

inline region::Rect virtualFromScreen(const RECT &screen, POINT origin) {
  return virtualFromScreen(region::Rect(screen.left, screen.top, screen.right, screen.bottom),
                           origin);
}

// A client rectangle (relative to the client area) placed at the client
// area's screen position, in virtual-screen coordinates.
inline region::Rect virtualFromClient(const RECT &client, POINT clientOnScreen, POINT origin) {
  return virtualFromScreen(
      region::Rect(client.left + clientOnScreen.x, client.top + clientOnScreen.y,
                   client.right + clientOnScreen.x, client.bottom + clientOnScreen.y),
      origin);
}

}  // namespace paintwatch
}  // namespace lumo
