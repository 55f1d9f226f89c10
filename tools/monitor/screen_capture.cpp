#include "screen_capture.h"

namespace lumo {
namespace tools {

ScreenCapture::ScreenCapture() : area_(virtualScreen()) {
  if (area_.width <= 0 || area_.height <= 0) {
    error_ = "the virtual screen has no size";
    return;
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = area_.width;
  info.bmiHeader.biHeight = -area_.height;  // top-down, like the screen
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  screen_.reset(GetDC(nullptr));
  memory_.reset(CreateCompatibleDC(screen_.get()));
  bitmap_.reset(CreateDIBSection(screen_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!screen_ || !memory_ || !bitmap_ || !SelectObject(memory_.get(), bitmap_.get())) {
    error_ = "cannot make a bitmap of the screen";
    return;
  }
  pixels_ = static_cast<std::uint32_t *>(bits);
}

bool ScreenCapture::capture() {
  const bool copied = BitBlt(memory_.get(), 0, 0, area_.width, area_.height, screen_.get(),
                             area_.origin.x, area_.origin.y, SRCCOPY | CAPTUREBLT) != FALSE;
  GdiFlush();
  return copied;
}

}  // namespace tools
}  // namespace lumo
