// The dispatch thread: binding on AssignGUID for the connection that asked, releasing the
// binding, TCP or UDP by type, wake-up by push, its log lines, messages that reach nobody,
// and a failed internal check that costs one message only.
#include <gtest/gtest.h>

#include <chrono>

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

class DispatchTest : public testing::Test {
 protected:
  DispatchTest() {
    for (auto* c : {&c1, &c2, &c3}) sockets.AddSocket(*c);
    sockets[3].UDP = std::make_unique<test::FakeUdpEndpoint>(udp3);
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

  TMainThreadQueue main;
  TSocketTable sockets;
  TGameMessenger queue{DISPATCH_QUEUE_NAME};
  std::shared_ptr<test::UdpRecord> udp3 = std::make_shared<test::UdpRecord>();
  test::FakeTcpConnection c1{"127.0.0.1", 1}, c2{"127.0.0.1", 2}, c3{"127.0.0.1", 3};
  std::vector<std::string> log;  // main thread only
  TDispatchManager manager{main, queue, sockets, [this](const std::string& line) {
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
  queue.Push(Outgoing(AssignGUID, 1, "a", 3, gone));  // dropped: not for this connection
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
  ASSERT_TRUE(Serve([&] { return manager.Unaddressed() == 4; }));
  Stop();
  EXPECT_EQ(sockets.GuidOf(3), 0u);
  EXPECT_TRUE(taker.sent.empty()) << "nothing of the departed player's reaches the newcomer";
  EXPECT_EQ(c2.sent, Frame(PlayerLeft, "still"));
  EXPECT_EQ(sockets.GuidOf(2), 0u);
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

}  // namespace
}  // namespace zq
