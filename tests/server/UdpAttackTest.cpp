// Attacks on the game's UDP ports: datagrams from a crowd of forged source addresses, each
// of which would earn a diagnostic line of its own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/Console.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/server/ServerFixture.h"

namespace zq::test {
namespace {

// One datagram from 127.1.<n / 250>.<n % 250 + 1>, a loopback address of its own.
bool SendFromSource(int n, uint16_t toPort, const std::string& datagram) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl((127u << 24) | (1u << 16) | (static_cast<uint32_t>(n / 250) << 8) |
                               static_cast<uint32_t>(n % 250 + 1));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(toPort);
  const bool sent =
      bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
      sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
             sizeof to) == static_cast<ssize_t>(datagram.size());
  close(fd);
  return sent;
}

// Each source is new to the per-source limit, so only the budget of the kind holds the
// console to about 20 lines a second; the rest is told in one summary line.
TEST_F(ServerTest, DatagramsFromThousandsOfSourcesPrintABoundedNumberOfLines) {
  StartServer();
  TZQClient& c = Join("target");
  ASSERT_TRUE(WaitUntil([&] { return server_->Running()->Sockets()[1].UDPActive(); }));
  const TTrafficCounters& traffic = server_->Running()->Sockets().Traffic();
  const std::string say = Frame(ClientSay, "spoofed");
  constexpr int SOURCES = 2000, BATCH = 50;
  ConsoleCapture console;
  const auto began = std::chrono::steady_clock::now();
  for (int first = 0; first < SOURCES; first += BATCH) {
    const uint64_t before = traffic.ReceivedBytes(TTransport::Udp);
    for (int n = first; n < first + BATCH; ++n)
      ASSERT_TRUE(SendFromSource(n, c.ServerUdpPort(), say)) << n;
    // A batch at a time, each taken before the next: the kernel's buffer drops none.
    ASSERT_TRUE(WaitUntil([&] {
      return traffic.ReceivedBytes(TTransport::Udp) >= before + BATCH * say.size();
    })) << first;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const int printed = console.CountContaining("Received UDP from invalid host: ");
  EXPECT_GE(printed, 20);
  EXPECT_LE(printed, 20 * (static_cast<int>(seconds) + 2))
      << printed << " lines for " << SOURCES << " sources in " << seconds << " s";
  // Once the flood's second is over, the server's one-second timer prints the count.
  EXPECT_TRUE(WaitUntil([&] { return console.Contains(" more \"udp invalid\" lines held back"); }))
      << console.Lines().back();
  // The client's own datagrams still go through.
  c.SendClientSay("hello", Via::Udp);
  EXPECT_TRUE(c.WaitFor<msg::PlayerSpeech>(10000, pump_));
}

}  // namespace
}  // namespace zq::test
