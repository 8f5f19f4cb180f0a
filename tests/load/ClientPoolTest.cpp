// The load engine's pool over real loopback sockets against the fake server: one poll for
// many clients, the setup of all, removal, and the end of a run.
#include "tools/load/ClientPool.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/bot/FakeServer.h"

namespace zq {
namespace {

constexpr int WAIT = 20000;  // generous: the machine may be loaded

using test::TFakeServer;

TEST(ClientPool, DrivesSeveralClientsAndEveryoneSeesEveryMotion) {
  TFakeServer server;
  server.Start();
  TClientPool pool;
  for (int i = 0; i < 3; ++i) pool.Add().Connect("127.0.0.1", server.Port());
  ASSERT_TRUE(
      pool.RunSetup([](std::size_t i) { return TSetupParams{"p" + std::to_string(i)}; }, WAIT));
  for (std::size_t i = 0; i < 3; ++i) pool[i].ClearInbox();
  ASSERT_TRUE(pool[1].SendKeyDown(2, 0, 0, 5));
  auto motionsAbout = [&](TZQClient& c) {
    return std::count_if(c.Inbox().begin(), c.Inbox().end(), [&](const TReceived& r) {
      auto* m = r.As<msg::PlayerMotion>();
      return m && m->GUID == pool[1].Guid();
    });
  };
  EXPECT_TRUE(pool.WaitUntil(
      [&] {
        for (std::size_t i = 0; i < 3; ++i)
          if (motionsAbout(pool[i]) != 1) return false;
        return true;
      },
      WAIT));
}

TEST(ClientPool, GoodbyesComeFromPlayersInTheGameOnlyAndLeaveBeforeTheClose) {
  TFakeServer server;  // served by the pump, on this thread
  auto pump = [&] { server.Step(0); };
  TClientPool pool;
  for (int i = 0; i < 4; ++i) pool.Add().Connect("127.0.0.1", server.Port());
  // Three join; the fourth stops short of the game.
  ASSERT_TRUE(pool.RunSetup(
      [](std::size_t i) {
        return TSetupParams{"p" + std::to_string(i), "pw", 0, i != 3};
      },
      WAIT, pump));
  ASSERT_EQ(pool[3].Setup(), SetupState::Ready);
  // Removing one ends it and keeps the others in order.
  const TZQClient* third = &pool[2];
  pool.Remove(pool[1]);
  ASSERT_EQ(pool.Size(), 3u);
  EXPECT_EQ(&pool[1], third);

  pool.SayGoodbye();
  pool.Close(WAIT, pump);
  for (std::size_t i = 0; i < pool.Size(); ++i) EXPECT_TRUE(pool[i].IsClosed());
  // The goodbyes were out before the sockets closed: the server reads them afterwards.
  auto goodbyes = [&] {
    std::vector<int> from;
    for (const auto& r : server.Received())
      if (r.Type == ClientGone) from.push_back(r.Socket);
    std::sort(from.begin(), from.end());
    return from;
  };
  for (int i = 0; i < 2000 && goodbyes().size() < 2; ++i) server.Step(10);
  EXPECT_EQ(goodbyes(), (std::vector<int>{1, 3}));  // not the removed one, not the one outside
}

}  // namespace
}  // namespace zq
