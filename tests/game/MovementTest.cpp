#include <bit>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "GameTestSupport.h"
#include "game/Players.h"
#include "platform/Console.h"
#include "protocol/ZQProtocol.h"

namespace zq {
namespace {

using test::Bytes;
using test::FakeClock;
using test::FakeMap;
using test::GameWorld;
using test::MakeKey;

const uint32_t WALK_BITS = 0x3B83126Fu;

class Movement : public ::testing::Test {
 protected:
  FakeClock clock{1100};
  ConsoleCapture console;
  GameWorld w;
  uint32_t g1 = w.Join(1, "A", 0x0102);
  uint32_t g2 = w.Join(2, "B", 0x0304);
  void SetUp() override { w.Drain(); }
};

TEST_F(Movement, KeyDownFourWalksEastAndTellsEveryoneInView) {
  w.players.HandleKey(2, KeyDown, MakeKey(4, 0, 0, 0xA1B2C3D4));
  const PlayerRecord& p = w.P(g2);
  EXPECT_EQ(p.Keys[4], 1);
  EXPECT_EQ(p.LastMove, 1250u);

  auto sent = w.Drain();
  ASSERT_EQ(sent.size(), 3u);
  // GUID, ClientCode, X, Y, StateByte, Facing 1, MoveFlags 1, 0, DirX 1.0, DirY 0.0,
  // StopX 0, StopY 0, Speed, game time 1250.
  const std::string motion =
      Bytes({2, 0, 0, 0, 4, 3, 0x18, 6, 0x81, 7, 0, 1, 1, 0, 0, 0, 0}) +
      Bytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) +
      Bytes({0x6F, 0x12, 0x83, 0x3B, 0xE2, 0x04, 0, 0});
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(sent[i]->MsgType, PlayerMotion);
    EXPECT_EQ(sent[i]->GUID, i == 0 ? g1 : g2);
    EXPECT_EQ(sent[i]->Data, motion);
  }
  EXPECT_EQ(sent[2]->MsgType, KeyDownAck);
  EXPECT_EQ(sent[2]->GUID, g2);
  EXPECT_EQ(sent[2]->TargetSocketID, -1);
  EXPECT_EQ(sent[2]->Data, Bytes({4, 0xD4, 0xC3, 0xB2, 0xA1}));
}

TEST_F(Movement, DiagonalKeysFaceAlongXAndNormalise) {
  w.players.HandleKey(2, KeyDown, MakeKey(1));
  EXPECT_EQ(w.P(g2).Facing, 2);
  EXPECT_EQ(w.P(g2).DirY, -1.0);
  w.players.HandleKey(2, KeyDown, MakeKey(3));
  const PlayerRecord& p = w.P(g2);
  EXPECT_EQ(p.Facing, 4);
  EXPECT_EQ(p.DirX, -1.0 / std::sqrt(2.0));
  EXPECT_EQ(p.DirY, -1.0 / std::sqrt(2.0));
  // Opposite keys cancel: 1+3+4 walks north.
  w.players.HandleKey(2, KeyDown, MakeKey(4));
  EXPECT_EQ(p.Facing, 2);
  EXPECT_EQ(p.DirX, 0.0);
  EXPECT_EQ(p.DirY, -1.0);
  // All four: no motion; direction and facing stay.
  w.players.HandleKey(2, KeyDown, MakeKey(2));
  EXPECT_EQ(p.MoveFlags, 0);
  EXPECT_EQ(p.Speed, 0.0f);
  EXPECT_EQ(p.Facing, 2);
  EXPECT_EQ(p.DirY, -1.0);
}

TEST_F(Movement, KeySixHeadsForTheTargetTile) {
  w.players.HandleKey(2, KeyDown, MakeKey(6, 1560 + 10, 1921 - 3));
  const PlayerRecord& p = w.P(g2);
  EXPECT_EQ(p.Facing, 1);
  EXPECT_EQ(p.DirX, 10.0 / std::sqrt(109.0));
  EXPECT_EQ(p.DirY, -3.0 / std::sqrt(109.0));
  EXPECT_EQ(p.StopX, 0);  // not the target
  EXPECT_EQ(p.StopY, 0);
  w.players.HandleKey(2, KeyDown, MakeKey(6, 1560 + 1, 1921 + 5));
  EXPECT_EQ(p.Facing, 8);
  // A target below zero of the 16-bit range still counts as signed distance.
  w.players.HandleKey(2, KeyDown, MakeKey(6, 0, 1921));
  EXPECT_EQ(p.Facing, 4);
  EXPECT_EQ(p.DirX, -1.0);
}

TEST_F(Movement, KeyUpStopsButKeepsFacingAndStillSends) {
  w.players.HandleKey(2, KeyDown, MakeKey(2));
  w.Drain();
  FakeClock::Set(2000);
  w.players.HandleKey(2, KeyUp, MakeKey(2, 0, 0, 7));
  const PlayerRecord& p = w.P(g2);
  EXPECT_EQ(p.Keys[2], 0);
  EXPECT_EQ(p.Facing, 8);
  EXPECT_EQ(p.MoveFlags, 0);
  EXPECT_EQ(p.Speed, 0.0f);
  EXPECT_EQ(p.DirY, 1.0);
  EXPECT_EQ(p.LastMove, 2250u);
  auto sent = w.Drain();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1]->Data.substr(11, 2), Bytes({8, 0}));  // Facing kept, not moving
  EXPECT_EQ(GetU32(sent[1]->Data, 41), 2250u);
  EXPECT_EQ(sent[2]->MsgType, KeyUpAck);
  EXPECT_EQ(sent[2]->Data, Bytes({2, 7, 0, 0, 0}));

  // Other keys are only recorded; a socket without a player is ignored.
  w.players.HandleKey(2, KeyDown, MakeKey(255));
  EXPECT_EQ(p.Keys[255], 1);
  EXPECT_EQ(p.MoveFlags, 0);
  EXPECT_EQ(p.Facing, 8);
  EXPECT_EQ(w.Drain().size(), 3u);
  w.players.HandleKey(30, KeyDown, MakeKey(4));
  EXPECT_TRUE(w.Drain().empty());
}

TEST_F(Movement, UpdateAdvancesOneTilePerStepAndSkipsStandingPlayers) {
  w.players.HandleKey(2, KeyDown, MakeKey(4));  // LastMove 1250
  w.Drain();
  const uint32_t standingLast = w.P(g1).LastMove;
  w.map.calls.clear();
  FakeClock::Set(1000);  // same step: dt 0, nothing to walk
  w.players.UpdatePlayers();
  EXPECT_EQ(w.P(g2).PosX, 1560.0);
  EXPECT_EQ(w.P(g2).X, 1560);
  EXPECT_TRUE(w.map.calls.empty());

  FakeClock::Set(1500);  // now 1750: dt 500, walked a step at a time
  w.players.UpdatePlayers();
  const PlayerRecord& p = w.P(g2);
  const double step = 1.0 * static_cast<double>(std::bit_cast<float>(WALK_BITS)) * 250.0;
  EXPECT_EQ(p.PosX, 1560.0 + step + step);
  ASSERT_EQ(w.map.calls.size(), 4u);  // only the walker asks the map, once a step and axis
  EXPECT_EQ(w.map.calls[0], (FakeMap::Call{'x', 1560, 1921, 1561, 1921}));
  EXPECT_EQ(w.map.calls[2], (FakeMap::Call{'x', 1561, 1921, 1562, 1921}));
  EXPECT_EQ(p.X, 1562);
  EXPECT_EQ(p.Y, 1921);
  EXPECT_EQ(p.LastMove, 1750u);
  EXPECT_EQ(w.P(g1).LastMove, standingLast);
  EXPECT_TRUE(w.Drain().empty()) << "updates send nothing";
}

TEST_F(Movement, DiagonalWalkerSlidesAlongABlockingWall) {
  w.map.blockFromX = 1562;
  w.map.blockToX = 5000;
  w.players.HandleKey(2, KeyDown, MakeKey(2));
  w.players.HandleKey(2, KeyDown, MakeKey(4));  // (+x, +y), LastMove 1250
  w.map.calls.clear();
  FakeClock::Set(1500);  // dt 500: two steps of 0.707 tiles on each axis
  w.players.UpdatePlayers();
  const PlayerRecord& p = w.P(g2);
  EXPECT_EQ(p.X, 1561);
  EXPECT_EQ(p.Y, 1922);
  EXPECT_EQ(w.map.calls, (std::vector<FakeMap::Call>{{'x', 1560, 1921, 1561, 1922},
                                                     {'y', 1560, 1921, 1561, 1922},
                                                     {'x', 1561, 1922, 1561, 1922},
                                                     {'y', 1561, 1922, 1561, 1922}}));
  const double stuckX = p.PosX;
  w.map.calls.clear();
  FakeClock::Set(2000);  // candidate x 1562 is blocked: x stays, y goes on
  w.players.UpdatePlayers();
  EXPECT_EQ(p.PosX, stuckX);
  EXPECT_EQ(p.X, 1561);
  EXPECT_EQ(p.Y, 1924);
  EXPECT_EQ(w.map.calls, (std::vector<FakeMap::Call>{{'x', 1561, 1922, 1562, 1923},
                                                     {'y', 1561, 1922, 1561, 1923},
                                                     {'x', 1561, 1923, 1562, 1924},
                                                     {'y', 1561, 1923, 1561, 1924}}));
  EXPECT_EQ(p.MoveFlags, 1);
  EXPECT_EQ(std::bit_cast<uint32_t>(p.Speed), WALK_BITS);
}

TEST_F(Movement, NoDelayLetsAWalkerThroughAOneTileWall) {
  w.map.blockFromX = 1565;  // a wall one tile thick
  w.map.blockToX = 1565;
  w.players.HandleKey(2, KeyDown, MakeKey(4));        // LastMove 1250
  for (uint32_t late : {10000u, 60000u, 3600000u}) {  // the game thread held back this long
    FakeClock::Advance(late);
    w.players.UpdatePlayers();
    EXPECT_EQ(w.P(g2).X, 1564) << "after " << late << " ms";
    EXPECT_LT(w.P(g2).PosX, 1564.5);
  }
  // A walk the other way, of more steps than one update applies, stops short of it too.
  w.map.blockFromX = 1500;
  w.map.blockToX = 1500;
  w.players.HandleKey(2, KeyUp, MakeKey(4));
  w.players.HandleKey(2, KeyDown, MakeKey(3));
  FakeClock::Advance(3600000);
  w.players.UpdatePlayers();
  EXPECT_EQ(w.P(g2).X, 1501);
}

TEST_F(Movement, ALastMoveAheadOfTheClockMovesNothing) {
  w.players.HandleKey(2, KeyDown, MakeKey(4));  // LastMove 1250
  FakeClock::Set(500);                          // the clock went back: now 750
  w.players.UpdatePlayers();
  EXPECT_EQ(w.P(g2).X, 1560);
  EXPECT_EQ(w.P(g2).LastMove, 750u);
}

TEST(MovementAtTheEdge, ReachingXZeroDropsTheXComponent) {
  FakeClock clock(0);
  ConsoleCapture console;
  GameWorld w(1, 10);
  const uint32_t g = w.Join(1);
  w.players.HandleKey(1, KeyDown, MakeKey(3));  // LastMove 250
  w.players.HandleKey(1, KeyDown, MakeKey(1));  // (-x, -y) diagonal
  FakeClock::Set(500);                          // dt 500: two steps of 0.707 tiles
  w.players.UpdatePlayers();
  const PlayerRecord& p = w.P(g);
  EXPECT_EQ(p.X, 0);
  EXPECT_EQ(p.DirX, 0.0);
  EXPECT_LT(p.DirY, 0.0);
  const double x = p.PosX;
  EXPECT_NEAR(x, 1.0 - std::sqrt(0.5), 1e-6) << "the first step reached x 0 and stopped there";
  FakeClock::Set(1500);
  w.players.UpdatePlayers();
  EXPECT_EQ(p.PosX, x);
  EXPECT_EQ(p.X, 0);
  EXPECT_EQ(p.Y, 6);  // y keeps walking: 10 - 0.7071 * 6 steps
}

TEST(MovementAtTheEdge, StepGridWrapsWithTheTickCount) {
  FakeClock clock(4294967000u);
  ConsoleCapture console;
  GameWorld w(100, 100);
  const uint32_t g = w.Join(1);
  w.players.HandleKey(1, KeyDown, MakeKey(2));
  EXPECT_EQ(w.P(g).LastMove, 4294967250u);
  FakeClock::Set(4294967295u);  // next step wraps to 204: dt 250
  w.players.UpdatePlayers();
  EXPECT_EQ(w.P(g).LastMove, 204u);
  EXPECT_EQ(w.P(g).Y, 101);
}

}  // namespace
}  // namespace zq
