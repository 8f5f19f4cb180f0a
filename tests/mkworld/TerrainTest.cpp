// The ground: shape attribute bytes, the town's blocking, seeds, noBlocking and placements.
#include <gtest/gtest.h>

#include <set>

#include "tests/mkworld/InstallView.h"

namespace zq::mkworld {
namespace {
using test::Byte;
using test::WorldView;
constexpr int X = 0, Y = 1;

TEST(MkWorldShapes, AttributeBytesOfTheNamedShapes) {
  auto files = test::Build();
  const std::string &tfa = files["STATIC/TFA.DAT"], &dims = files["STATIC/SHPDIMS.DAT"];
  struct Want {
    uint16_t shape;
    int xe, ye, bx, by;
  };
  for (Want w :
       {Want{SHAPE_FLOWERS, 0, 0, 1, 1}, Want{SHAPE_WALL, 0, 0, 1, 1}, Want{SHAPE_GATE, 0, 0, 0, 0},
        Want{SHAPE_FENCE_X, 0, 0, 1, 0}, Want{SHAPE_FENCE_Y, 0, 0, 0, 1},
        Want{SHAPE_TABLE, 2, 1, 1, 1}, Want{SHAPE_WELL, 1, 1, 1, 1}, Want{SHAPE_BENCH, 3, 0, 0, 1},
        Want{SHAPE_RUG, 2, 2, 0, 0}}) {
    SCOPED_TRACE(w.shape);
    EXPECT_EQ(Byte(tfa, 3 * w.shape + 2) & 0x3F, w.xe | w.ye << 3);
    EXPECT_EQ(Byte(dims, 2 * (w.shape - 150)) & 1, w.bx);  // entry k is shape 150 + k
    EXPECT_EQ(Byte(dims, 2 * (w.shape - 150) + 1) & 1, w.by);
  }
  std::set<int> containers;
  for (int s = 0; s < 1024; ++s)
    if ((Byte(tfa, 3 * s + 1) & 0x7F) == 6) containers.insert(s);
  EXPECT_EQ(containers, (std::set<int>{SHAPE_CHEST, SHAPE_BARREL}));
  EXPECT_EQ(Byte(tfa, 3 * SHAPE_BARREL + 1), 0x86);
}

TEST(MkWorldTown, SpawnIsOpenAndTheTownBlocksWhereDescribed) {
  WorldView w(test::Build());
  for (int y = SPAWN_Y - 8; y <= SPAWN_Y + 8; ++y)
    for (int x = SPAWN_X - 8; x <= SPAWN_X + 8; ++x)
      ASSERT_FALSE(w.Blocked(x, y, X) || w.Blocked(x, y, Y)) << x << "," << y;
  // Out through the north, south and west gates; east into the well after 12 open tiles.
  for (int d = 0; d <= 30; ++d) {
    EXPECT_FALSE(w.Blocked(SPAWN_X, SPAWN_Y - d, Y) || w.Blocked(SPAWN_X, SPAWN_Y + d, Y)) << d;
    EXPECT_FALSE(w.Blocked(SPAWN_X - d, SPAWN_Y, X)) << d;
    EXPECT_EQ(w.Blocked(SPAWN_X + d, SPAWN_Y, X), d == 13 || d == 14) << d;
  }
  // The wall blocks both ways except at its four gates of four tiles (SHAPE_GATE, above 150).
  int gaps = 0;
  for (int i = 0; i <= 55; ++i)
    for (auto [x, y] : {std::pair{TOWN_MIN_X + i, TOWN_MIN_Y},
                        {TOWN_MIN_X + i, TOWN_MAX_Y},
                        {TOWN_MIN_X, TOWN_MIN_Y + i},
                        {TOWN_MAX_X, TOWN_MIN_Y + i}})
      if (y <= TOWN_MAX_Y) gaps += !(w.Blocked(x, y, X) && w.Blocked(x, y, Y));
  EXPECT_EQ(gaps, 16);
  EXPECT_EQ(w.TileEntry(1558, TOWN_MIN_Y) & 0x3FF, SHAPE_GATE);

  // The table's footprint exactly; axis-only fences and bench.
  for (int y = 1901; y <= 1904; ++y)
    for (int x = 1544; x <= 1548; ++x)
      EXPECT_EQ(w.Blocked(x, y, X), x >= 1545 && x <= 1547 && y >= 1902 && y <= 1903)
          << x << "," << y;
  EXPECT_TRUE(w.Blocked(1544, 1935, X) && !w.Blocked(1544, 1935, Y));
  EXPECT_TRUE(w.Blocked(1548, 1942, Y) && !w.Blocked(1548, 1942, X));
  for (int x = 1552; x <= 1557; ++x)
    EXPECT_TRUE(w.Blocked(x, 1910, Y) == (x >= 1553 && x <= 1556) && !w.Blocked(x, 1910, X)) << x;
  EXPECT_FALSE(w.Blocked(1544, 1907, Y));  // house A's door
}

TEST(MkWorldTown, SeedVariesDecorationButNotTownBlocking) {
  WorldOptions other;
  other.seed = 99;
  auto fa = test::Build(), fb = test::Build(other);
  WorldView a(fa), b(fb);
  std::set<uint32_t> townPatterns;
  int differentTiles = 0;
  for (int gy = 116; gy < 124; ++gy)
    for (int gx = 94; gx < 102; ++gx) {
      const uint32_t ca = a.ChunkNumber(gx, gy), cb = b.ChunkNumber(gx, gy);
      townPatterns.insert(ca);
      EXPECT_TRUE(a.Mask(ca, X) == b.Mask(cb, X) && a.Mask(ca, Y) == b.Mask(cb, Y))
          << gx << "," << gy;
      for (int t = 0; t < 256; ++t) differentTiles += a.Entry(ca, t) != b.Entry(cb, t);
    }
  EXPECT_EQ(townPatterns.size(), 64u);
  EXPECT_GT(differentTiles, 1000);
}

// Blocking tiles over the whole world, per axis.
std::pair<long, long> CountBlocking(const WorldView& w) {
  std::map<uint32_t, std::pair<long, long>> perPattern;
  std::pair<long, long> total{0, 0};
  for (int gy = 0; gy < 192; ++gy)
    for (int gx = 0; gx < 192; ++gx) {
      const uint32_t c = w.ChunkNumber(gx, gy);
      EXPECT_LT(c, 3072u);
      auto it = perPattern.find(c);
      if (it == perPattern.end())
        it =
            perPattern.emplace(c, std::pair<long, long>(w.Mask(c, X).count(), w.Mask(c, Y).count()))
                .first;
      total.first += it->second.first;
      total.second += it->second.second;
    }
  return total;
}

TEST(MkWorldOptions, NoBlockingWorldBlocksNothingButItsPlacements) {
  WorldOptions open;
  open.noBlocking = true;
  auto files = test::Build(open), normal = test::Build();
  EXPECT_EQ(files["STATIC/SHPDIMS.DAT"], normal["STATIC/SHPDIMS.DAT"]);
  EXPECT_EQ(CountBlocking(WorldView(files)), (std::pair<long, long>(0, 0)));
  EXPECT_NE(CountBlocking(WorldView(normal)), (std::pair<long, long>(0, 0)));

  open.extra = {{100, 200, SHAPE_WALL}, {1000, 7, SHAPE_TABLE}, {500, 500, 0x0400 | SHAPE_FENCE_Y}};
  WorldView w(test::Build(open));
  EXPECT_EQ(CountBlocking(w), (std::pair<long, long>(1 + 6, 1 + 6 + 1)));
  EXPECT_TRUE(w.Blocked(100, 200, X) && w.Blocked(998, 6, X) && w.Blocked(1000, 7, Y));
  EXPECT_TRUE(w.Blocked(500, 500, Y) && !w.Blocked(500, 500, X));  // frame bits kept, ignored
}

TEST(MkWorldOptions, PlacementsGiveTheirChunkPositionAPatternOfItsOwn) {
  WorldView before(test::Build());
  WorldOptions o;
  o.extra = {{10, 20, SHAPE_TABLE},
             {12, 21, SHAPE_FENCE_X},
             {12, 21, SHAPE_FENCE_Y},  // last wins
             {1565, 1925, static_cast<uint16_t>(0xFC00 | SHAPE_WALL)},
             {3071, 3071, SHAPE_TREE}};
  WorldView after(test::Build(o));
  std::map<uint32_t, int> uses;
  for (int gy = 0; gy < 192; ++gy)
    for (int gx = 0; gx < 192; ++gx) ++uses[after.ChunkNumber(gx, gy)];

  struct Chunk {
    int gx, gy;
    std::map<int, uint32_t> placed;  // tile ty*16+tx -> entry
  };
  for (const Chunk& c : {Chunk{0, 1, {{4 * 16 + 10, SHAPE_TABLE}, {5 * 16 + 12, SHAPE_FENCE_Y}}},
                         Chunk{97, 120, {{5 * 16 + 13, 0xFC00u | SHAPE_WALL}}},
                         Chunk{191, 191, {{255, SHAPE_TREE}}}}) {
    SCOPED_TRACE(std::to_string(c.gx) + "," + std::to_string(c.gy));
    const uint32_t p = after.ChunkNumber(c.gx, c.gy), old = before.ChunkNumber(c.gx, c.gy);
    EXPECT_EQ(uses[p], 1);
    for (int t = 0; t < 256; ++t)
      EXPECT_EQ(after.Entry(p, t), c.placed.count(t) ? c.placed.at(t) : before.Entry(old, t)) << t;
    for (int t = 0; t < 256; ++t) EXPECT_EQ(after.Entry(old, t), before.Entry(old, t));
  }
  EXPECT_EQ(after.ChunkNumber(1, 1), before.ChunkNumber(1, 1));
  EXPECT_TRUE(after.Blocked(1565, 1925, X));
}

}  // namespace
}  // namespace zq::mkworld
