// Where a server listens: two servers on two addresses with the same ports, an IPv6 server
// whose heartbeat goes out over IPv6, a TCP port inside the UDP range refused, the log file.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Errors.h"
#include "tests/server/ServerFixture.h"
#include "tools/client/ClientMessages.h"
#include "tools/client/StreamParser.h"
#include "tools/client/WireFormat.h"

namespace zq::test {
namespace {

// A socket on ::1 of `type` bound to any free port, or -1 when the host has no IPv6 loopback.
int Ipv6Socket(int type) {
  const int fd = ::socket(AF_INET6, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

uint16_t LocalPort(int fd) {
  sockaddr_in6 a{};
  socklen_t length = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin6_port);
}

TEST_F(ServerTest, TwoServersOnTwoAddressesShareTheirPortsAndKeepToThemselves) {
  settings_.ListenAddress = "127.0.0.1";
  StartServer();
  TempDir otherDir;
  mkworld::WriteInstallation(otherDir.Path());
  TRecordingView otherView;
  TZQOServer other(otherView, TServerOptions{});
  TServerSettings settings;
  settings.GameDirectory = otherDir.Path();
  settings.ListenAddress = "127.0.0.2";
  settings.TcpPort = server_->Status().ListeningPort;        // the same TCP port
  settings.BaseUdpPortText = std::to_string(BaseUdpPort());  // and the same UDP range
  settings.LogFile = "other.log";                            // in its own game directory
  other.StartServer(settings);
  ASSERT_TRUE(other.ServerStarted());
  EXPECT_EQ(other.Status().ListeningPort, server_->Status().ListeningPort);

  TZQClient& here = Join("here");
  TZQClient& there = JoinAt("127.0.0.2", other.Status().ListeningPort, "there");
  // Client 1 of each has UDP port base + 1, each on its server's address: both heartbeats
  // go out and come back.
  EXPECT_EQ(here.ServerUdpPort(), there.ServerUdpPort());
  server_->Running()->Connections().OnBeatTimer();
  other.Running()->Connections().OnBeatTimer();
  ASSERT_TRUE(WaitUntil([&] {
    return server_->Running()->Sockets()[1].HeartbeatRecord.AckedSeq == 1 &&
           other.Running()->Sockets()[1].HeartbeatRecord.AckedSeq == 1;
  }));
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return other.Status().Players->size() == 1; }));

  const std::string otherLog = ReadFile(otherDir / "other.log");
  EXPECT_NE(otherLog.find("Listening on address 127.0.0.2."), std::string::npos);
  EXPECT_NE(otherLog.find("SGM: Added player"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "ZQOSRV.LOG").find("127.0.0.2"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(otherDir / "ZQOSRV.LOG"));
  other.Shutdown();
}

TEST_F(ServerTest, AnIpv6ServerKeepsItsClientsAliveOverIpv6) {
  const int tcp = Ipv6Socket(SOCK_STREAM);
  const int udp = Ipv6Socket(SOCK_DGRAM);
  if (tcp < 0 || udp < 0) {
    if (tcp >= 0) ::close(tcp);
    if (udp >= 0) ::close(udp);
    GTEST_SKIP() << "no IPv6 loopback here";
  }
  settings_.ListenAddress = "::1";
  StartServer();
  sockaddr_in6 to{};
  to.sin6_family = AF_INET6;
  to.sin6_addr = in6addr_loopback;
  to.sin6_port = htons(server_->Status().ListeningPort);
  ::connect(tcp, reinterpret_cast<sockaddr*>(&to), sizeof to);  // completes as the loop runs

  TStreamParser parser;
  std::vector<TWireMessage> got;
  auto received = [&](uint32_t type) {
    char buffer[4096];
    for (ssize_t n; (n = ::recv(tcp, buffer, sizeof buffer, 0)) > 0;)
      parser.Append(std::string_view(buffer, static_cast<std::size_t>(n)));
    for (TWireMessage m; parser.Next(m);) got.push_back(m);
    for (const TWireMessage& m : got)
      if (m.Type == type) return true;
    return false;
  };
  ASSERT_TRUE(WaitUntil([&] { return received(wire::ConnectDone); }));
  EXPECT_GE(LineIndex("Listening on address ::1."), 0);
  const std::string port = std::to_string(server_->Status().ListeningPort);
  EXPECT_GE(
      LineIndex("Listening on [::1]:" + port + " (UDP " + std::to_string(BaseUdpPort() + 1) + "-" +
                std::to_string(BaseUdpPort() + 63) + "); try: zqo-bot --host ::1 --port " + port),
      0)
      << "the newcomer's line names the address the bot needs";
  const std::string login =
      FrameLoginName("six") + FrameLoginPassword("pw") + FrameClientUDPPort(LocalPort(udp));
  ASSERT_EQ(::send(tcp, login.data(), login.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(login.size()));
  ASSERT_TRUE(WaitUntil([&] {
    received(0);
    return server_->Running()->Sockets()[1].UDPActive();
  }));
  EXPECT_EQ(server_->Running()->Sockets()[1].Address, "::1");

  server_->Running()->Connections().OnBeatTimer();
  std::string beat;
  sockaddr_in6 from{};
  ASSERT_TRUE(WaitUntil([&] {
    char buffer[512];
    socklen_t length = sizeof from;
    const ssize_t n =
        ::recvfrom(udp, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n > 0) beat.assign(buffer, static_cast<std::size_t>(n));
    return n > 0;
  }));
  ASSERT_GE(beat.size(), wire::HEADER_SIZE);
  EXPECT_EQ(static_cast<uint8_t>(beat[3]), wire::Code(wire::BEAT));
  EXPECT_EQ(ntohs(from.sin6_port), BaseUdpPort() + 1);
  EXPECT_TRUE(IN6_IS_ADDR_LOOPBACK(&from.sin6_addr));
  ::close(tcp);
  ::close(udp);
}

TEST_F(ServerTest, ATcpPortInTheUdpRangeIsRefusedNamingBoth) {
  mkworld::WriteInstallation(dir_.Path());
  TServerSettings settings;
  settings.GameDirectory = dir_.Path();
  settings.BaseUdpPortText = "28500";
  for (const uint16_t port : {28501, 28563}) {
    TZQOServer server(view_, TServerOptions{});
    settings.TcpPort = port;
    try {
      server.StartServer(settings);
      FAIL() << "TCP port " << port << " was taken";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "TCP port " + std::to_string(port) +
                                           " lies in the UDP range 28501..28563 of base UDP "
                                           "port 28500 (client n uses base + n)");
    }
  }
  EXPECT_TRUE(view_.lines.empty());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "ZQOSRV.LOG"));
  EXPECT_NO_THROW(CheckPortsApart(28500, 28500));  // the base itself is no client's
  EXPECT_NO_THROW(CheckPortsApart(28564, 28500));
  EXPECT_NO_THROW(CheckPortsApart(0, 65472));  // any free port
  EXPECT_THROW(CheckPortsApart(65535, 65472), EConvertError);
}

}  // namespace
}  // namespace zq::test
