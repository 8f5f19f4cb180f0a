#include "world/ZQMaps.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "platform/Console.h"
#include "tests/world/WorldFiles.h"

namespace zq {
namespace {

using test::IoErrorOf;
using test::WriteFile;

// Chunk and map tables written as files and loaded back; shape attributes set directly.
struct MapFixture {
  std::vector<uint16_t> chunks = std::vector<uint16_t>(CHUNK_COUNT * CHUNK_ENTRIES, 0);
  std::vector<uint16_t> map = std::vector<uint16_t>(MAP_ENTRIES, 0);
  TfaTable tfa{};
  ShapeDims dims{};
  test::TempDir dir;

  void Shape(uint16_t s, int xe, int ye, bool bx, bool by) {
    tfa[s].Bytes[2] = static_cast<uint8_t>(xe | ye << 3);
    dims.Bytes[2 * (s - 150)] = bx;
    dims.Bytes[2 * (s - 150) + 1] = by;
  }
  void Tile(int c, int tx, int ty, uint16_t entry) { chunks[c * 256 + ty * 16 + tx] = entry; }
  std::unique_ptr<TZQMap> Load() {
    std::string c, m;
    for (uint16_t v : chunks) c += test::LE16(v);
    for (uint16_t v : map) m += test::LE16(v);
    WriteFile(dir / "ZQCHUNKS", c);
    WriteFile(dir / "ZQMAP", m);
    auto result = std::make_unique<TZQMap>();
    result->LoadChunks(dir / "ZQCHUNKS");
    result->LoadMap(dir / "ZQMAP");
    result->BuildMasks(tfa, dims);
    return result;
  }
};

TEST(ZQMaps, FootprintFlagsAndShapeNumbers) {
  MapFixture f;
  // Chunk position (sx 2, sy 3, cx 4, cy 5) holds pattern 7; shape 300 on its tile (5, 7).
  f.map[((3 * 12 + 2) * 16 + 5) * 16 + 4] = 7;
  f.Shape(300, 2, 1, true, false);
  f.Tile(7, 5, 7, 300);
  // Pattern 0, row 0: 150 never blocks, nor 40 (no dims entry); bits 10-15 are ignored.
  f.Shape(150, 0, 0, true, true);
  f.Shape(151, 0, 0, true, false);
  f.Shape(152, 0, 0, false, true);
  const uint16_t row0[] = {150, 40, 151, 152, 151 | 0xFC00, 150 | 0x0400};
  for (int tx = 0; tx < 6; ++tx) f.Tile(0, tx, 0, row0[tx]);
  // Pattern 1 at chunk position cx 1: a footprint reaching past the chunk's low x edge.
  f.map[1] = 1;
  f.Shape(400, 3, 3, true, true);
  f.Tile(1, 0, 4, 400);
  auto m = f.Load();
  const int x0 = 2 * 256 + 4 * 16, y0 = 3 * 256 + 5 * 16;
  for (int ty = 0; ty < 16; ++ty) {
    for (int tx = 0; tx < 16; ++tx) {
      const bool inside = tx >= 3 && tx <= 5 && ty >= 6 && ty <= 7;
      EXPECT_EQ(m->IsBlockedX(0, 0, x0 + tx, y0 + ty), inside) << tx << "," << ty;
      EXPECT_FALSE(m->IsBlockedY(0, 0, x0 + tx, y0 + ty)) << tx << "," << ty;
    }
  }
  EXPECT_TRUE(m->IsBlockedX(INT_MIN, INT_MAX, x0 + 4, y0 + 6));  // the current tile plays no part
  const bool wantX[] = {false, false, true, false, true, false};
  const bool wantY[] = {false, false, false, true, false, false};
  for (int tx = 0; tx < 6; ++tx) {
    EXPECT_EQ(m->IsBlockedX(0, 0, tx, 0), wantX[tx]) << tx;
    EXPECT_EQ(m->IsBlockedY(0, 0, tx, 0), wantY[tx]) << tx;
  }
  EXPECT_TRUE(m->IsBlockedX(0, 0, 16, 4) && m->IsBlockedX(0, 0, 16, 1));
  EXPECT_FALSE(m->IsBlockedX(0, 0, 16, 0));
  EXPECT_FALSE(m->IsBlockedX(0, 0, 15, 4));  // the neighbouring chunk is not seen
}

TEST(ZQMaps, CoordinatesWrapWithATrueModulo) {
  MapFixture f;
  f.Shape(500, 0, 0, true, false);
  f.Shape(501, 0, 0, false, true);
  f.Tile(3, 0, 5, 500);
  f.Tile(3, 15, 15, 501);
  for (int i = 0; i < 192; ++i) {  // pattern 3 along all four edges of the world
    f.map[MapIndex(i * 16, 0)] = f.map[MapIndex(i * 16, 3056)] = 3;
    f.map[MapIndex(0, i * 16)] = f.map[MapIndex(3056, i * 16)] = 3;
  }
  auto m = f.Load();
  EXPECT_TRUE(m->IsBlockedX(0, 0, 0, 5));
  EXPECT_TRUE(m->IsBlockedX(0, 0, 3072, 5));
  EXPECT_TRUE(m->IsBlockedX(0, 0, 0, 3077));
  EXPECT_TRUE(m->IsBlockedY(0, 0, -1, -1));  // tile (15, 15) of the last chunk
  EXPECT_FALSE(m->IsBlockedY(0, 0, -1, 5));
  for (int y : {0, 5, 3071}) {
    for (int x : {0, 15, 3056, 3071}) {
      for (int a = 0; a < 2; ++a) {
        const bool want = m->IsBlocked(BlockAxis(a), x, y);
        for (int64_t k : {-1LL, 1LL, 699000LL, -699000LL}) {  // 3072 * 699000 < 2^31
          EXPECT_EQ(m->IsBlocked(BlockAxis(a), static_cast<int32_t>(x + 3072 * k), y), want);
          EXPECT_EQ(m->IsBlocked(BlockAxis(a), x, static_cast<int32_t>(y - 3072 * k)), want);
        }
      }
    }
  }
  for (int32_t v : {INT_MIN, -3073, 6144, INT_MAX})  // no crash, same as the scan
    EXPECT_EQ(m->IsBlockedX(0, 0, v, v), ScanIsBlocked(*m, f.tfa, f.dims, BlockAxis::X, v, v));
}

TEST(ZQMaps, ChunkNumbersBeyondTheTableBlockNothing) {
  MapFixture f;
  f.Shape(200, 0, 0, true, true);
  for (int c = 0; c < CHUNK_COUNT; ++c) f.Tile(c, 15, 15, 200);  // every pattern blocks
  f.map[0] = 3072;
  f.map[1] = 0xFFFF;
  ConsoleCapture console;
  auto m = f.Load();
  EXPECT_EQ(m->BadChunkEntries(), 2);
  ASSERT_EQ(console.Lines().size(), 1u);
  EXPECT_NE(console.Lines()[0].find("2 map entries"), std::string::npos);
  EXPECT_FALSE(m->IsBlockedX(0, 0, 15, 15));
  EXPECT_FALSE(m->IsBlockedY(0, 0, 31, 15));
  EXPECT_FALSE(ScanIsBlocked(*m, f.tfa, f.dims, BlockAxis::X, 15, 15));
  EXPECT_TRUE(m->IsBlockedX(0, 0, 47, 15));
  EXPECT_EQ(m->WorldMap()[1], 0xFFFF);  // the table stays as loaded
}

TEST(ZQMaps, MasksAgreeWithTheScanForRandomPatterns) {
  MapFixture f;
  std::mt19937 rng(12345);
  for (int s = 150; s < 1024; ++s)
    f.Shape(static_cast<uint16_t>(s), rng() % 8, rng() % 8, rng() % 3 == 0, rng() % 3 == 0);
  for (int s = 140; s < 150; ++s) f.tfa[s].Bytes[2] = 0x3F;
  for (int c = 0; c < 64; ++c)
    for (int k = 0; k < 6; ++k)
      f.Tile(c, rng() % 16, rng() % 16, static_cast<uint16_t>(rng() % 1024 | (rng() % 64) << 10));
  auto m = f.Load();
  int blocked = 0;
  for (int c = 0; c < 64; ++c) {
    for (int t = 0; t < 256 * 2; ++t) {
      const int tx = t % 16, ty = t / 16 % 16, a = t / 256;
      const bool scan =
          ScanChunkBlocked(&m->Chunks()[c * 256], f.tfa, f.dims, BlockAxis(a), tx, ty);
      ASSERT_EQ(scan, ((m->Mask(c).Rows[a][ty] >> tx) & 1) != 0) << c << ":" << tx << "," << ty;
      blocked += scan;
    }
  }
  EXPECT_GT(blocked, 100);  // both answers were compared
  EXPECT_LT(blocked, 64 * 256 * 2 - 100);
}

TEST(ZQMaps, MissingOrShortFilesRaiseNamingTheFile) {
  test::TempDir dir;
  TZQMap m;
  WriteFile(dir / "ZQCHUNKS", std::string(CHUNKS_FILE_SIZE - 1, '\0'));
  WriteFile(dir / "ZQMAP", std::string(MAP_FILE_SIZE - 1, '\0'));
  EXPECT_NE(IoErrorOf([&] { m.LoadChunks(dir / "ZQCHUNKS"); }).find(dir / "ZQCHUNKS"),
            std::string::npos);
  EXPECT_NE(IoErrorOf([&] { m.LoadMap(dir / "ZQMAP"); }).find(dir / "ZQMAP"), std::string::npos);
  EXPECT_NE(IoErrorOf([&] { m.LoadMap(dir / "nomap"); }).find("nomap"), std::string::npos);
  WriteFile(dir / "ZQMAP", std::string(MAP_FILE_SIZE, '\x01') + "tail");  // longer is fine
  m.LoadMap(dir / "ZQMAP");
  EXPECT_EQ(m.WorldMap()[MAP_ENTRIES - 1], 0x0101);
}

}  // namespace
}  // namespace zq
