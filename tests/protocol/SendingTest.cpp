// SendTCP to a record's own connection only, and counted; SendUDP's size limit.
#include <gtest/gtest.h>

#include "platform/Console.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"
#include "protocol/SocketTable.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

namespace zq {
namespace {

TEST(Sending, TcpReachesOnlyTheRecordsOwnConnectionAndIsCounted) {
  ConsoleCapture console;
  TSocketTable sockets;
  test::FakeTcpConnection conn("127.0.0.1", 41000);
  TSocketID& client = sockets.AddSocket(conn);
  std::string a = Frame(PlayerInfo, "a"), b = Frame(PlayerLeft, "b");
  SendTCP(client, a);
  SendTCP(client, b);
  EXPECT_EQ(conn.sent, a + b);

  sockets.RemoveSocket(conn);
  SendTCP(client, a);  // closed: nothing for a later owner of number 1
  test::FakeTcpConnection next("127.0.0.1", 41001);
  TSocketID& again = sockets.AddSocket(next);
  ASSERT_EQ(&again, &client);
  EXPECT_TRUE(next.sent.empty());
  EXPECT_EQ(conn.sent, a + b);

  test::FakeTcpConnection refused("127.0.0.1", 41002);  // no record: a refusal at connect
  SendTCP(refused, sockets.Traffic(), b);
  EXPECT_EQ(refused.sent, b);
  EXPECT_EQ(sockets.Traffic().SentMessages(TTransport::Tcp, MsgCode(PlayerInfo)), 1u);
  EXPECT_EQ(sockets.Traffic().SentMessages(TTransport::Tcp, MsgCode(PlayerLeft)), 2u);
  EXPECT_EQ(sockets.Traffic().SentBytes(TTransport::Tcp), a.size() + 2 * b.size());
  EXPECT_TRUE(console.Lines().empty());
}

TEST(Sending, UdpSizeLimitAndMissingEndpoint) {
  ConsoleCapture console;
  TSocketTable sockets;
  test::FakeTcpConnection c1("127.0.0.1", 1), c2("127.0.0.1", 2);
  auto record = std::make_shared<test::UdpRecord>();
  sockets.AddSocket(c1).UDP = std::make_unique<test::FakeUdpEndpoint>(record);
  sockets.AddSocket(c2);
  std::string exact = Frame(PlayerMotion, std::string(1456, 'm'));
  std::string over = Frame(PlayerMotion, std::string(1457, 'm'));
  SendUDP(sockets[1], exact);
  SendUDP(sockets[1], over);
  EXPECT_EQ(record->datagrams, std::vector<std::string>{exact});
  SendUDP(sockets[2], Frame(KeyUpAck, "k"));
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{
                "msg too long for UDP packet: PlayerMotion, 1461 bytes: B1 05 00 2F 6D 6D 6D 6D 6D "
                "6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D 6D ...",
                "UDP was NIL for SocketID=2 msg=KeyUpAck, 5 bytes: 01 00 00 32 6B"}));
}

}  // namespace
}  // namespace zq
