#include "screen_capture.h"

#include "frames/gdi_screen_capture.h"

namespace lumo {
namespace tools {

ScreenCapture::ScreenCapture() : area_(virtualScreen()) {
  if (area_.width <= 0 || area_.height <= 0) {
    error_ = "the virtual screen has no size";
    return;
  }
  void *bits = nullptr;
  screen_.reset(GetDC(nullptr));
  memory_.reset(CreateCompatibleDC(screen_.get()));
  bitmap_.reset(frames::createTopDownBitmap(screen_.get(), area_.width, area_.height, &bits));
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
