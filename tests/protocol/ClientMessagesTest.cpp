// HandleClientMessage: dialogue replies' bytes, the two phases, BEATACK checks, the client's
// UDP endpoint, and payloads too short for their fixed fields.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "protocol/ClientMessages.h"
#include "protocol/MessageCodes.h"
#include "tests/protocol/ProtocolFakes.h"

namespace zq {
namespace {

using test::Hex;

std::atomic<uint32_t> g_ticks{0};
uint32_t FakeTicks() {
  return g_ticks.load();
}

class ClientMessagesTest : public testing::Test {
 protected:
  ClientMessagesTest()
      : handler(
            *tables, gameQueue, TClientSettings{"ZQ-IDENT", 28500},
            [this] {
              records.push_back(std::make_shared<test::UdpRecord>());
              return std::make_unique<test::FakeUdpEndpoint>(records.back(), bindOk);
            },
            nullptr) {
    tables->Sockets.AddSocket(c1);
    tables->Sockets.AddSocket(c2);  // the client under test is number 2
    tables->CanWrite[2] = 1;
  }
  ~ClientMessagesTest() override { SetTickSource(nullptr); }

  void Handle(uint32_t type, const std::string& payload) {
    handler.HandleClientMessage(2, type, payload);
  }
  std::vector<GameMessagePtr> Forwarded() {
    std::vector<GameMessagePtr> out;
    while (GameMessagePtr m = gameQueue.Pop()) out.push_back(std::move(m));
    return out;
  }

  std::unique_ptr<TServerTables> tables = std::make_unique<TServerTables>();
  TGameMessenger gameQueue{"zqtest-sgm"};
  std::vector<std::shared_ptr<test::UdpRecord>> records;
  bool bindOk = true;
  TClientMessageHandler handler;
  test::FakeTcpConnection c1{"127.0.0.1", 50001}, c2{"127.0.0.2", 50002};
  const std::string key = Hex("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E");
};

TEST_F(ClientMessagesTest, DialogueReplies) {
  Handle(QueryIdentity, "ignored");
  Handle(LoginName, std::string("al\0ce", 5));
  Handle(LoginPassword, "pw");
  EXPECT_EQ(c2.sent, Hex("08 00 00 0A") + "ZQ-IDENT" + Hex("0E 00 00 2B") + "Send password." +
                         Hex("02 00 00 27 56 6F"));  // 28500 + 2
  EXPECT_EQ(tables->LoginRecord[2].UserName, std::string("al\0ce", 5));
  EXPECT_EQ(tables->LoginRecord[2].Password, "pw");
  EXPECT_TRUE(c1.sent.empty());
  EXPECT_TRUE(Forwarded().empty());
}

TEST_F(ClientMessagesTest, ForwardingPhases) {
  Handle(LoginName, std::string(60, 'u'));
  Handle(SetClientCode, Hex("34 12") + "rest");  // before StartGame: stored only
  Handle(KeyDown, key);
  Handle(ClientGone, "");
  EXPECT_TRUE(Forwarded().empty());
  EXPECT_EQ(tables->LoginRecord[2].ClientCode, 0x1234);

  Handle(StartGame, "go");
  Handle(KeyUp, key + "extra");
  Handle(SetClientCode, Hex("78 56 AA BB"));
  Handle(0x0F010000, std::string(300, 's'));  // a game code with byte 2 set; Data is cut
  Handle(BEAT, "x");                          // not a game code
  Handle(ClientGone, "");
  Handle(ClientGone, "");  // out of the game: not again
  auto msgs = Forwarded();
  ASSERT_EQ(msgs.size(), 5u);
  const auto& startup = std::get<MSStartup>(msgs[0]->msgStruct);
  EXPECT_EQ(msgs[0]->SocketID, 2);
  EXPECT_EQ(msgs[0]->Data, "go");
  EXPECT_EQ(startup.UserName, std::string(47, 'u'));
  EXPECT_EQ(startup.ClientCode, 0x1234);
  EXPECT_EQ(msgs[1]->Data, key + "extra");
  const auto& k = std::get<MSKey>(msgs[1]->msgStruct).Bytes;
  EXPECT_EQ(std::string(k.begin(), k.end()), key);
  EXPECT_EQ(msgs[2]->Data, Hex("AA BB"));  // only what follows the code
  EXPECT_EQ(msgs[3]->MsgType, 0x0F010000u);
  EXPECT_EQ(msgs[3]->Data.size(), 250u);
  EXPECT_EQ(msgs[4]->MsgType, ClientGone);
  EXPECT_FALSE(tables->LoginRecord[2].InGame);
}

TEST_F(ClientMessagesTest, ShortPayloadsAreReportedAndDropped) {
  ConsoleCapture console;
  Handle(StartGame, "");
  Forwarded();
  Handle(SetClientCode, Hex("01"));
  Handle(ClientUDPPort, "");
  Handle(BEATACK, Hex("01 02 03 04"));
  Handle(KeyDown, std::string(13, 'k'));
  Handle(KeyUp, "");
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{
                "Short payload for 0x07 (SetClientCode) from SocketID=2: 1 of 2 bytes, dropped",
                "Short payload for 0x28 (ClientUDPPort) from SocketID=2: 0 of 2 bytes, dropped",
                "Short payload for 0x1B (BEATACK) from SocketID=2: 4 of 5 bytes, dropped",
                "Short payload for 0x2C (KeyDown) from SocketID=2: 13 of 14 bytes, dropped",
                "Short payload for 0x2E (KeyUp) from SocketID=2: 0 of 14 bytes, dropped"}));
  EXPECT_TRUE(Forwarded().empty());
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(tables->LoginRecord[2].ClientCode, 0);
}

TEST_F(ClientMessagesTest, ClientUdpPortOpenReplaceAndBindFailure) {
  ConsoleCapture console;
  tables->HeartbeatRecord[2].Missed = 4;
  Handle(ClientUDPPort, Hex("39 30"));  // 12345
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->binds, std::vector<uint16_t>{28502});
  EXPECT_EQ(records[0]->remoteHost, "127.0.0.2");
  EXPECT_EQ(records[0]->remotePort, 12345);
  EXPECT_EQ(tables->Sockets[2].UDPPort, 12345);
  EXPECT_EQ(tables->HeartbeatRecord[2].UDPActive, 1);
  EXPECT_EQ(tables->HeartbeatRecord[2].Missed, 0);

  Handle(ClientUDPPort, Hex("3A 30"));  // repeated: the old one releases its port and goes
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]->binds, (std::vector<uint16_t>{28502, 0}));
  EXPECT_TRUE(records[0]->destroyed);
  EXPECT_EQ(records[1]->remotePort, 12346);
  EXPECT_TRUE(console.Lines().empty());

  bindOk = false;
  Handle(ClientUDPPort, Hex("3B 30"));
  EXPECT_TRUE(records[1]->destroyed && records[2]->destroyed);
  EXPECT_EQ(tables->Sockets[2].UDP, nullptr);
  EXPECT_EQ(tables->HeartbeatRecord[2].UDPActive, 0);
  EXPECT_EQ(console.Lines(), std::vector<std::string>{"Cannot bind UDP port 28502 for SocketID=2"});

  handler.HandleClientMessage(NOT_FOUND, ClientUDPPort, Hex("39 30"));  // no connection
  EXPECT_EQ(records.size(), 3u);
}

TEST_F(ClientMessagesTest, BeatAckChecks) {
  ConsoleCapture console;
  Handle(BEATACK, Hex("01 10 00 00 00"));  // before ClientUDPPort
  Handle(ClientUDPPort, Hex("39 30"));
  THeartbeatRecord& beat = tables->HeartbeatRecord[2];
  beat.Seq = 7;
  beat.SentAt = 0xFFFFFF00;  // the round trip wraps
  beat.Missed = 3;
  Handle(BEATACK, Hex("06 00 FF FF FF"));  // an older beat
  Handle(BEATACK, Hex("07 01 FF FF FF"));  // right number, wrong time
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{"Received BEATACK for inactive client UDP.",
                                      "Received invalid BEATACK SEQ#",
                                      "Received valid BEATACK SEQ#, But invalid timestamp!"}));
  EXPECT_EQ(beat.Missed, 3);
  EXPECT_TRUE(records[0]->datagrams.empty());

  g_ticks = 0x10;
  SetTickSource(&FakeTicks);
  Handle(BEATACK, Hex("07 00 FF FF FF"));
  EXPECT_EQ(beat.AckedSeq, 7);
  EXPECT_EQ(beat.Missed, 0);
  EXPECT_EQ(beat.RoundTrip, 0x110u);
  EXPECT_EQ(records[0]->datagrams, std::vector<std::string>{Hex("05 00 00 2D 07 10 01 00 00")});
  EXPECT_TRUE(c2.sent.empty());
}

}  // namespace
}  // namespace zq
