// TUdpEndpoint over loopback: binding and releasing ports, datagrams both ways with the
// sender's address and port, bursts, and handlers that tear their endpoint down.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/qt/UdpEndpoint.h"
#include "tests/platform/QtTestSupport.h"
#include "tests/support/UdpPortRange.h"

namespace zq {
namespace {

using test::PumpFor;
using test::PumpUntil;

struct Datagram {
  IUdpEndpoint* endpoint;
  std::string bytes;
  uint16_t port;
  std::string address;
};

class UdpEndpointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureApp();
    endpoint = CreateUdpEndpoint();
    endpoint->SetReceiveHandler(
        [this](IUdpEndpoint& e, std::string bytes, uint16_t port, const std::string& address) {
          got.push_back({&e, std::move(bytes), port, address});
        });
    port = static_cast<uint16_t>(range.Base() + 1);
    ASSERT_TRUE(endpoint->Bind(port));
  }

  test::TUdpPortRange range;
  std::unique_ptr<IUdpEndpoint> endpoint;
  uint16_t port = 0;
  std::vector<Datagram> got;
};

TEST_F(UdpEndpointTest, DatagramsTravelBothWaysWithSenderAddressAndPort) {
  test::TestUdp peer;
  const std::string beat("\x05\x00\x00\x1a\x01\x10\x27\x00\x00", 9);
  ASSERT_TRUE(peer.SendTo(port, beat));
  ASSERT_TRUE(PumpUntil([&] { return got.size() == 1; }));
  EXPECT_EQ(got[0].endpoint, endpoint.get());
  EXPECT_EQ(got[0].bytes, beat);
  EXPECT_EQ(got[0].port, peer.Port());
  EXPECT_EQ(got[0].address, "127.0.0.1");

  endpoint->SetRemote("127.0.0.1", peer.Port());
  endpoint->Send(std::string("\x00\x01\x02", 3));
  std::string answer;
  ASSERT_TRUE(peer.Receive(answer));
  EXPECT_EQ(answer, std::string("\x00\x01\x02", 3));
}

TEST_F(UdpEndpointTest, BurstIsDeliveredWholeAndInOrder) {
  test::TestUdp peer;
  const int count = 200;
  for (int i = 0; i < count; ++i) ASSERT_TRUE(peer.SendTo(port, "d" + std::to_string(i)));
  ASSERT_TRUE(PumpUntil([&] { return got.size() == count; }));
  for (int i = 0; i < count; ++i) EXPECT_EQ(got[i].bytes, "d" + std::to_string(i));
}

TEST_F(UdpEndpointTest, PortIsExclusiveUntilBindZeroReleasesIt) {
  auto second = CreateUdpEndpoint();
  EXPECT_FALSE(second->Bind(port)) << "a bound port is not shared";
  EXPECT_FALSE(static_cast<TUdpEndpoint&>(*second).LastError().empty());
  EXPECT_EQ(static_cast<TUdpEndpoint&>(*endpoint).LocalPort(), port);
  ASSERT_TRUE(endpoint->Bind(0));
  EXPECT_EQ(static_cast<TUdpEndpoint&>(*endpoint).LocalPort(), 0);
  EXPECT_TRUE(second->Bind(port));
  // The released endpoint hears nothing more; the new owner does.
  std::vector<std::string> secondGot;
  second->SetReceiveHandler([&](IUdpEndpoint&, std::string bytes, uint16_t, const std::string&) {
    secondGot.push_back(bytes);
  });
  test::TestUdp peer;
  ASSERT_TRUE(peer.SendTo(port, "hello"));
  ASSERT_TRUE(PumpUntil([&] { return secondGot.size() == 1; }));
  EXPECT_TRUE(got.empty());
}

TEST_F(UdpEndpointTest, HandlerMayReleaseOrDestroyItsEndpointMidBurst) {
  // Release: later datagrams of the burst are not delivered.
  endpoint->SetReceiveHandler(
      [&](IUdpEndpoint& e, std::string bytes, uint16_t, const std::string&) {
        got.push_back({&e, bytes, 0, ""});
        e.Bind(0);
      });
  test::TestUdp peer;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(peer.SendTo(port, "r"));
  ASSERT_TRUE(PumpUntil([&] { return !got.empty(); }));
  PumpFor(100);
  EXPECT_EQ(got.size(), 1u);

  // Destroy: the endpoint goes away inside its own receive event.
  got.clear();
  ASSERT_TRUE(endpoint->Bind(port));
  endpoint->SetReceiveHandler(
      [&](IUdpEndpoint& e, std::string bytes, uint16_t, const std::string&) {
        got.push_back({&e, bytes, 0, ""});
        endpoint.reset();
      });
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(peer.SendTo(port, "x"));
  ASSERT_TRUE(PumpUntil([&] { return endpoint == nullptr; }));
  PumpFor(100);
  EXPECT_EQ(got.size(), 1u);
  // Its port is free again.
  auto next = CreateUdpEndpoint();
  EXPECT_TRUE(next->Bind(port));
}

}  // namespace
}  // namespace zq
