#include "tools/mkworld/Terrain.h"

#include <map>
#include <memory>
#include <stdexcept>

#include "platform/Errors.h"
#include "tools/mkworld/Rng.h"
#include "tools/mkworld/ShapeTables.h"

namespace zq::mkworld {
namespace {

constexpr int32_t REGION_TILES = TOWN_CHUNKS * 16;
constexpr int32_t REGION_X0 = TOWN_CHUNK_X0 * 16;  // 1504
constexpr int32_t REGION_Y0 = TOWN_CHUNK_Y0 * 16;  // 1856

uint16_t WithFrame(uint16_t shape, uint32_t frame) {
  return static_cast<uint16_t>(shape | ((frame & 0x3F) << 10));
}

uint16_t GrassTile(Rng& rng) {
  uint32_t r = rng.Next();
  if (r % 12 == 0) return WithFrame(SHAPE_FLOWERS, r >> 8);
  return WithFrame(static_cast<uint16_t>(SHAPE_GRASS + (r >> 4) % 4), r >> 12);
}

// The town region as a grid of world tiles.
class TownGrid {
 public:
  explicit TownGrid(uint32_t seed) {
    Rng rng(seed, 0x70776E);
    for (uint16_t& t : tiles_) t = GrassTile(rng);
  }

  void Set(int32_t x, int32_t y, uint16_t entry) {
    tiles_[static_cast<std::size_t>((y - REGION_Y0) * REGION_TILES + (x - REGION_X0))] = entry;
  }
  void Fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t entry) {
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) Set(x, y, entry);
  }
  // Wall tiles on the outline of the rectangle, with a frame that varies along it.
  void Outline(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t shape) {
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x)
        if (x == x0 || x == x1 || y == y0 || y == y1)
          Set(x, y, WithFrame(shape, static_cast<uint32_t>(x + y) % 4));
  }
  // A footprint shape standing on (x, y); its footprint must stay inside the anchor's chunk.
  void Anchor(int32_t x, int32_t y, uint16_t shape) {
    ShapeInfo info = DemoShapeInfo(shape);
    if (x % 16 < info.xExtent || y % 16 < info.yExtent)
      InternalCheckFailed("town footprint crosses a chunk border", "MKWORLD");
    Set(x, y, shape);
  }

  Pattern ChunkPattern(int32_t rx, int32_t ry) const {
    Pattern p{};
    for (int32_t ty = 0; ty < 16; ++ty)
      for (int32_t tx = 0; tx < 16; ++tx)
        p[static_cast<std::size_t>(ty * 16 + tx)] =
            tiles_[static_cast<std::size_t>((ry * 16 + ty) * REGION_TILES + rx * 16 + tx)];
    return p;
  }

 private:
  std::array<uint16_t, REGION_TILES * REGION_TILES> tiles_{};
};

void BuildTown(TownGrid& g) {
  // Plaza around the spawn, roads from gate to gate, then the wall with its gates.
  g.Fill(SPAWN_X - 8, SPAWN_Y - 8, SPAWN_X + 8, SPAWN_Y + 8, SHAPE_DIRT);
  g.Fill(1558, REGION_Y0, 1561, REGION_Y0 + REGION_TILES - 1, SHAPE_ROAD);
  g.Fill(REGION_X0, 1919, REGION_X0 + REGION_TILES - 1, 1922, SHAPE_ROAD);
  g.Outline(TOWN_MIN_X, TOWN_MIN_Y, TOWN_MAX_X, TOWN_MAX_Y, SHAPE_WALL);
  g.Fill(1558, TOWN_MIN_Y, 1561, TOWN_MIN_Y, SHAPE_GATE);
  g.Fill(1558, TOWN_MAX_Y, 1561, TOWN_MAX_Y, SHAPE_GATE);
  g.Fill(TOWN_MIN_X, 1919, TOWN_MIN_X, 1922, SHAPE_GATE);
  g.Fill(TOWN_MAX_X, 1919, TOWN_MAX_X, 1922, SHAPE_GATE);

  // House A with a table.
  g.Fill(1540, 1900, 1549, 1907, SHAPE_FLOOR);
  g.Outline(1540, 1900, 1549, 1907, SHAPE_WALL);
  g.Fill(1544, 1907, 1545, 1907, SHAPE_GATE);
  g.Anchor(1547, 1903, SHAPE_TABLE);
  // House B with a rug.
  g.Fill(1572, 1900, 1585, 1909, SHAPE_FLOOR);
  g.Outline(1572, 1900, 1585, 1909, SHAPE_WALL);
  g.Fill(1572, 1904, 1572, 1905, SHAPE_GATE);
  g.Anchor(1578, 1906, SHAPE_RUG);
  // House C.
  g.Fill(1570, 1932, 1583, 1942, SHAPE_FLOOR);
  g.Outline(1570, 1932, 1583, 1942, SHAPE_WALL);
  g.Fill(1576, 1932, 1577, 1932, SHAPE_GATE);

  g.Anchor(1574, 1921, SHAPE_WELL);
  g.Anchor(1556, 1910, SHAPE_BENCH);
  // Garden fences: one stops movement along x, the other along y.
  for (int32_t y = 1930; y <= 1941; ++y) g.Set(1544, y, SHAPE_FENCE_X);
  for (int32_t x = 1540; x <= 1552; ++x) g.Set(x, 1942, SHAPE_FENCE_Y);
}

Pattern WildPattern(uint32_t seed, int32_t slot) {
  Rng rng(seed, 0x57494C44ull + static_cast<uint64_t>(slot));
  Pattern p{};
  for (uint16_t& t : p) t = GrassTile(rng);
  auto at = [&](uint16_t shape) { p[rng.Below(256)] = WithFrame(shape, rng.Next()); };
  if (slot >= 4) {
    uint32_t trees = 2 + rng.Below(6);
    for (uint32_t i = 0; i < trees; ++i) at(SHAPE_TREE);
  }
  if (slot >= 8) {
    // Anchors anywhere: footprints near the low edges are cut by the chunk.
    static constexpr uint16_t PIECES[] = {SHAPE_BOULDER, SHAPE_FENCE_X, SHAPE_FENCE_Y,
                                          SHAPE_TABLE,   SHAPE_BENCH,   SHAPE_RUG};
    uint32_t pieces = 1 + rng.Below(3);
    for (uint32_t i = 0; i < pieces; ++i) at(PIECES[rng.Below(6)]);
  }
  return p;
}

void ApplyPlacements(Terrain& t, const std::vector<Placement>& extra) {
  std::map<int32_t, uint16_t> own;  // map index -> its new pattern
  for (const Placement& pl : extra) {
    if (pl.x < 0 || pl.x >= WORLD_TILES || pl.y < 0 || pl.y >= WORLD_TILES)
      throw std::invalid_argument("placement (" + std::to_string(pl.x) + ", " +
                                  std::to_string(pl.y) + ") lies outside the world 0..3071");
    int32_t index = MapIndex(pl.x / 16, pl.y / 16);
    auto it = own.find(index);
    if (it == own.end()) {
      int32_t slot = FIRST_EXTRA_PATTERN + static_cast<int32_t>(own.size());
      if (slot >= PATTERN_COUNT)
        throw std::invalid_argument("placements name more than " +
                                    std::to_string(PATTERN_COUNT - FIRST_EXTRA_PATTERN) +
                                    " chunk positions");
      t.patterns[static_cast<std::size_t>(slot)] =
          t.patterns[t.map[static_cast<std::size_t>(index)]];
      t.map[static_cast<std::size_t>(index)] = static_cast<uint16_t>(slot);
      it = own.emplace(index, static_cast<uint16_t>(slot)).first;
    }
    t.patterns[it->second][static_cast<std::size_t>((pl.y % 16) * 16 + pl.x % 16)] = pl.shape;
  }
}

}  // namespace

int32_t MapIndex(int32_t gx, int32_t gy) {
  const int32_t sx = gx / 16, sy = gy / 16, cx = gx % 16, cy = gy % 16;
  return ((sy * 12 + sx) * 16 + cy) * 16 + cx;
}

Terrain BuildTerrain(const WorldOptions& options) {
  Terrain t;
  t.patterns.assign(PATTERN_COUNT, Pattern{});
  t.map.assign(MAP_ENTRIES, 0);

  for (int32_t slot = 0; slot < WILD_PATTERNS; ++slot)
    t.patterns[static_cast<std::size_t>(slot)] = WildPattern(options.seed, slot);
  auto town = std::make_unique<TownGrid>(options.seed);
  BuildTown(*town);

  for (int32_t gy = 0; gy < WORLD_CHUNKS; ++gy) {
    for (int32_t gx = 0; gx < WORLD_CHUNKS; ++gx) {
      const int32_t rx = gx - TOWN_CHUNK_X0, ry = gy - TOWN_CHUNK_Y0;
      uint16_t slot;
      if (rx >= 0 && rx < TOWN_CHUNKS && ry >= 0 && ry < TOWN_CHUNKS) {
        slot = static_cast<uint16_t>(WILD_PATTERNS + ry * TOWN_CHUNKS + rx);
        t.patterns[slot] = town->ChunkPattern(rx, ry);
      } else {
        Rng rng(options.seed, 0x4D4150000000ull + static_cast<uint64_t>(gy * WORLD_CHUNKS + gx));
        slot = static_cast<uint16_t>(rng.Below(WILD_PATTERNS));
      }
      t.map[static_cast<std::size_t>(MapIndex(gx, gy))] = slot;
    }
  }

  if (options.noBlocking) {
    for (Pattern& p : t.patterns)
      for (uint16_t& tile : p)
        if (TileCanBlock(tile)) tile = SHAPE_DIRT;
  }
  ApplyPlacements(t, options.extra);
  return t;
}

std::string ChunksBytes(const Terrain& terrain) {
  std::string out(static_cast<std::size_t>(PATTERN_COUNT) * 512, '\0');
  std::size_t pos = 0;
  for (const Pattern& p : terrain.patterns) {
    for (uint16_t tile : p) {
      out[pos++] = static_cast<char>(tile & 0xFF);
      out[pos++] = static_cast<char>(tile >> 8);
    }
  }
  return out;
}

std::string MapBytes(const Terrain& terrain) {
  std::string out(static_cast<std::size_t>(MAP_ENTRIES) * 2, '\0');
  std::size_t pos = 0;
  for (uint16_t c : terrain.map) {
    out[pos++] = static_cast<char>(c & 0xFF);
    out[pos++] = static_cast<char>(c >> 8);
  }
  return out;
}

}  // namespace zq::mkworld
