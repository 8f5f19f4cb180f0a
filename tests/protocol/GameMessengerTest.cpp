// The message ring: order across the wrap, the full ring and its throttled line, the reserve
// kept for priority messages and their overflow, waking the consumer, waiting for room.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Console.h"
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
  for (int i = 0; i < 50; ++i) EXPECT_FALSE(queue.Push(Numbered(5000)));
  EXPECT_EQ(console.Lines(), std::vector<std::string>{"zqtest-ring:MESSAGE QUEUE HAS FILLED!!"})
      << "at most one line a second";
  EXPECT_EQ(queue.Refused(), 50u);
  for (int i = 0; i < 1023; ++i) {
    GameMessagePtr m = queue.Pop();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->SocketID, i);
  }
  EXPECT_EQ(queue.Pop(), nullptr);
  ASSERT_TRUE(queue.Push(Numbered(77)));  // still works after
  EXPECT_EQ(queue.Pop()->SocketID, 77);
}

TEST(GameMessenger, PriorityMessagesAreNeverRefusedAndNothingOvertakesThem) {
  ConsoleCapture console;
  TGameMessenger queue("zqtest-priority", /*reserve=*/10);
  int pushed = 0;
  while (queue.Push(Numbered(pushed))) ++pushed;
  EXPECT_EQ(pushed, 1023 - 10) << "ordinary messages leave the reserve alone";
  for (int i = 0; i < 30; ++i) queue.PushPriority(Numbered(10000 + i));  // 10 fit, 20 wait
  EXPECT_EQ(queue.Size(), 1043u);
  EXPECT_FALSE(queue.Push(Numbered(-1))) << "nothing may overtake a waiting priority message";
  for (int i = 0; i < 1000; ++i) queue.Pop();
  EXPECT_FALSE(queue.Push(Numbered(-2))) << "the ring has room, but the overflow waits";
  queue.PushPriority(Numbered(10030));
  std::vector<int32_t> rest;
  while (GameMessagePtr m = queue.Pop()) rest.push_back(m->SocketID);
  ASSERT_EQ(rest.size(), 13u + 31u);
  for (int i = 0; i < 13; ++i) EXPECT_EQ(rest[i], 1000 + i);
  for (int i = 0; i < 31; ++i) EXPECT_EQ(rest[13 + i], 10000 + i);
  EXPECT_TRUE(queue.Push(Numbered(5)));  // the overflow is gone: back to normal
}

TEST(GameMessenger, PushWakesTheConsumerAndAbandonEndsItsWait) {
  TGameMessenger queue("zqtest-wake");
  std::atomic<int> received{0};
  TWaitResult last = TWaitResult::wrSignaled;
  std::thread consumer([&] {
    for (int waits = 0; waits < 100 && last != TWaitResult::wrAbandoned; ++waits) {
      last = queue.Wait(1000);
      if (last == TWaitResult::wrSignaled)
        while (queue.Pop()) ++received;
    }
  });
  for (int i = 0; i < 3; ++i) queue.Push(Numbered(i));
  for (int n = 0; n < 3000 && received < 3; ++n)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  queue.Abandon();
  consumer.join();
  EXPECT_EQ(received, 3);
  EXPECT_EQ(last, TWaitResult::wrAbandoned);
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
