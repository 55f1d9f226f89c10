#include "frames/frame_builder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "frames/pixel_compare.h"
#include "region/rect_geometry.h"
#include "region/region.h"

namespace lumo {
namespace frames {

using region::Rect;
using region::Region;

namespace {

std::uint64_t pixelsIn(const std::vector<Rect> &rects) {
  std::uint64_t sum = 0;
  for (const Rect &r : rects) {
    sum += pixelCount(r);
  }
  return sum;
}

// Regions hold 16-bit coordinates: a virtual screen larger than that is
// sent whole every frame.
bool fitsRegions(const Rect &layout) {
  const std::int64_t width = std::int64_t{layout.right} - layout.left;
  const std::int64_t height = std::int64_t{layout.bottom} - layout.top;
  return width >= 0 && height >= 0 && width <= region::kRegionLimit &&
         height <= region::kRegionLimit;
}

void unite(Region *into, const Region &part) {
  if (!into->unite(&part)) {
    throw std::bad_alloc();
  }
}

void unite(Region *into, const Rect &rect) {
  const Region part(&rect);
  unite(into, part);
}

// United by halves: one rectangle at a time would walk the whole region so
// far for each, which thousands of scattered hints make quadratic.
std::unique_ptr<Region> unionOf(const Rect *rects, size_t count) {
  if (count == 1) {
    return std::make_unique<Region>(rects);
  }
  std::unique_ptr<Region> all = unionOf(rects, count / 2);
  unite(all.get(), *unionOf(rects + count / 2, count - count / 2));
  return all;
}

// The union of the rectangles inside `bounds`, as rectangles that do not
// overlap: nothing is captured or compared twice.
std::vector<Rect> disjointUnion(const std::vector<Rect> &rects, const Rect &bounds) {
  std::vector<Rect> inside;
  for (const Rect &r : rects) {
    const Rect part = intersection(r, bounds);
    if (!part.isEmpty()) {
      inside.push_back(part);
    }
  }
  std::vector<Rect> result;
  if (!inside.empty()) {
    unionOf(inside.data(), inside.size())->getRectVector(&result);
  }
  return result;
}

// What the windows' moves uncovered on the screen: their old places less
// their new ones. A region's subtraction that ran out of memory would come
// out empty, and what it lost never be watched.
std::vector<Rect> uncoveredBy(const std::vector<damage::WindowMove> &moves, const Rect &screen) {
  std::vector<Rect> uncovered;
  for (const damage::WindowMove &move : moves) {
    appendDifference(intersection(move.from, screen), intersection(move.to, screen), &uncovered);
  }
  return uncovered;
}

bool sameRows(const PixelImage &moved, const PixelImage &old, const Rect &cell, int dx, int dy) {
  for (int y = cell.top; y < cell.bottom; ++y) {
    if (!samePixels(moved.row(y + dy) + cell.left + dx, old.row(y) + cell.left, cell.getWidth())) {
      return false;
    }
  }
  return true;
}

// The parts of `source`, a band of grid rows or a cell at a time, whose
// pixels in `old` arrived unchanged at source + (dx, dy) in `moved`.
std::vector<Rect> provenParts(const PixelImage &moved, const PixelImage &old, const Rect &source,
                              int dx, int dy, const TileGrid &grid) {
  std::vector<Rect> parts;
  for (int top = source.top; top < source.bottom; top += grid.height) {
    const Rect band(source.left, top, source.right, std::min(top + grid.height, source.bottom));
    if (sameRows(moved, old, band, dx, dy)) {
      parts.push_back(band);
      continue;
    }
    for (int left = band.left; left < band.right; left += grid.width) {
      const Rect cell(left, band.top, std::min(left + grid.width, band.right), band.bottom);
      if (sameRows(moved, old, cell, dx, dy)) {
        parts.push_back(cell);
      }
    }
  }
  const size_t count = parts.size();
  return mergeBoxes(std::move(parts), count);
}

// The part of `source` on `bounds` both where it is and moved by (dx, dy).
// The offsets come in 64 bits: a careless caller's need not fit an int.
Rect movablePart(const Rect &source, std::int64_t dx, std::int64_t dy, const Rect &bounds) {
  if (std::abs(dx) > bounds.getWidth() || std::abs(dy) > bounds.getHeight()) {
    return Rect();
  }
  return intersection(intersection(source, bounds),
                      translated(bounds, -static_cast<int>(dx), -static_cast<int>(dy)));
}

}  // namespace

void applyUpdate(const FrameUpdate &update, PixelImage *client) {
  if (update.whole) {
    const Rect screen = update.areas.empty() ? Rect() : update.areas.front().place;
    *client = PixelImage(screen.getWidth(), screen.getHeight());
  }
  // A picture that is not the one the update was made for is drawn only
  // where it reaches.
  const Rect bounds = client->bounds();
  for (const Move &move : update.moves) {
    const std::int64_t dx = std::int64_t{move.toLeft} - move.source.left;
    const std::int64_t dy = std::int64_t{move.toTop} - move.source.top;
    const Rect part = movablePart(move.source, dx, dy, bounds);
    if (!part.isEmpty()) {
      copyPixels(*client, part, client, part.left + static_cast<int>(dx),
                 part.top + static_cast<int>(dy));
    }
  }
  for (const ChangedArea &area : update.areas) {
    const Rect part = intersection(area.place, bounds);
    if (part.isEmpty()) {
      continue;
    }
    const std::uint32_t *pixels =
        area.pixels + (part.left - area.place.left) +
        static_cast<std::ptrdiff_t>(part.top - area.place.top) * area.stride;
    for (int y = 0; y < part.getHeight(); ++y) {
      std::memcpy(client->row(part.top + y) + part.left,
                  pixels + static_cast<std::ptrdiff_t>(y) * area.stride,
                  static_cast<size_t>(part.getWidth()) * sizeof(std::uint32_t));
    }
  }
}

FrameBuilder::FrameBuilder(ScreenCapture *capture, FrameBuilderSettings settings)
    : capture_(capture), settings_(settings) {
  // The grid divides and steps by its cells' size.
  settings_.grid.width = std::max(settings_.grid.width, 1);
  settings_.grid.height = std::max(settings_.grid.height, 1);
}

FrameUpdate FrameBuilder::build(const FrameHints &hints) {
  FrameUpdate update;
  try {
    const Rect &layout = hints.virtualScreen;
    if (!replicaValid_ || hints.displayChanged || !fitsRegions(layout) ||
        layout.left != originLeft_ || layout.top != originTop_ ||
        replica_.width() != layout.getWidth() || replica_.height() != layout.getHeight()) {
      buildWhole(hints, &update);
      return update;
    }
    const Rect screen = replica_.bounds();
    const std::vector<Rect> hinted = disjointUnion(hints.hinted, screen);
    update.counts.hinted = pixelsIn(hinted);
    std::vector<Rect> wanted = hinted;
    for (const Watched &watched : recheck_) {
      wanted.push_back(watched.place);
    }
    for (const damage::WindowMove &move : hints.moves) {
      wanted.push_back(move.to);
    }
    wanted = disjointUnion(wanted, screen);
    if (!captureAreas(wanted, &update.counts)) {
      watch(wanted, uncoveredBy(hints.moves, screen), FrameUpdate());
      return FrameUpdate();
    }
    applyMoves(hints.moves, &update);
    sendChanges(wanted, &update);
    watch(hinted, uncoveredBy(hints.moves, screen), update);
  } catch (const std::exception &) {
    replicaValid_ = false;
    return FrameUpdate();
  }
  return update;
}

// What was hinted or changed is watched for some frames more, and what a
// move uncovered until it changes; what was watched long enough is let go.
void FrameBuilder::watch(const std::vector<Rect> &hinted, const std::vector<Rect> &uncovered,
                         const FrameUpdate &update) {
  std::vector<Watched> next;
  for (const Watched &watched : recheck_) {
    if (watched.framesLeft > 1) {
      next.push_back({watched.place, watched.framesLeft - 1, watched.untilChanged});
    }
  }
  for (const Rect &place : hinted) {
    next.push_back({place, settings_.recheckFrames, false});
  }
  for (const Rect &place : uncovered) {
    next.push_back({place, settings_.uncoveredFrames, true});
  }
  for (const ChangedArea &area : update.areas) {
    next.push_back({area.place, settings_.recheckFrames, false});
  }
  recheck_ = std::move(next);
}

// A new replica of the whole screen; its pixels are the one area to send.
void FrameBuilder::buildWhole(const FrameHints &hints, FrameUpdate *update) {
  replicaValid_ = false;
  recheck_.clear();
  replica_ = PixelImage();
  captured_ = PixelImage();
  const Rect &layout = hints.virtualScreen;
  originLeft_ = layout.left;
  originTop_ = layout.top;
  PixelImage fresh(std::max(layout.getWidth(), 0), std::max(layout.getHeight(), 0));
  const Rect screen = fresh.bounds();
  if (!screen.isEmpty() && !captureArea(screen, &fresh)) {
    return;
  }
  captured_ = PixelImage(fresh.width(), fresh.height());
  replica_ = std::move(fresh);
  replicaValid_ = true;
  update->whole = true;
  update->counts.hinted = update->counts.captured = update->counts.sent = pixelCount(screen);
  if (!screen.isEmpty()) {
    update->areas.push_back({screen, replica_.row(0), replica_.width()});
  }
}

// One capture of the areas' bounding box, or one per area, whichever costs
// less.
bool FrameBuilder::captureAreas(const std::vector<Rect> &areas, FrameCounts *counts) {
  if (areas.empty()) {
    return true;
  }
  Rect box;
  for (const Rect &r : areas) {
    box = boundingUnion(box, r);
  }
  const double perCall = settings_.capture.perCallMicroseconds * 1000;
  const double perPixel = settings_.capture.perPixelNanoseconds;
  const double separately = areas.size() * perCall + pixelsIn(areas) * perPixel;
  if (perCall + pixelCount(box) * perPixel < separately) {
    counts->captured = pixelCount(box);
    return captureArea(box, &captured_);
  }
  counts->captured = pixelsIn(areas);
  return std::all_of(areas.begin(), areas.end(),
                     [this](const Rect &area) { return captureArea(area, &captured_); });
}

// The one place virtual-screen coordinates become screen ones.
bool FrameBuilder::captureArea(const Rect &area, PixelImage *into) {
  return capture_->capture(translated(area, originLeft_, originTop_), into, area.left, area.top);
}

// Each move copies what its pixels prove, in order, in the replica as the
// client will: a part whose source an earlier copy overwrote is not the old
// picture any more, so it is left to the changed areas.
void FrameBuilder::applyMoves(const std::vector<damage::WindowMove> &moves, FrameUpdate *update) {
  const Rect screen = replica_.bounds();
  const Rect none;
  Region written(&none);
  for (const damage::WindowMove &move : moves) {
    const std::int64_t dx64 = std::int64_t{move.to.left} - move.from.left;
    const std::int64_t dy64 = std::int64_t{move.to.top} - move.from.top;
    if (std::int64_t{move.to.right} - move.from.right != dx64 ||
        std::int64_t{move.to.bottom} - move.from.bottom != dy64) {
      continue;
    }
    const Rect source = movablePart(move.from, dx64, dy64, screen);
    if (source.isEmpty()) {
      continue;
    }
    const int dx = static_cast<int>(dx64);
    const int dy = static_cast<int>(dy64);
    update->counts.compared += pixelCount(source);
    for (const Rect &proven : provenParts(captured_, replica_, source, dx, dy, settings_.grid)) {
      Region unwritten(&proven);
      unwritten.subtract(&written);
      std::vector<Rect> parts;
      unwritten.getRectVector(&parts);
      for (const Rect &part : parts) {
        copyPixels(replica_, part, &replica_, part.left + dx, part.top + dy);
        update->moves.push_back({part, part.left + dx, part.top + dy});
        update->counts.copied += pixelCount(part);
        unite(&written, translated(part, dx, dy));
      }
    }
  }
}

// What differs from the replica goes into it and out as changed areas. The
// pixels are copied for the tight boxes; merged areas point into the
// replica, which holds the client's pixels wherever nothing changed.
void FrameBuilder::sendChanges(const std::vector<Rect> &compared, FrameUpdate *update) {
  std::vector<Rect> boxes;
  for (const Rect &area : compared) {
    appendChangedBoxes(captured_, replica_, area, settings_.grid, &boxes);
    update->counts.compared += pixelCount(area);
  }
  letGoOfDrawnUncovered(boxes);
  for (const Rect &box : boxes) {
    copyPixels(captured_, box, &replica_, box.left, box.top);
  }
  for (const Rect &place : mergeBoxes(std::move(boxes), settings_.maxAreas)) {
    update->areas.push_back({place, replica_.row(place.top) + place.left, replica_.width()});
    update->counts.sent += pixelCount(place);
  }
}

// What a move uncovered is let go once a pixel in it changed. A changed box
// is the bounds of a cell's changes, which may span an unchanged place:
// where one meets the place, the pixels there are compared.
void FrameBuilder::letGoOfDrawnUncovered(const std::vector<Rect> &changed) {
  const auto drawnIn = [this, &changed](const Rect &place) {
    return std::any_of(changed.begin(), changed.end(), [this, &place](const Rect &box) {
      const Rect part = intersection(box, place);
      return !part.isEmpty() && !sameRows(captured_, replica_, part, 0, 0);
    });
  };
  recheck_.erase(std::remove_if(recheck_.begin(), recheck_.end(),
                                [&drawnIn](const Watched &watched) {
                                  return watched.untilChanged && drawnIn(watched.place);
                                }),
                 recheck_.end());
}

}  // namespace frames
}  // namespace lumo
