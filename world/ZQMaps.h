// The world map: 3072 chunk patterns of 16 x 16 tile entries, the 192 x 192 map of chunk
// numbers, and the two movement questions IsBlockedX / IsBlockedY. Lookups are answered from
// per-chunk blocking masks built once after loading; ScanIsBlocked is the plain scan of one
// chunk pattern that the masks stand for. Loaded on the main thread at start-up, then
// read-only from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "world/Blocking.h"
#include "world/ShpDims.h"

namespace zq {

constexpr int32_t WORLD_TILES = 3072;
constexpr int32_t CHUNK_TILES = 16;
constexpr int32_t CHUNK_COUNT = 3072;
constexpr int32_t CHUNK_ENTRIES = CHUNK_TILES * CHUNK_TILES;                // 256
constexpr int32_t CHUNKS_FILE_SIZE = CHUNK_COUNT * CHUNK_ENTRIES * 2;       // 1,572,864
constexpr int32_t SUPERCHUNKS = 12;                                         // per side
constexpr int32_t MAP_ENTRIES = SUPERCHUNKS * SUPERCHUNKS * CHUNK_ENTRIES;  // 36,864
constexpr int32_t MAP_FILE_SIZE = MAP_ENTRIES * 2;                          // 73,728
constexpr int32_t NONBLOCKING_SHAPE_MAX = 150;  // shapes 0..150 never block
constexpr uint16_t SHAPE_MASK = 0x03FF;

enum class BlockAxis { X = 0, Y = 1 };

// Brings any coordinate into 0..3071 (true modulo).
inline int32_t WrapCoordinate(int32_t v) {
  int32_t r = v % WORLD_TILES;
  return r < 0 ? r + WORLD_TILES : r;
}

// Map entry number of the chunk position holding tile (x, y), both already in 0..3071.
inline int32_t MapIndex(int32_t x, int32_t y) {
  const int32_t sx = x / 256, sy = y / 256;
  const int32_t cx = (x / 16) % 16, cy = (y / 16) % 16;
  return ((sy * SUPERCHUNKS + sx) * 16 + cy) * 16 + cx;
}

// True when bits 0-6 of Tfa byte 1 of shape (low 10 bits of the value) are 6.
inline bool IsContainer(const TfaTable& tfa, uint16_t shape) {
  return (tfa[shape & SHAPE_MASK].Bytes[1] & 0x7F) == 6;
}

// 16 x 16 bits per axis: bit tx of Rows[axis][ty] is set when tile (tx, ty) blocks.
struct ChunkMask {
  std::array<uint16_t, CHUNK_TILES> Rows[2];
};

class TZQMap : public IBlockingMap {
 public:
  TZQMap();

  // Reads exactly 1,572,864 bytes of `path`; longer files are accepted. Raises EInOutError.
  void LoadChunks(const std::string& path);
  // Reads exactly 73,728 bytes of `path`. Entries naming a chunk of 3072 or more are counted
  // (one console line) and block nothing. Raises EInOutError.
  void LoadMap(const std::string& path);
  // Derives the blocking masks of every chunk pattern; call after LoadChunks with the
  // attribute and dimension tables loaded.
  void BuildMasks(const TfaTable& tfa, const ShapeDims& dims);

  bool IsBlockedX(int32_t curX, int32_t curY, int32_t x, int32_t y) const override {
    (void)curX, (void)curY;
    return IsBlocked(BlockAxis::X, x, y);
  }
  bool IsBlockedY(int32_t curX, int32_t curY, int32_t x, int32_t y) const override {
    (void)curX, (void)curY;
    return IsBlocked(BlockAxis::Y, x, y);
  }
  bool IsBlocked(BlockAxis axis, int32_t x, int32_t y) const {
    const int32_t wx = WrapCoordinate(x), wy = WrapCoordinate(y);
    const uint16_t c = map_[MapIndex(wx, wy)];
    if (c >= CHUNK_COUNT) return false;
    return (masks_[c].Rows[static_cast<int>(axis)][wy & 15] >> (wx & 15)) & 1;
  }

  // Tile entry ty * 16 + tx of chunk pattern c is Chunks()[c * 256 + ty * 16 + tx].
  const std::vector<uint16_t>& Chunks() const { return chunks_; }
  const std::vector<uint16_t>& WorldMap() const { return map_; }
  const ChunkMask& Mask(int32_t c) const { return masks_[c]; }
  int32_t BadChunkEntries() const { return badEntries_; }

 private:
  std::vector<uint16_t> chunks_;
  std::vector<uint16_t> map_;
  std::vector<ChunkMask> masks_;
  int32_t badEntries_ = 0;
};

// The scan of one chunk pattern (256 entries): does any shape above 150 with the axis' flag
// have a footprint covering tile (tx, ty), 0..15?
bool ScanChunkBlocked(const uint16_t* pattern, const TfaTable& tfa, const ShapeDims& dims,
                      BlockAxis axis, int32_t tx, int32_t ty);

// The movement question answered by scanning the chunk under candidate (x, y).
bool ScanIsBlocked(const TZQMap& map, const TfaTable& tfa, const ShapeDims& dims, BlockAxis axis,
                   int32_t x, int32_t y);

}  // namespace zq
