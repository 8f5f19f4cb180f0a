// The generated installation loaded by the world readers, extraction included: it loads
// cleanly, and the loaded blocking and object lists agree with what was generated.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/Console.h"
#include "platform/Files.h"
#include "tests/mkworld/InstallView.h"
#include "tests/support/TempDir.h"
#include "tools/mkworld/Objects.h"
#include "tools/mkworld/WorldGen.h"
#include "world/IregExtract.h"
#include "world/WorldData.h"

namespace zq::mkworld {
namespace {

TEST(MkWorldLoad, WorldReadersLoadTheInstallationAsGenerated) {
  zq::test::TempDir tmp;
  const std::string game = tmp / "game";
  WorldOptions o;
  o.extra = {{200, 300, SHAPE_TABLE}};
  WriteInstallation(game, o);
  const std::string srvdat = game + "/SRVDAT/";
  std::filesystem::create_directory(srvdat);

  ConsoleCapture console;
  TNullProgress progress;
  ExtractInitGame(game + "/", srvdat, progress);
  EXPECT_EQ(zq::test::ReadFile(srvdat + "IDENTITY"), IdentityText());
  EXPECT_TRUE(std::filesystem::exists(srvdat + "SCHEDULE.DATA"));

  auto data = LoadWorldData(game + "/", srvdat);
  EXPECT_EQ(data->Shapes().ShapeCount(), 1024);
  EXPECT_EQ(data->Shapes().BlockCount(), 0);
  EXPECT_FALSE(console.Contains("DIMS != SHPDIMS"));
  EXPECT_FALSE(console.Contains("not enough MAXSHAPENUM"));
  EXPECT_EQ(data->Map().BadChunkEntries(), 0);

  // Every pattern in use, at its first position, and the whole town agree with our own scan.
  test::WorldView view(test::ByPath(BuildInstallation(o)));
  const IBlockingMap& blocking = data->Blocking();
  std::set<uint32_t> seen;
  for (int gy = 0; gy < 192; ++gy)
    for (int gx = 0; gx < 192; ++gx) {
      const bool town = gx >= 94 && gx < 102 && gy >= 116 && gy < 124;
      if (!seen.insert(view.ChunkNumber(gx, gy)).second && !town) continue;
      const uint32_t c = view.ChunkNumber(gx, gy);
      const auto mx = view.Mask(c, 0), my = view.Mask(c, 1);
      for (int t = 0; t < 256; ++t) {
        const int x = gx * 16 + t % 16, y = gy * 16 + t / 16;
        ASSERT_EQ(blocking.IsBlockedX(x, y, x, y), mx.test(t)) << x << "," << y;
        ASSERT_EQ(blocking.IsBlockedY(x, y, x, y), my.test(t)) << x << "," << y;
      }
    }
  EXPECT_TRUE(blocking.IsBlockedX(0, 0, 198, 300));

  // House A's chest is stored; its contents are skipped, not stored at position (0, 0).
  const RegList& house = data->RegLists()[ObjectListIndex(6, 7, 0, 6)];
  bool chest = false;
  for (const RegItem& item : house.Items)
    chest |= item.Bytes[0] == 12 && ((item.Bytes[3] | item.Bytes[4] << 8) & 0x3FF) == SHAPE_CHEST;
  EXPECT_TRUE(chest);
  EXPECT_EQ(data->RegLists()[ObjectListIndex(6, 7, 0, 0)].Count, 0);
  EXPECT_GT(data->FixLists()[ObjectListIndex(6, 7, 1557 / 16 % 16, 1908 / 16 % 16)].Count, 0);
}

}  // namespace
}  // namespace zq::mkworld
