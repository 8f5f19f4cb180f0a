#include "fuzz/WorldOracle.h"

#include <algorithm>
#include <cstring>

#include "fuzz/FuzzSupport.h"
#include "tools/mkworld/Rng.h"

namespace zq::fuzz {

namespace {

uint64_t Fingerprint(const uint8_t* data, std::size_t size) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

}  // namespace

const TfaTable& GeneratedTfa() {
  static const TfaTable tfa = [] {
    TfaTable t{};
    LoadTfa(GeneratedGameDir() + "/STATIC/TFA.DAT", t);
    return t;
  }();
  return tfa;
}

const ShapeDims& GeneratedDims() {
  static const ShapeDims dims = [] {
    ShapeDims d;
    LoadShapeDims(GeneratedGameDir() + "/STATIC/SHPDIMS.DAT", d);
    return d;
  }();
  return dims;
}

TZQMap& GeneratedMap() {
  static TZQMap* map = [] {
    static TZQMap m;
    m.LoadChunks(GeneratedGameDir() + "/STATIC/ZQCHUNKS");
    m.LoadMap(GeneratedGameDir() + "/STATIC/ZQMAP");
    m.BuildMasks(GeneratedTfa(), GeneratedDims());
    return &m;
  }();
  return *map;
}

std::vector<int32_t> PlacesToCheck(const uint8_t* data, std::size_t size,
                                   const std::string& reference, std::size_t recordSize,
                                   int32_t count, int most) {
  std::vector<int32_t> out;
  const std::size_t common = std::min(size, reference.size());
  for (std::size_t at = 0; at < common && static_cast<int>(out.size()) < most / 2;
       at += recordSize) {
    const std::size_t n = std::min(recordSize, common - at);
    if (std::memcmp(data + at, reference.data() + at, n) != 0)
      out.push_back(static_cast<int32_t>(at / recordSize) % count);
  }
  mkworld::Rng pick(static_cast<uint32_t>(size), Fingerprint(data, size));
  while (static_cast<int>(out.size()) < most)
    out.push_back(static_cast<int32_t>(pick.Below(static_cast<uint32_t>(count))));
  return out;
}

std::vector<int32_t> ChunksHolding(const TZQMap& map, uint16_t shape, int most) {
  std::vector<int32_t> out;
  const std::vector<uint16_t>& tiles = map.Chunks();
  for (std::size_t i = 0; i < tiles.size() && static_cast<int>(out.size()) < most; ++i) {
    if ((tiles[i] & SHAPE_MASK) != (shape & SHAPE_MASK)) continue;
    out.push_back(static_cast<int32_t>(i / CHUNK_ENTRIES));
    i = (i / CHUNK_ENTRIES + 1) * CHUNK_ENTRIES - 1;  // on to the next pattern
  }
  return out;
}

void CheckMasksMatchScan(const TZQMap& map, const TfaTable& tfa, const ShapeDims& dims,
                         const std::vector<int32_t>& chunks) {
  for (int32_t c : chunks) {
    const uint16_t* pattern = &map.Chunks()[static_cast<std::size_t>(c) * CHUNK_ENTRIES];
    for (int a = 0; a < 2; ++a) {
      for (int32_t ty = 0; ty < CHUNK_TILES; ++ty) {
        for (int32_t tx = 0; tx < CHUNK_TILES; ++tx) {
          const bool masked = (map.Mask(c).Rows[a][ty] >> tx) & 1;
          Require(masked == ScanChunkBlocked(pattern, tfa, dims, static_cast<BlockAxis>(a), tx, ty),
                  "the blocking mask answers as the scan of its chunk");
        }
      }
    }
  }
}

void CheckLookupsMatchScan(const TZQMap& map, const TfaTable& tfa, const ShapeDims& dims,
                           const std::vector<int32_t>& mapEntries) {
  for (int32_t m : mapEntries) {
    const int32_t superchunk = m / CHUNK_ENTRIES;
    const int32_t x0 = (superchunk % SUPERCHUNKS) * 256 + (m % 16) * 16;
    const int32_t y0 = (superchunk / SUPERCHUNKS) * 256 + ((m / 16) % 16) * 16;
    Require(MapIndex(x0, y0) == m, "the map position's tiles map back to its entry");
    for (int32_t shift : {0, WORLD_TILES, -WORLD_TILES}) {
      for (int32_t ty = 0; ty < CHUNK_TILES; ++ty) {
        for (int32_t tx = 0; tx < CHUNK_TILES; ++tx) {
          if (shift != 0 && tx != ty) continue;  // one world away: the diagonal is enough
          const int32_t x = x0 + tx + shift, y = y0 + ty + (shift == 0 ? 0 : WORLD_TILES);
          Require(map.IsBlockedX(0, 0, x, y) == ScanIsBlocked(map, tfa, dims, BlockAxis::X, x, y),
                  "IsBlockedX answers as the scan");
          Require(map.IsBlockedY(0, 0, x, y) == ScanIsBlocked(map, tfa, dims, BlockAxis::Y, x, y),
                  "IsBlockedY answers as the scan");
        }
      }
    }
  }
}

}  // namespace zq::fuzz
