// SendTCP parking, order and closed connections; SendUDP's size limit.
#include <gtest/gtest.h>

#include "platform/Console.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"
#include "protocol/SocketTable.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

namespace zq {
namespace {

TEST(Sending, TcpParkingOrderAndBounds) {
  ConsoleCapture console;
  TSocketTable sockets;
  test::FakeTcpConnection conn("127.0.0.1", 41000);
  TSocketID& client = sockets.AddSocket(conn);
  std::string a = Frame(PlayerInfo, "a"), b = Frame(PlayerLeft, "b");
  SendTCP(client, a);  // before the first ready-to-write
  EXPECT_EQ(client.PendingOut, a);
  client.CanWrite = true;
  SendTCP(client, b);  // must not overtake what is parked
  EXPECT_EQ(conn.sent, a + b);
  EXPECT_TRUE(client.PendingOut.empty());

  sockets.RemoveSocket(conn);
  SendTCP(client, a);  // closed: nothing for a later owner of number 1
  EXPECT_TRUE(client.PendingOut.empty());
  EXPECT_FALSE(client.CanWrite);
  EXPECT_TRUE(console.Lines().empty());

  test::FakeTcpConnection next("127.0.0.1", 41001);
  TSocketID& again = sockets.AddSocket(next);
  ASSERT_EQ(&again, &client);
  std::string big = Frame(PlayerInfo, std::string(60000, 'p'));
  std::size_t fits = MAX_PENDING_OUT / big.size();
  for (std::size_t i = 0; i <= fits + 5; ++i) SendTCP(again, big);
  EXPECT_EQ(again.PendingOut.size(), fits * big.size());
  EXPECT_EQ(console.Lines(),
            std::vector<std::string>{"PendingOut full for SocketID=1, dropped msg of 60004 bytes"});
  EXPECT_TRUE(next.sent.empty());
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
