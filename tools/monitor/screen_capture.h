#pragma once

// Pictures of the virtual screen through GDI, for the damage map and the
// coverage check: one bitmap, filled anew by every capture.

#include <windows.h>

#include <cstdint>
#include <string>

#include "util/unique_handle.h"
#include "virtual_screen.h"

namespace lumo {
namespace tools {

class ScreenCapture {
public:
  // Sized for the virtual screen as it is now; ready() tells whether the
  // bitmap could be made, error() why not.
  ScreenCapture();
  ScreenCapture(const ScreenCapture &) = delete;
  ScreenCapture &operator=(const ScreenCapture &) = delete;

  bool ready() const { return pixels_ != nullptr; }
  const std::string &error() const { return error_; }

  // Copies the screen into the bitmap; false when the system refused.
  bool capture();

  // Top-down rows of 32-bit BGRX pixels; the first is the virtual screen's
  // top-left corner.
  std::uint32_t *pixels() const { return pixels_; }
  int width() const { return area_.width; }
  int height() const { return area_.height; }
  POINT origin() const { return area_.origin; }
  // For drawing on the picture with GDI; the bitmap is selected into it.
  HDC dc() const { return memory_.get(); }

private:
  VirtualScreen area_;
  UniqueScreenDc screen_;
  // The bitmap stays selected into the memory DC, so the DC, declared
  // after it, goes first: a selected bitmap cannot be deleted.
  UniqueBitmap bitmap_;
  UniqueMemoryDc memory_;
  std::uint32_t *pixels_ = nullptr;
  std::string error_;
};

}  // namespace tools
}  // namespace lumo
