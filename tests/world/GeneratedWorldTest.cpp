#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "tests/world/WorldFiles.h"
#include "tools/mkworld/WorldGen.h"
#include "world/Installation.h"
#include "world/WorldData.h"

namespace zq {
namespace {

namespace mk = zq::mkworld;

// The installation as the start sequence reads it: SRVDAT unpacked, then every step.
std::unique_ptr<TWorldData> ExtractAndLoad(const std::string& game) {
  TNullProgress progress;
  return LoadWorldData(game + "/", BuildDataDirectory(game, progress));
}

TEST(GeneratedWorld, LoadsCompletelyAndMasksMatchTheScanEverywhere) {
  test::TempDir dir;
  mk::WriteInstallation(dir.Path());
  ConsoleCapture console;
  auto w = ExtractAndLoad(dir.Path());
  EXPECT_EQ(w->Shapes().ShapeCount(), 1024);
  EXPECT_EQ(w->Map().BadChunkEntries(), 0);
  EXPECT_FALSE(console.Contains("DIMS != SHPDIMS"));
  EXPECT_TRUE(std::filesystem::exists(dir / "SRVDAT/IDENTITY"));
  int fixed = 0, registered = 0;
  for (const auto& l : w->FixLists()) fixed += l.Count;
  for (const auto& l : w->RegLists()) registered += l.Count;
  EXPECT_GT(fixed, 0);
  EXPECT_GT(registered, 0);

  // Every tile of every chunk position, both axes: masks against the scan (each pattern's
  // tiles scanned once).
  std::vector<int8_t> memo(static_cast<std::size_t>(CHUNK_COUNT) * CHUNK_ENTRIES * 2, -1);
  int blocked[2] = {0, 0};
  int mismatches = 0;
  for (int32_t y = 0; y < WORLD_TILES && mismatches < 5; ++y) {
    for (int32_t x = 0; x < WORLD_TILES; ++x) {
      const uint16_t c = w->Map().WorldMap()[MapIndex(x, y)];
      for (int a = 0; a < 2; ++a) {
        int8_t& want =
            memo[(static_cast<std::size_t>(c) * CHUNK_ENTRIES + (y % 16) * 16 + x % 16) * 2 + a];
        if (want < 0)
          want = ScanChunkBlocked(&w->Map().Chunks()[c * CHUNK_ENTRIES], w->Tfa(), w->Dims(),
                                  BlockAxis(a), x % 16, y % 16);
        const bool got =
            a == 0 ? w->Blocking().IsBlockedX(0, 0, x, y) : w->Blocking().IsBlockedY(0, 0, x, y);
        if (got != (want == 1) && ++mismatches <= 5)
          ADD_FAILURE() << "masks and scan differ at " << x << "," << y << " axis " << a;
        blocked[a] += got;
      }
    }
  }
  EXPECT_GT(blocked[0], 0);
  EXPECT_GT(blocked[1], 0);

  // Landmarks of the generated town: open spawn, the well, a fence along x only.
  EXPECT_FALSE(w->Blocking().IsBlockedX(0, 0, mk::SPAWN_X, mk::SPAWN_Y));
  EXPECT_TRUE(w->Blocking().IsBlockedX(0, 0, 1573, 1921));  // the well
  EXPECT_TRUE(w->Blocking().IsBlockedX(0, 0, 1544, 1935));  // fence along x only
  EXPECT_FALSE(w->Blocking().IsBlockedY(0, 0, 1544, 1935));
}

TEST(GeneratedWorld, StepsOutOfOrderAndMissingFilesAreRefused) {
  test::TempDir dir;
  mk::WriteInstallation(dir.Path());
  auto w = std::make_unique<TWorldData>();
  EXPECT_THROW(w->LoadTfa(dir / "STATIC/TFA.DAT"), EInternalCheck);
  EXPECT_THROW(w->LoadChunks(dir / "STATIC/ZQCHUNKS"), EInternalCheck);
  EXPECT_THROW(w->LoadRegistered(dir / "SRVDAT/ZQIREG"), EInternalCheck);
  std::filesystem::remove(dir / "STATIC/ZQIFIX5A");
  ConsoleCapture console;
  EXPECT_NE(test::IoErrorOf([&] { ExtractAndLoad(dir.Path()); }).find("ZQIFIX5A"),
            std::string::npos);
}

}  // namespace
}  // namespace zq
