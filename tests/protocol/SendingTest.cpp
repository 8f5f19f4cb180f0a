// SendTCP parking, order and the numbers never served; SendUDP's size limit.
#include <gtest/gtest.h>

#include "platform/Console.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

namespace zq {
namespace {

TEST(Sending, TcpParkingOrderAndBounds) {
  ConsoleCapture console;
  auto tables = std::make_unique<TServerTables>();
  test::FakeTcpConnection conn("127.0.0.1", 41000);
  tables->Sockets.AddSocket(conn);
  std::string a = Frame(PlayerInfo, "a"), b = Frame(PlayerLeft, "b");
  SendTCP(*tables, 1, a);  // before the first ready-to-write
  EXPECT_EQ(tables->PendingOut[1], a);
  tables->CanWrite[1] = 1;
  SendTCP(*tables, 1, b);  // must not overtake what is parked
  EXPECT_EQ(conn.sent, a + b);
  EXPECT_TRUE(tables->PendingOut[1].empty());

  SendTCP(*tables, NOT_FOUND, a);  // never parked for 64
  SendTCP(*tables, 99, a);
  EXPECT_TRUE(tables->PendingOut[NOT_FOUND].empty());
  tables->Sockets.RemoveSocket(conn);
  tables->CanWrite[1] = 0;
  SendTCP(*tables, 1, a);  // closed: nothing for a later owner of number 1
  EXPECT_TRUE(tables->PendingOut[1].empty());
  EXPECT_TRUE(console.Lines().empty());

  test::FakeTcpConnection next("127.0.0.1", 41001);
  tables->Sockets.AddSocket(next);
  std::string big = Frame(PlayerInfo, std::string(60000, 'p'));
  std::size_t fits = MAX_PENDING_OUT / big.size();
  for (std::size_t i = 0; i <= fits; ++i) SendTCP(*tables, 1, big);
  EXPECT_EQ(tables->PendingOut[1].size(), fits * big.size());
  EXPECT_EQ(console.Lines(),
            std::vector<std::string>{"PendingOut full for SocketID=1, dropped msg of 60004 bytes"});
}

TEST(Sending, UdpSizeLimitAndMissingEndpoint) {
  ConsoleCapture console;
  auto tables = std::make_unique<TServerTables>();
  auto record = std::make_shared<test::UdpRecord>();
  tables->Sockets[1].UDP = std::make_unique<test::FakeUdpEndpoint>(record);
  std::string exact = Frame(PlayerMotion, std::string(1456, 'm'));
  std::string over = Frame(PlayerMotion, std::string(1457, 'm'));
  SendUDP(*tables, 1, exact);
  SendUDP(*tables, 1, over);
  EXPECT_EQ(record->datagrams, std::vector<std::string>{exact});
  std::string m = Frame(KeyUpAck, "k");
  SendUDP(*tables, 2, m);
  SendUDP(*tables, NOT_FOUND, m);
  EXPECT_EQ(console.Lines(), (std::vector<std::string>{"msg too long for UDP packet: " + over,
                                                       "UDP was NIL for SocketID=2 msg=" + m,
                                                       "UDP was NIL for SocketID=64 msg=" + m}));
}

}  // namespace
}  // namespace zq
