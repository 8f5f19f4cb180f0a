#include "tools/mkworld/ShapeTables.h"

#include "tools/mkworld/FlexWriter.h"
#include "tools/mkworld/WorldGen.h"

namespace zq::mkworld {
namespace {

constexpr int SHAPE_COUNT = 1024;
constexpr int DIMS_FIRST = 150;
constexpr uint8_t CLASS_GROUND = 1;
constexpr uint8_t CLASS_ITEM = 3;
constexpr uint8_t CLASS_FIXED = 2;
constexpr uint8_t CLASS_CONTAINER = 6;

ShapeInfo Info(uint8_t cls, uint8_t xe, uint8_t ye, bool bx, bool by) {
  return ShapeInfo{cls, xe, ye, bx, by};
}

}  // namespace

ShapeInfo DemoShapeInfo(uint16_t entry) {
  const uint16_t shape = entry & 0x3FF;
  switch (shape) {
    case SHAPE_FLOWERS:
      return Info(CLASS_GROUND, 0, 0, true, true);
    case SHAPE_WALL:
      return Info(4, 0, 0, true, true);
    case SHAPE_GATE:
      return Info(4, 0, 0, false, false);
    case SHAPE_FENCE_X:
      return Info(4, 0, 0, true, false);
    case SHAPE_FENCE_Y:
      return Info(4, 0, 0, false, true);
    case SHAPE_TREE:
      return Info(5, 0, 0, true, true);
    case SHAPE_TABLE:
      return Info(5, 2, 1, true, true);
    case SHAPE_WELL:
      return Info(5, 1, 1, true, true);
    case SHAPE_BENCH:
      return Info(5, 3, 0, false, true);
    case SHAPE_RUG:
      return Info(5, 2, 2, false, false);
    case SHAPE_BOULDER:
      return Info(5, 1, 1, true, true);
    case SHAPE_LAMP:
    case SHAPE_SIGN:
      return Info(CLASS_FIXED, 0, 0, false, false);
    case SHAPE_CHEST:
    case SHAPE_BARREL:
      return Info(CLASS_CONTAINER, 0, 0, false, false);
    default:
      break;
  }
  if (shape < SHAPE_COIN) return Info(CLASS_GROUND, 0, 0, false, false);
  if (shape < DIMS_FIRST) return Info(CLASS_ITEM, 0, 0, false, false);
  return Info(static_cast<uint8_t>(2 + shape % 4), 0, 0, false, false);
}

bool TileCanBlock(uint16_t entry) {
  const uint16_t shape = entry & 0x3FF;
  if (shape <= DIMS_FIRST) return false;
  ShapeInfo info = DemoShapeInfo(shape);
  return info.blocksX || info.blocksY;
}

std::string ShapesVgaBytes() {
  // Entry k: its own length, then a small frame (width, height, pixels).
  std::vector<std::string> entries;
  entries.reserve(SHAPE_COUNT);
  for (int s = 0; s < SHAPE_COUNT; ++s) {
    const uint16_t w = static_cast<uint16_t>(2 + s % 7);
    const uint16_t h = static_cast<uint16_t>(2 + (s / 7) % 5);
    std::string e;
    PutU32(e, static_cast<uint32_t>(8 + w * h));
    PutU16(e, w);
    PutU16(e, h);
    for (int i = 0; i < w * h; ++i) e.push_back(static_cast<char>((s * 31 + i * 7) & 0xFF));
    entries.push_back(std::move(e));
  }
  return MakeFlex("zq demo shapes", entries);
}

std::string ShpDimsBytes() {
  std::string out;
  out.reserve(2 * (SHAPE_COUNT - DIMS_FIRST));
  for (int s = DIMS_FIRST; s < SHAPE_COUNT; ++s) {
    ShapeInfo info = DemoShapeInfo(static_cast<uint16_t>(s));
    // Bits 1-7 hold noise the server must ignore.
    out.push_back(static_cast<char>((info.blocksX ? 1 : 0) | ((s * 5) & 0xFE)));
    out.push_back(static_cast<char>((info.blocksY ? 1 : 0) | ((s * 3) & 0xFE)));
  }
  return out;
}

std::string TfaBytes() {
  std::string out;
  out.reserve(3 * SHAPE_COUNT);
  for (int s = 0; s < SHAPE_COUNT; ++s) {
    ShapeInfo info = DemoShapeInfo(static_cast<uint16_t>(s));
    uint8_t noise7 = (s == SHAPE_BARREL || s % 3 == 0) ? 0x80 : 0;
    out.push_back(static_cast<char>((s * 13) & 0xFF));
    out.push_back(static_cast<char>(info.shapeClass | noise7));
    out.push_back(static_cast<char>(info.xExtent | (info.yExtent << 3) | ((s % 4) << 6)));
  }
  return out;
}

}  // namespace zq::mkworld
