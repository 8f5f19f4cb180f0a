// HandleClientMessage: dialogue replies' bytes, the two phases, BEATACK checks, the client's
// UDP endpoint, payloads too short for their fixed fields, the message budget, and login state
// that belongs to one connection.
#include <gtest/gtest.h>

#include "platform/Console.h"
#include "protocol/ClientMessages.h"
#include "protocol/MessageCodes.h"
#include "tests/protocol/ProtocolFakes.h"
#include "tests/support/FakeClock.h"

namespace zq {
namespace {

using test::FakeClock;
using test::Hex;

class ClientMessagesTest : public testing::Test {
 protected:
  explicit ClientMessagesTest(uint32_t rate = 0)
      : handler(
            gameQueue, TClientSettings{"ZQ-IDENT", 28500, rate},
            [this] {
              records.push_back(std::make_shared<test::UdpRecord>());
              return std::make_unique<test::FakeUdpEndpoint>(records.back(), bindOk);
            },
            nullptr, [this](TSocketID& client) { flooded.push_back(client.Number); }) {
    handler.Admit(sockets.AddSocket(c1));
    handler.Admit(sockets.AddSocket(c2));  // the client under test is number 2
  }

  void Handle(uint32_t type, const std::string& payload) {
    handler.HandleClientMessage(sockets[2], type, payload);
  }
  std::vector<GameMessagePtr> Forwarded() {
    std::vector<GameMessagePtr> out;
    while (GameMessagePtr m = gameQueue.Pop()) out.push_back(std::move(m));
    return out;
  }

  FakeClock clock{5000};
  TSocketTable sockets;
  TGameMessenger gameQueue{"zqtest-sgm", GAME_QUEUE_RESERVE};
  std::vector<std::shared_ptr<test::UdpRecord>> records;
  bool bindOk = true;
  std::vector<int32_t> flooded;
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
  EXPECT_EQ(sockets[2].LoginRecord.UserName, std::string("al\0ce", 5));
  EXPECT_EQ(sockets[2].LoginRecord.Password, "pw");
  EXPECT_TRUE(c1.sent.empty());
  EXPECT_TRUE(Forwarded().empty());
}

TEST_F(ClientMessagesTest, ForwardingPhases) {
  Handle(LoginName, std::string(60, 'u'));
  Handle(SetClientCode, Hex("34 12") + "rest");  // before StartGame: stored only
  Handle(KeyDown, key);
  Handle(ClientGone, "");
  EXPECT_TRUE(Forwarded().empty());
  EXPECT_EQ(sockets[2].LoginRecord.ClientCode, 0x1234);

  Handle(StartGame, "go");
  Handle(StartGame, "again");  // one player per connection: ignored while in the game
  Handle(KeyUp, key + "extra");
  Handle(SetClientCode, Hex("78 56 AA BB"));
  Handle(0x0F010000, std::string(300, 's'));  // a game code with byte 2 set; Data is cut
  Handle(BEAT, "x");                          // not a game code
  sockets.BindGUID(2, 9);
  Handle(ClientGone, "");
  EXPECT_EQ(sockets.GuidOf(2), 0u) << "leaving unbinds at once";
  Handle(ClientGone, "");  // out of the game: not again
  auto msgs = Forwarded();
  ASSERT_EQ(msgs.size(), 5u);
  const auto& startup = std::get<MSStartup>(msgs[0]->msgStruct);
  EXPECT_EQ(msgs[0]->SocketID, 2);
  EXPECT_EQ(msgs[0]->Serial, sockets[2].Serial);
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
  EXPECT_FALSE(sockets[2].InGame());
}

TEST_F(ClientMessagesTest, LoginStateBelongsToOneConnection) {
  // The last holder of number 2 logged in; the next one starts the game without logging in.
  Handle(LoginName, "previous");
  Handle(LoginPassword, "secret");
  Handle(SetClientCode, Hex("34 12"));
  sockets.RemoveSocket(c2);
  test::FakeTcpConnection next{"127.0.0.3", 50003};
  TSocketID& again = sockets.AddSocket(next);
  handler.Admit(again);
  ASSERT_EQ(again.Number, 2);
  Handle(StartGame, "");
  auto msgs = Forwarded();
  ASSERT_EQ(msgs.size(), 1u);
  const auto& startup = std::get<MSStartup>(msgs[0]->msgStruct);
  EXPECT_EQ(startup.UserName, "");
  EXPECT_EQ(startup.Password, "");
  EXPECT_EQ(startup.ClientCode, 0);
  EXPECT_NE(msgs[0]->Serial, 0u);
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
  const std::string who = " [127.0.0.2:50002]";
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{
                "Short payload for 0x07 (SetClientCode): 1 of 2 bytes, dropped" + who,
                "Short payload for 0x28 (ClientUDPPort): 0 of 2 bytes, dropped" + who,
                "Short payload for 0x1B (BEATACK): 4 of 5 bytes, dropped" + who,
                "Short payload for 0x2C (KeyDown): 13 of 14 bytes, dropped" + who,
                "Short payload for 0x2E (KeyUp): 0 of 14 bytes, dropped" + who}));
  EXPECT_TRUE(Forwarded().empty());
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(sockets[2].LoginRecord.ClientCode, 0);
}

TEST_F(ClientMessagesTest, ClientUdpPortOpensOnceAndFollowsANewPort) {
  ConsoleCapture console;
  sockets[2].HeartbeatRecord.Missed = 4;
  Handle(ClientUDPPort, Hex("39 30"));  // 12345
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->binds, std::vector<uint16_t>{28502});
  EXPECT_EQ(records[0]->remoteHost, "127.0.0.2");
  EXPECT_EQ(records[0]->remotePort, 12345);
  EXPECT_EQ(sockets[2].UDPPort, 12345);
  EXPECT_TRUE(sockets[2].UDPActive());
  EXPECT_EQ(sockets[2].HeartbeatRecord.Missed, 0);

  sockets[2].HeartbeatRecord.Missed = 2;
  Handle(ClientUDPPort, Hex("39 30"));  // the same port again: nothing changes
  Handle(ClientUDPPort, Hex("3A 30"));  // another port: the same endpoint sends there
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->binds, std::vector<uint16_t>{28502});
  EXPECT_FALSE(records[0]->destroyed);
  EXPECT_EQ(records[0]->remotePort, 12346);
  EXPECT_EQ(sockets[2].UDPPort, 12346);
  EXPECT_EQ(sockets[2].HeartbeatRecord.Missed, 2) << "re-announcing does not excuse misses";
  EXPECT_TRUE(console.Lines().empty());

  sockets.RemoveSocket(c2);  // the port goes with the connection
  EXPECT_EQ(records[0]->binds, (std::vector<uint16_t>{28502, 0}));
  EXPECT_TRUE(records[0]->destroyed);
  test::FakeTcpConnection next{"127.0.0.2", 50009};
  sockets.AddSocket(next);
  bindOk = false;
  Handle(ClientUDPPort, Hex("3B 30"));
  EXPECT_TRUE(records[1]->destroyed);
  EXPECT_EQ(sockets[2].UDP, nullptr);
  EXPECT_FALSE(sockets[2].UDPActive());
  EXPECT_EQ(console.Lines(),
            std::vector<std::string>{"Cannot bind UDP port 28502 [127.0.0.2:50009]"});

  handler.HandleClientMessage(sockets[3], ClientUDPPort, Hex("39 30"));  // a free number
  EXPECT_EQ(records.size(), 2u);
}

TEST_F(ClientMessagesTest, BeatAckChecksAndEachBeatCountsOnce) {
  ConsoleCapture console;
  Handle(BEATACK, Hex("01 10 00 00 00"));  // before ClientUDPPort
  Handle(ClientUDPPort, Hex("39 30"));
  Handle(BEATACK, Hex("00 00 00 00 00"));  // nothing sent yet: nothing to acknowledge
  THeartbeatRecord& beat = sockets[2].HeartbeatRecord;
  beat.Seq = 7;
  beat.SentAt = 0xFFFFFF00;  // the round trip wraps
  beat.Missed = 3;
  Handle(BEATACK, Hex("06 00 FF FF FF"));  // an older beat
  Handle(BEATACK, Hex("07 01 FF FF FF"));  // right number, wrong time
  const std::string who = " [127.0.0.2:50002]";
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{
                "Received BEATACK for inactive client UDP." + who,
                "Received duplicate BEATACK SEQ#" + who, "Received invalid BEATACK SEQ#" + who,
                "Received valid BEATACK SEQ#, But invalid timestamp!" + who}));
  EXPECT_EQ(beat.Missed, 3);
  EXPECT_TRUE(records[0]->datagrams.empty());

  FakeClock::Set(0x10);
  Handle(BEATACK, Hex("07 00 FF FF FF"));
  EXPECT_EQ(beat.AckedSeq, 7);
  EXPECT_EQ(beat.Missed, 0);
  EXPECT_EQ(beat.RoundTrip, 0x110u);
  EXPECT_TRUE(beat.RoundTripKnown);
  EXPECT_EQ(records[0]->datagrams, std::vector<std::string>{Hex("05 00 00 2D 07 10 01 00 00")});
  // Copies of the same acknowledgement get no reply and change nothing.
  FakeClock::Set(0x50);
  for (int i = 0; i < 5; ++i) Handle(BEATACK, Hex("07 00 FF FF FF"));
  EXPECT_EQ(records[0]->datagrams.size(), 1u);
  EXPECT_EQ(beat.RoundTrip, 0x110u);
  EXPECT_TRUE(c2.sent.empty());
}

class MessageBudgetTest : public ClientMessagesTest {
 protected:
  MessageBudgetTest() : ClientMessagesTest(/*rate=*/10) {}
};

TEST_F(MessageBudgetTest, GameMessagesBeyondTheRateAreDroppedButJoinsAndLeavesAreNot) {
  ConsoleCapture console;
  Handle(StartGame, "");  // costs a token, never refused
  for (int i = 0; i < 50; ++i) Handle(ClientSay, "x");
  auto msgs = Forwarded();
  ASSERT_EQ(msgs.size(), 20u) << "a start and a burst of twice the rate, less the start";
  EXPECT_EQ(handler.RateLimited(), 31u);
  EXPECT_EQ(console.Count("Over the message rate: game messages dropped [127.0.0.2:50002]"), 1)
      << "one line a second, whatever the flood";

  Handle(ClientGone, "");  // the budget is spent, the departure still goes
  Handle(StartGame, "");   // and so does the next join
  msgs = Forwarded();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0]->MsgType, ClientGone);
  EXPECT_EQ(msgs[1]->MsgType, StartGame);

  FakeClock::Advance(300);  // three tokens at 10 a second pay the debt of two, and one more
  Handle(ClientSay, "y");
  Handle(ClientSay, "z");
  EXPECT_EQ(Forwarded().size(), 1u);
  EXPECT_TRUE(flooded.empty());
}

TEST_F(MessageBudgetTest, JoiningAndLeavingBeyondTheBudgetClosesTheConnection) {
  // Twice the burst (40) in joins and leaves: the debt runs out, the connection is dropped.
  for (int i = 0; i < 30 && flooded.empty(); ++i) {
    Handle(StartGame, "");
    Handle(ClientGone, "");
  }
  ASSERT_EQ(flooded, std::vector<int32_t>{2});
  EXPECT_EQ(Forwarded().size(), 40u);
}

TEST_F(MessageBudgetTest, DeparturesFindRoomInAFullQueue) {
  ConsoleCapture console;
  // Another connection's key flood fills the ordinary part of the queue.
  sockets[1].Stage = TStage::InGame;
  for (int i = 0; i < 2000; ++i) handler.HandleClientMessage(sockets[1], KeyDown, key);
  Handle(StartGame, "");
  sockets[1].MessageBudget.Configure(0, 0, 0);  // unlimited now: the queue is the limit
  for (int i = 0; i < 2000; ++i) handler.HandleClientMessage(sockets[1], KeyDown, key);
  EXPECT_EQ(console.CountContaining("zqtest-sgm:MESSAGE QUEUE HAS FILLED!!"), 1);
  EXPECT_EQ(gameQueue.Size(), QUEUE_SIZE - 1 - GAME_QUEUE_RESERVE);
  sockets[2].MessageBudget.Configure(0, 0, 0);
  for (int i = 0; i < 200; ++i) {  // beyond the reserve, too
    Handle(ClientGone, "");
    Handle(StartGame, "");
  }
  auto msgs = Forwarded();
  ASSERT_EQ(msgs.size(), QUEUE_SIZE - 1 - GAME_QUEUE_RESERVE + 400);
  EXPECT_EQ(msgs[20]->MsgType, StartGame);  // after the first connection's burst of 20
  std::size_t departures = 0;
  for (const auto& m : msgs) departures += m->MsgType == ClientGone;
  EXPECT_EQ(departures, 200u);
  EXPECT_EQ(msgs.back()->MsgType, StartGame);
}

}  // namespace
}  // namespace zq

namespace zq {
namespace {

// With a login check: StartGame waits for Join, the connection's later TCP input waits in its
// buffer, in order, until the game has bound its GUID; and the server may take speech.
TEST_F(ClientMessagesTest, InputWaitsForTheLoginAndGoesOnInOrderAfterTheJoin) {
  std::vector<int32_t> checked;
  std::vector<std::string> taken, left;
  handler.SetLoginHooks({[&](TSocketID& client) { checked.push_back(client.Number); },
                         [&](TSocketID&, std::string_view text) {
                           taken.emplace_back(text);
                           return text.front() == '/';
                         },
                         [&](TSocketID& client) { left.push_back(client.PlayerName); }});
  TZQProtocolFormat protocol(sockets);
  protocol.SetMessageHandler(handler.AsMessageHandler());
  const std::string held = Frame(KeyDown, key) + Frame(ClientSay, "/players") +
                           Frame(ClientSay, "hi") + Frame(ClientGone, "");
  std::string& buffer = sockets[2].ReceiveBuffer;
  buffer = Frame(LoginName, "al") + Frame(StartGame, "") + Frame(StartGame, "") + held;
  protocol.TCP_parseInputStream(sockets[2]);
  EXPECT_EQ(checked, std::vector<int32_t>{2});
  EXPECT_EQ(sockets[2].Stage, TStage::LoginPending);
  EXPECT_TRUE(Forwarded().empty());
  EXPECT_EQ(buffer, Frame(StartGame, "") + held);  // the second start waits too
  protocol.TCP_parseInputStream(sockets[2]);       // more input: still held
  EXPECT_EQ(buffer, Frame(StartGame, "") + held);

  handler.Join(sockets[2], "Al");
  protocol.TCP_parseInputStream(sockets[2]);  // in, but the game has not bound its GUID yet
  EXPECT_EQ(buffer, Frame(StartGame, "") + held);
  sockets.BindGUID(2, 9);
  protocol.TCP_parseInputStream(sockets[2]);
  EXPECT_TRUE(buffer.empty());
  std::vector<GameMessagePtr> forwarded = Forwarded();
  ASSERT_EQ(forwarded.size(), 4u);  // StartGame, KeyDown, "hi", ClientGone
  EXPECT_EQ(forwarded[0]->MsgType, StartGame);
  EXPECT_EQ(std::get<MSStartup>(forwarded[0]->msgStruct).UserName, "Al");
  EXPECT_EQ(forwarded[1]->MsgType, KeyDown);
  EXPECT_EQ(forwarded[2]->Data, "hi");
  EXPECT_EQ(forwarded[3]->MsgType, ClientGone);
  EXPECT_EQ(checked.size(), 1u);  // the second start was ignored: already in the game
  EXPECT_EQ(taken, (std::vector<std::string>{"/players", "hi"}));
  EXPECT_EQ(left, std::vector<std::string>{"Al"});
  EXPECT_EQ(sockets[2].PlayerName, "");
}

}  // namespace
}  // namespace zq
