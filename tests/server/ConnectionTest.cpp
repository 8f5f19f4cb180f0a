// Client connections over loopback: greeting, the setup dialogue, admission against the
// maximum, the heartbeat and its drop, the UDP sender check, and the slow-reader bound.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Console.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/server/ServerFixture.h"

namespace zq::test {
namespace {

TEST_F(ServerTest, GreetingComesFirstAndInOrder) {
  StartServer();
  TZQClient& c = Connect();
  ASSERT_GE(c.Inbox().size(), 3u);
  EXPECT_EQ(c.Inbox()[0].Type, Welcome);
  EXPECT_EQ(c.Inbox()[0].Payload, "Welcome to MyServer");
  EXPECT_EQ(c.Inbox()[1].Type, ServerVersion);
  EXPECT_EQ(c.Inbox()[1].Payload, "0.1.1");
  EXPECT_EQ(c.Inbox()[2].Type, ConnectDone);
  EXPECT_EQ(c.Inbox()[2].Payload, "1");
  EXPECT_EQ(CountLines("Connected from 127.0.0.1:"), 1);
  EXPECT_EQ(view_.status, "Connected: 1/32");
  EXPECT_EQ(view_.peakStatus, "Max Connected: 1");
}

TEST_F(ServerTest, SetupDialogueAnswersEachStep) {
  StartServer();
  TZQClient& c = Connect();
  c.ClearInbox();
  c.SendQueryIdentity();
  auto identity = c.WaitFor<msg::IdentityReply>(10000, pump_);
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->Identity, "QUOREL7");
  c.SendLoginName("alice");
  auto prompt = c.WaitFor<msg::PasswordPrompt>(10000, pump_);
  ASSERT_TRUE(prompt);
  EXPECT_EQ(prompt->Text, "Send password.");
  c.SendLoginPassword("secret");
  auto assign = c.WaitFor<msg::UDPPortAssign>(10000, pump_);
  ASSERT_TRUE(assign);
  EXPECT_EQ(assign->Port, BaseUdpPort() + 1);  // the first client has socket number 1
  EXPECT_EQ(server_->Running()->Sockets()[1].LoginRecord.UserName, "alice");
  EXPECT_EQ(server_->Running()->Sockets()[1].LoginRecord.Password, "secret");
  c.SendClientUDPPort();
  ASSERT_TRUE(WaitUntil([&] { return server_->Running()->Sockets()[1].UDPActive(); }));
  EXPECT_EQ(server_->Running()->Sockets()[1].UDPPort, c.LocalUdpPort());

  // The next heartbeat cycle sends BEAT 1; the client's echo is answered by UDP.
  server_->Running()->Connections().OnBeatTimer();
  auto beat = c.WaitFor<msg::BEAT>(10000, pump_);
  ASSERT_TRUE(beat);
  EXPECT_EQ(beat->Seq, 1);
  auto reply = c.WaitFor<msg::BEATACKReply>(10000, pump_);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Seq, 1);
  EXPECT_EQ(server_->Running()->Sockets()[1].HeartbeatRecord.AckedSeq, 1);
  EXPECT_EQ(server_->Running()->Sockets()[1].HeartbeatRecord.Missed, 0);
}

// Five players in view of each other leave in one burst: each PlayerLeft the game sends goes
// to players whose connections have already gone. That is no fault, and not counted.
TEST_F(ServerTest, PlayersLeavingTogetherLeaveNoUnaddressedMessages) {
  StartServer();
  std::vector<TZQClient*> players;
  for (int i = 0; i < 5; ++i) players.push_back(&Join("p" + std::to_string(i)));
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 5; }));
  for (TZQClient* p : players) p->SendClientGone();
  for (TZQClient* p : players) p->Close();
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->empty(); }));
  // A newcomer's binding follows everything the game sent before it.
  TZQClient& marker = Join("marker");
  ASSERT_TRUE(WaitUntil([&] { return marker.Guid() != 0; }));
  EXPECT_EQ(server_->Status().Unaddressed, 0u);
}

TEST_F(ServerTest, FullServerRefusesWithoutTouchingTheCounters) {
  settings_.MaxClients = 2;
  StartServer();
  Connect();
  Connect();
  ConsoleCapture console;
  TZQClient& third = Connect();
  EXPECT_TRUE(third.Refused());
  EXPECT_TRUE(third.WaitUntil([&] { return third.IsClosed(); }, 10000, pump_));
  ASSERT_FALSE(third.Inbox().empty());
  EXPECT_EQ(third.Inbox()[0].Type, ServerFull);
  EXPECT_EQ(third.Inbox()[0].Payload, "Server is full.");
  EXPECT_EQ(server_->Status().Connected, 2);
  EXPECT_EQ(server_->Status().PeakConnected, 2);
  EXPECT_EQ(view_.status, "Connected: 2/2");
  EXPECT_EQ(CountLines("Connected from "), 2);
  EXPECT_EQ(CountLines("Disconnected 127.0.0.1:"), 1);
  EXPECT_EQ(console.Count("Address not in socket table!"), 1);
}

TEST_F(ServerTest, MaxClientsChangeIgnoresZeroAndLogsOthers) {
  StartServer();
  std::size_t before = view_.lines.size();
  server_->SetMaxClients(0);
  EXPECT_EQ(view_.lines.size(), before);
  EXPECT_EQ(server_->Status().MaxClients, 32);
  server_->SetMaxClients(1);
  EXPECT_GE(LineIndex("MaxAllowed set to 1"), 0);
  EXPECT_EQ(view_.status, "Connected: 0/1");
  Connect();
  EXPECT_TRUE(Connect().Refused());
}

TEST_F(ServerTest, ClientThatNeverAcknowledgesIsDroppedAfterFiveBeats) {
  StartServer();
  TZQClient& c = Join("mute", /*answerBeats=*/false);
  ASSERT_TRUE(WaitUntil([&] { return server_->Running()->Sockets()[1].UDPActive(); }));
  int beats = 0;
  c.SetOnMessage([&](const TReceived& r) { beats += r.Type == BEAT; });
  // BEAT 1 and four more, all unanswered; the cycle after them drops the client.
  for (int cycle = 1; cycle <= 5; ++cycle) {
    server_->Running()->Connections().OnBeatTimer();
    ASSERT_TRUE(WaitUntil([&] { return beats == cycle; })) << "cycle " << cycle;
  }
  EXPECT_EQ(CountLines("Client 127.0.0.1 dropped due to beat timeout."), 0);
  server_->Running()->Connections().OnBeatTimer();  // BEAT 4 unanswered: fifth miss
  EXPECT_EQ(server_->Running()->Sockets()[1].HeartbeatRecord.Missed,
            0);  // zeroed by the disconnect
  int dropped = LineIndex("Client 127.0.0.1 dropped due to beat timeout.");
  ASSERT_GE(dropped, 1);
  EXPECT_NE(view_.lines[dropped - 1].find(" Disconnected 127.0.0.1:"), std::string::npos);
  EXPECT_TRUE(c.WaitUntil([&] { return c.IsClosed(); }, 10000, pump_));
  EXPECT_EQ(beats, 5);
}

TEST_F(ServerTest, TheBeatTimerDrivesTheHeartbeat) {
  // Wiring only (the cycle itself is driven by hand above): the timer runs the cycles.
  TServerOptions options;
  options.BeatInterval = 100;
  StartServer({}, options);
  TZQClient& quiet = Join("quiet", /*answerBeats=*/false);
  ASSERT_TRUE(WaitUntil([&] { return quiet.IsClosed(); }, 30000));
  EXPECT_EQ(CountLines("Client 127.0.0.1 dropped due to beat timeout."), 1);
}

TEST_F(ServerTest, DatagramFromAnotherHostIsRefused) {
  StartServer();
  TZQClient& c = Join("udp");
  ASSERT_TRUE(WaitUntil([&] { return server_->Running()->Sockets()[1].UDPActive(); }));
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = inet_addr("127.0.0.2");
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = inet_addr("127.0.0.1");
  to.sin_port = htons(c.ServerUdpPort());
  std::string say = Frame(ClientSay, "spoofed");
  ConsoleCapture console;
  ASSERT_EQ(sendto(fd, say.data(), say.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(say.size()));
  EXPECT_TRUE(
      WaitUntil([&] { return console.Contains("Received UDP from invalid host: 127.0.0.2"); }));
  close(fd);
  // The client's own datagrams still go through.
  c.SendClientSay("hello", Via::Udp);
  EXPECT_TRUE(c.WaitFor<msg::PlayerSpeech>(10000, pump_));
}

TEST_F(ServerTest, SlowReaderIsClosedAtTheBoundWhileOthersGoOn) {
  TServerOptions options;
  options.SendLimit = 64 * 1024;
  settings_.MaxMessageRate = 0;  // the speaker talks as fast as it can
  StartServer({}, options);
  // A raw client with a tiny receive window that joins and then never reads.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  int small = 2048;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = inet_addr("127.0.0.1");
  to.sin_port = htons(server_->Status().ListeningPort);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  std::string start = Frame(StartGame, "");
  ASSERT_EQ(send(fd, start.data(), start.size(), 0), static_cast<ssize_t>(start.size()));
  TZQClient& speaker = Join("speaker");
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));

  std::string text(90, 'x');
  int heard = 0;
  speaker.SetOnMessage([&](const TReceived& r) { heard += r.Type == PlayerSpeech; });
  bool closed = false;
  for (int round = 0; round < 400 && !closed; ++round) {
    for (int i = 0; i < 50; ++i) speaker.SendClientSay(text);
    WaitUntil([&] { return heard >= (round + 1) * 50 - 200; }, 5000);
    closed = CountLines("Output to 127.0.0.1:") > 0;
  }
  EXPECT_TRUE(closed);
  EXPECT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  int before = heard;
  speaker.SendClientSay("still here");
  EXPECT_TRUE(WaitUntil([&] { return heard > before; }));
  close(fd);
}

}  // namespace
}  // namespace zq::test
