// What the map tables promise whatever their files hold: the per-chunk blocking masks and the
// two lookups answer exactly as the plain scan of the chunk pattern does. The places checked
// are those where the input differs from the generated file, and others picked by its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "world/ZQMaps.h"

namespace zq::fuzz {

// The generated installation's attribute and dimension tables, loaded once.
const TfaTable& GeneratedTfa();
const ShapeDims& GeneratedDims();
// The generated chunks and map with their masks, loaded once; a target may reload or rebuild.
TZQMap& GeneratedMap();

// Up to `most` record numbers below `count`: first those whose `recordSize` bytes in the input
// differ from `reference`, then numbers picked by the input's bytes.
std::vector<int32_t> PlacesToCheck(const uint8_t* data, std::size_t size,
                                   const std::string& reference, std::size_t recordSize,
                                   int32_t count, int most);

// Up to `most` chunk patterns that hold `shape` on some tile.
std::vector<int32_t> ChunksHolding(const TZQMap& map, uint16_t shape, int most);

// Every tile of each chunk pattern, both axes: Mask() against ScanChunkBlocked.
void CheckMasksMatchScan(const TZQMap& map, const TfaTable& tfa, const ShapeDims& dims,
                         const std::vector<int32_t>& chunks);

// Every tile of each map position (entry numbers), and its diagonal one world away on either
// side: IsBlockedX / IsBlockedY against ScanIsBlocked.
void CheckLookupsMatchScan(const TZQMap& map, const TfaTable& tfa, const ShapeDims& dims,
                           const std::vector<int32_t>& mapEntries);

}  // namespace zq::fuzz
