// The traffic counters: what SendTCP and SendUDP count (sent or parked, never what they drop),
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
  SendTCP(client, info);  // parked
  client.CanWrite = true;
  SendTCP(client, info);  // sent with the parked one
  EXPECT_EQ(t.SentMessages(TTransport::Tcp, MsgCode(PlayerInfo)), 2u);
  EXPECT_EQ(t.SentBytes(TTransport::Tcp), 2 * info.size());

  client.CanWrite = false;
  const std::string big = Frame(PlayerLeft, std::string(60000, 'p'));
  const std::size_t fits = MAX_PENDING_OUT / big.size();
  for (std::size_t i = 0; i < fits + 3; ++i) SendTCP(client, big);
  EXPECT_EQ(t.SentMessages(TTransport::Tcp, MsgCode(PlayerLeft)), fits);

  SendUDP(client, FrameUDP(PlayerMotion, "m"));  // no endpoint yet: dropped
  SendUDP(client, FrameUDP(PlayerMotion, std::string(MAX_UDP_PACKET, 'x')));  // too long
  EXPECT_EQ(t.SentMessages(TTransport::Udp, MsgCode(PlayerMotion)), 0u);
  auto record = std::make_shared<test::UdpRecord>();
  client.UDP = std::make_unique<test::FakeUdpEndpoint>(record);
  SendUDP(client, FrameUDP(PlayerMotion, "m"));
  EXPECT_EQ(t.SentMessages(TTransport::Udp, MsgCode(PlayerMotion)), 1u);
  EXPECT_EQ(t.SentBytes(TTransport::Udp), 5u);
  EXPECT_EQ(t.SentTotal(), 2 + fits + 1);

  // A record freed and taken by the next connection still counts into the table.
  sockets.RemoveSocket(conn);
  test::FakeTcpConnection next("127.0.0.1", 41001);
  TSocketID& again = sockets.AddSocket(next);
  again.CanWrite = true;
  SendTCP(again, info);
  EXPECT_EQ(t.SentMessages(TTransport::Tcp, MsgCode(PlayerInfo)), 3u);
}

TEST(TrafficCounters, ParsersCountWholeMessagesByTransport) {
  TSocketTable sockets;
  test::FakeTcpConnection conn("127.0.0.1", 41000);
  sockets.AddSocket(conn);
  TZQProtocolFormat protocol(sockets);
  int handled = 0;
  protocol.SetMessageHandler([&](int32_t, uint32_t, std::string_view) { ++handled; });
  // Two whole messages and the start of a third: the third counts once it is whole.
  std::string buffer = Frame(KeyDown, "12345678901234") + Frame(ClientSay, "hi");
  const std::string third = Frame(KeyUp, "12345678901234");
  buffer += third.substr(0, 5);
  protocol.TCP_parseInputStream(conn, buffer);
  const TTrafficCounters& t = sockets.Traffic();
  EXPECT_EQ(t.ReceivedMessages(TTransport::Tcp, MsgCode(KeyDown)), 1u);
  EXPECT_EQ(t.ReceivedMessages(TTransport::Tcp, MsgCode(ClientSay)), 1u);
  EXPECT_EQ(t.ReceivedMessages(TTransport::Tcp, MsgCode(KeyUp)), 0u);
  buffer += third.substr(5);
  protocol.TCP_parseInputStream(conn, buffer);
  EXPECT_EQ(t.ReceivedMessages(TTransport::Tcp, MsgCode(KeyUp)), 1u);
  EXPECT_EQ(handled, 3);

  // By UDP (here from an endpoint no connection owns: counted, not handled).
  test::FakeUdpEndpoint stray(std::make_shared<test::UdpRecord>());
  protocol.UDP_parseInputStream(stray, "127.0.0.1", FrameUDP(BEATACK, "12345"));
  EXPECT_EQ(t.ReceivedMessages(TTransport::Udp, MsgCode(BEATACK)), 1u);
  EXPECT_EQ(t.ReceivedTotal(), 4u);
  EXPECT_EQ(handled, 3);
}

}  // namespace
}  // namespace zq
