// Socket numbers: lowest free first, lookups that find nothing, the full table, GUID
// bindings, and a record that starts afresh for each connection.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/Console.h"
#include "platform/Errors.h"
#include "protocol/SocketTable.h"
#include "tests/protocol/ProtocolFakes.h"

namespace zq {
namespace {

TEST(SocketTable, NumbersLookupsAndTheFullTable) {
  ConsoleCapture console;
  TSocketTable table;
  std::vector<std::unique_ptr<test::FakeTcpConnection>> conns;
  for (int i = 0; i < 64; ++i)
    conns.push_back(std::make_unique<test::FakeTcpConnection>("127.0.0.1", 30000 + i));
  EXPECT_EQ(table.AddSocket(*conns[0]).Number, 1);
  EXPECT_EQ(table.AddSocket(*conns[1]).Number, 2);
  EXPECT_EQ(table.AddSocket(*conns[2]).Number, 3);
  table.RemoveSocket(*conns[1]);
  EXPECT_EQ(table.AddSocket(*conns[3]).Number, 2);  // lowest free first
  EXPECT_EQ(table.FindByAddress("127.0.0.1", 30003), &table[2]);
  EXPECT_EQ(table.FindByAddress("127.0.0.1", 30001), nullptr);  // same address, other port
  EXPECT_EQ(table.FindByUDP(nullptr), nullptr);
  EXPECT_EQ(table.FindByGUID(9), nullptr);
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{"Address not in socket table!", "UDP not in sockets table!",
                                      "GUID not in sockets table!"}));

  EXPECT_EQ(table.AddSocket(*conns[1]).Number, 4);
  for (int i = 4; i < 63; ++i) table.AddSocket(*conns[i]);  // 1..63 now in use
  EXPECT_FALSE(table.HasFreeEntry());
  EXPECT_EQ(table.CountAddress("127.0.0.1"), 63);
  try {
    table.AddSocket(*conns[63]);
    FAIL() << "a 64th connection was taken";
  } catch (const EInternalCheck& e) {
    EXPECT_STREQ(e.what(), "CNT > MAX_SOCKETS in AddSocket");
    EXPECT_EQ(e.Module(), "ZQPROTOCOL");
  }
  EXPECT_THROW(table[64], EInternalCheck);
  EXPECT_THROW(table[0], EInternalCheck);
  EXPECT_EQ(table.GuidOf(64), 0u);
}

TEST(SocketTable, GuidBindingsAndRemoval) {
  ConsoleCapture console;
  TSocketTable table;
  test::FakeTcpConnection a("127.0.0.1", 1), b("127.0.0.1", 2);
  table.AddSocket(a);
  table.AddSocket(b);
  table.BindGUID(1, 5);
  table.BindGUID(2, 6);
  EXPECT_EQ(table.FindByGUID(6), &table[2]);
  table.RemoveSocket(a);
  EXPECT_EQ(table.GuidOf(1), 0u);  // a freed record answers for no identifier
  EXPECT_EQ(table.FindByGUID(5), nullptr);
  table.BindGUID(1, 6);  // a free record never answers a lookup, even when written to
  EXPECT_EQ(table.FindByGUID(6), &table[2]);
  EXPECT_EQ(table[1].Port, 0);
  EXPECT_EQ(console.Lines(), std::vector<std::string>{"GUID not in sockets table!"});
}

TEST(SocketTable, EachConnectionStartsAfresh) {
  TSocketTable table;
  test::FakeTcpConnection first("127.0.0.1", 1), second("127.0.0.9", 2);
  TSocketID& r = table.AddSocket(first);
  const uint64_t serial = r.Serial;
  auto udp = std::make_shared<test::UdpRecord>();
  r.UDP = std::make_unique<test::FakeUdpEndpoint>(udp);
  r.UDPPort = 4000;
  r.GUID = 3;
  r.ReceiveBuffer = "half a message";
  r.Stage = TStage::InGame;
  r.LoginRecord = TLoginRecord{"alice", "secret", 0x1234};
  r.HeartbeatRecord.Missed = 4;
  r.HeartbeatRecord.RoundTripKnown = true;
  r.SentStartGame = true;
  r.AdminOnly = true;
  EXPECT_EQ(table.RecordOf(first), &r) << "the connection carries its record";
  table.RemoveSocket(first);
  EXPECT_EQ(table.RecordOf(first), nullptr);
  EXPECT_TRUE(udp->destroyed);
  EXPECT_EQ(udp->binds, std::vector<uint16_t>{0}) << "the port is released";

  TSocketID& again = table.AddSocket(second);
  ASSERT_EQ(&again, &r);
  EXPECT_GT(again.Serial, serial) << "serials are never reused";
  EXPECT_EQ(again.Address, "127.0.0.9");
  EXPECT_EQ(again.UDP, nullptr);
  EXPECT_EQ(again.UDPPort, 0);
  EXPECT_EQ(again.GUID.load(), 0u);
  EXPECT_TRUE(again.ReceiveBuffer.empty());
  EXPECT_EQ(again.Stage, TStage::Greeted);
  EXPECT_EQ(table.RecordOf(second), &again);
  EXPECT_TRUE(again.LoginRecord.UserName.empty());
  EXPECT_TRUE(again.LoginRecord.Password.empty());
  EXPECT_EQ(again.LoginRecord.ClientCode, 0);
  EXPECT_FALSE(again.UDPActive());
  EXPECT_EQ(again.HeartbeatRecord.Missed, 0);
  EXPECT_FALSE(again.HeartbeatRecord.RoundTripKnown);
  EXPECT_FALSE(again.SentStartGame);
  EXPECT_FALSE(again.AdminOnly);
}

}  // namespace
}  // namespace zq
