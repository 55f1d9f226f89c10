#pragma once

// Where the frame builder reads the screen.

#include "frames/pixel_image.h"
#include "region/rect.h"

namespace lumo {
namespace frames {

class ScreenCapture {
public:
  virtual ~ScreenCapture() = default;

  // Copies the screen's pixels in `onScreen` (screen coordinates) to `into`,
  // with the top left at (intoLeft, intoTop); false where it could not.
  virtual bool capture(const region::Rect &onScreen, PixelImage *into, int intoLeft,
                       int intoTop) = 0;
};

}  // namespace frames
}  // namespace lumo
