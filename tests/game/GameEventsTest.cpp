// The game's events for observers: a join, speech and a departure each told once, in order,
// with the player's GUID, name, socket and where it stands; a second StartGame tells nothing;
// and the events come from the game manager thread in the order its messages were applied.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "game/ServerGameManager.h"
#include "tests/game/GameTestSupport.h"

namespace zq::test {
namespace {

TEST(GameEvents, JoinSpeechAndLeaveAreToldOnceWithWhereThePlayerStands) {
  GameWorld w(100, 200);
  std::vector<TGameEvent> events;
  w.players.SetEventSink([&](TGameEvent e) { events.push_back(std::move(e)); });
  const uint32_t a = w.Join(3, "alice");
  EXPECT_EQ(w.players.AddPlayer(3, "again", 0, "pw"), 0u);  // a second start: nothing told
  const uint32_t b = w.Join(4, std::string(60, 'b'));       // the name as the game keeps it
  w.players.Say(3, "\"hi\"", SPEECH_TIME);
  w.players.Say(9, "\"nobody\"", SPEECH_TIME);  // no player on socket 9: nothing told
  w.players.removePlayer(4);

  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].Kind, TGameEvent::TKind::Join);
  EXPECT_EQ(events[0].GUID, a);
  EXPECT_EQ(events[0].SocketID, 3);
  EXPECT_EQ(events[0].Name, "alice");
  EXPECT_EQ(events[0].X, 100);
  EXPECT_EQ(events[0].Y, 200);
  EXPECT_EQ(events[1].Kind, TGameEvent::TKind::Join);
  EXPECT_EQ(events[1].Name, std::string(MAX_NAME_LEN, 'b'));
  EXPECT_EQ(events[2].Kind, TGameEvent::TKind::Speech);
  EXPECT_EQ(events[2].GUID, a);
  EXPECT_EQ(events[2].Text, "\"hi\"");
  EXPECT_EQ(events[3].Kind, TGameEvent::TKind::Leave);
  EXPECT_EQ(events[3].GUID, b);
  EXPECT_EQ(events[3].SocketID, 4);
}

TEST(GameEvents, TheGameThreadTellsThemInTheOrderItAppliesMessages) {
  GameWorld w;
  TGameMessenger gameQueue("T-SGM-EVENTS");
  TMainThreadQueue main;
  std::mutex lock;
  std::vector<std::string> told;
  w.players.SetEventSink([&](TGameEvent e) {
    std::lock_guard<std::mutex> hold(lock);  // called on the game thread
    told.push_back(e.Name + (e.Kind == TGameEvent::TKind::Leave ? " left" : " came"));
  });
  TServerGameManager manager(main, gameQueue, w.players, {});
  manager.Start();
  for (int32_t s = 1; s <= 20; ++s) {
    auto join = std::make_unique<GameMessage>();
    join->SocketID = s;
    join->MsgType = StartGame;
    join->msgStruct = MSStartup{"p" + std::to_string(s), "pw", 0};
    gameQueue.PushPriority(std::move(join));
  }
  for (int32_t s = 1; s <= 20; s += 2) {
    auto gone = std::make_unique<GameMessage>();
    gone->SocketID = s;
    gone->MsgType = ClientGone;
    gameQueue.PushPriority(std::move(gone));
  }
  auto all = [&] {
    std::lock_guard<std::mutex> hold(lock);
    return told.size() == 30;
  };
  // The thread's log lines are calls to this (main) thread: serve them while waiting.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!all() && std::chrono::steady_clock::now() < until) {
    main.ServePending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  manager.Terminate();
  manager.WaitFor();
  ASSERT_EQ(told.size(), 30u);
  for (int32_t s = 1; s <= 20; ++s) EXPECT_EQ(told[s - 1], "p" + std::to_string(s) + " came");
  for (int32_t i = 0; i < 10; ++i)
    EXPECT_EQ(told[20 + i], "p" + std::to_string(2 * i + 1) + " left");
}

}  // namespace
}  // namespace zq::test
