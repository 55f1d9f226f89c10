#pragma once

// The damage map: a picture of the virtual screen, in dimmed grey, with
// every reported rectangle outlined and tinted by how often it was
// reported, its count
// written in it where it fits, the changes no report covered in a second
// colour, what the damage tracker added outlined in a third, and a legend.

#include <cstdint>
#include <string>
#include <vector>

#include "region/rect.h"

namespace lumo {
namespace tools {

struct Damage {
  region::Rect rect;  // virtual-screen coordinates
  unsigned long count;
};

// Tints and outlines the rectangles on 32-bit BGRX pixels whose top-left
// pixel is the virtual screen's origin. Rectangles are clipped to the picture;
// more reports give a deeper red, but a rectangle over half of the picture
// is only faintly tinted. Where missed (one byte per pixel) is given and
// has the picture's size, its marked pixels are tinted deeply in the second
// colour. Where added is given, its rectangles are outlined in the third,
// over the reports' outlines.
void paintDamage(std::uint32_t *pixels, int width, int height, const std::vector<Damage> &damage,
                 const std::vector<std::uint8_t> *missed = nullptr,
                 const std::vector<region::Rect> *added = nullptr);

// Captures the virtual screen, paints the damage, the counts and the legend
// on it and writes it as PNG with the platform's image codecs. Returns an
// empty string on success, otherwise what went wrong.
std::string writeDamageMap(const std::wstring &path, const std::vector<Damage> &damage,
                           const std::vector<std::uint8_t> *missed = nullptr,
                           const std::vector<region::Rect> *added = nullptr);

}  // namespace tools
}  // namespace lumo
