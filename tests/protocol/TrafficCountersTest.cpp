// The traffic counters: what SendTCP and SendUDP count (never what they drop),
// what the parsers count by transport, and that a record keeps its table's counters when it
// is freed and taken again.
#include <gtest/gtest.h>

#include "platform/Console.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"
#include "protocol/SocketTable.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

namespace zq {
namespace {

TEST(TrafficCounters, SendsCountWhatLeavesOrWaitsButNotWhatIsDropped) {
  ConsoleCapture console;
  TSocketTable sockets;
  const TTrafficCounters& t = sockets.Traffic();
  test::FakeTcpConnection conn("127.0.0.1", 41000);
  TSocketID& client = sockets.AddSocket(conn);
  const std::string info = Frame(PlayerInfo, "abc");
  SendTCP(client, info);
  SendTCP(client, info);
  EXPECT_EQ(t.SentMessages(TTransport::Tcp, MsgCode(PlayerInfo)), 2u);
  EXPECT_EQ(t.SentBytes(TTransport::Tcp), 2 * info.size());

  SendUDP(client, FrameUDP(PlayerMotion, "m"));  // no endpoint yet: dropped
  SendUDP(client, FrameUDP(PlayerMotion, std::string(MAX_UDP_PACKET, 'x')));  // too long
  EXPECT_EQ(t.SentMessages(TTransport::Udp, MsgCode(PlayerMotion)), 0u);
  auto record = std::make_shared<test::UdpRecord>();
  client.UDP = std::make_unique<test::FakeUdpEndpoint>(record);
  SendUDP(client, FrameUDP(PlayerMotion, "m"));
  EXPECT_EQ(t.SentMessages(TTransport::Udp, MsgCode(PlayerMotion)), 1u);
  EXPECT_EQ(t.SentBytes(TTransport::Udp), 5u);
  EXPECT_EQ(t.SentTotal(), 3u);

  // A record freed and taken by the next connection still counts into the table.
  sockets.RemoveSocket(conn);
  test::FakeTcpConnection next("127.0.0.1", 41001);
  TSocketID& again = sockets.AddSocket(next);
  SendTCP(again, info);
  EXPECT_EQ(t.SentMessages(TTransport::Tcp, MsgCode(PlayerInfo)), 3u);
}

TEST(TrafficCounters, ParsersCountWholeMessagesByTransport) {
  TSocketTable sockets;
  test::FakeTcpConnection conn("127.0.0.1", 41000);
  TSocketID& client = sockets.AddSocket(conn);
  TZQProtocolFormat protocol(sockets);
  int handled = 0;
  protocol.SetMessageHandler([&](TSocketID&, uint32_t, std::string_view) { ++handled; });
  // Two whole messages and the start of a third: the third counts once it is whole.
  std::string& buffer = client.ReceiveBuffer;
  buffer = Frame(KeyDown, "12345678901234") + Frame(ClientSay, "hi");
  const std::string third = Frame(KeyUp, "12345678901234");
  buffer += third.substr(0, 5);
  protocol.TCP_parseInputStream(client);
  const TTrafficCounters& t = sockets.Traffic();
  EXPECT_EQ(t.ReceivedMessages(TTransport::Tcp, MsgCode(KeyDown)), 1u);
  EXPECT_EQ(t.ReceivedMessages(TTransport::Tcp, MsgCode(ClientSay)), 1u);
  EXPECT_EQ(t.ReceivedMessages(TTransport::Tcp, MsgCode(KeyUp)), 0u);
  buffer += third.substr(5);
  protocol.TCP_parseInputStream(client);
  EXPECT_EQ(t.ReceivedMessages(TTransport::Tcp, MsgCode(KeyUp)), 1u);
  EXPECT_EQ(handled, 3);

  // By UDP (here for a record no connection holds: counted, not handled).
  protocol.UDP_parseInputStream(sockets[2], "127.0.0.1", FrameUDP(BEATACK, "12345"));
  EXPECT_EQ(t.ReceivedMessages(TTransport::Udp, MsgCode(BEATACK)), 1u);
  EXPECT_EQ(t.ReceivedTotal(), 4u);
  EXPECT_EQ(handled, 3);
}

}  // namespace
}  // namespace zq
