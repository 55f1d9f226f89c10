#pragma once

// The screen source's frames at the monitor's frame clock, with a replica
// of the monitor's own kept from them alone, as a client keeps its screen,
// and checked against every full capture of --verify: does what a server
// sends keep a client's screen right? The full captures come from a reader
// of their own, so that a fault in the source's capture cannot hide.

#include <cstdint>
#include <string>
#include <vector>

#include "damage/damage_tracker.h"
#include "frames/frame_builder.h"
#include "region/rect.h"

namespace lumo {
namespace tools {

class ReplicaCheck {
public:
  // The virtual screen the captures are of, in screen coordinates.
  explicit ReplicaCheck(const region::Rect &captured);
  ReplicaCheck(const ReplicaCheck &) = delete;
  ReplicaCheck &operator=(const ReplicaCheck &) = delete;

  // Pixels not checked: the monitor's own output, as coverage leaves it out.
  void exclude(const region::Rect &rect);
  // One frame of the virtual screen `virtualScreen`, applied to the
  // replica.
  void frame(const region::Rect &virtualScreen, const frames::FrameUpdate &update);
  // A full capture, top-down rows of 32-bit pixels of the virtual screen. A
  // pixel is stale where the replica was wrong at more than two of the last
  // eight captures: a change the replica missed that keeps coming back to
  // the replica's colour, a blink or a spinner, is stale too.
  void addCapture(const std::uint32_t *pixels);

  // Where the builder sent changed areas, one byte per pixel of the
  // captures, 1 where sent: the frames the counts of summary() count.
  const std::vector<std::uint8_t> &sent() const { return sent_; }
  // Hinted, sent and copied pixels summed over those frames.
  const frames::FrameCounts &counts() const { return counts_; }
  // Every move the builder copied, from where to where.
  const std::vector<damage::WindowMove> &copies() const { return copies_; }

  // "frames: ..." and "replica: ..."; `changed` is the coverage check's
  // count of changed pixels.
  std::wstring summary(std::uint64_t changed) const;

private:
  region::Rect captured_;
  int width_;
  int height_;
  // The virtual screen of the last frame, which the replica is of.
  region::Rect layout_;
  // Whether the last capture was compared: not after a display change.
  bool checkedLast_ = false;
  frames::PixelImage replica_;
  std::vector<std::uint8_t> excluded_;
  // A mask rather than a region of the areas: its size is fixed however
  // scattered the run's changes are, and marking costs less than applying
  // the same areas to the replica does.
  std::vector<std::uint8_t> sent_;
  std::vector<std::uint32_t> previous_;
  // Whether each pixel of the replica was wrong at the last eight captures,
  // the last in the lowest bit.
  std::vector<std::uint8_t> wrongAt_;
  std::uint64_t frames_ = 0;
  frames::FrameCounts counts_;
  std::uint64_t moves_ = 0;
  std::vector<damage::WindowMove> copies_;
  std::uint64_t differing_ = 0;
  std::uint64_t mostStale_ = 0;
};

}  // namespace tools
}  // namespace lumo
