#include "server/MapImage.h"

#include <QBuffer>
#include <bit>

namespace zq {
namespace {

constexpr int FREE_SHADES = 3;
// Palette: three free shades, partly blocked, blocked.
const QRgb PALETTE[] = {qRgb(0xD9, 0xE4, 0xC4), qRgb(0xD2, 0xDE, 0xBC), qRgb(0xCB, 0xD8, 0xB4),
                        qRgb(0x8C, 0x93, 0x74), qRgb(0x3A, 0x36, 0x30)};
constexpr int PARTLY_INDEX = FREE_SHADES;
constexpr int BLOCKED_INDEX = FREE_SHADES + 1;
constexpr uint16_t PIXEL_BITS = (1u << MAP_TILES_PER_PIXEL) - 1;

// Blocking tiles (along x or y) of the pixel's square, and the chunk pattern under it.
int BlockedTiles(const TZQMap& map, int32_t px, int32_t py, uint16_t* pattern) {
  const int32_t x = px * MAP_TILES_PER_PIXEL, y = py * MAP_TILES_PER_PIXEL;
  const uint16_t c = map.WorldMap()[static_cast<std::size_t>(MapIndex(x, y))];
  *pattern = c;
  if (c >= CHUNK_COUNT) return 0;  // names no chunk: blocks nothing
  const ChunkMask& mask = map.Mask(c);
  int blocked = 0;
  for (int32_t ty = y & 15; ty < (y & 15) + MAP_TILES_PER_PIXEL; ++ty) {
    const auto row = static_cast<uint16_t>(mask.Rows[0][ty] | mask.Rows[1][ty]);
    blocked += std::popcount(static_cast<uint16_t>((row >> (x & 15)) & PIXEL_BITS));
  }
  return blocked;
}

TMapPixel ClassOf(int blocked) {
  constexpr int HALF = MAP_TILES_PER_PIXEL * MAP_TILES_PER_PIXEL / 2;
  if (blocked == 0) return TMapPixel::Free;
  return blocked < HALF ? TMapPixel::PartlyBlocked : TMapPixel::Blocked;
}

}  // namespace

TMapPixel MapPixelClass(const TZQMap& map, int32_t px, int32_t py) {
  uint16_t pattern = 0;
  return ClassOf(BlockedTiles(map, px, py, &pattern));
}

QRgb MapPixelColour(TMapPixel pixel) {
  switch (pixel) {
    case TMapPixel::Free:
      return PALETTE[0];
    case TMapPixel::PartlyBlocked:
      return PALETTE[PARTLY_INDEX];
    default:
      return PALETTE[BLOCKED_INDEX];
  }
}

QImage RenderMapImage(const TZQMap& map) {
  QImage image(MAP_PIXELS, MAP_PIXELS, QImage::Format_Indexed8);
  image.setColorTable(QList<QRgb>(std::begin(PALETTE), std::end(PALETTE)));
  for (int32_t py = 0; py < MAP_PIXELS; ++py) {
    uchar* line = image.scanLine(py);
    for (int32_t px = 0; px < MAP_PIXELS; ++px) {
      uint16_t pattern = 0;
      const TMapPixel pixel = ClassOf(BlockedTiles(map, px, py, &pattern));
      line[px] = static_cast<uchar>(pixel == TMapPixel::Free      ? pattern % FREE_SHADES
                                    : pixel == TMapPixel::Blocked ? BLOCKED_INDEX
                                                                  : PARTLY_INDEX);
    }
  }
  return image;
}

QByteArray MapPng(const QImage& image) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return png;
}

}  // namespace zq
