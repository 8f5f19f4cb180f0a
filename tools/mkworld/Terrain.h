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

constexpr int32_t kWorldTiles = 3072;
constexpr int32_t kWorldChunks = 192;  // chunk positions per side
constexpr int32_t kPatternCount = 3072;
constexpr int32_t kMapEntries = kWorldChunks * kWorldChunks;
constexpr int32_t kWildPatterns = 16;  // slots 0..15
constexpr int32_t kTownChunkX0 = 94;   // town region: chunks 94..101 by 116..123
constexpr int32_t kTownChunkY0 = 116;
constexpr int32_t kTownChunks = 8;
constexpr int32_t kFirstExtraPattern = kWildPatterns + kTownChunks * kTownChunks;

using Pattern = std::array<uint16_t, 256>;  // tile (tx, ty) at ty * 16 + tx

struct Terrain {
  std::vector<Pattern> patterns;  // kPatternCount
  std::vector<uint16_t> map;      // kMapEntries, in file order
};

// Map entry number of the chunk position holding chunk (gx, gy), each 0..191.
int32_t MapIndex(int32_t gx, int32_t gy);

// Raises std::invalid_argument for a placement outside 0..3071 or too many placed positions.
Terrain BuildTerrain(const WorldOptions& options);

std::string ChunksBytes(const Terrain& terrain);
std::string MapBytes(const Terrain& terrain);

}  // namespace zq::mkworld
