// The dispatch thread: binding on AssignGUID for the connection that asked, releasing the
// binding, TCP or UDP by type, wake-up by push, its log lines, messages that reach nobody,
// and a failed internal check that costs one message only. Then the hand-off to the main
// thread, step by step: this test's thread plays the main thread and serves its queue only
// when it chooses, so it can hold a batch unserved while the next is framed and left ready.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/Console.h"
#include "protocol/DispatchManager.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

namespace zq {
namespace {

GameMessagePtr Outgoing(uint32_t type, uint32_t guid, const std::string& data, int32_t to = 0,
                        uint64_t serial = 0) {
  auto m = std::make_unique<GameMessage>();
  m->MsgType = type;
  m->GUID = guid;
  m->TargetSocketID = to;
  m->Serial = serial;
  m->SetData(data);
  return m;
}

constexpr auto GENEROUS = std::chrono::seconds(30);  // bounds every wait

// The dispatch thread's steps as its observer hears them. The thread can be held at one kind
// of step until the test lets it go.
class StepLog {
 public:
  std::function<void(TDispatchStep)> Observer() {
    return [this](TDispatchStep step) {
      std::unique_lock guard(lock_);
      steps_.push_back(step);
      changed_.notify_all();
      if (step == holdAt_) changed_.wait_for(guard, GENEROUS, [&] { return !holdAt_; });
    };
  }
  void HoldAt(TDispatchStep step) {
    std::lock_guard guard(lock_);
    holdAt_ = step;
  }
  void Release() {
    std::lock_guard guard(lock_);
    holdAt_.reset();
    changed_.notify_all();
  }
  // Waits until `count` steps of that kind have been told.
  bool WaitFor(TDispatchStep step, int count = 1) {
    std::unique_lock guard(lock_);
    return changed_.wait_for(
        guard, GENEROUS, [&] { return std::count(steps_.begin(), steps_.end(), step) >= count; });
  }
  std::vector<TDispatchStep> Steps() {
    std::lock_guard guard(lock_);
    return steps_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<TDispatchStep> steps_;
  std::optional<TDispatchStep> holdAt_;
};

// Ends the program when a test outlives its bound: a dispatch thread that never ends cannot be
// waited for (WaitFor has no time-out), and a broken build should fail, not hang.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds bound)
      : thread_([this, bound, name = std::string(CurrentTest())] {
          std::unique_lock guard(lock_);
          if (!ended_.wait_for(guard, bound, [&] { return done_; })) {
            std::fprintf(stderr, "%s: still running after %lld s; giving up\n", name.c_str(),
                         static_cast<long long>(bound.count()));
            std::_Exit(1);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard guard(lock_);
      done_ = true;
    }
    ended_.notify_all();
    thread_.join();
  }

 private:
  static const char* CurrentTest() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    return info ? info->name() : "?";
  }
  std::mutex lock_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};

class DispatchTest : public testing::Test {
 protected:
  DispatchTest() {
    for (auto* c : {&c1, &c2, &c3}) sockets.AddSocket(*c);
    sockets[3].UDP = std::make_unique<test::FakeUdpEndpoint>(udp3);
  }
  // Before the members go: a thread held at a step goes on, and no send reaches a hook that
  // refers to a finished test's locals.
  ~DispatchTest() override {
    steps.Release();
    c1.onSend = c3.onSend = nullptr;
  }
  // Serves the main-thread side until `done` holds; false after a generous deadline.
  bool Serve(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool ok = false;
    main.ServeUntil([&] { return (ok = done()) || std::chrono::steady_clock::now() > deadline; });
    return ok;
  }
  void Stop() {
    manager.Terminate();
    manager.WaitFor();
  }

  Watchdog watchdog{4 * GENEROUS};  // first in, last out
  TMainThreadQueue main;
  TSocketTable sockets;
  TGameMessenger queue{DISPATCH_QUEUE_NAME};
  std::shared_ptr<test::UdpRecord> udp3 = std::make_shared<test::UdpRecord>();
  test::FakeTcpConnection c1{"127.0.0.1", 1}, c2{"127.0.0.1", 2}, c3{"127.0.0.1", 3};
  std::vector<std::string> log;  // main thread only
  StepLog steps;                 // outlives the thread that tells it
  TDispatchManager manager{main, queue, sockets, [this](TLogLevel, const std::string& line) {
                             EXPECT_TRUE(main.IsMainThread());
                             log.push_back(line);
                           }};
};

TEST_F(DispatchTest, AssignGuidBindsThenSendsInOrder) {
  ConsoleCapture console;
  manager.Start();
  ASSERT_TRUE(Serve([&] { return !log.empty(); }));
  EXPECT_EQ(log[0], "DM: DispatchManager startup.");
  // Pushed while the thread waits: sent without the time-out's help, which never drains.
  const std::string guid7("\x07\0\0\0", 4);
  queue.Push(Outgoing(AssignGUID, 7, guid7, 3, sockets[3].Serial));
  queue.Push(Outgoing(PlayerMotion, 7, "motion"));
  queue.Push(Outgoing(PlayerInfo, 7, "info"));
  for (int i = 0; i < 50; ++i) queue.Push(Outgoing(i % 2 ? KeyUpAck : PlayerSpeech, 7, "x"));
  ASSERT_TRUE(Serve([&] { return udp3->datagrams.size() == 26; }));
  EXPECT_EQ(sockets.GuidOf(3), 7u);
  std::string tcp = Frame(AssignGUID, guid7) + Frame(PlayerInfo, "info");
  for (int i = 0; i < 25; ++i) tcp += Frame(PlayerSpeech, "x");
  EXPECT_EQ(c3.sent, tcp);
  EXPECT_EQ(udp3->datagrams[0], Frame(PlayerMotion, "motion"));
  EXPECT_EQ(udp3->datagrams[25], Frame(KeyUpAck, "x"));
  Stop();
  EXPECT_TRUE(c1.sent.empty() && c2.sent.empty() && console.Lines().empty());
  EXPECT_EQ(manager.Unaddressed(), 0u);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log[1] == "DM: DispatchManager shutdown. WaitResult=wrTimeout Terminated=True" ||
              log[1] == "DM: DispatchManager shutdown. WaitResult=wrSignaled Terminated=True")
      << log[1];
}

TEST_F(DispatchTest, BindingsFollowTheConnectionNotTheNumber) {
  ConsoleCapture console;
  // Number 3 asked to join and left; another connection took the number before the binding.
  const uint64_t gone = sockets[3].Serial;
  sockets.RemoveSocket(c3);
  test::FakeTcpConnection taker{"127.0.0.1", 4};
  sockets.AddSocket(taker);
  // Dropped: not for this connection, nor are the player's messages until its release, and
  // none of them is counted: the game had not heard of the departure yet.
  queue.Push(Outgoing(AssignGUID, 1, "a", 3, gone));
  queue.Push(Outgoing(StartPosition, 1, "s", 3, gone));
  queue.Push(Outgoing(PlayerInfo, 1, "i"));
  // Number 2 is bound and then released twice: once too late (a stale GUID), once for good.
  sockets.BindGUID(2, 5);
  queue.Push(Outgoing(ReleaseGUID, 6, "", 2, sockets[2].Serial));  // not its GUID any more
  queue.Push(Outgoing(ReleaseGUID, 5, "", 2, gone));               // not this connection
  queue.Push(Outgoing(PlayerLeft, 5, "still"));
  queue.Push(Outgoing(ReleaseGUID, 5, "", 2, sockets[2].Serial));
  queue.Push(Outgoing(PlayerLeft, 5, "gone"));
  manager.Start();
  ASSERT_TRUE(Serve([&] { return manager.Unaddressed() == 1; }));  // "gone", the last
  Stop();
  EXPECT_EQ(sockets.GuidOf(3), 0u);
  EXPECT_TRUE(taker.sent.empty()) << "nothing of the departed player's reaches the newcomer";
  EXPECT_EQ(c2.sent, Frame(PlayerLeft, "still"));
  EXPECT_EQ(sockets.GuidOf(2), 0u);
}

TEST_F(DispatchTest, PlayersLeavingTogetherAreNoFaultButAReleasedGuidIs) {
  // Three players leave at once: their connections are gone before the game applies the
  // first departure, so each PlayerLeft goes to players already gone.
  sockets.BindGUID(1, 10);
  sockets.BindGUID(2, 20);
  sockets.BindGUID(3, 30);
  for (int s = 1; s <= 3; ++s) {
    manager.Departed(sockets.GuidOf(s));
    sockets.BindGUID(s, 0);
  }
  manager.Departed(0);  // a player whose GUID was never bound: nothing
  auto left = [&](int32_t s, uint32_t guid, std::vector<uint32_t> to) {
    if (!to.empty()) {  // the game sends it to those in view only
      auto m = Outgoing(PlayerLeft, 0, "left");
      m->Recipients = std::move(to);
      queue.Push(std::move(m));
    }
    queue.Push(Outgoing(ReleaseGUID, guid, "", s, sockets[s].Serial));
  };
  left(1, 10, {20, 30});
  left(2, 20, {30});
  left(3, 30, {});
  // Released: a message for 10 now is the game's fault, and counted.
  queue.Push(Outgoing(PlayerInfo, 10, "late"));
  manager.Start();
  ASSERT_TRUE(Serve([&] { return manager.Unaddressed() == 1; }));
  Stop();
  EXPECT_TRUE(c1.sent.empty() && c2.sent.empty() && c3.sent.empty());
}

TEST_F(DispatchTest, AMessageForSeveralPlayersReachesEachInOrder) {
  sockets.BindGUID(1, 10);
  sockets.BindGUID(3, 30);
  auto info = Outgoing(PlayerInfo, 0, "about");
  info->Recipients = {30, 99, 10, 30};  // 99: nobody holds it
  queue.Push(std::move(info));
  auto motion = Outgoing(PlayerMotion, 0, "moved");
  motion->Recipients = {30};
  queue.Push(std::move(motion));
  queue.Push(Outgoing(PlayerLeft, 10, "after"));
  manager.Start();
  ASSERT_TRUE(Serve([&] { return c1.sent.size() == 2 * 9; }));
  Stop();
  EXPECT_EQ(c3.sent, Frame(PlayerInfo, "about") + Frame(PlayerInfo, "about"));
  EXPECT_EQ(c1.sent, Frame(PlayerInfo, "about") + Frame(PlayerLeft, "after"));
  EXPECT_EQ(udp3->datagrams, std::vector<std::string>{Frame(PlayerMotion, "moved")});
  EXPECT_EQ(manager.Unaddressed(), 1u);
}

TEST_F(DispatchTest, UnboundGuidAndFailedChecks) {
  ConsoleCapture console;
  sockets.BindGUID(2, 20);
  // Queued before the start, so that one wake-up takes them all in one batch.
  queue.Push(Outgoing(PlayerInfo, 99, "lost"));    // bound to no connection
  queue.Push(Outgoing(PlayerMotion, 99, "lost"));  // by UDP to no connection
  queue.Push(Outgoing(AssignGUID, 31, "", 500));   // target out of range
  auto oversized = Outgoing(PlayerLeft, 20, "");
  oversized->Data.assign(300, 'x');
  queue.Push(std::move(oversized));
  queue.Push(Outgoing(PlayerLeft, 20, "after"));
  manager.Start();
  ASSERT_TRUE(Serve([&] { return !c2.sent.empty(); }));
  EXPECT_EQ(c2.sent, Frame(PlayerLeft, "after"));
  EXPECT_EQ(manager.Unaddressed(), 2u);
  queue.Abandon();
  ASSERT_TRUE(Serve([&] { return manager.Finished(); }));
  manager.WaitFor();
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{
                "DispatchManager internal check failed: Data longer than 250 bytes in "
                "HandleOutgoing in DispatchManagerU",
                "GUID not in sockets table!",
                "DispatchManager internal check failed: TargetSocketID 500 out of range in "
                "BindGUID in DispatchManagerU"}));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "DM: DispatchManager shutdown. WaitResult=wrAbandoned Terminated=False");
}

// GUIDs 10 and 30 on numbers 1 and 3, both writable; the thread running, its startup line
// served. Nothing is queued while that line is served, so no batch can be handed over then:
// from here on the main thread's queue is served only where a test says.
class HandOffTest : public DispatchTest {
 protected:
  void SetUp() override {
    sockets.BindGUID(1, 10);
    sockets.BindGUID(3, 30);
    manager.SetStepObserver(steps.Observer());
    manager.Start();
    ASSERT_TRUE(Serve([&] { return !log.empty(); }));
  }
  // `count` messages alternately for GUIDs 10 and 30, each naming its batch and place, in one
  // push (one wake-up); what each addressee should get is noted.
  void PushBatch(const std::string& tag, int count) {
    std::vector<GameMessagePtr> batch;
    for (int i = 0; i < count; ++i) {
      const std::string data = tag + std::to_string(i);
      batch.push_back(Outgoing(PlayerInfo, i % 2 ? 30 : 10, data));
      (i % 2 ? want3 : want1) += Frame(PlayerInfo, data);
    }
    queue.PushAll(batch);
  }
  bool Delivered() const {
    return c1.sent.size() >= want1.size() && c3.sent.size() >= want3.size();
  }
  // Terminates while the main thread holds what it was given unserved, then waits for the
  // thread as the server does: the thread waits for the batches, WaitFor serves them, and the
  // last log line comes after the last send.
  void ShutDownUnserved() {
    std::vector<std::size_t> linesAtSend;
    c1.onSend = c3.onSend = [&](std::string_view) { linesAtSend.push_back(log.size()); };
    manager.Terminate();
    ASSERT_TRUE(steps.WaitFor(TDispatchStep::ShutdownWait));
    EXPECT_FALSE(manager.Finished());
    EXPECT_EQ(main.Pending(), 1u);
    EXPECT_EQ(log.size(), 1u);
    manager.WaitFor();
    EXPECT_EQ(c1.sent, want1);
    EXPECT_EQ(c3.sent, want3);
    EXPECT_EQ(linesAtSend, std::vector<std::size_t>(linesAtSend.size(), 1u));
    ASSERT_EQ(log.size(), 2u);
    // Signaled when Terminate came between the hand-over and the loop's test.
    EXPECT_TRUE(log[1] == "DM: DispatchManager shutdown. WaitResult=wrTimeout Terminated=True" ||
                log[1] == "DM: DispatchManager shutdown. WaitResult=wrSignaled Terminated=True")
        << log[1];
  }

  std::string want1, want3;
};

TEST_F(HandOffTest, ABatchReadyWhileOneIsHeldGoesOutAfterItAndTheThirdWaitsItsTurn) {
  PushBatch("a", 4);
  ASSERT_TRUE(steps.WaitFor(TDispatchStep::HandedOver));
  EXPECT_EQ(main.Pending(), 1u);  // posted, held unserved
  PushBatch("b", 4);
  ASSERT_TRUE(steps.WaitFor(TDispatchStep::MarkedReady));
  EXPECT_EQ(main.Pending(), 1u) << "a batch is not posted while another is in flight";
  PushBatch("c", 3);
  ASSERT_TRUE(steps.WaitFor(TDispatchStep::Deferred));
  EXPECT_EQ(queue.Size(), 3u) << "nothing is framed over a batch left ready";
  EXPECT_TRUE(c1.sent.empty() && c3.sent.empty());
  // The main thread takes the ready batch as soon as it has sent the first, and wakes the
  // thread (the third batch's push was spent on the deferred wake-up): the third is framed
  // and left ready while the second is being sent.
  bool framedMeanwhile = false;
  const std::string firstOfSecond = Frame(PlayerInfo, "b0");
  c1.onSend = [&](std::string_view bytes) {
    if (bytes == firstOfSecond) framedMeanwhile = steps.WaitFor(TDispatchStep::MarkedReady, 2);
  };
  ASSERT_TRUE(Serve([&] { return Delivered(); }));
  EXPECT_TRUE(framedMeanwhile);
  EXPECT_EQ(c1.sent, want1);
  EXPECT_EQ(c3.sent, want3);
  EXPECT_EQ(steps.Steps(),
            (std::vector<TDispatchStep>{TDispatchStep::HandedOver, TDispatchStep::MarkedReady,
                                        TDispatchStep::Deferred, TDispatchStep::MarkedReady}));
  EXPECT_EQ(main.Pending(), 0u) << "one post sent all three";
  Stop();
  EXPECT_EQ(manager.Unaddressed(), 0u);
}

TEST_F(HandOffTest, AFullBatchIsHandedOverAndTheRestFramedWithoutAnotherPush) {
  // Held at a wake-up with nothing pending, the thread does not wait on the queue: all that is
  // pushed meanwhile is one signal, which its next wait takes.
  steps.HoldAt(TDispatchStep::NothingToSend);
  queue.Signal();
  ASSERT_TRUE(steps.WaitFor(TDispatchStep::NothingToSend));
  EXPECT_EQ(main.Pending(), 0u) << "an empty batch is never posted";
  auto everyone = Outgoing(PlayerInfo, 0, "all");
  everyone->Recipients.assign(DISPATCH_MAX_BATCH, 30);  // a full batch by itself
  queue.Push(std::move(everyone));
  for (std::size_t i = 0; i < DISPATCH_MAX_BATCH; ++i) want3 += Frame(PlayerInfo, "all");
  // The ring's other slots, then priority messages beyond it: more than one PopAll takes.
  for (std::size_t i = 0; i + 2 < QUEUE_SIZE + 5; ++i) {
    const std::string data = "r" + std::to_string(i);
    auto message = Outgoing(PlayerLeft, 10, data);
    if (i + 2 < QUEUE_SIZE)
      ASSERT_TRUE(queue.Push(std::move(message)));
    else
      queue.PushPriority(std::move(message));
    want1 += Frame(PlayerLeft, data);
  }
  ASSERT_EQ(queue.Size(), QUEUE_SIZE + 4);
  steps.Release();
  // The first batch stops at the bound with messages left: the thread wakes itself for them
  // and leaves them ready, the first still unserved.
  ASSERT_TRUE(steps.WaitFor(TDispatchStep::MarkedReady));
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_EQ(main.Pending(), 1u);
  ASSERT_TRUE(Serve([&] { return Delivered(); }));
  EXPECT_EQ(c1.sent, want1);
  EXPECT_TRUE(c3.sent == want3) << c3.sent.size() << " bytes, not " << want3.size();
  EXPECT_EQ(steps.Steps(),
            (std::vector<TDispatchStep>{TDispatchStep::NothingToSend, TDispatchStep::HandedOver,
                                        TDispatchStep::MarkedReady}));
}

TEST_F(HandOffTest, ShutdownWaitsForTheBatchInFlight) {
  PushBatch("a", 3);
  ASSERT_TRUE(steps.WaitFor(TDispatchStep::HandedOver));
  ShutDownUnserved();
}

TEST_F(HandOffTest, ShutdownWaitsForTheBatchLeftReady) {
  PushBatch("a", 3);
  ASSERT_TRUE(steps.WaitFor(TDispatchStep::HandedOver));
  PushBatch("b", 2);
  ASSERT_TRUE(steps.WaitFor(TDispatchStep::MarkedReady));
  ShutDownUnserved();
}

// No step forced: bursts of every size from a game thread while the main thread serves as it
// goes, so that the hand-off runs every way the timing takes it (and under ThreadSanitizer).
TEST_F(HandOffTest, BurstsFromAnotherThreadReachEachAddresseeOnceInOrder) {
  constexpr int BURSTS = 300;
  struct TWant {
    std::string to1, to3;
    std::vector<std::string> udp3;
  };
  // Burst b has b % 41 + 1 messages, alternately for GUIDs 10 and 30; some of 30's by UDP.
  auto burstOf = [](int burst, TWant& want) {
    std::vector<GameMessagePtr> messages;
    for (int i = 0; i <= burst % 41; ++i) {
      const std::string data = std::to_string(burst) + ":" + std::to_string(i);
      if (i % 2 == 0) {
        messages.push_back(Outgoing(PlayerInfo, 10, data));
        want.to1 += Frame(PlayerInfo, data);
      } else if (i % 7 == 3) {
        messages.push_back(Outgoing(PlayerMotion, 30, data));
        want.udp3.push_back(Frame(PlayerMotion, data));
      } else {
        messages.push_back(Outgoing(PlayerInfo, 30, data));
        want.to3 += Frame(PlayerInfo, data);
      }
    }
    return messages;
  };
  TWant want;
  for (int burst = 0; burst < BURSTS; ++burst) burstOf(burst, want);
  std::thread game([&] {
    TWant unused;
    for (int burst = 0; burst < BURSTS; ++burst) {
      std::vector<GameMessagePtr> messages = burstOf(burst, unused);
      if (!queue.WaitForRoom(messages.size(), 30000)) return;
      queue.PushAll(messages);
    }
  });
  const bool delivered = Serve([&] {
    return c1.sent.size() >= want.to1.size() && c3.sent.size() >= want.to3.size() &&
           udp3->datagrams.size() >= want.udp3.size();
  });
  game.join();
  ASSERT_TRUE(delivered);
  Stop();
  EXPECT_EQ(queue.Refused(), 0u);
  EXPECT_EQ(c1.sent, want.to1);
  EXPECT_EQ(c3.sent, want.to3);
  EXPECT_EQ(udp3->datagrams, want.udp3);
  EXPECT_EQ(manager.Unaddressed(), 0u);
}

}  // namespace
}  // namespace zq
