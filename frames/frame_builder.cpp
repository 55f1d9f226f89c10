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
    : capture_(capture),
      settings_(settings),
      hintedRecheck_(settings.recheck),
      sentRecheck_(settings.recheck),
      lateDrawing_(settings.lateDrawing) {
  // The grid divides and steps by its cells' size.
  settings_.grid.width = std::max(settings_.grid.width, 1);
  settings_.grid.height = std::max(settings_.grid.height, 1);
}

FrameUpdate FrameBuilder::build(const FrameHints &hints, Clock::time_point now) noexcept {
  FrameUpdate update;
  bool read = false;
  try {
    read = buildFrame(hints, clock_.at(now), &update);
  } catch (...) {
    replicaValid_ = false;
  }
  clock_.frameEnded(now, read);
  if (!read) {
    update = FrameUpdate();
  }
  return update;
}

// What the frame names is watched before the screen is read, so that a
// frame that cannot read it loses nothing; what was watched long enough is
// let go once a frame has read it.
bool FrameBuilder::buildFrame(const FrameHints &hints, Clock::duration at, FrameUpdate *update) {
  const Rect &layout = hints.virtualScreen;
  const bool originMoved = followOrigin(layout);
  if (!fitsRegions(layout)) {
    return buildWhole(layout, update);
  }
  const Rect screen(0, 0, layout.getWidth(), layout.getHeight());
  const std::vector<Rect> hinted = disjointUnion(hints.hinted, screen);
  // What the moves uncovered, for hints that name moves alone.
  std::vector<Rect> vacated = uncoveredBy(hints.moves, screen);
  vacated.insert(vacated.end(), hints.vacated.begin(), hints.vacated.end());
  hintedRecheck_.add(hinted, at);
  lateDrawing_.add(disjointUnion(vacated, screen), at);
  if (!replicaValid_ || hints.displayChanged || originMoved || replica_.bounds() != screen) {
    if (!buildWhole(layout, update)) {
      return false;
    }
  } else {
    std::vector<Rect> wanted;
    hintedRecheck_.appendTo(&wanted);
    sentRecheck_.appendTo(&wanted);
    lateDrawing_.appendTo(&wanted);
    for (const damage::WindowMove &move : hints.moves) {
      wanted.push_back(move.to);
    }
    wanted = disjointUnion(wanted, screen);
    if (!captureAreas(wanted, &update->counts)) {
      return false;
    }
    update->counts.hinted = pixelsIn(hinted);
    applyMoves(hints.moves, update);
    sentRecheck_.add(sendChanges(wanted, update), at);
  }
  hintedRecheck_.expire(at);
  sentRecheck_.expire(at);
  lateDrawing_.expire(at);
  return true;
}

// The watched places are kept in the replica's coordinates; where the
// virtual screen's origin moved they follow it. True where it moved.
bool FrameBuilder::followOrigin(const Rect &layout) {
  if (layout.left == originLeft_ && layout.top == originTop_) {
    return false;
  }
  const std::int64_t dx = std::int64_t{originLeft_} - layout.left;
  const std::int64_t dy = std::int64_t{originTop_} - layout.top;
  const Rect screen(0, 0, layout.getWidth(), layout.getHeight());
  for (WatchedPlaces *places : {&hintedRecheck_, &sentRecheck_, &lateDrawing_}) {
    places->shift(dx, dy, screen);
  }
  originLeft_ = layout.left;
  originTop_ = layout.top;
  return true;
}

// A new replica of the whole screen; its pixels are the one area to send.
bool FrameBuilder::buildWhole(const Rect &layout, FrameUpdate *update) {
  replicaValid_ = false;
  replica_ = PixelImage();
  captured_ = PixelImage();
  PixelImage fresh(std::max(layout.getWidth(), 0), std::max(layout.getHeight(), 0));
  const Rect screen = fresh.bounds();
  if (!screen.isEmpty() && !captureArea(screen, &fresh)) {
    return false;
  }
  captured_ = PixelImage(fresh.width(), fresh.height());
  replica_ = std::move(fresh);
  replicaValid_ = true;
  update->whole = true;
  update->counts.hinted = update->counts.captured = update->counts.sent = pixelCount(screen);
  if (!screen.isEmpty()) {
    update->areas.push_back({screen, replica_.row(0), replica_.width()});
  }
  return true;
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
// replica, which holds the client's pixels wherever nothing changed. Gives
// the places sent.
std::vector<Rect> FrameBuilder::sendChanges(const std::vector<Rect> &compared,
                                            FrameUpdate *update) {
  std::vector<Rect> boxes;
  for (const Rect &area : compared) {
    appendChangedBoxes(captured_, replica_, area, settings_.grid, &boxes);
    update->counts.compared += pixelCount(area);
  }
  for (const Rect &box : boxes) {
    copyPixels(captured_, box, &replica_, box.left, box.top);
  }
  const std::vector<Rect> sent = mergeBoxes(std::move(boxes), settings_.maxAreas);
  for (const Rect &place : sent) {
    update->areas.push_back({place, replica_.row(place.top) + place.left, replica_.width()});
    update->counts.sent += pixelCount(place);
  }
  return sent;
}

}  // namespace frames
}  // namespace lumo
