#include "missed_areas.h"

#include <algorithm>

#include "region/rect_geometry.h"

namespace lumo {
namespace tools {

namespace {

// Missed changes are grouped through tiles of this size: two changes in
// touching tiles belong to one area.
constexpr int tileSize = 16;

struct Tiles {
  int columns;
  int rows;
  std::vector<MissedArea> tiles;  // what each tile holds
};

Tiles tilesOf(const std::vector<std::uint8_t> &missed, int width, int height) {
  Tiles result{(width + tileSize - 1) / tileSize, (height + tileSize - 1) / tileSize, {}};
  result.tiles.assign(static_cast<std::size_t>(result.columns) * result.rows, MissedArea{{}, 0});
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (missed[static_cast<std::size_t>(y) * width + x]) {
        MissedArea &tile =
            result.tiles[static_cast<std::size_t>(y / tileSize) * result.columns + x / tileSize];
        tile.bounds = boundingUnion(tile.bounds, region::Rect(x, y, x + 1, y + 1));
        ++tile.pixels;
      }
    }
  }
  return result;
}

// The area of the tile at start and of every tile that touches it, each
// marked as seen.
MissedArea joinTouching(const Tiles &tiles, int start, std::vector<std::uint8_t> *seen) {
  MissedArea area{{}, 0};
  std::vector<int> stack(1, start);
  (*seen)[start] = 1;
  while (!stack.empty()) {
    const int index = stack.back();
    stack.pop_back();
    area.pixels += tiles.tiles[index].pixels;
    area.bounds = boundingUnion(area.bounds, tiles.tiles[index].bounds);
    const int column = index % tiles.columns;
    const int row = index / tiles.columns;
    const int neighbours[][2] = {
        {column - 1, row}, {column + 1, row}, {column, row - 1}, {column, row + 1}};
    for (const auto &n : neighbours) {
      if (n[0] < 0 || n[0] >= tiles.columns || n[1] < 0 || n[1] >= tiles.rows) {
        continue;
      }
      const int next = n[1] * tiles.columns + n[0];
      if (tiles.tiles[next].pixels != 0 && !(*seen)[next]) {
        (*seen)[next] = 1;
        stack.push_back(next);
      }
    }
  }
  return area;
}

}  // namespace

std::vector<MissedArea> missedAreas(const std::vector<std::uint8_t> &missed, int width, int height,
                                    std::size_t most) {
  const Tiles tiles = tilesOf(missed, width, height);
  std::vector<MissedArea> areas;
  std::vector<std::uint8_t> seen(tiles.tiles.size(), 0);
  for (int start = 0; start < static_cast<int>(tiles.tiles.size()); ++start) {
    if (tiles.tiles[start].pixels != 0 && !seen[start]) {
      areas.push_back(joinTouching(tiles, start, &seen));
    }
  }
  std::sort(areas.begin(), areas.end(),
            [](const MissedArea &a, const MissedArea &b) { return a.pixels > b.pixels; });
  if (areas.size() > most) {
    areas.resize(most);
  }
  return areas;
}

}  // namespace tools
}  // namespace lumo
