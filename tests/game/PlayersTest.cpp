#include "game/Players.h"

#include <gtest/gtest.h>

#include "GameTestSupport.h"
#include "platform/Console.h"
#include "platform/Errors.h"
#include "protocol/ZQProtocol.h"

namespace zq {
namespace {

using test::Bytes;
using test::FakeClock;
using test::GameWorld;
using test::MakeKey;

// Fields of one posted message, for compact comparisons.
struct Sent {
  uint32_t type;
  uint32_t guid;
  int32_t target;
  std::string data;
  bool operator==(const Sent&) const = default;
};
std::vector<Sent> Summary(const std::vector<GameMessagePtr>& msgs) {
  std::vector<Sent> out;
  for (const auto& m : msgs) {
    EXPECT_EQ(m->SocketID, -1);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(m->msgStruct));
    out.push_back({m->MsgType, m->GUID, m->TargetSocketID, m->Data});
  }
  return out;
}

std::string Info(uint32_t guid, uint16_t code, uint8_t facing, uint16_t x, uint16_t y) {
  std::string s;
  PutU32(s, guid);
  PutU16(s, code);
  PutU8(s, facing);
  PutU8(s, 0);
  PutU16(s, x);
  PutU16(s, y);
  return s;
}

// Moves the player of `sid` by `tiles` along the steering `key`, then stops it.
void Walk(GameWorld& w, int32_t sid, uint8_t key, uint32_t tiles) {
  FakeClock::Set(1000);
  w.players.HandleKey(sid, KeyDown, MakeKey(key));  // LastMove 1250
  FakeClock::Set(1000 + 250 * tiles);
  w.players.UpdatePlayers();
  w.players.HandleKey(sid, KeyUp, MakeKey(key));
  w.Drain();
}

TEST(Players, FirstAndSecondJoinSendTheirMessagesInOrder) {
  FakeClock clock(777);
  ConsoleCapture console;
  GameWorld w;
  const uint32_t g1 = w.players.AddPlayer(5, "Alice", 0x1234, "secret");
  EXPECT_EQ(g1, 1u);
  EXPECT_EQ(w.players.getNumfromGUID(1), 0);
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{"AddPlayer: sid=5 name=Alice", "AddPlayer: playerNum=0"}));
  EXPECT_EQ(Summary(w.Drain()),
            (std::vector<Sent>{{AssignGUID, 1, 5, Bytes({1, 0, 0, 0})},
                               {StartPosition, 1, 5, Bytes({8, 0, 0x18, 0x06, 0x81, 0x07, 0})}}));
  const PlayerRecord& p = *w.players.Player(0);
  EXPECT_TRUE(p.LastMove == 777u && p.StopX == -1 && p.StopY == -1 && p.PosX == 1560.0);

  w.sockets.BindGUID(5, g1);
  const uint32_t g2 = w.Join(9, "Bob", 0xBEEF);
  EXPECT_EQ(g2, 2u);
  EXPECT_EQ(w.players.getNumfromGUID(2), 1);
  EXPECT_EQ(w.players.PlayerCount(), 2);
  EXPECT_EQ(Summary(w.Drain()),
            (std::vector<Sent>{{AssignGUID, 2, 9, Bytes({2, 0, 0, 0})},
                               {StartPosition, 2, 9, Bytes({8, 0, 0x18, 0x06, 0x81, 0x07, 0})},
                               {PlayerInfo, 1, -1, Info(2, 0xBEEF, 0, 1560, 1921)},
                               {PlayerInfo, 2, -1, Info(1, 0x1234, 0, 1560, 1921)}}));
}

TEST(Players, DuplicateStartGameKeepsTheFirstPlayerAndNamesAreCut) {
  FakeClock clock;
  ConsoleCapture console;
  GameWorld w;
  const uint32_t g = w.players.AddPlayer(3, std::string(60, 'n'), 0, std::string(48, 'p'));
  EXPECT_EQ(w.P(g).Name, std::string(47, 'n'));
  EXPECT_EQ(w.P(g).Password, std::string(47, 'p'));
  w.Drain();
  console.Clear();
  EXPECT_EQ(w.players.AddPlayer(3, "Mallory", 7, "x"), 0u);
  EXPECT_EQ(console.Lines().size(), 1u);
  EXPECT_TRUE(w.Drain().empty());
  EXPECT_EQ(w.players.PlayerCount(), 1);
  EXPECT_EQ(w.P(g).Name, std::string(47, 'n'));
  EXPECT_EQ(w.guids.newGUID(), 2u);  // the refused join took no identifier
}

TEST(Players, ViewRangeIsInclusiveOnBothAxes) {
  FakeClock clock;
  ConsoleCapture console;
  struct Case {
    uint8_t key;
    uint32_t tiles;
    bool seen;
  };
  for (Case c : {Case{4, 120, true}, Case{4, 121, false}, Case{3, 120, true}, Case{3, 121, false},
                 Case{2, 75, true}, Case{2, 76, false}, Case{1, 75, true}, Case{1, 76, false}}) {
    GameWorld w;
    const uint32_t g1 = w.Join(1);
    const uint32_t g2 = w.Join(2);
    Walk(w, 2, c.key, c.tiles);
    w.players.Say(1, "\"hi\"", SPEECH_TIME);
    auto sent = w.Drain();
    ASSERT_EQ(sent.size(), c.seen ? 2u : 1u) << "key " << int(c.key) << " tiles " << c.tiles;
    EXPECT_EQ(sent[0]->GUID, g1);
    if (c.seen) {
      EXPECT_EQ(sent[1]->GUID, g2);
    }

    // A third player joining at the spawn learns only of those within its view.
    const uint32_t g3 = w.Join(3);
    std::vector<uint32_t> infoTo2, infoAbout;
    for (const auto& m : w.Drain()) {
      if (m->MsgType != PlayerInfo) continue;
      if (m->GUID == g2) infoTo2.push_back(GetU32(m->Data, 0));
      if (m->GUID == g3) infoAbout.push_back(GetU32(m->Data, 0));
    }
    EXPECT_EQ(infoTo2.size(), c.seen ? 1u : 0u);
    EXPECT_EQ(infoAbout, c.seen ? (std::vector<uint32_t>{g1, g2}) : (std::vector<uint32_t>{g1}));
  }
}

TEST(Players, LeavingTellsOthersButNotTheLeaverAndFreesSlotAndGuid) {
  FakeClock clock(4242);
  ConsoleCapture console;
  GameWorld w;
  const uint32_t g1 = w.Join(1), g2 = w.Join(2), g3 = w.Join(3);
  w.Drain();
  w.players.removePlayer(2);
  EXPECT_EQ(Summary(w.Drain()),
            (std::vector<Sent>{{PlayerLeft, g1, -1, Bytes({2, 0, 0, 0, 0x92, 0x10, 0, 0})},
                               {PlayerLeft, g3, -1, Bytes({2, 0, 0, 0, 0x92, 0x10, 0, 0})},
                               {ReleaseGUID, g2, 2, ""}}));
  EXPECT_EQ(w.players.PlayerCount(), 2);
  EXPECT_EQ(w.players.Player(1), nullptr);
  EXPECT_EQ(w.players.getNumfromGUID(g2), MAX_PLAYERS);
  EXPECT_EQ(console.Count("getNumfromGUID: player GUID (2) not found in FPlayers"), 1);

  const uint32_t g4 = w.Join(7);
  EXPECT_EQ(g4, 2u);
  EXPECT_EQ(w.players.getNumfromGUID(g4), 1);

  // Walks stop after PlayerCount players: a broadcast from the last slot still reaches all.
  w.Drain();
  w.players.Say(3, "x", 1);
  EXPECT_EQ(w.Drain().size(), 3u);
}

TEST(Players, RemovingAnUnknownConnectionFailsTheCheckAndChangesNothing) {
  FakeClock clock;
  ConsoleCapture console;
  GameWorld w;
  w.Join(1);
  w.Drain();
  try {
    w.players.removePlayer(4);
    FAIL() << "no internal check";
  } catch (const EInternalCheck& e) {
    EXPECT_STREQ(e.what(), "SocketID not found in FPlayers while trying to removePlayer()");
    EXPECT_EQ(e.Module(), "Players");
  }
  EXPECT_EQ(w.players.PlayerCount(), 1);
  EXPECT_TRUE(w.Drain().empty());
}

TEST(Players, SpeechReachesTheSpeakerAndIsCutTo99) {
  FakeClock clock(100);
  ConsoleCapture console;
  GameWorld w;
  const uint32_t g1 = w.Join(1), g2 = w.Join(2);
  w.Drain();
  std::string text(150, 'a');
  for (int i = 0; i < 150; ++i) text[i] = static_cast<char>('a' + i % 26);
  w.players.Say(2, text, SPEECH_TIME);
  auto sent = w.Drain();
  ASSERT_EQ(sent.size(), 2u);
  std::string want = Bytes({2, 0, 0, 0, 0x88, 0x13, 0, 0}) + text.substr(0, 99);
  EXPECT_EQ(Summary(sent),
            (std::vector<Sent>{{PlayerSpeech, g1, -1, want}, {PlayerSpeech, g2, -1, want}}));
  EXPECT_EQ(w.P(g2).SpeechText, text.substr(0, 99));
  EXPECT_EQ(w.P(g2).SpeechUntil, 5100u);

  // A socket with no bound player, or one out of range, says nothing.
  w.players.Say(40, "x", 1);
  w.players.Say(-3, "x", 1);
  w.players.Say(1000, "x", 1);
  EXPECT_TRUE(w.Drain().empty());
}

TEST(Players, SnapshotFollowsTheTableAndItsRevision) {
  FakeClock clock;
  ConsoleCapture console;
  GameWorld w;
  const uint64_t r0 = w.players.Revision();
  w.Join(4, "Ann");
  w.Join(6, "Ben");
  w.players.removePlayer(4);
  EXPECT_GT(w.players.Revision(), r0);
  EXPECT_EQ(w.players.TakeSnapshot(), (TPlayerSnapshotList{{2, "Ben", 6, 1560, 1921}}));
  const uint64_t r1 = w.players.Revision();
  w.players.UpdatePlayers();  // nobody moves
  EXPECT_EQ(w.players.Revision(), r1);
  Walk(w, 6, 4, 3);
  EXPECT_GT(w.players.Revision(), r1);
  EXPECT_EQ(w.players.TakeSnapshot(), (TPlayerSnapshotList{{2, "Ben", 6, 1563, 1921}}));
}

}  // namespace
}  // namespace zq
