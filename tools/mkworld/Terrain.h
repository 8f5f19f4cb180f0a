// The ground of the demo world: the 3072 chunk patterns (ZQCHUNKS) and the map of chunk numbers
// for the 192 x 192 chunk positions (ZQMAP): shared wilderness patterns, the town region with a
// pattern per chunk position, then the placements of WorldOptions::extra.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/mkworld/WorldGen.h"

namespace zq::mkworld {

constexpr int32_t WORLD_TILES = 3072;
constexpr int32_t WORLD_CHUNKS = 192;  // chunk positions per side
constexpr int32_t PATTERN_COUNT = 3072;
constexpr int32_t MAP_ENTRIES = WORLD_CHUNKS * WORLD_CHUNKS;
constexpr int32_t WILD_PATTERNS = 16;  // slots 0..15
constexpr int32_t TOWN_CHUNK_X0 = 94;  // town region: chunks 94..101 by 116..123
constexpr int32_t TOWN_CHUNK_Y0 = 116;
constexpr int32_t TOWN_CHUNKS = 8;
constexpr int32_t FIRST_EXTRA_PATTERN = WILD_PATTERNS + TOWN_CHUNKS * TOWN_CHUNKS;

using Pattern = std::array<uint16_t, 256>;  // tile (tx, ty) at ty * 16 + tx

struct Terrain {
  std::vector<Pattern> patterns;  // PATTERN_COUNT
  std::vector<uint16_t> map;      // MAP_ENTRIES, in file order
};

// Map entry number of the chunk position holding chunk (gx, gy), each 0..191.
int32_t MapIndex(int32_t gx, int32_t gy);

// Raises std::invalid_argument for a placement outside 0..3071 or too many placed positions.
Terrain BuildTerrain(const WorldOptions& options);

std::string ChunksBytes(const Terrain& terrain);
std::string MapBytes(const Terrain& terrain);

}  // namespace zq::mkworld
