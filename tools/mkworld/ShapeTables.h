// The attributes of every shape of the demo world and the three shape files made from them:
// SHAPES.VGA (a flex container, one entry per shape), SHPDIMS.DAT (1748 bytes) and TFA.DAT
// (3072 bytes). Other bits of those bytes carry deterministic noise that the server ignores.
#pragma once

#include <cstdint>
#include <string>

namespace zq::mkworld {

struct ShapeInfo {
  uint8_t shapeClass = 0;  // TFA byte 1 bits 0-6; 6 is a container
  uint8_t xExtent = 0;     // TFA byte 2 bits 0-2
  uint8_t yExtent = 0;     // TFA byte 2 bits 3-5
  bool blocksX = false;    // SHPDIMS byte 0 bit 0 (shapes 150..1023)
  bool blocksY = false;    // SHPDIMS byte 1 bit 0
};

// Attributes of `shape` (bits 0-9 are used).
ShapeInfo DemoShapeInfo(uint16_t shape);

// True when a tile entry carrying `entry` can block anything: shape above 150 with a flag.
bool TileCanBlock(uint16_t entry);

std::string ShapesVgaBytes();
std::string ShpDimsBytes();
std::string TfaBytes();

}  // namespace zq::mkworld
