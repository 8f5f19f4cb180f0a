// The dispatch thread: binding on AssignGUID, TCP or UDP by type, wake-up by push, its log
// lines, and a failed internal check that costs one message only.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/Console.h"
#include "protocol/DispatchManager.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

namespace zq {
namespace {

GameMessagePtr Outgoing(uint32_t type, uint32_t guid, const std::string& data, int32_t to = 0) {
  auto m = std::make_unique<GameMessage>();
  m->MsgType = type;
  m->GUID = guid;
  m->TargetSocketID = to;
  m->SetData(data);
  return m;
}

class DispatchTest : public testing::Test {
 protected:
  DispatchTest() {
    for (auto* c : {&c1, &c2, &c3}) tables->Sockets.AddSocket(*c);
    tables->CanWrite[3] = 1;
    tables->Sockets[3].UDP = std::make_unique<test::FakeUdpEndpoint>(udp3);
  }
  // Serves the main-thread side until `done` holds; false after a generous deadline.
  bool Serve(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool ok = false;
    main.ServeUntil([&] { return (ok = done()) || std::chrono::steady_clock::now() > deadline; });
    return ok;
  }

  TMainThreadQueue main;
  std::unique_ptr<TServerTables> tables = std::make_unique<TServerTables>();
  TGameMessenger queue{DISPATCH_QUEUE_NAME};
  std::shared_ptr<test::UdpRecord> udp3 = std::make_shared<test::UdpRecord>();
  test::FakeTcpConnection c1{"127.0.0.1", 1}, c2{"127.0.0.1", 2}, c3{"127.0.0.1", 3};
  std::vector<std::string> log;  // main thread only
  TDispatchManager manager{main, queue, *tables, [this](const std::string& line) {
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
  queue.Push(Outgoing(AssignGUID, 7, guid7, 3));
  queue.Push(Outgoing(PlayerMotion, 7, "motion"));
  queue.Push(Outgoing(PlayerInfo, 7, "info"));
  for (int i = 0; i < 50; ++i) queue.Push(Outgoing(i % 2 ? KeyUpAck : PlayerSpeech, 7, "x"));
  ASSERT_TRUE(Serve([&] { return udp3->datagrams.size() == 26; }));
  EXPECT_EQ(tables->Sockets.GuidOf(3), 7u);
  std::string tcp = Frame(AssignGUID, guid7) + Frame(PlayerInfo, "info");
  for (int i = 0; i < 25; ++i) tcp += Frame(PlayerSpeech, "x");
  EXPECT_EQ(c3.sent, tcp);
  EXPECT_EQ(udp3->datagrams[0], Frame(PlayerMotion, "motion"));
  EXPECT_EQ(udp3->datagrams[25], Frame(KeyUpAck, "x"));
  manager.Terminate();
  manager.WaitFor();
  EXPECT_TRUE(c1.sent.empty() && c2.sent.empty() && console.Lines().empty());
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log[1] == "DM: DispatchManager shutdown. WaitResult=wrTimeout Terminated=True" ||
              log[1] == "DM: DispatchManager shutdown. WaitResult=wrSignaled Terminated=True")
      << log[1];
}

TEST_F(DispatchTest, UnboundGuidAndFailedChecks) {
  ConsoleCapture console;
  tables->Sockets.BindGUID(2, 20);  // number 2 is not writable yet
  // Queued before the start, so that one wake-up takes them all in one batch.
  queue.Push(Outgoing(PlayerInfo, 99, "lost"));    // bound to no entry
  queue.Push(Outgoing(PlayerMotion, 99, "lost"));  // by UDP to no entry
  queue.Push(Outgoing(AssignGUID, 31, "", 500));   // target out of range
  auto oversized = Outgoing(PlayerLeft, 20, "");
  oversized->Data.assign(300, 'x');
  queue.Push(std::move(oversized));
  queue.Push(Outgoing(PlayerLeft, 20, "after"));
  manager.Start();
  ASSERT_TRUE(Serve([&] { return !tables->PendingOut[2].empty(); }));
  EXPECT_EQ(tables->PendingOut[2], Frame(PlayerLeft, "after"));
  EXPECT_TRUE(tables->PendingOut[NOT_FOUND].empty());
  TNamedEvent::CreateEventA(DISPATCH_QUEUE_NAME)->Abandon();
  ASSERT_TRUE(Serve([&] { return manager.Finished(); }));
  manager.WaitFor();
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{
                "DispatchManager internal check failed: Data longer than 250 bytes in "
                "HandleOutgoing in DispatchManagerU",
                "GUID not in sockets table!", "GUID not in sockets table!",
                "UDP was NIL for SocketID=64 msg=" + Frame(PlayerMotion, "lost"),
                "DispatchManager internal check failed: TargetSocketID 500 out of range in "
                "BindGUID in DispatchManagerU"}));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "DM: DispatchManager shutdown. WaitResult=wrAbandoned Terminated=False");
}

}  // namespace
}  // namespace zq
