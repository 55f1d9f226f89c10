#pragma once

// The screen read through GDI: one BitBlt per area from the screen's DC into
// a bitmap of ours, grown to the largest area asked for so far.

#include <windows.h>

#include <cstdint>

#include "frames/screen_capture.h"
#include "util/unique_handle.h"

namespace lumo {
namespace frames {

// A bitmap of 32-bit pixels, top row first as on the screen, for a memory
// DC compatible with `screen`; its pixels at *bits. Null where refused.
HBITMAP createTopDownBitmap(HDC screen, int width, int height, void **bits);

class GdiScreenCapture : public ScreenCapture {
public:
  GdiScreenCapture() = default;
  GdiScreenCapture(const GdiScreenCapture &) = delete;
  GdiScreenCapture &operator=(const GdiScreenCapture &) = delete;

  bool capture(const region::Rect &onScreen, PixelImage *into, int intoLeft, int intoTop) override;

private:
  bool reserve(int width, int height);
  bool copyScreen(const region::Rect &onScreen);

  UniqueScreenDc screen_;
  // The bitmap stays selected into the memory DC, so the DC, declared
  // after it, goes first: a selected bitmap cannot be deleted.
  UniqueBitmap bitmap_;
  UniqueMemoryDc memory_;
  std::uint32_t *pixels_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace frames
}  // namespace lumo
