// The shape dimension table (two flag bytes for each shape 150..1023) and the lookups by shape
// number over it and over the attribute table Tfa: footprint extents and the two blocking
// flags. Loading of SHPDIMS.DAT and TFA.DAT. Written at start-up, read-only afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "world/Shapes.h"

namespace zq {

constexpr int32_t SHAPE_DIMS_FIRST = 150;
constexpr int32_t SHAPE_DIMS_SIZE = 2 * (MAXSHAPENUM + 1 - SHAPE_DIMS_FIRST);  // 1748

struct ShapeDims {
  // Entry of shape s at 2 * (s - 150): byte 0 bit 0 BlocksX, byte 1 bit 0 BlocksY.
  std::array<uint8_t, SHAPE_DIMS_SIZE> Bytes{};
};

// Reads the first 1748 bytes of `path` into `dims`. A file of another size gives the console
// line "DIMS != SHPDIMS"; a shorter one then raises EInOutError naming the file.
void LoadShapeDims(const std::string& path, ShapeDims& dims);

// Reads exactly 3072 bytes of `path` into `tfa`; a shorter file raises EInOutError.
void LoadTfa(const std::string& path, TfaTable& tfa);

// Extents of the footprint toward lower x / lower y, 0..7 (0 for shapes above 1023).
inline uint8_t XExtent(const TfaTable& tfa, uint16_t shape) {
  return shape <= MAXSHAPENUM ? tfa[shape].Bytes[2] & 0x07 : 0;
}
inline uint8_t YExtent(const TfaTable& tfa, uint16_t shape) {
  return shape <= MAXSHAPENUM ? (tfa[shape].Bytes[2] >> 3) & 0x07 : 0;
}

// The blocking flags; false for shapes without an entry (below 150 or above 1023).
inline bool BlocksX(const ShapeDims& dims, uint16_t shape) {
  return shape >= SHAPE_DIMS_FIRST && shape <= MAXSHAPENUM &&
         (dims.Bytes[2 * (shape - SHAPE_DIMS_FIRST)] & 1) != 0;
}
inline bool BlocksY(const ShapeDims& dims, uint16_t shape) {
  return shape >= SHAPE_DIMS_FIRST && shape <= MAXSHAPENUM &&
         (dims.Bytes[2 * (shape - SHAPE_DIMS_FIRST) + 1] & 1) != 0;
}

}  // namespace zq
