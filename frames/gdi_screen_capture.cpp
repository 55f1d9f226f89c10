#include "frames/gdi_screen_capture.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "damage/per_monitor_dpi.h"

namespace lumo {
namespace frames {

HBITMAP createTopDownBitmap(HDC screen, int width, int height, void **bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down, like the screen
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(screen, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

bool GdiScreenCapture::capture(const region::Rect &onScreen, PixelImage *into, int intoLeft,
                               int intoTop) {
  const int width = onScreen.getWidth();
  const int height = onScreen.getHeight();
  if (!reserve(width, height)) {
    return false;
  }
  if (!copyScreen(onScreen)) {
    return false;
  }
  for (int y = 0; y < height; ++y) {
    std::memcpy(into->row(intoTop + y) + intoLeft, pixels_ + static_cast<size_t>(y) * width_,
                static_cast<size_t>(width) * sizeof(std::uint32_t));
  }
  return true;
}

// In the screen's pixels whatever the thread's DPI awareness, as the tracker
// reads the places it hints; where that cannot be had, nothing is read.
bool GdiScreenCapture::copyScreen(const region::Rect &onScreen) {
  try {
    const damage::PerMonitorDpiScope perMonitor;
    const bool copied =
        BitBlt(memory_.get(), 0, 0, onScreen.getWidth(), onScreen.getHeight(), screen_.get(),
               onScreen.left, onScreen.top, SRCCOPY | CAPTUREBLT) != FALSE;
    GdiFlush();
    return copied;
  } catch (const std::exception &) {
    return false;
  }
}

// A bitmap at least this large, made anew only to grow.
bool GdiScreenCapture::reserve(int width, int height) {
  if (width <= width_ && height <= height_) {
    return pixels_ != nullptr;
  }
  if (!screen_) {
    screen_.reset(GetDC(nullptr));
  }
  memory_.reset();
  bitmap_.reset();
  pixels_ = nullptr;
  width_ = std::max(width, width_);
  height_ = std::max(height, height_);
  void *bits = nullptr;
  bitmap_.reset(createTopDownBitmap(screen_.get(), width_, height_, &bits));
  memory_.reset(CreateCompatibleDC(screen_.get()));
  if (!screen_ || !bitmap_ || !memory_ || !SelectObject(memory_.get(), bitmap_.get())) {
    memory_.reset();
    bitmap_.reset();
    width_ = height_ = 0;
    return false;
  }
  pixels_ = static_cast<std::uint32_t *>(bits);
  return true;
}

}  // namespace frames
}  // namespace lumo
