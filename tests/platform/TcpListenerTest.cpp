// TTcpListener over loopback with plain POSIX clients: event order, bytes, closes from inside
// handlers, resets, Stop, the send bound and the closed connections that go on sending.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/qt/EventGuard.h"
#include "platform/qt/TcpConnection.h"
#include "platform/qt/TcpListener.h"
#include "tests/platform/QtTestSupport.h"

namespace zq {
namespace {

using test::PumpFor;
using test::PumpUntil;
using test::TestClient;

// A listener on 127.0.0.1 with every event recorded as "<event>:<remote port>".
class TcpListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureApp();
    SetEventErrorReporter([this](const std::string& text) { reports.push_back(text); });
    listener.OnConnect = [this](ITcpConnection& c) { Note("connect", c); };
    listener.OnWrite = [this](ITcpConnection& c) { Note("write", c); };
    listener.OnRead = [this](ITcpConnection& c) {
      Note("read", c);
      received += c.ReceiveText(1 << 20);
    };
    listener.OnDisconnect = [this](ITcpConnection& c) {
      Note("disconnect", c);
      goneAddress = c.RemoteAddress();
    };
    listener.OnError = [this](ITcpConnection& c, int& code) {
      Note("error" + std::to_string(code), c);
    };
    listener.Listen(0, "127.0.0.1");
    ASSERT_NE(listener.Port(), 0);
  }
  void TearDown() override { SetEventErrorReporter(nullptr); }

  void Note(const std::string& event, ITcpConnection& c) {
    events.push_back(event + ":" + std::to_string(c.RemotePort()));
  }
  int Count(const std::string& event) const {
    int n = 0;
    for (const auto& e : events) n += e.rfind(event + ":", 0) == 0;
    return n;
  }
  std::string Tagged(const std::string& event, const TestClient& client) const {
    return event + ":" + std::to_string(client.LocalPort());
  }
  // Connects a client and waits for its ready-to-write event.
  void Admit(TestClient& client) {
    ASSERT_TRUE(client.Connect(listener.Port()));
    ASSERT_TRUE(PumpUntil([&] { return Count("write") > writesSeen; }));
    ++writesSeen;
  }

  TTcpListener listener;
  std::vector<std::string> events;
  std::vector<std::string> reports;
  std::string received;
  std::string goneAddress;
  int writesSeen = 0;
};

TEST_F(TcpListenerTest, ConnectThenWriteOnceThenBytesBothWaysAndOrderlyClose) {
  ITcpConnection* live = nullptr;
  listener.OnConnect = [&](ITcpConnection& c) {
    Note("connect", c);
    live = &c;
  };
  TestClient client;
  Admit(client);
  const std::string port = std::to_string(client.LocalPort());
  ASSERT_EQ(events, (std::vector<std::string>{"connect:" + port, "write:" + port}));
  EXPECT_EQ(listener.ConnectionCount(), 1u);
  EXPECT_EQ(live->RemoteAddress(), "127.0.0.1");
  EXPECT_EQ(live->RemotePort(), client.LocalPort());

  // Bytes in two pieces, including NUL and high bytes, arrive whole and in order.
  const std::string first(
      "\x01\x00\xff"
      "abc",
      6),
      second(70000, '\x7f');
  ASSERT_TRUE(client.Send(first));
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= first.size(); }));
  ASSERT_TRUE(client.Send(second));
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= first.size() + second.size(); }));
  EXPECT_EQ(received, first + second);

  // Server output reaches the client byte for byte.
  const std::string frame("\x0b\x00\x00\x30Welcome to X", 16);
  live->SendText(frame);
  live->SendText("");
  live->SendText("tail");
  ASSERT_TRUE(client.WaitForBytes(frame.size() + 4));
  EXPECT_EQ(client.received, frame + "tail");

  client.CloseOrderly();
  ASSERT_TRUE(PumpUntil([&] { return Count("disconnect") == 1; }));
  PumpFor(100);
  EXPECT_EQ(Count("disconnect"), 1);
  EXPECT_EQ(Count("error"), 0) << "an orderly close is no error";
  EXPECT_EQ(Count("write"), 1) << "ready-to-write comes once";
  EXPECT_EQ(events.back(), "disconnect:" + port);
  EXPECT_EQ(goneAddress, "127.0.0.1") << "address readable in the disconnect event";
  EXPECT_EQ(listener.ConnectionCount(), 0u);
}

// Output handed over in the connect event waits in the connection until its first
// ready-to-write, then leaves in order before anything sent later; a refusal written and
// closed in the connect event still reaches the peer.
TEST_F(TcpListenerTest, OutputBeforeTheFirstReadyToWriteWaitsInOrder) {
  std::size_t waiting = 0, waitingAtWrite = 0;
  listener.OnConnect = [&](ITcpConnection& c) {
    Note("connect", c);
    c.SendText("one,");
    c.SendText("two,");
    waiting = static_cast<TTcpConnection&>(c).PendingBytes();
  };
  listener.OnWrite = [&](ITcpConnection& c) {
    Note("write", c);
    waitingAtWrite = static_cast<TTcpConnection&>(c).PendingBytes();
    c.SendText("three");
  };
  TestClient client;
  Admit(client);
  ASSERT_TRUE(client.WaitForBytes(13));
  EXPECT_EQ(client.received, "one,two,three");
  EXPECT_EQ(waiting, 8u) << "nothing went to the kernel before the first ready-to-write";
  EXPECT_EQ(waitingAtWrite, 0u) << "and all of it at once then";

  listener.OnConnect = [&](ITcpConnection& c) {
    Note("connect", c);
    c.SendText("refused");
    c.Close();
  };
  TestClient refused;
  ASSERT_TRUE(refused.Connect(listener.Port()));
  ASSERT_TRUE(refused.WaitForBytes(7));
  EXPECT_EQ(refused.received, "refused");
  EXPECT_EQ(Count("write"), 1) << "a connection closed in its connect event is never writable";
}

TEST_F(TcpListenerTest, CloseInsideReadHandlerRaisesDisconnectBeforeReturningOnce) {
  listener.OnRead = [this](ITcpConnection& c) {
    Note("read", c);
    c.ReceiveText(1 << 20);
    c.Close();
    Note("closed", c);  // address and port still readable after Close
    c.Close();          // a second close does nothing
    c.SendText("ignored");
  };
  TestClient client;
  Admit(client);
  ASSERT_TRUE(client.Send("x"));
  ASSERT_TRUE(client.WaitForClose());
  PumpFor(100);
  const std::string port = std::to_string(client.LocalPort());
  EXPECT_EQ(events, (std::vector<std::string>{"connect:" + port, "write:" + port, "read:" + port,
                                              "disconnect:" + port, "closed:" + port}));
  EXPECT_TRUE(client.eof);
  EXPECT_EQ(client.received, "");
}

TEST_F(TcpListenerTest, RefusalInsideConnectHandlerStillDeliversItsBytes) {
  listener.OnConnect = [this](ITcpConnection& c) {
    Note("connect", c);
    c.SendText("Server is full.");
    c.Close();
  };
  TestClient client;
  ASSERT_TRUE(client.Connect(listener.Port()));
  ASSERT_TRUE(client.WaitForClose());
  EXPECT_EQ(client.received, "Server is full.");
  EXPECT_TRUE(client.eof);
  PumpFor(100);
  const std::string port = std::to_string(client.LocalPort());
  EXPECT_EQ(events, (std::vector<std::string>{"connect:" + port, "disconnect:" + port}))
      << "no ready-to-write after a close in the connect event";
}

TEST_F(TcpListenerTest, ResetArrivesAsError10054ThenDisconnect) {
  // The server's own handling: silence the report and close.
  listener.OnError = [this](ITcpConnection& c, int& code) {
    Note("error" + std::to_string(code), c);
    if (code == 10054) {
      code = 0;
      c.Close();
    }
  };
  TestClient client;
  Admit(client);
  const std::string port = std::to_string(client.LocalPort());
  client.CloseWithReset();
  ASSERT_TRUE(PumpUntil([&] { return Count("disconnect") == 1; }));
  PumpFor(100);
  EXPECT_EQ(events, (std::vector<std::string>{"connect:" + port, "write:" + port,
                                              "error10054:" + port, "disconnect:" + port}));
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(goneAddress, "127.0.0.1");
}

TEST_F(TcpListenerTest, UnhandledResetIsReportedAndStillEndsWithOneDisconnect) {
  TestClient a, b;
  Admit(a);
  Admit(b);
  ASSERT_TRUE(a.Send("pending data"));  // data in flight does not hide the reset
  ASSERT_TRUE(PumpUntil([&] { return received.size() == 12; }));
  const std::string resetError = Tagged("error10054", a), resetGone = Tagged("disconnect", a);
  const std::string where = "127.0.0.1:" + std::to_string(a.LocalPort());
  b.CloseOrderly();
  a.CloseWithReset();
  ASSERT_TRUE(PumpUntil([&] { return Count("disconnect") == 2; }));
  PumpFor(100);
  EXPECT_EQ(Count("disconnect"), 2);
  EXPECT_EQ(Count("error10054"), 1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("10054"), std::string::npos);
  EXPECT_NE(reports[0].find(where), std::string::npos) << reports[0];
  // For the reset client the error comes before its disconnect.
  auto errorAt = std::find(events.begin(), events.end(), resetError);
  auto goneAt = std::find(events.begin(), events.end(), resetGone);
  EXPECT_NE(goneAt, events.end());
  EXPECT_LT(errorAt, goneAt);
}

TEST_F(TcpListenerTest, StopClosesEveryConnectionWithoutDisconnectEvents) {
  std::vector<ITcpConnection*> connections;
  listener.OnConnect = [&](ITcpConnection& c) { connections.push_back(&c); };
  TestClient a, b;
  ASSERT_TRUE(a.Connect(listener.Port()));
  ASSERT_TRUE(b.Connect(listener.Port()));
  ASSERT_TRUE(PumpUntil([&] { return connections.size() == 2; }));
  connections[0]->SendText("last words");
  uint16_t port = listener.Port();
  listener.Stop();
  EXPECT_FALSE(listener.Listening());
  EXPECT_EQ(listener.ConnectionCount(), 0u);
  ASSERT_TRUE(a.WaitForClose());
  ASSERT_TRUE(b.WaitForClose());
  EXPECT_TRUE(a.eof && b.eof) << "clients see an orderly end";
  PumpFor(100);
  EXPECT_EQ(Count("disconnect"), 0);
  EXPECT_EQ(Count("error"), 0);
  TestClient late;
  EXPECT_FALSE(late.Connect(port));
}

TEST_F(TcpListenerTest, SlowReaderOverflowIsRaisedOutsideSendAndDropsOutput) {
  const std::size_t limit = 64 * 1024;
  listener.SetSendLimit(limit);
  ITcpConnection* connection = nullptr;
  bool inSend = false, overflowInsideSend = false;
  int overflows = 0;
  listener.OnConnect = [&](ITcpConnection& c) { connection = &c; };
  listener.OnOverflow = [&](ITcpConnection& c) {
    overflowInsideSend = inSend;
    ++overflows;
    Note("overflow", c);
    c.Close();
  };
  TestClient client;
  ASSERT_TRUE(client.Connect(listener.Port()));
  client.SetSmallReceiveBuffer();
  ASSERT_TRUE(PumpUntil([&] { return connection != nullptr; }));
  const std::string chunk(16 * 1024, 'z');
  std::size_t sent = 0;
  // The client never reads: the kernel buffers fill, then the send buffer passes the bound.
  ASSERT_TRUE(PumpUntil([&] {
    if (overflows == 0 && sent < (256u << 20)) {
      inSend = true;
      connection->SendText(chunk);
      inSend = false;
      sent += chunk.size();
    }
    return overflows > 0;
  }));
  EXPECT_FALSE(overflowInsideSend);
  ASSERT_TRUE(PumpUntil([&] { return Count("disconnect") == 1; }));
  PumpFor(100);
  EXPECT_EQ(overflows, 1);
  EXPECT_EQ(events.back(), "disconnect:" + std::to_string(client.LocalPort()));
}

TEST_F(TcpListenerTest, OutputPastTheBoundIsDroppedUntilTheServerActs) {
  listener.SetSendLimit(64 * 1024);
  ITcpConnection* connection = nullptr;
  int overflows = 0;
  listener.OnConnect = [&](ITcpConnection& c) { connection = &c; };
  listener.OnOverflow = [&](ITcpConnection&) { ++overflows; };
  TestClient client;
  ASSERT_TRUE(client.Connect(listener.Port()));
  client.SetSmallReceiveBuffer();
  ASSERT_TRUE(PumpUntil([&] { return connection != nullptr; }));
  // The client does not read: the kernel takes what it can, then the send buffer fills.
  std::string sent;
  for (int i = 0; i < 4096 && overflows == 0; ++i) {
    const std::string chunk(4096, static_cast<char>('a' + i % 26));
    connection->SendText(chunk);
    EXPECT_EQ(overflows, 0) << "raised queued, never from inside SendText";
    sent += chunk;
    PumpFor(1);
  }
  ASSERT_EQ(overflows, 1);
  connection->SendText("late");  // past the bound: dropped until the server acts
  ASSERT_TRUE(PumpUntil([&] {
    client.Poll();
    return client.received.size() > 64 * 1024 && client.received.size() < sent.size() &&
           std::string_view(sent).substr(0, client.received.size()) == client.received;
  })) << client.received.size()
      << " of " << sent.size();
  PumpFor(200);
  client.Poll();
  EXPECT_EQ(client.received, sent.substr(0, client.received.size()))
      << "what arrives is what was sent, in order, up to the bound";
  EXPECT_EQ(client.received.find("late"), std::string::npos);
  EXPECT_EQ(overflows, 1);
}

TEST_F(TcpListenerTest, ListenFailureNamesThePort) {
  TTcpListener second;
  try {
    second.Listen(listener.Port(), "127.0.0.1");
    FAIL() << "a port in use must not be listened on twice";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(std::to_string(listener.Port())), std::string::npos)
        << e.what();
  }
  EXPECT_THROW(second.Listen(0, "not-an-address"), EInOutError);
  EXPECT_FALSE(second.Listening());
}

TEST_F(TcpListenerTest, ExceptionInHandlerIsReportedAndEventsGoOn) {
  listener.OnRead = [this](ITcpConnection& c) {
    Note("read", c);
    c.ReceiveText(1 << 20);
    InternalCheckFailed("CNT > MAX_SOCKETS in AddSocket", "ZQPROTOCOL");
  };
  TestClient client;
  Admit(client);
  ASSERT_TRUE(client.Send("a"));
  ASSERT_TRUE(PumpUntil([&] { return Count("read") == 1; }));
  ASSERT_TRUE(client.Send("b"));
  ASSERT_TRUE(PumpUntil([&] { return Count("read") == 2; }));
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_NE(reports[0].find("CNT > MAX_SOCKETS in AddSocket in ZQPROTOCOL"), std::string::npos);
}

TEST_F(TcpListenerTest, AHandlerThatTakesLittleGetsTheRestOnLaterTurns) {
  // 300 KB, each read event taking at most 1000 bytes: the rest stays readable, is raised again
  // on later turns, and arrives whole and in order.
  listener.OnRead = [&](ITcpConnection& c) {
    Note("read", c);
    received += c.ReceiveText(1000);
  };
  TestClient client;
  Admit(client);
  std::string sent;
  for (int i = 0; i < 300 * 1000; ++i) sent.push_back(static_cast<char>('a' + i % 26));
  ASSERT_TRUE(client.Send(sent));
  ASSERT_TRUE(PumpUntil([&] { return received.size() == sent.size(); }));
  EXPECT_EQ(received, sent);
  EXPECT_GE(Count("read"), 300);
}

TEST_F(TcpListenerTest, PausedReadingHoldsInputUntilResumed) {
  TestClient client;
  Admit(client);
  listener.SetReadingPaused(true);
  ASSERT_TRUE(client.Send("held"));
  PumpFor(200);
  EXPECT_EQ(Count("read"), 0) << "no read event while paused";
  EXPECT_TRUE(received.empty());
  listener.SetReadingPaused(false);
  ASSERT_TRUE(PumpUntil([&] { return received == "held"; }));
  // A close that comes while paused waits behind the data it follows.
  listener.SetReadingPaused(true);
  ASSERT_TRUE(client.Send("last"));
  client.CloseOrderly();
  PumpFor(200);
  EXPECT_EQ(Count("disconnect"), 0);
  listener.SetReadingPaused(false);
  ASSERT_TRUE(PumpUntil([&] { return Count("disconnect") == 1; }));
  EXPECT_EQ(received, "heldlast");
}

TEST_F(TcpListenerTest, AHeldConnectionWaitsAloneAndReadsAgainWhenTheHoldEnds) {
  ITcpConnection* held = nullptr;
  listener.OnConnect = [&](ITcpConnection& c) {
    Note("connect", c);
    if (!held) held = &c;
  };
  TestClient first, second;
  Admit(first);
  Admit(second);
  ASSERT_NE(held, nullptr);
  held->HoldReading(60000);
  ASSERT_TRUE(first.Send("held"));
  ASSERT_TRUE(second.Send("free"));
  ASSERT_TRUE(PumpUntil([&] { return received == "free"; })) << "the other connection reads on";
  PumpFor(200);
  EXPECT_EQ(Count("read"), 1) << "one read, the other connection's";
  held->HoldReading(0);
  ASSERT_TRUE(PumpUntil([&] { return received == "freeheld"; }));

  // A short hold ends by itself; a close meanwhile waits behind the data it follows.
  held->HoldReading(300);
  ASSERT_TRUE(first.Send("last"));
  first.CloseOrderly();
  ASSERT_TRUE(PumpUntil([&] { return Count("disconnect") == 1; }));
  EXPECT_EQ(received, "freeheldlast");
}

// Output the kernel cannot take at once is still sent after the close, and a peer that reads
// gets all of it and then the end. (The linger time is long here: how much a loaded machine
// sends in the default second is not the point.)
TEST_F(TcpListenerTest, AClosedConnectionGoesOnSendingWhatTheKernelHasNotTaken) {
  listener.SetLingerTime(60000);
  const std::string output(900 * 1024, 'o');
  ITcpConnection* connection = nullptr;
  listener.OnConnect = [&](ITcpConnection& c) { connection = &c; };
  TestClient client;
  ASSERT_TRUE(client.Connect(listener.Port()));
  ASSERT_TRUE(PumpUntil([&] { return connection != nullptr; }));
  connection->SendText(output);
  connection->Close();
  EXPECT_EQ(listener.LingeringCount(), 1u) << "the kernel cannot take 900 KiB at once";
  ASSERT_TRUE(client.WaitForClose(60000));
  EXPECT_EQ(client.received.size(), output.size());
  EXPECT_EQ(client.received.find_first_not_of('o'), std::string::npos);
  EXPECT_TRUE(PumpUntil([&] { return listener.LingeringCount() == 0; }));
}

// At most 64 closed sockets linger at a time, the others close at once; a lingering socket
// whose peer never reads ends within its time.
TEST_F(TcpListenerTest, AtMost64ClosedConnectionsLingerAndEachOnlyForItsTime) {
  const std::string output(900 * 1024, 'o');
  std::vector<ITcpConnection*> connections;
  listener.OnConnect = [&](ITcpConnection& c) { connections.push_back(&c); };
  constexpr int SLOW = 70;
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < SLOW; ++i) {
    clients.push_back(std::make_unique<TestClient>());
    ASSERT_TRUE(clients.back()->Connect(listener.Port())) << i;
    clients.back()->SetSmallReceiveBuffer();
  }
  ASSERT_TRUE(PumpUntil([&] { return connections.size() == SLOW; }));
  for (ITcpConnection* c : connections) {
    c->SendText(output);
    c->Close();
  }
  EXPECT_EQ(listener.LingeringCount(), 64u);
  ASSERT_TRUE(PumpUntil([&] { return listener.LingeringCount() == 0; }))
      << "a lingering socket ends within its time even when its peer never reads";
}

}  // namespace
}  // namespace zq
