#include "tools/mkworld/ShapeTables.h"

#include "tools/mkworld/FlexWriter.h"
#include "tools/mkworld/WorldGen.h"

namespace zq::mkworld {
namespace {

constexpr int kShapeCount = 1024;
constexpr int kDimsFirst = 150;
constexpr uint8_t kClassGround = 1;
constexpr uint8_t kClassItem = 3;
constexpr uint8_t kClassFixed = 2;
constexpr uint8_t kClassContainer = 6;

ShapeInfo Info(uint8_t cls, uint8_t xe, uint8_t ye, bool bx, bool by) {
  return ShapeInfo{cls, xe, ye, bx, by};
}

}  // namespace

ShapeInfo DemoShapeInfo(uint16_t entry) {
  const uint16_t shape = entry & 0x3FF;
  switch (shape) {
    case kShapeFlowers:
      return Info(kClassGround, 0, 0, true, true);
    case kShapeWall:
      return Info(4, 0, 0, true, true);
    case kShapeGate:
      return Info(4, 0, 0, false, false);
    case kShapeFenceX:
      return Info(4, 0, 0, true, false);
    case kShapeFenceY:
      return Info(4, 0, 0, false, true);
    case kShapeTree:
      return Info(5, 0, 0, true, true);
    case kShapeTable:
      return Info(5, 2, 1, true, true);
    case kShapeWell:
      return Info(5, 1, 1, true, true);
    case kShapeBench:
      return Info(5, 3, 0, false, true);
    case kShapeRug:
      return Info(5, 2, 2, false, false);
    case kShapeBoulder:
      return Info(5, 1, 1, true, true);
    case kShapeLamp:
    case kShapeSign:
      return Info(kClassFixed, 0, 0, false, false);
    case kShapeChest:
    case kShapeBarrel:
      return Info(kClassContainer, 0, 0, false, false);
    default:
      break;
  }
  if (shape < kShapeCoin) return Info(kClassGround, 0, 0, false, false);
  if (shape < kDimsFirst) return Info(kClassItem, 0, 0, false, false);
  return Info(static_cast<uint8_t>(2 + shape % 4), 0, 0, false, false);
}

bool TileCanBlock(uint16_t entry) {
  const uint16_t shape = entry & 0x3FF;
  if (shape <= kDimsFirst) return false;
  ShapeInfo info = DemoShapeInfo(shape);
  return info.blocksX || info.blocksY;
}

std::string ShapesVgaBytes() {
  // Entry k: its own length, then a small frame (width, height, pixels).
  std::vector<std::string> entries;
  entries.reserve(kShapeCount);
  for (int s = 0; s < kShapeCount; ++s) {
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
  out.reserve(2 * (kShapeCount - kDimsFirst));
  for (int s = kDimsFirst; s < kShapeCount; ++s) {
    ShapeInfo info = DemoShapeInfo(static_cast<uint16_t>(s));
    // Bits 1-7 hold noise the server must ignore.
    out.push_back(static_cast<char>((info.blocksX ? 1 : 0) | ((s * 5) & 0xFE)));
    out.push_back(static_cast<char>((info.blocksY ? 1 : 0) | ((s * 3) & 0xFE)));
  }
  return out;
}

std::string TfaBytes() {
  std::string out;
  out.reserve(3 * kShapeCount);
  for (int s = 0; s < kShapeCount; ++s) {
    ShapeInfo info = DemoShapeInfo(static_cast<uint16_t>(s));
    uint8_t noise7 = (s == kShapeBarrel || s % 3 == 0) ? 0x80 : 0;
    out.push_back(static_cast<char>((s * 13) & 0xFF));
    out.push_back(static_cast<char>(info.shapeClass | noise7));
    out.push_back(static_cast<char>(info.xExtent | (info.yExtent << 3) | ((s % 4) << 6)));
  }
  return out;
}

}  // namespace zq::mkworld
