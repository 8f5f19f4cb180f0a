// Hostile clients over loopback, each test written as the attack: misrouting another player's
// messages, joining under the last holder's login, stalling everybody with one burst, holding
// slots without finishing the setup, too many connections from one address, a key flood
// while another client leaves, freezing walkers with chatter, rebinding UDP endpoints and
// duplicated acknowledgements.
#include <chrono>

#include "platform/Console.h"
#include "protocol/ClientMessages.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/server/ServerFixture.h"

namespace zq::test {
namespace {

using mkworld::SPAWN_X;

bool HasType(const TZQClient& c, uint32_t type) {
  for (const TReceived& r : c.Inbox())
    if (r.Type == type) return true;
  return false;
}

TEST_F(ServerTest, APlayerWhoLeftTheGameGetsNoneOfTheNextPlayersMessages) {
  StartServer();
  TZQClient& a = Join("alice");
  ASSERT_EQ(a.Guid(), 1u);
  a.SendClientGone();  // leaves the game, stays connected
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->empty(); }));
  a.ClearInbox();
  TZQClient& b = Join("bob");
  EXPECT_EQ(b.Guid(), 1u) << "the freed GUID is handed out again";
  b.SendClientSay("for bob's own ears");
  ASSERT_TRUE(b.WaitFor<msg::PlayerSpeech>(10000, pump_));
  EXPECT_TRUE(a.WaitUntil([&] { return !a.Inbox().empty(); }, 300, pump_) == false)
      << "alice received " << a.Inbox().size() << " messages meant for bob";
}

TEST_F(ServerTest, AStartThatClosesAtOnceBindsNobodyElse) {
  StartServer();
  TZQClient& quitter = Connect();
  quitter.SendStartGame();
  quitter.Close();  // before the game has answered
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Connected == 0; }));
  TZQClient& idle = Connect();  // takes number 1 again, never starts
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->empty(); }));
  idle.ClearInbox();
  TZQClient& d = Join("dora");
  d.SendClientSay("mine");
  ASSERT_TRUE(d.WaitFor<msg::PlayerSpeech>(10000, pump_));
  EXPECT_FALSE(idle.WaitUntil([&] { return !idle.Inbox().empty(); }, 300, pump_))
      << "a connection that never started received " << idle.Inbox().size() << " messages";
}

TEST_F(ServerTest, ANewConnectionDoesNotInheritTheLastLogin) {
  StartServer();
  TZQClient& first = Connect();
  first.SendLoginName("alice");
  first.SendLoginPassword("secret");
  ASSERT_TRUE(first.WaitFor<msg::UDPPortAssign>(10000, pump_));
  first.Close();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Connected == 0; }));
  TZQClient& next = Connect();
  next.SendStartGame();  // without logging in
  ASSERT_TRUE(next.WaitFor<msg::AssignGUID>(10000, pump_));
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  EXPECT_EQ((*server_->Status().Players)[0].Name, "");
  EXPECT_EQ(CountLines("SGM: Added player alice"), 0);
}

TEST_F(ServerTest, OneBurstDoesNotStallTheOthers) {
  StartServer();
  TZQClient& victim = Connect();
  TClientConfig big;
  big.SendBufferLimit = 16u << 20;
  TZQClient& burster = Connect(big);
  std::string burst;
  burst.reserve(8u << 20);
  const std::string small = Frame(MsgType(0x11), "");  // valid, and ignored outside the game
  while (burst.size() < (8u << 20)) burst += small;
  burster.SendRaw(std::move(burst), Via::Tcp);
  for (int i = 0; i < 20; ++i) Pump();  // the burst is arriving
  const auto asked = std::chrono::steady_clock::now();
  victim.SendQueryIdentity();
  ASSERT_TRUE(victim.WaitFor<msg::IdentityReply>(20000, [&] {
    Pump();
    burster.Poll(0);
  }));
  const auto waited = std::chrono::steady_clock::now() - asked;
  EXPECT_LT(waited, std::chrono::seconds(5)) << "the answer waited behind the burst";
  EXPECT_FALSE(burster.IsClosed()) << "a burst of valid messages is no reason to close";
}

TEST_F(ServerTest, ConnectionsThatDoNotFinishTheSetupAreClosed) {
  settings_.SetupTimeoutMs = 300;
  StartServer();
  TZQClient& silent = Connect();
  TZQClient& half = Connect();  // announces UDP but never starts the game
  half.SendLoginName("half");
  half.SendLoginPassword("pw");
  ASSERT_TRUE(half.WaitFor<msg::UDPPortAssign>(10000, pump_));
  half.SendClientUDPPort();
  TZQClient& player = Join("player");
  ASSERT_TRUE(WaitUntil([&] { return silent.IsClosed() && half.IsClosed(); }, 30000));
  EXPECT_EQ(CountLines("Client 127.0.0.1 dropped due to setup timeout."), 2);
  server_->Running()->Connections().CheckSetupDeadlines();
  Pump();
  EXPECT_FALSE(player.IsClosed());
  EXPECT_EQ(server_->Status().Connected, 1);
  int dropped = LineIndex("Client 127.0.0.1 dropped due to setup timeout.");
  ASSERT_GE(dropped, 1);
  EXPECT_NE(view_.lines[dropped - 1].find(" Disconnected 127.0.0.1:"), std::string::npos);
}

TEST_F(ServerTest, ConnectionsBeyondThePerAddressLimitAndWhilePausedAreRefused) {
  settings_.MaxPerAddress = 2;
  StartServer();
  Connect();
  Connect();
  TZQClient& third = Connect();
  EXPECT_TRUE(third.Refused());
  ASSERT_FALSE(third.Inbox().empty());
  EXPECT_EQ(third.Inbox()[0].Type, ServerFull);
  EXPECT_EQ(third.Inbox()[0].Payload, "Too many connections from this address.");
  EXPECT_EQ(
      CountLines("Connection from 127.0.0.1 refused: too many connections from this address."), 1);
  EXPECT_EQ(server_->Status().Connected, 2);

  server_->SetPaused(true);
  clients_.front()->Close();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Connected == 1; }));
  TZQClient& late = Connect();
  EXPECT_TRUE(late.Refused());
  ASSERT_FALSE(late.Inbox().empty());
  EXPECT_EQ(late.Inbox()[0].Payload, "Server is paused.");
}

TEST_F(ServerTest, AKeyFloodCannotKeepADepartingPlayerInTheGame) {
  settings_.MaxMessageRate = 0;  // no budget: the queue itself must keep room for departures
  StartServer();
  TZQClient& victim = Join("victim");
  TZQClient& flooder = Join("flooder");
  ConsoleCapture console;
  std::string keys;
  for (int i = 0; i < 20000; ++i) keys += Frame(i % 2 ? KeyUp : KeyDown, std::string(14, '\1'));
  flooder.SendRaw(keys, Via::Tcp);
  for (int i = 0; i < 20; ++i) Pump();
  victim.Close();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }, 60000))
      << "the departed player stays in the game";
  TZQClient& again = Join("again");  // the number can be used again at once
  EXPECT_NE(again.Guid(), 0u);
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }, 60000));
}

TEST_F(ServerTest, KeyFloodBeyondTheRateIsDroppedWhileOthersPlay) {
  settings_.MaxMessageRate = 50;
  StartServer();
  TZQClient& flooder = Join("flooder");
  TZQClient& other = Join("other");
  ConsoleCapture console;
  std::string keys;  // about 2.9 MB
  for (int i = 0; i < 160000; ++i) keys += Frame(KeyDown, std::string(14, '\1'));
  flooder.SendRaw(keys, Via::Tcp);
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().RateLimited >= 3000; }, 60000));
  EXPECT_EQ(console.CountContaining("Over the message rate: game messages dropped"), 1);
  other.ClearInbox();
  other.SendClientSay("still heard");
  ASSERT_TRUE(other.WaitFor<msg::PlayerSpeech>(10000, pump_));

  // The flooder is read from a little once a hold at the most: the rest of its flood waits in
  // TCP instead of costing the server its parsing.
  const auto Read = [&] { return server_->Status().Traffic.ReceivedBytes(TTransport::Tcp); };
  const uint64_t before = Read();
  const auto start = std::chrono::steady_clock::now();
  const auto Elapsed = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  };
  WaitUntil([&] { return Elapsed() >= 1000; }, 60000);
  const auto ms = Elapsed();
  const uint64_t holds = static_cast<uint64_t>(ms) / FLOOD_HOLD_MS + 2;
  EXPECT_LE(Read() - before, READ_CHUNK + holds * OVER_RATE_READ) << "in " << ms << " ms";
  EXPECT_LT(Read(), keys.size() / 2);
}

TEST_F(ServerTest, WalkersMoveWhileAnotherClientTalksEvery30Ms) {
  StartServer();
  TZQClient& walker = Join("walker");
  TZQClient& talker = Join("talker");
  walker.SendKeyDown(4);
  ASSERT_TRUE(walker.WaitFor<msg::KeyDownAck>(10000, pump_));
  auto next = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (std::chrono::steady_clock::now() >= next) {
          talker.SendClientSay("chatter");
          next += std::chrono::milliseconds(30);
        }
        auto players = server_->Status().Players;
        return !players->empty() && (*players)[0].X >= SPAWN_X + 3;
      },
      30000));
}

TEST_F(ServerTest, RepeatedUdpAnnouncementsAndAcknowledgementsCountOnce) {
  StartServer();
  TZQClient& c = Join("udp", /*answerBeats=*/false);
  ASSERT_TRUE(WaitUntil([&] { return server_->Running()->Sockets()[1].UDPActive(); }));
  const IUdpEndpoint* endpoint = server_->Running()->Sockets()[1].UDP.get();
  for (int i = 0; i < 10; ++i) c.SendClientUDPPort();
  c.SendQueryIdentity();  // after the announcements, on the same stream
  ASSERT_TRUE(c.WaitFor<msg::IdentityReply>(10000, pump_));
  EXPECT_EQ(server_->Running()->Sockets()[1].UDP.get(), endpoint) << "no new endpoint, no rebind";

  server_->Running()->Connections().OnBeatTimer();
  auto beat = c.WaitFor<msg::BEAT>(10000, pump_);
  ASSERT_TRUE(beat);
  for (int i = 0; i < 5; ++i) c.SendBEATACK(beat->Seq, beat->Tick);
  ASSERT_TRUE(c.WaitFor<msg::BEATACKReply>(10000, pump_));
  EXPECT_FALSE(c.WaitUntil([&] { return HasType(c, BEATACKReply); }, 300, pump_))
      << "one reply for the beat, not one for each copy";
  EXPECT_EQ(server_->Running()->Sockets()[1].HeartbeatRecord.Missed, 0);
}

}  // namespace
}  // namespace zq::test
