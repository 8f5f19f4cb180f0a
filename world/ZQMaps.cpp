#include "world/ZQMaps.h"

#include <algorithm>

#include "platform/ByteOrder.h"
#include "platform/Console.h"
#include "platform/Files.h"

namespace zq {

namespace {

void DecodeLE16(const std::string& raw, std::vector<uint16_t>& out) {
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = GetU16(raw, 2 * i);
}

bool ShapeBlocks(const ShapeDims& dims, BlockAxis axis, uint16_t shape) {
  return axis == BlockAxis::X ? BlocksX(dims, shape) : BlocksY(dims, shape);
}

}  // namespace

TZQMap::TZQMap()
    : chunks_(static_cast<std::size_t>(CHUNK_COUNT) * CHUNK_ENTRIES),
      map_(MAP_ENTRIES),
      masks_(CHUNK_COUNT, ChunkMask{}) {}

void TZQMap::LoadChunks(const std::string& path) {
  DecodeLE16(ReadExactly(path, CHUNKS_FILE_SIZE), chunks_);
}

void TZQMap::LoadMap(const std::string& path) {
  DecodeLE16(ReadExactly(path, MAP_FILE_SIZE), map_);
  badEntries_ = 0;
  for (uint16_t c : map_) badEntries_ += c >= CHUNK_COUNT;
  if (badEntries_ > 0)
    ConsoleLine(TLogLevel::Warning, path + ": " + std::to_string(badEntries_) +
                                        " map entries name a chunk of 3072 or more");
}

void TZQMap::BuildMasks(const TfaTable& tfa, const ShapeDims& dims) {
  for (int32_t c = 0; c < CHUNK_COUNT; ++c) {
    ChunkMask mask{};
    const uint16_t* pattern = &chunks_[static_cast<std::size_t>(c) * CHUNK_ENTRIES];
    for (int32_t j = 0; j < CHUNK_TILES; ++j) {
      for (int32_t i = 0; i < CHUNK_TILES; ++i) {
        const uint16_t s = pattern[j * CHUNK_TILES + i] & SHAPE_MASK;
        if (s <= NONBLOCKING_SHAPE_MAX) continue;
        const int32_t x0 = std::max(0, i - XExtent(tfa, s));
        const int32_t y0 = std::max(0, j - YExtent(tfa, s));
        // bits x0..i
        const uint16_t row = static_cast<uint16_t>(((2u << i) - 1) & ~((1u << x0) - 1));
        for (int a = 0; a < 2; ++a) {
          if (!ShapeBlocks(dims, static_cast<BlockAxis>(a), s)) continue;
          for (int32_t y = y0; y <= j; ++y) mask.Rows[a][y] |= row;
        }
      }
    }
    masks_[c] = mask;
  }
}

bool ScanChunkBlocked(const uint16_t* pattern, const TfaTable& tfa, const ShapeDims& dims,
                      BlockAxis axis, int32_t tx, int32_t ty) {
  for (int32_t j = 0; j < CHUNK_TILES; ++j) {
    for (int32_t i = 0; i < CHUNK_TILES; ++i) {
      const uint16_t s = pattern[j * CHUNK_TILES + i] & SHAPE_MASK;
      if (s <= NONBLOCKING_SHAPE_MAX) continue;
      if (tx < i - XExtent(tfa, s) || tx > i) continue;
      if (ty < j - YExtent(tfa, s) || ty > j) continue;
      if (ShapeBlocks(dims, axis, s)) return true;
    }
  }
  return false;
}

bool ScanIsBlocked(const TZQMap& map, const TfaTable& tfa, const ShapeDims& dims, BlockAxis axis,
                   int32_t x, int32_t y) {
  const int32_t wx = WrapCoordinate(x), wy = WrapCoordinate(y);
  const uint16_t c = map.WorldMap()[MapIndex(wx, wy)];
  if (c >= CHUNK_COUNT) return false;
  return ScanChunkBlocked(&map.Chunks()[static_cast<std::size_t>(c) * CHUNK_ENTRIES], tfa, dims,
                          axis, wx & 15, wy & 15);
}

}  // namespace zq
