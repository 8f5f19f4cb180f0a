// The load run's matching: the key event cycle, acks by value, motions by count and phase.
#include "tools/load/LoadTracker.h"

#include <gtest/gtest.h>

namespace zq {
namespace {

// The motion the server sends for client event k (keys held one at a time).
msg::PlayerMotion MotionFor(uint32_t guid, uint32_t k) {
  TKeyEvent e = LoadEventAt(k);
  msg::PlayerMotion m;
  m.GUID = guid;
  m.MoveFlags = e.Down ? 1 : 0;
  m.DirX = e.Key == 3 ? -1 : e.Key == 4 ? 1 : 0;
  m.DirY = e.Key == 1 ? -1 : e.Key == 2 ? 1 : 0;
  return m;
}

TEST(LoadTracker, EventsCycleDownUpOverKeysOneToFour) {
  const int keys[8] = {1, 1, 2, 2, 3, 3, 4, 4};
  for (uint32_t k = 0; k < 16; ++k) {
    EXPECT_EQ(LoadEventAt(k).Down, k % 2 == 0);
    EXPECT_EQ(LoadEventAt(k).Key, keys[k % 8]);
    EXPECT_EQ(LoadPhaseOf(MotionFor(1, k)), static_cast<int>(k % 8));
  }
  EXPECT_EQ(LoadPhaseOf(msg::PlayerMotion{}), -1);  // no direction yet
}

TEST(LoadTracker, AcksMatchByValueOnceAndOnlyWithTheRightKind) {
  TLoadTracker t(2);
  t.SetGuid(0, 10);
  t.SetGuid(1, 11);
  EXPECT_EQ(t.RecordSend(0, 1000), 0u);
  EXPECT_EQ(t.RecordSend(0, 2000), 1u);
  t.OnAck(0, true, 1, 0, 1500);   // matches k=0, 500 us
  t.OnAck(0, true, 1, 0, 1600);   // duplicate
  t.OnAck(0, true, 1, 1, 2100);   // k=1 is a KeyUp
  t.OnAck(0, false, 2, 1, 2100);  // wrong key
  t.OnAck(0, false, 1, 7, 2100);  // never sent
  t.OnAck(1, true, 1, 0, 2100);   // client 1 sent nothing
  TLoadCounts c = t.Counts();
  EXPECT_EQ(c.Sent, 2u);
  EXPECT_EQ(c.AcksMatched, 1u);
  EXPECT_EQ(c.AcksUnmatched, 5u);
  EXPECT_EQ(t.AckLatency().Count(), 1u);
  EXPECT_EQ(t.AckLatency().Max(), 500);
}

TEST(LoadTracker, MotionsMatchInOrderPerReceiverAndSkipLostOnes) {
  TLoadTracker t(3);
  for (std::size_t i = 0; i < 3; ++i) t.SetGuid(i, static_cast<uint32_t>(i + 1));
  for (int k = 0; k < 4; ++k) t.RecordSend(0, 1000 * (k + 1));
  // Receiver 1 sees all four events of client 0; receiver 2 misses event 1.
  for (uint32_t k = 0; k < 4; ++k) t.OnMotion(1, MotionFor(1, k), 1000 * (k + 1) + 100);
  t.OnMotion(2, MotionFor(1, 0), 1200);
  t.OnMotion(2, MotionFor(1, 2), 3200);
  t.OnMotion(2, MotionFor(1, 3), 4200);
  // The mover's own copy counts but is no fan-out sample.
  t.OnMotion(0, MotionFor(1, 0), 1050);
  // Unknown GUID, and a fifth motion that no event explains.
  t.OnMotion(1, MotionFor(99, 0), 9000);
  t.OnMotion(1, MotionFor(1, 4), 9000);
  TLoadCounts c = t.Counts();
  EXPECT_EQ(c.MotionsExpected, 12u);
  EXPECT_EQ(c.MotionsMatched, 8u);
  EXPECT_EQ(c.MotionsUnmatched, 2u);
  EXPECT_EQ(c.Skipped, 1u);
  EXPECT_EQ(t.FanOutLatency().Count(), 7u);
  EXPECT_EQ(t.FanOutLatency().Max(), 200);
  EXPECT_EQ(t.FanOutLatency().Percentile(0.5), 100);
}

TEST(LoadTracker, MessagesGoToTheirMatcherAndTheRunCompletesWhenAllCame) {
  TLoadTracker t(2);
  t.SetGuid(0, 10);
  t.SetGuid(1, 11);
  auto received = [](ServerMessageBody body, int64_t at) {
    TReceived r;
    r.Body = std::move(body);
    r.AtMicros = at;
    return r;
  };
  EXPECT_TRUE(t.Complete());            // nothing sent, nothing owed
  ASSERT_EQ(t.RecordSend(0, 100), 0u);  // KeyDown 1
  ASSERT_EQ(t.RecordSend(0, 200), 1u);  // KeyUp 1
  EXPECT_EQ(LoadEventAt(1).Value, 1u);
  // A KeyUpAck for event 0 is the wrong kind: the down/up of each ack type must not swap.
  t.OnMessage(0, received(msg::KeyUpAck{1, 0}, 300));
  t.OnMessage(0, received(msg::KeyDownAck{1, 0}, 400));
  t.OnMessage(0, received(msg::KeyUpAck{1, 1}, 500));
  t.OnMessage(0, received(msg::BEAT{1, 2}, 500));  // not the tracker's
  EXPECT_EQ(t.Counts().AcksMatched, 2u);
  EXPECT_EQ(t.Counts().AcksUnmatched, 1u);
  EXPECT_FALSE(t.Complete());  // the motions are owed
  for (std::size_t receiver = 0; receiver < 2; ++receiver)
    for (uint32_t k = 0; k < 2; ++k) t.OnMessage(receiver, received(MotionFor(10, k), 600));
  EXPECT_TRUE(t.Complete());
  EXPECT_EQ(t.FanOutLatency().Count(), 2u);  // receiver 1 only

  // The latencies handed over leave the tracker's empty, still usable.
  THistogram acks = t.TakeAckLatency();
  EXPECT_EQ(acks.Count(), 2u);
  EXPECT_EQ(acks.Max(), 300);
  EXPECT_EQ(t.AckLatency().Count(), 0u);
  t.OnMessage(0, received(msg::KeyDownAck{1, 0}, 700));  // a duplicate now
  EXPECT_EQ(t.Counts().AcksUnmatched, 2u);
}

}  // namespace
}  // namespace zq
