// /api/map.png: its size and scale, and every pixel's class against the map's own blocking
// answers (IsBlockedX/IsBlockedY, not the masks the picture is drawn from).
#include <QImage>

#include "server/MapImage.h"
#include "tests/admin/AdminTestSupport.h"

namespace zq::test {
namespace {

TMapPixel ExpectedClass(const TZQMap& map, int px, int py) {
  int blocked = 0;
  for (int y = py * 4; y < py * 4 + 4; ++y)
    for (int x = px * 4; x < px * 4 + 4; ++x)
      if (map.IsBlockedX(0, 0, x, y) || map.IsBlockedY(0, 0, x, y)) ++blocked;
  return blocked == 0  ? TMapPixel::Free
         : blocked < 8 ? TMapPixel::PartlyBlocked
                       : TMapPixel::Blocked;
}

TEST_F(AdminApiTest, MapPictureShowsBlockedTilesApartFromFreeOnes) {
  StartAdmin();
  THttpResult r = Get("/api/map.png");
  ASSERT_EQ(r.Status, 200);
  EXPECT_EQ(r.Header("content-type"), "image/png");
  EXPECT_EQ(r.Header("x-map-tiles-per-pixel"), "4");
  EXPECT_LT(r.Body.size(), 400 * 1024);  // small enough for a page to load at once
  const QImage image = QImage::fromData(r.Body, "PNG");
  ASSERT_EQ(image.width(), 768);
  ASSERT_EQ(image.height(), 768);

  const TZQMap& map = server_->World()->Map();
  const QRgb partly = MapPixelColour(TMapPixel::PartlyBlocked);
  const QRgb blocked = MapPixelColour(TMapPixel::Blocked);
  // The spawn plaza is free; the well east of it (x 1573..1574, y 1920..1921) blocks.
  EXPECT_EQ(ExpectedClass(map, 1560 / 4, 1921 / 4), TMapPixel::Free);
  EXPECT_NE(image.pixel(1560 / 4, 1921 / 4), partly);
  EXPECT_NE(image.pixel(1560 / 4, 1921 / 4), blocked);
  EXPECT_EQ(image.pixel(1573 / 4, 1920 / 4), partly);

  std::map<TMapPixel, int> seen;
  int wrong = 0;
  for (int py = 0; py < 768; ++py)
    for (int px = 0; px < 768; ++px) {
      const TMapPixel expected = ExpectedClass(map, px, py);
      ++seen[expected];
      const QRgb got = image.pixel(px, py);
      const bool ok = expected == TMapPixel::Free ? got != partly && got != blocked
                                                  : got == MapPixelColour(expected);
      if (!ok && ++wrong <= 5) ADD_FAILURE() << "pixel " << px << "," << py;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(seen[TMapPixel::Free], 0);
  EXPECT_GT(seen[TMapPixel::PartlyBlocked], 0);
  EXPECT_GT(seen[TMapPixel::Blocked], 0);
}

}  // namespace
}  // namespace zq::test
