// The message ring: order across the wrap, the full ring, waking a consumer by name.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Console.h"
#include "platform/NamedEvent.h"
#include "protocol/GameMessenger.h"

namespace zq {
namespace {

GameMessagePtr Numbered(int32_t i) {
  auto m = std::make_unique<GameMessage>();
  m->SocketID = i;
  return m;
}

TEST(GameMessenger, OrderWrapAndFullRing) {
  ConsoleCapture console;
  TGameMessenger queue("zqtest-ring");
  EXPECT_EQ(queue.Pop(), nullptr);
  for (int i = 0; i < 700; ++i) queue.Push(Numbered(-1));  // start near the end of the ring
  for (int i = 0; i < 700; ++i) queue.Pop();
  for (int i = 0; i < 1023; ++i) ASSERT_TRUE(queue.Push(Numbered(i)));  // wraps past 1023
  EXPECT_TRUE(console.Lines().empty());
  EXPECT_FALSE(queue.Push(Numbered(5000)));
  EXPECT_EQ(console.Lines(), std::vector<std::string>{"zqtest-ring:MESSAGE QUEUE HAS FILLED!!"});
  for (int i = 0; i < 1023; ++i) {
    GameMessagePtr m = queue.Pop();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->SocketID, i);
  }
  EXPECT_EQ(queue.Pop(), nullptr);
  ASSERT_TRUE(queue.Push(Numbered(77)));  // still works after
  EXPECT_EQ(queue.Pop()->SocketID, 77);
}

TEST(GameMessenger, ConsumerWokenThroughEventOpenedByName) {
  TGameMessenger queue("zqtest-wake");
  std::atomic<int> received{0};
  std::thread consumer([&] {
    auto event = TNamedEvent::CreateEventA("zqtest-wake");  // never given the queue's event
    for (int waits = 0; waits < 30 && received < 3; ++waits)
      if (event->WaitFor(1000) == TWaitResult::wrSignaled)
        while (queue.Pop()) ++received;
  });
  for (int i = 0; i < 3; ++i) queue.Push(Numbered(i));
  consumer.join();
  EXPECT_EQ(received, 3);
}

TEST(GameMessenger, ProducerWaitsForRoomInsteadOfLosingMessages) {
  ConsoleCapture console;
  TGameMessenger queue("zqtest-room");
  EXPECT_TRUE(queue.WaitForRoom(1023, 0));
  std::vector<GameMessagePtr> batch;
  for (int i = 0; i < 1022; ++i) batch.push_back(Numbered(i));
  queue.PushAll(batch);
  EXPECT_TRUE(batch.empty());
  EXPECT_TRUE(queue.WaitForRoom(1, 0));
  EXPECT_FALSE(queue.WaitForRoom(2, 1));  // one slot left, and nobody pops
  std::thread consumer([&] { queue.Pop(); });
  EXPECT_TRUE(queue.WaitForRoom(2, 10000));
  consumer.join();
  batch.push_back(Numbered(1022));
  batch.push_back(Numbered(1023));
  batch.push_back(Numbered(1024));  // one too many: refused, the others kept in order
  queue.PushAll(batch);
  EXPECT_EQ(console.Lines(), std::vector<std::string>{"zqtest-room:MESSAGE QUEUE HAS FILLED!!"});
  for (int i = 1; i <= 1023; ++i) ASSERT_EQ(queue.Pop()->SocketID, i);
  EXPECT_EQ(queue.Pop(), nullptr);
}

}  // namespace
}  // namespace zq
