// Socket numbers: lowest free first, the 64 fall-back, the full table, GUID bindings.
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
  auto table = std::make_unique<TSocketTable>();
  std::vector<std::unique_ptr<test::FakeTcpConnection>> conns;
  for (int i = 0; i < 64; ++i)
    conns.push_back(std::make_unique<test::FakeTcpConnection>("127.0.0.1", 30000 + i));
  EXPECT_EQ(table->AddSocket(*conns[0]), 1);
  EXPECT_EQ(table->AddSocket(*conns[1]), 2);
  EXPECT_EQ(table->AddSocket(*conns[2]), 3);
  table->RemoveSocket(*conns[1]);
  EXPECT_EQ(table->AddSocket(*conns[3]), 2);  // lowest free first
  EXPECT_EQ(table->FindByAddress("127.0.0.1", 30003), 2);
  EXPECT_EQ(table->FindByAddress("127.0.0.1", 30001), NOT_FOUND);  // same address, other port
  EXPECT_EQ(table->FindByUDP(nullptr), NOT_FOUND);
  EXPECT_EQ(table->FindByGUID(9), NOT_FOUND);
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{"Address not in socket table!", "UDP not in sockets table!",
                                      "GUID not in sockets table!"}));

  EXPECT_EQ(table->AddSocket(*conns[1]), 4);
  for (int i = 4; i < 63; ++i) table->AddSocket(*conns[i]);  // 1..63 now in use
  try {
    table->AddSocket(*conns[63]);
    FAIL() << "a 64th connection was taken";
  } catch (const EInternalCheck& e) {
    EXPECT_STREQ(e.what(), "CNT > MAX_SOCKETS in AddSocket");
    EXPECT_EQ(e.Module(), "ZQPROTOCOL");
  }
  EXPECT_TRUE((*table)[NOT_FOUND].Address.empty());
}

TEST(SocketTable, GuidBindingsAndRemoval) {
  ConsoleCapture console;
  auto table = std::make_unique<TSocketTable>();
  test::FakeTcpConnection a("127.0.0.1", 1), b("127.0.0.1", 2);
  table->AddSocket(a);
  table->AddSocket(b);
  table->BindGUID(1, 5);
  table->BindGUID(2, 5);
  EXPECT_EQ(table->FindByGUID(5), 1);  // the lower number wins
  table->RemoveSocket(a);
  EXPECT_EQ(table->GuidOf(1), 0u);  // a freed entry answers for no identifier
  EXPECT_EQ(table->FindByGUID(5), 2);
  EXPECT_EQ((*table)[1].Port, 0);
  EXPECT_TRUE(console.Lines().empty());
}

}  // namespace
}  // namespace zq
