// The game end to end over loopback: joining and seeing each other, walking against a wall,
// speech, leaving, identifier reuse, and shutdown with players in the game.
#include "protocol/MessageCodes.h"
#include "tests/server/ServerFixture.h"

namespace zq::test {
namespace {

using mkworld::SPAWN_X;
using mkworld::SPAWN_Y;

mkworld::WorldOptions OpenWorldWithWall(int32_t wallX) {
  mkworld::WorldOptions world;
  world.noBlocking = true;
  for (int32_t y = SPAWN_Y - 3; y <= SPAWN_Y + 3; ++y)
    world.extra.push_back({wallX, y, mkworld::SHAPE_WALL});
  return world;
}

TEST_F(ServerTest, PlayersJoinAndSeeEachOther) {
  StartServer();
  TZQClient& a = Join("alice");
  EXPECT_EQ(a.Guid(), 1u);
  auto start = a.WaitFor<msg::StartPosition>(10000, pump_);
  ASSERT_TRUE(start);
  EXPECT_EQ(start->Lead, 8);
  EXPECT_EQ(start->X, SPAWN_X);
  EXPECT_EQ(start->Y, SPAWN_Y);

  TZQClient& b = Join("bob");
  EXPECT_EQ(b.Guid(), 2u);
  auto aboutBob = a.WaitFor<msg::PlayerInfo>(10000, pump_);
  ASSERT_TRUE(aboutBob);
  EXPECT_EQ(aboutBob->GUID, 2u);
  auto aboutAlice = b.WaitFor<msg::PlayerInfo>(10000, pump_);
  ASSERT_TRUE(aboutAlice);
  EXPECT_EQ(aboutAlice->GUID, 1u);
  EXPECT_EQ(aboutAlice->X, SPAWN_X);
  EXPECT_GE(LineIndex("SGM: Added player alice"), 0);
  EXPECT_GE(LineIndex("SGM: Added player bob"), 0);
  auto players = server_->Status().Players;
  ASSERT_EQ(players->size(), 2u);
  EXPECT_EQ((*players)[0].Name, "alice");
  EXPECT_EQ((*players)[1].SocketID, 2);
}

TEST_F(ServerTest, WalkerStopsAtAWallAndOthersSeeIt) {
  StartServer(OpenWorldWithWall(SPAWN_X + 5));
  TZQClient& walker = Join("walker");
  TZQClient& watcher = Join("watcher");
  walker.ClearInbox();
  watcher.ClearInbox();

  walker.SendKeyDown(4, 0, 0, 0xC0FFEE);
  auto ack = walker.WaitFor<msg::KeyDownAck>(10000, pump_);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->Key, 4);
  EXPECT_EQ(ack->ClientValue, 0xC0FFEEu);
  auto seen = watcher.WaitFor<msg::PlayerMotion>(10000, pump_);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->GUID, walker.Guid());
  EXPECT_EQ(seen->Facing, 1);
  EXPECT_EQ(seen->MoveFlags & 1, 1);
  EXPECT_DOUBLE_EQ(seen->DirX, 1.0);

  // Walk until the server has moved the player up to the wall (one tile per 250 ms).
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto p = server_->Status().Players;
        return !p->empty() && (*p)[0].X == SPAWN_X + 4;
      },
      20000));
  walker.SendKeyUp(4);
  auto stopped = watcher.WaitFor<msg::PlayerMotion>(
      10000, pump_, [](const msg::PlayerMotion& m) { return (m.MoveFlags & 1) == 0; });
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->X, SPAWN_X + 4);  // the wall tile itself is never entered
  EXPECT_EQ(stopped->Y, SPAWN_Y);
  EXPECT_EQ(stopped->Facing, 1);
  EXPECT_TRUE(walker.WaitFor<msg::KeyUpAck>(10000, pump_));
}

TEST_F(ServerTest, SpeechIsCleanedAndReachesSpeakerAndListener) {
  StartServer();
  TZQClient& a = Join("alice");
  TZQClient& b = Join("bob");
  a.SendClientSay("   hello    world  ");
  for (TZQClient* c : {&a, &b}) {
    auto speech = c->WaitFor<msg::PlayerSpeech>(10000, pump_);
    ASSERT_TRUE(speech);
    EXPECT_EQ(speech->GUID, a.Guid());
    EXPECT_EQ(speech->Duration, 5000u);
    EXPECT_EQ(speech->Text, "\"hello world\"");
  }
  a.SendClientSay("     ");  // dropped
  a.SendClientSay("next");
  auto next = b.WaitFor<msg::PlayerSpeech>(10000, pump_);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Text, "\"next\"");
}

TEST_F(ServerTest, LeavingIsToldToOthersAndTheGuidIsReused) {
  StartServer();
  TZQClient& a = Join("alice");
  TZQClient& b = Join("bob");
  TZQClient& c = Join("carol");
  uint32_t bobGuid = b.Guid();
  b.Close();
  for (TZQClient* other : {&a, &c}) {
    auto left = other->WaitFor<msg::PlayerLeft>(10000, pump_);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->GUID, bobGuid);
  }
  TZQClient& d = Join("dave");
  EXPECT_EQ(d.Guid(), bobGuid);                                      // lowest free identifier
  EXPECT_EQ(server_->Running()->Sockets()[2].GUID.load(), bobGuid);  // and the freed socket number
}

TEST_F(ServerTest, ClientGoneThenDisconnectGivesOnePlayerLeft) {
  StartServer();
  TZQClient& a = Join("alice");
  TZQClient& b = Join("bob");
  int lefts = 0;
  a.SetOnMessage([&](const TReceived& r) { lefts += r.Type == PlayerLeft; });
  b.SendClientGone();
  ASSERT_TRUE(WaitUntil([&] { return lefts == 1; }));
  b.Close();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Connected == 1; }));
  a.SendClientSay("sync");  // everything before it has been handled once this arrives
  ASSERT_TRUE(a.WaitFor<msg::PlayerSpeech>(10000, pump_));
  EXPECT_EQ(lefts, 1);
}

TEST_F(ServerTest, ShutdownWithPlayersClosesConnectionsWithoutDisconnectLines) {
  StartServer();
  TZQClient& a = Join("alice");
  TZQClient& b = Join("bob");
  int disconnectsBefore = CountLines("Disconnected ");
  server_->Shutdown();
  int shutdown = LineIndex("Server shutdown.");
  ASSERT_GE(shutdown, 0);
  int sgm = -1, dm = -1;
  for (std::size_t i = shutdown; i < view_.lines.size(); ++i) {
    if (view_.lines[i].find(" SGM: GameManager shutdown.") != std::string::npos) sgm = int(i);
    if (view_.lines[i].find(" DM: DispatchManager shutdown.") != std::string::npos) dm = int(i);
  }
  EXPECT_GT(sgm, shutdown);
  EXPECT_GT(dm, sgm);
  EXPECT_EQ(CountLines("Disconnected "), disconnectsBefore);
  EXPECT_TRUE(WaitUntil([&] { return a.IsClosed() && b.IsClosed(); }));
}

}  // namespace
}  // namespace zq::test
