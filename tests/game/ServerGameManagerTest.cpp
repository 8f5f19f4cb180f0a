#include "game/ServerGameManager.h"

#include <chrono>

#include <gtest/gtest.h>

#include "GameTestSupport.h"
#include "platform/Console.h"
#include "platform/Errors.h"

namespace zq {
namespace {

using test::GameWorld;
using test::MakeKey;

// --- ClientSay cleaning ---

std::string Numbered(std::size_t n) {  // "123456789012..." : position i holds i mod 10
  std::string s;
  for (std::size_t i = 1; i <= n; ++i) s.push_back(static_cast<char>('0' + i % 10));
  return s;
}

TEST(CleanSpeech, TrimsCollapsesAndQuotes) {
  EXPECT_EQ(CleanSpeech("   hello    world  "), "\"hello world\"");
  EXPECT_EQ(CleanSpeech("a"), "\"a\"");
  EXPECT_EQ(CleanSpeech("a \t  b"), "\"a \t b\"");  // only code 32 is a space
  EXPECT_EQ(CleanSpeech(""), "\"\"");
  EXPECT_EQ(CleanSpeech("      "), "\"\"");
  EXPECT_EQ(CleanSpeech(std::string("x\0  y", 5)), std::string("\"x\0 y\"", 6));
}

TEST(CleanSpeech, Positions97And98AreRemoved) {
  EXPECT_EQ(CleanSpeech(Numbered(96)), "\"" + Numbered(96) + "\"");
  EXPECT_EQ(CleanSpeech(Numbered(97)), "\"" + Numbered(96) + "\"");
  EXPECT_EQ(CleanSpeech(Numbered(98)), "\"" + Numbered(96) + "\"");
  const std::string t = Numbered(100);
  EXPECT_EQ(CleanSpeech(t), "\"" + t.substr(0, 96) + t.substr(98) + "\"");
  // The cut counts positions after collapsing and trimming.
  EXPECT_EQ(CleanSpeech("  a  " + Numbered(100)), "\"a " + Numbered(94) + t.substr(96) + "\"");
  const std::string full(250, 'w');
  EXPECT_EQ(CleanSpeech(full).size(), 250u);
}

// --- one message at a time, on this thread ---

class GameMessages : public ::testing::Test {
 protected:
  test::FakeClock clock{1000};
  ConsoleCapture console;
  TMainThreadQueue main;
  TGameMessenger gameQueue{"T-SGM-DIRECT"};
  GameWorld w;
  std::vector<std::string> log;
  TServerGameManager sgm{main, gameQueue, w.players,
                         [this](TLogLevel, const std::string& l) { log.push_back(l); }};

  static GameMessagePtr Msg(uint32_t type, int32_t sid) {
    auto m = std::make_unique<GameMessage>();
    m->MsgType = type;
    m->SocketID = sid;
    return m;
  }
  static GameMessagePtr Start(int32_t sid, const std::string& name) {
    auto m = Msg(StartGame, sid);
    m->msgStruct = MSStartup{name, "pw", 0x55};
    return m;
  }
};

TEST_F(GameMessages, StartGameLogsTheCutNameAndSilentMessagesSendNothing) {
  const std::string name50 = std::string(40, 'N') + "0123456789";
  sgm.HandleGameMessage(Start(3, name50).get());
  EXPECT_EQ(log, (std::vector<std::string>{"SGM: Added player " + name50.substr(0, 47)}));
  EXPECT_EQ(w.Drain().size(), 2u);
  sgm.HandleGameMessage(Start(3, "Again").get());
  auto blank = Msg(ClientSay, 3);
  blank->Data = "    ";
  w.sockets.BindGUID(3, 1);
  sgm.HandleGameMessage(blank.get());
  sgm.HandleGameMessage(Msg(0x77000000, 3).get());  // other types are ignored
  EXPECT_EQ(log.size(), 1u) << "a refused StartGame is not logged";
  EXPECT_TRUE(w.Drain().empty());
}

TEST_F(GameMessages, MissingPiecesFailTheirChecks) {
  auto expectCheck = [&](const GameMessage* m, const char* text) {
    try {
      sgm.HandleGameMessage(m);
      ADD_FAILURE() << "no check for " << text;
    } catch (const EInternalCheck& e) {
      EXPECT_STREQ(e.what(), text);
      EXPECT_EQ(e.Module(), "ServerGameManagerU");
    }
  };
  expectCheck(nullptr, "GameMessage NIL");
  expectCheck(Msg(StartGame, 1).get(), "MSStartup structure NIL");
  expectCheck(Msg(KeyDown, 1).get(), "GameMessage^.msgStruct (MSKey) NIL");
  expectCheck(Msg(KeyUp, 1).get(), "GameMessage^.msgStruct (MSKey) NIL");
  auto wrong = Msg(KeyUp, 1);
  wrong->msgStruct = MSStartup{};
  expectCheck(wrong.get(), "GameMessage^.msgStruct (MSKey) NIL");
  EXPECT_EQ(w.players.PlayerCount(), 0);
}

// --- the thread ---

class GameThread : public ::testing::Test {
 protected:
  ConsoleCapture console;
  TMainThreadQueue main;
  TGameMessenger gameQueue{GAME_QUEUE_NAME};
  GameWorld w;
  std::vector<std::string> log;  // main thread
  std::vector<GameMessagePtr> sent;
  std::unique_ptr<TServerGameManager> sgm = std::make_unique<TServerGameManager>(
      main, gameQueue, w.players, [this](TLogLevel, const std::string& l) { log.push_back(l); });
  bool started = false;

  void TearDown() override {
    if (started && !sgm->Finished()) {
      sgm->Terminate();
      sgm->WaitFor();
    }
  }

  void Start() {
    sgm->Start();
    started = true;
  }

  // Serves the main thread and collects dispatched messages until `done` or 30 s pass.
  bool ServeUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    main.ServeUntil([&] {
      for (int i = 0; i < 4096; ++i) {
        auto m = w.dispatch.Pop();
        if (!m) break;
        for (auto& copy : test::ForEachRecipient(std::move(m))) sent.push_back(std::move(copy));
      }
      return done() || std::chrono::steady_clock::now() > deadline;
    });
    return done();
  }
  bool Logged(const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
  }
  void Push(uint32_t type, int32_t sid, std::variant<std::monostate, MSStartup, MSKey> st = {}) {
    auto m = std::make_unique<GameMessage>();
    m->MsgType = type;
    m->SocketID = sid;
    m->msgStruct = std::move(st);
    gameQueue.Push(std::move(m));
  }
  std::size_t CountType(uint32_t type) {
    return std::count_if(sent.begin(), sent.end(), [&](auto& m) { return m->MsgType == type; });
  }
};

TEST_F(GameThread, StartGameReachesTheDispatchQueueAndLinesReachTheLog) {
  Start();
  ASSERT_TRUE(ServeUntil([&] { return Logged("SGM: GameManager startup."); }));
  Push(StartGame, 4, MSStartup{"Zed", "pw", 9});
  ASSERT_TRUE(ServeUntil([&] { return sent.size() >= 2 && Logged("SGM: Added player Zed"); }));
  EXPECT_EQ(sent[0]->MsgType, AssignGUID);
  EXPECT_EQ(sent[0]->GUID, 1u);
  EXPECT_EQ(sent[0]->TargetSocketID, 4);
  EXPECT_EQ(sent[1]->MsgType, StartPosition);
  EXPECT_EQ(log[0], "SGM: GameManager startup.");

  // The snapshot shows the player once the batch is done.
  ASSERT_TRUE(ServeUntil([&] { return sgm->Snapshot().Read()->size() == 1; }));
  EXPECT_EQ(sgm->Snapshot().Read()->at(0), (TPlayerSnapshotEntry{1, "Zed", 4, 1560, 1921}));

  w.sockets.BindGUID(4, 1);
  auto say = std::make_unique<GameMessage>();
  say->MsgType = ClientSay;
  say->SocketID = 4;
  say->Data = "   hello    world  ";
  gameQueue.Push(std::move(say));
  ASSERT_TRUE(ServeUntil([&] { return CountType(PlayerSpeech) == 1; }));
  EXPECT_EQ(sent.back()->Data.substr(8), "\"hello world\"");

  // A walking player moves on the wait's time-outs alone.
  Push(KeyDown, 4, MakeKey(4));
  ASSERT_TRUE(ServeUntil([&] { return CountType(KeyDownAck) == 1; }));
  ASSERT_TRUE(ServeUntil([&] {
    auto snap = sgm->Snapshot().Read();
    return !snap->empty() && snap->at(0).X >= 1562;
  }));

  Push(ClientGone, 4);
  ASSERT_TRUE(ServeUntil([&] { return sgm->Snapshot().Read()->empty(); }));

  sgm->Terminate();
  sgm->WaitFor();
  EXPECT_EQ(log.back(), "SGM: GameManager shutdown. WaitResult=wrTimeout Terminated=True");
}

TEST_F(GameThread, AFailedCheckInOneMessageDoesNotStopTheGame) {
  Start();
  Push(StartGame, 2);   // no MSStartup
  Push(ClientGone, 6);  // no such player
  Push(KeyDown, 2);     // no MSKey
  Push(StartGame, 2, MSStartup{"Ok", "", 0});
  ASSERT_TRUE(
      ServeUntil([&] { return Logged("SGM: Added player Ok") && CountType(AssignGUID) == 1; }));
  EXPECT_TRUE(console.Contains("MSStartup structure NIL"));
  EXPECT_TRUE(console.Contains("SocketID not found in FPlayers while trying to removePlayer()"));
  EXPECT_TRUE(console.Contains("GameMessage^.msgStruct (MSKey) NIL"));
  int checkLines = 0;
  for (const auto& l : console.Lines())
    if (l.find("SGM: Internal check failed: ") == 0) {
      ++checkLines;
      EXPECT_NE(l.find(" in "), std::string::npos) << l;
    }
  EXPECT_EQ(checkLines, 3);
  EXPECT_FALSE(sgm->Finished());
  EXPECT_EQ(CountType(AssignGUID), 1u);
}

TEST_F(GameThread, AnAbandonedWaitEndsTheThread) {
  Start();
  ASSERT_TRUE(ServeUntil([&] { return Logged("SGM: GameManager startup."); }));
  gameQueue.Abandon();
  ASSERT_TRUE(ServeUntil([&] { return sgm->Finished(); }));
  sgm->WaitFor();
  EXPECT_EQ(console.Count("SGM: Abandoned!"), 1);
  EXPECT_EQ(log.back(), "SGM: GameManager shutdown. WaitResult=wrAbandoned Terminated=False");
}

TEST_F(GameThread, ManyMessagesInOneBatchKeepTheirOrder) {
  for (int sid = 1; sid <= 40; ++sid)
    Push(StartGame, sid, MSStartup{"p" + std::to_string(sid), "", 0});
  Start();  // the event was signalled before the thread opened it
  ASSERT_TRUE(ServeUntil([&] { return CountType(AssignGUID) == 40; }));
  uint32_t next = 1;
  for (const auto& m : sent)
    if (m->MsgType == AssignGUID) {
      EXPECT_EQ(m->GUID, next);
      EXPECT_EQ(m->TargetSocketID, static_cast<int32_t>(next));
      ++next;
    }
  ASSERT_TRUE(ServeUntil([&] { return sgm->Snapshot().Read()->size() == 40; }));
}

TEST_F(GameThread, WalkersMoveWhileOthersTalkEvery30Ms) {
  Start();
  Push(StartGame, 4, MSStartup{"Walker", "", 0});
  ASSERT_TRUE(ServeUntil([&] { return CountType(AssignGUID) == 1; }));
  w.sockets.BindGUID(4, 1);
  Push(KeyDown, 4, MakeKey(4));
  ASSERT_TRUE(ServeUntil([&] { return CountType(KeyDownAck) == 1; }));
  // A message every 30 ms, more often than the movement tick: the walker goes on regardless.
  auto next = std::chrono::steady_clock::now();
  ASSERT_TRUE(ServeUntil([&] {
    if (std::chrono::steady_clock::now() >= next) {
      Push(0x11000000, 9);  // a game code the game ignores
      next += std::chrono::milliseconds(30);
    }
    auto snap = sgm->Snapshot().Read();
    return !snap->empty() && snap->at(0).X >= 1563;
  }));
}

}  // namespace
}  // namespace zq
