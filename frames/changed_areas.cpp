#include "frames/changed_areas.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <queue>
#include <tuple>

#include "frames/pixel_compare.h"
#include "region/rect_geometry.h"

namespace lumo {
namespace frames {

using region::Rect;

namespace {

// Can be below zero where the two overlap.
std::int64_t addedByUnion(const Rect &a, const Rect &b) {
  return static_cast<std::int64_t>(pixelCount(boundingUnion(a, b))) -
         static_cast<std::int64_t>(pixelCount(a)) - static_cast<std::int64_t>(pixelCount(b));
}

// One band of grid rows: the differing span of each row, then the tight box
// of each cell that span meets.
void appendBand(const PixelImage &now, const PixelImage &before, const Rect &band, int cellWidth,
                std::vector<Rect> *cells, std::vector<Rect> *boxes) {
  const int firstCell = band.left / cellWidth;
  std::fill(cells->begin(), cells->end(), Rect());
  for (int y = band.top; y < band.bottom; ++y) {
    int first = 0;
    int last = 0;
    if (!differingSpan(now.row(y) + band.left, before.row(y) + band.left, band.getWidth(), &first,
                       &last)) {
      continue;
    }
    first += band.left;
    last += band.left;
    for (int cell = first / cellWidth; cell <= last / cellWidth; ++cell) {
      const int left = std::max(cell * cellWidth, first);
      const int right = std::min((cell + 1) * cellWidth, last + 1);
      int from = 0;
      int to = 0;
      if (!differingSpan(now.row(y) + left, before.row(y) + left, right - left, &from, &to)) {
        continue;
      }
      const Rect row(left + from, y, left + to + 1, y + 1);
      Rect &box = (*cells)[cell - firstCell];
      box = boundingUnion(box, row);
    }
  }
  for (const Rect &box : *cells) {
    if (!box.isEmpty()) {
      boxes->push_back(box);
    }
  }
}

// Neighbours in a row of the same height, then in a column of the same
// width: merging them adds no pixel.
std::vector<Rect> mergeExactly(std::vector<Rect> boxes) {
  std::sort(boxes.begin(), boxes.end(), [](const Rect &a, const Rect &b) {
    return std::tie(a.top, a.left) < std::tie(b.top, b.left);
  });
  std::vector<Rect> rows;
  for (const Rect &box : boxes) {
    if (!rows.empty() && rows.back().top == box.top && rows.back().bottom == box.bottom &&
        rows.back().right == box.left) {
      rows.back().right = box.right;
    } else {
      rows.push_back(box);
    }
  }
  std::vector<Rect> merged;
  // Open columns by their left, right and bottom edges.
  std::map<std::tuple<int, int, int>, size_t> open;
  for (const Rect &box : rows) {
    const auto above = open.find({box.left, box.right, box.top});
    if (above == open.end()) {
      open[{box.left, box.right, box.bottom}] = merged.size();
      merged.push_back(box);
      continue;
    }
    const size_t index = above->second;
    open.erase(above);
    merged[index].bottom = box.bottom;
    open[{box.left, box.right, box.bottom}] = index;
  }
  return merged;
}

// The cheapest union of neighbours in reading order, again and again, with
// the candidate pairs in a heap; a pair whose member has changed is stale.
std::vector<Rect> mergeCheapest(const std::vector<Rect> &boxes, size_t maxCount) {
  struct Node {
    Rect box;
    int next;
    int prev;
    unsigned version;
  };
  struct Pair {
    std::int64_t cost;
    int left;
    int right;
    unsigned leftVersion;
    unsigned rightVersion;
    bool operator>(const Pair &other) const { return cost > other.cost; }
  };
  const int n = static_cast<int>(boxes.size());
  std::vector<Node> nodes;
  nodes.reserve(boxes.size());
  for (int i = 0; i < n; ++i) {
    nodes.push_back({boxes[i], i + 1 < n ? i + 1 : -1, i - 1, 0});
  }
  std::priority_queue<Pair, std::vector<Pair>, std::greater<Pair>> pairs;
  auto offer = [&](int left, int right) {
    if (left < 0 || right < 0) {
      return;
    }
    pairs.push({addedByUnion(nodes[left].box, nodes[right].box), left, right, nodes[left].version,
                nodes[right].version});
  };
  for (int i = 0; i + 1 < n; ++i) {
    offer(i, i + 1);
  }
  size_t count = boxes.size();
  while (count > maxCount && !pairs.empty()) {
    const Pair pair = pairs.top();
    pairs.pop();
    Node &left = nodes[pair.left];
    Node &right = nodes[pair.right];
    if (left.next != pair.right || left.version != pair.leftVersion ||
        right.version != pair.rightVersion) {
      continue;
    }
    left.box = boundingUnion(left.box, right.box);
    ++left.version;
    left.next = right.next;
    if (right.next >= 0) {
      nodes[right.next].prev = pair.left;
    }
    right.version = ~0u;
    --count;
    offer(left.prev, pair.left);
    offer(pair.left, left.next);
  }
  std::vector<Rect> merged;
  for (int i = n > 0 ? 0 : -1; i >= 0; i = nodes[i].next) {
    merged.push_back(nodes[i].box);
  }
  return merged;
}

}  // namespace

void appendChangedBoxes(const PixelImage &now, const PixelImage &before, const Rect &area,
                        const TileGrid &grid, std::vector<Rect> *boxes) {
  if (area.isEmpty()) {
    return;
  }
  const int firstCell = area.left / grid.width;
  const int lastCell = (area.right - 1) / grid.width;
  std::vector<Rect> cells(static_cast<size_t>(lastCell - firstCell + 1));
  for (int top = area.top - area.top % grid.height; top < area.bottom; top += grid.height) {
    const Rect band(area.left, std::max(top, area.top), area.right,
                    std::min(top + grid.height, area.bottom));
    appendBand(now, before, band, grid.width, &cells, boxes);
  }
}

std::vector<Rect> mergeBoxes(std::vector<Rect> boxes, size_t maxCount) {
  std::vector<Rect> merged = mergeExactly(std::move(boxes));
  if (merged.size() <= std::max<size_t>(maxCount, 1)) {
    return merged;
  }
  return mergeCheapest(merged, std::max<size_t>(maxCount, 1));
}

}  // namespace frames
}  // namespace lumo
