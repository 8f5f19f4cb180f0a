// The client over real loopback sockets against the fake server.
#include <gtest/gtest.h>

#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/Errors.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/bot/FakeServer.h"
#include "tools/bot/BotOptions.h"
#include "tools/bot/BotRun.h"
#include "tools/bot/LoadRun.h"
#include "tools/client/HostAddress.h"
#include "tools/client/ZQClient.h"

namespace zq {
namespace {

constexpr int WAIT = 20000;  // generous: the machine may be loaded

using test::TFakeServer;

std::vector<uint32_t> TypesFrom(const TFakeServer& server, int s) {
  std::vector<uint32_t> types;
  for (const auto& r : server.Received())
    if (r.Socket == s) types.push_back(r.Type);
  return types;
}

TEST(ClientSockets, SetupDialogueRunsInOrderAndBeatIsEchoedByUdp) {
  TFakeServer server;
  server.Start();
  TZQClient client;
  client.Connect("127.0.0.1", server.Port());
  ASSERT_NE(client.LocalUdpPort(), 0);

  // The greeting comes first, in order.
  auto welcome = client.WaitFor([](const TReceived& r) { return r.Type == Welcome; }, WAIT);
  ASSERT_TRUE(welcome);
  EXPECT_EQ(welcome->As<msg::Welcome>()->Text, "Welcome to Fake");
  EXPECT_EQ(welcome->Transport, Via::Tcp);
  ASSERT_GE(client.Inbox().size(), 0u);

  ASSERT_TRUE(client.RunSetup({"alice", "pw", 0x0203, true}, WAIT));
  EXPECT_EQ(client.Guid(), 1u);
  EXPECT_NE(client.ServerUdpPort(), 0);
  auto start = client.WaitFor<msg::StartPosition>(WAIT);
  ASSERT_TRUE(start);
  EXPECT_EQ(start->X, 1560);

  // The fake sends BEAT seq 1 tick 1234 after ClientUDPPort; the client echoes it by UDP.
  auto beat = client.WaitFor<msg::BEAT>(WAIT);
  ASSERT_TRUE(beat);
  EXPECT_TRUE(client.WaitUntil(
      [&] {
        auto types = TypesFrom(server, 1);
        return !types.empty() && types.back() == BEATACK;
      },
      WAIT));
  server.Stop();

  auto got = server.Received();
  std::vector<uint32_t> want{QueryIdentity, LoginName, LoginPassword, ClientUDPPort,
                             SetClientCode, StartGame, BEATACK};
  ASSERT_EQ(TypesFrom(server, 1), want);
  EXPECT_EQ(got[1].Payload, "alice");
  EXPECT_EQ(got[2].Payload, "pw");
  EXPECT_EQ(got[3].Payload, std::string({static_cast<char>(client.LocalUdpPort() & 0xFF),
                                         static_cast<char>(client.LocalUdpPort() >> 8)}));
  EXPECT_EQ(got[4].Payload, std::string("\x03\x02", 2));
  EXPECT_TRUE(got[6].ViaUdp);
  EXPECT_EQ(got[6].Payload, std::string("\x01\xD2\x04\x00\x00", 5));
  EXPECT_EQ(client.Stats().BeatsAnswered, 1u);
}

TEST(ClientSockets, PumpServesAServerOnTheSameThread) {
  TFakeServer server;  // never started: only the pump runs it
  TZQClient client;
  client.Connect("127.0.0.1", server.Port());
  auto pump = [&] { server.Step(0); };
  ASSERT_TRUE(client.RunSetup({"bob", "pw", 1, true}, WAIT, pump));
  ASSERT_TRUE(client.SendKeyDown(4, 0, 0, 77));
  auto ack = client.WaitFor<msg::KeyDownAck>(WAIT, pump);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->Key, 4);
  EXPECT_EQ(ack->ClientValue, 77u);
  auto motion = client.WaitFor<msg::PlayerMotion>(WAIT, pump);
  ASSERT_TRUE(motion);
  EXPECT_EQ(motion->GUID, 1u);
  EXPECT_EQ(motion->DirX, 1.0);
  EXPECT_EQ(motion->MoveFlags, 1);
  // Keys may also leave by UDP, to the server's port from UDPPortAssign.
  ASSERT_TRUE(client.SendKeyUp(4, 0, 0, 78, Via::Udp));
  auto up = client.WaitFor<msg::KeyUpAck>(WAIT, pump);
  ASSERT_TRUE(up);
  EXPECT_EQ(up->ClientValue, 78u);
  EXPECT_TRUE(server.Received().back().ViaUdp);
}

TEST(ClientSockets, WaitForGivesUpAfterItsTimeoutAndKeepsOtherMessages) {
  TFakeServer server;
  server.Start();
  TZQClient client;
  client.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(client.WaitUntil([&] { return client.Greeted(); }, WAIT));
  EXPECT_FALSE(client.WaitFor<msg::PlayerLeft>(50));
  // The greeting is still in the inbox, oldest first.
  ASSERT_EQ(client.Inbox().size(), 3u);
  EXPECT_EQ(client.Next()->Type, Welcome);
  EXPECT_EQ(client.Next()->Type, ServerVersion);
  EXPECT_EQ(client.Next()->Type, ConnectDone);
  EXPECT_FALSE(client.Next());
}

TEST(ClientSockets, ServerClosingAndSplitMessagesAndMalformed) {
  TFakeServer server;
  server.Start();
  TZQClient client;
  client.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(client.WaitUntil([&] { return client.Greeted(); }, WAIT));
  client.ClearInbox();
  // Half a message, then the rest with a short AssignGUID behind it.
  std::string info = Frame(PlayerLeft, std::string("\x02\x00\x00\x00\x10\x00\x00\x00", 8));
  server.SendRawTcp(1, info.substr(0, 5));
  EXPECT_FALSE(client.WaitFor<msg::PlayerLeft>(100));
  server.SendRawTcp(1, info.substr(5) + Frame(AssignGUID, "\x01"));
  auto left = client.WaitFor<msg::PlayerLeft>(WAIT);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->GUID, 2u);
  EXPECT_EQ(left->Tick, 16u);
  ASSERT_TRUE(client.WaitFor<msg::Malformed>(WAIT));
  EXPECT_EQ(client.Guid(), 0u);
  EXPECT_EQ(client.Stats().Malformed, 1u);

  server.Drop(1);
  EXPECT_TRUE(client.WaitUntil([&] { return client.IsClosed(); }, WAIT));
  EXPECT_EQ(client.CloseReason(),
            "connection closed by 127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_FALSE(client.SendQueryIdentity());
  EXPECT_FALSE(client.WaitFor<msg::Welcome>(WAIT));  // returns at once once closed
}

TEST(ClientSockets, FullServerRefusesAndSetupReportsIt) {
  TFakeServer server(1);
  server.Start();
  TZQClient first, second;
  first.Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(first.WaitUntil([&] { return first.Greeted(); }, WAIT));
  second.Connect("127.0.0.1", server.Port());
  EXPECT_FALSE(second.RunSetup({}, WAIT));
  EXPECT_EQ(second.Setup(), SetupState::Refused);
  EXPECT_TRUE(second.Refused());
  auto full = second.WaitFor<msg::ServerFull>(WAIT);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->Text, "Server is full.");
}

TEST(ClientSockets, NamesResolveAndConnectErrorsAreClear) {
  // A machine without a hosts file knows no "localhost" (scripts/install-deps adds it).
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (::getaddrinfo("localhost", nullptr, &hints, &found) == 0) {
    ::freeaddrinfo(found);
    EXPECT_EQ(IPv4Text(ResolveIPv4("localhost")), "127.0.0.1");
  }
  EXPECT_EQ(IPv4Text(ResolveIPv4("127.0.0.2")), "127.0.0.2");
  TZQClient client;
  EXPECT_THROW(client.Connect("", 12578), EConvertError);
  uint16_t port;
  {
    TFakeServer gone;  // a port that was just free
    port = gone.Port();
  }
  TZQClient refused;
  try {
    refused.Connect("127.0.0.1", port);
    refused.WaitUntil([&] { return refused.IsClosed(); }, WAIT);
    EXPECT_TRUE(refused.IsClosed());
    EXPECT_NE(refused.CloseReason().find("cannot connect to 127.0.0.1:"), std::string::npos);
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot connect to 127.0.0.1:"), std::string::npos);
  }
}

TEST(ClientSockets, ARefusedBotPrintsTheServersText) {
  TFakeServer server(0);  // admits nobody: "Server is full."
  server.Start();
  TBotOptions o = ParseBotOptions({"--name", "zed", "--port", std::to_string(server.Port())});
  std::ostringstream out;
  EXPECT_NE(RunBots(o, out, [] { return false; }), 0);
  server.Stop();
  EXPECT_NE(out.str().find("zed: refused: Server is full.\n"), std::string::npos) << out.str();
}

TEST(ClientSockets, BotRunTracesWalksSpeaksAndSaysGoodbye) {
  TFakeServer server;
  server.Start();
  TBotOptions o =
      ParseBotOptions({"--count", "2", "--name", "zed", "--trace", "--walk", "--say", "hello",
                       "--seconds", "1.5", "--port", std::to_string(server.Port())});
  std::ostringstream out;
  EXPECT_EQ(RunBots(o, out, [] { return false; }), 0) << out.str();
  // ClientGone is the last message on each connection: once both are in, all is in.
  auto goodbyes = [&] {
    int n = 0;
    for (const auto& r : server.Received()) n += r.Type == ClientGone;
    return n;
  };
  for (int i = 0; i < 2000 && goodbyes() < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  server.Stop();
  std::string text = out.str();
  EXPECT_NE(text.find("zed1 <- TCP Welcome Text=\"Welcome to Fake\""), std::string::npos) << text;
  EXPECT_NE(text.find("zed2 <- TCP AssignGUID GUID=2"), std::string::npos) << text;
  EXPECT_NE(text.find("zed1 <- UDP BEAT Seq=1 Tick=1234"), std::string::npos) << text;
  EXPECT_NE(text.find("zed1: in the game as GUID 1"), std::string::npos) << text;
  int says = 0, keys = 0, gone = 0;
  for (const auto& r : server.Received()) {
    says += r.Type == ClientSay && r.Payload == "hello";
    keys += r.Type == KeyDown;
    gone += r.Type == ClientGone;
  }
  EXPECT_EQ(says, 2);  // once at the start for each; the next would be after 5 s
  EXPECT_GE(keys, 1);  // the first key of each bot comes within 1 s
  EXPECT_EQ(gone, 2);
}

TEST(ClientSockets, LoadRunMatchesEveryEventAgainstAFaithfulServer) {
  TFakeServer server;
  server.Start();
  TBotOptions o = ParseBotOptions({"--load", "--count", "3", "--rate", "20", "--seconds", "0.5",
                                   "--drain", "20000", "--port", std::to_string(server.Port()),
                                   "--server-pid", std::to_string(::getpid())});
  std::ostringstream out;
  int rc = RunLoad(o, out, [] { return false; });
  std::string report = out.str();
  EXPECT_EQ(rc, 0) << report;
  // A loaded machine may send fewer events than planned; whatever was sent must all match.
  const std::string sentTag = "key events sent: ";
  std::size_t at = report.find(sentTag);
  ASSERT_NE(at, std::string::npos) << report;
  int sent = std::atoi(report.c_str() + at + sentTag.size());
  EXPECT_GT(sent, 0);
  EXPECT_NE(report.find("acks: " + std::to_string(sent) + " expected, " + std::to_string(sent) +
                        " matched, 0 lost, 0 unmatched"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("motions: " + std::to_string(3 * sent) + " expected, " +
                        std::to_string(3 * sent) + " matched, 0 lost, 0 unmatched"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("fan-out latency: p50 "), std::string::npos);
  EXPECT_NE(report.find("(" + std::to_string(2 * sent) + " samples)"), std::string::npos) << report;
  EXPECT_NE(report.find("s per 1000 messages delivered"), std::string::npos) << report;
}

}  // namespace
}  // namespace zq
