// TZQShapes: the shape archive loaded into memory (one ShapeRecord per non-empty entry, plus
// the 2048-byte blocks of entries that do not begin with their own length) and the table of
// three-byte shape attributes, Tfa. Written once at start-up, read-only afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zq {

constexpr int32_t MAXSHAPENUM = 1023;
constexpr int32_t SHAPE_BUFFER_SIZE = 65540;
constexpr int32_t MAX_BLOCKS = 150;
constexpr int32_t BLOCK_SIZE = 2048;
constexpr int32_t TFA_SIZE = 3072;

struct ShapeRecord {
  int32_t Length = 0;  // the entry's first four bytes, little-endian
  std::string Data;    // as long as the entry
};

// Byte 1 bits 0-6: shape class; byte 2 bits 0-2: x extent, bits 3-5: y extent.
struct TfaEntry {
  uint8_t Bytes[3] = {0, 0, 0};
};
static_assert(sizeof(TfaEntry) == 3);

using TfaTable = std::array<TfaEntry, MAXSHAPENUM + 1>;
using ShapeBlock = std::array<uint8_t, BLOCK_SIZE>;

class TZQShapes {
 public:
  // Loads the shape archive at `path` (a flex container). Console lines: "opened <path>
  // count=<n>", "entry# <i> is <s>" for oversized entries, "not enough MAXSHAPENUM" for each
  // non-empty entry beyond the 1024th. Raises EInOutError naming the file on a failed read.
  explicit TZQShapes(const std::string& path);

  int32_t ShapeCount() const { return shapeCount_; }
  int32_t BlockCount() const { return blockCount_; }
  const ShapeRecord& Shape(int32_t k) const { return shapes_[k]; }  // 0..MAXSHAPENUM
  const ShapeBlock& Block(int32_t k) const { return blocks_[k]; }   // 0..MAX_BLOCKS-1

  TfaTable& Tfa() { return tfa_; }
  const TfaTable& Tfa() const { return tfa_; }

 private:
  int32_t shapeCount_ = 0;
  int32_t blockCount_ = 0;
  std::vector<ShapeBlock> blocks_;
  std::vector<ShapeRecord> shapes_;
  TfaTable tfa_{};
};

}  // namespace zq
