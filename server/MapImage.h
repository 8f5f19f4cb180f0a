// The world map as a picture: one pixel for MAP_TILES_PER_PIXEL x MAP_TILES_PER_PIXEL tiles
// (768 x 768 pixels for the 3072 x 3072 tiles), x to the right and y down. A pixel none of
// whose tiles blocks is free, in one of three shades by the chunk pattern under it (so the
// chunks show); one with some blocking tiles (along x or y) is partly blocked, one with at
// least half blocked is blocked. An indexed image, so its PNG stays small. Any thread (QImage
// needs no application object).
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>

#include "world/ZQMaps.h"

namespace zq {

constexpr int32_t MAP_TILES_PER_PIXEL = 4;
constexpr int32_t MAP_PIXELS = WORLD_TILES / MAP_TILES_PER_PIXEL;  // 768

enum class TMapPixel { Free, PartlyBlocked, Blocked };

// The class of pixel (px, py), 0..MAP_PIXELS - 1 each.
TMapPixel MapPixelClass(const TZQMap& map, int32_t px, int32_t py);

QImage RenderMapImage(const TZQMap& map);
QByteArray MapPng(const QImage& image);

// The colours the image uses for each class (free: the first of its shades).
QRgb MapPixelColour(TMapPixel pixel);

}  // namespace zq
