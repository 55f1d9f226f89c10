#pragma once

// Where the frame builder reads the screen.

#include "frames/pixel_image.h"
#include "region/rect.h"

namespace lumo {
namespace frames {

class ScreenCapture {
public:
  virtual ~ScreenCapture() = default;

  // Copies the screen's pixels in `area` (virtual-screen coordinates, inside
  // the image) to the same place of `into`; false where it could not.
  virtual bool capture(const region::Rect &area, PixelImage *into) = 0;
};

}  // namespace frames
}  // namespace lumo
