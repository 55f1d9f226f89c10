#pragma once

// The damage map: a picture of the virtual screen, in dimmed grey, with
// every reported rectangle outlined and tinted by how often it was
// reported, its count
// written in it where it fits, the changes no report covered in a second
// colour, what the damage tracker added outlined in a third, the frame
// builder's moves in a fourth, what it sent tinted in a fifth, and a
// legend.

#include <cstdint>
#include <string>
#include <vector>

#include "damage/damage_tracker.h"
#include "region/rect.h"

namespace lumo {
namespace tools {

struct Damage {
  region::Rect rect;  // virtual-screen coordinates
  unsigned long count;
};

// What --verify adds to the map, each where given: the changes no report
// covered (one byte per pixel, at the picture's size, or it is not used),
// what the damage tracker added, the moves the frame builder copied, and
// where it sent changed areas (a mask as the missed changes), with the
// hinted and sent pixels the frames line gives.
struct VerifyMarks {
  const std::vector<std::uint8_t> *missed = nullptr;
  const std::vector<region::Rect> *added = nullptr;
  const std::vector<damage::WindowMove> *moves = nullptr;
  const std::vector<std::uint8_t> *sent = nullptr;
  std::uint64_t hintedPixels = 0;
  std::uint64_t sentPixels = 0;
};

// Tints and outlines the rectangles on 32-bit BGRX pixels whose top-left
// pixel is the virtual screen's origin. Rectangles are clipped to the picture;
// more reports give a deeper red, but a rectangle over half of the picture
// is only faintly tinted. What the frame builder sent is tinted lightly in
// a fifth colour over the reports' tint, missed changes deeply in a second
// over both, the tracker's additions outlined in a third over the reports'
// outlines, and each move's source and destination outlined in a fourth
// and joined by a line between their centres.
void paintDamage(std::uint32_t *pixels, int width, int height, const std::vector<Damage> &damage,
                 const VerifyMarks &marks = {});

// Captures the virtual screen, paints the damage, the counts and the legend
// on it and writes it as PNG with the platform's image codecs. Returns an
// empty string on success, otherwise what went wrong.
std::string writeDamageMap(const std::wstring &path, const std::vector<Damage> &damage,
                           const VerifyMarks &marks = {});

}  // namespace tools
}  // namespace lumo
