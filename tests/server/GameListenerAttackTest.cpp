// Attacks on the game's TCP listener that aim at the server's file descriptors: connections
// that are refused and then neither read nor close, and connections that hold a server at its
// limit of open files; meanwhile an honest player joins.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "tests/server/ServerFixture.h"
#include "tests/server/ServerProcess.h"

namespace zq::test {
namespace {

// A raw TCP connection from `source` to 127.0.0.1:port that the attacker never reads from
// until the test looks.
class TRawConnection {
 public:
  TRawConnection(const char* source, uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = inet_addr(source);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    connected_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
                 ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  }
  ~TRawConnection() {
    if (fd_ >= 0) ::close(fd_);
  }
  TRawConnection(const TRawConnection&) = delete;
  TRawConnection& operator=(const TRawConnection&) = delete;

  bool Connected() const { return connected_; }
  // Reads until `enough` holds, the server ends the connection or `timeoutMs` pass; true
  // when the server has ended it (an end of stream or a reset).
  bool ReadUntil(const std::function<bool()>& enough, int timeoutMs = 20000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ended_ && !enough() && std::chrono::steady_clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char chunk[4096];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n > 0) received.append(chunk, static_cast<std::size_t>(n));
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) ended_ = true;
    }
    return ended_;
  }
  bool ReadToEnd(int timeoutMs = 20000) {
    return ReadUntil([] { return false; }, timeoutMs);
  }

  std::string received;

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool ended_ = false;
};

// "Max open files  <soft>  <hard>  files" of /proc/<pid>/limits.
std::pair<long, long> OpenFileLimits(pid_t pid) {
  std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
  for (std::string line; std::getline(limits, line);) {
    if (!line.starts_with("Max open files")) continue;
    std::istringstream values(line.substr(std::string("Max open files").size()));
    long soft = -1, hard = -1;
    values >> soft >> hard;
    return {soft, hard};
  }
  return {-1, -1};
}

class GameListenerAttackTest : public ::testing::Test {
 protected:
  GameListenerAttackTest() { mkworld::WriteInstallation(game_.Path()); }

  // A headless server on 127.0.0.1; the log's path is log_ and its port port_.
  std::unique_ptr<TServerProcess> Start(std::vector<std::string> args,
                                        const rlimit* descriptors = nullptr) {
    args.insert(args.begin(),
                {"--headless", "--game-dir", game_.Path(), "--listen", "127.0.0.1", "--tcp-port",
                 "0", "--base-udp-port", std::to_string(range_.Base()), "--setup-timeout", "0"});
    auto server = std::make_unique<TServerProcess>(out_.Path(), args, std::vector<std::string>{},
                                                   descriptors);
    if (!WaitForText(log_, "SGM: GameManager startup.")) {
      ADD_FAILURE() << server->Stderr();
      return server;
    }
    port_ = ListeningPortIn(ReadFile(log_));
    return server;
  }
  bool HonestPlayerJoins(const std::string& name) {
    TZQClient player;
    player.Connect("127.0.0.1", port_);
    TSetupParams params;
    params.Name = name;
    return player.RunSetup(params, 30000);
  }

  TempDir out_, game_;
  TUdpPortRange range_;
  std::string log_ = game_ / "ZQOSRV.LOG";
  uint16_t port_ = 0;
};

// Each refusal is handed to the kernel and its descriptor closed at once: hundreds of
// refused connections that never read and never close cost the server no descriptor, and
// each of them still finds the refusal in its receive buffer.
TEST_F(GameListenerAttackTest, RefusedConnectionsThatNeverCloseHoldNoDescriptors) {
  auto server = Start({"--max-per-address", "1"});
  ASSERT_NE(port_, 0);
  TRawConnection holder("127.0.0.2", port_);  // the one the address may have
  ASSERT_TRUE(holder.Connected());
  ASSERT_TRUE(WaitForText(log_, "Connected from 127.0.0.2:"));
  const int idle = OpenDescriptors(server->Pid());
  ASSERT_GT(idle, 0);

  constexpr int REFUSED = 200;
  std::vector<std::unique_ptr<TRawConnection>> refused;
  for (int i = 0; i < REFUSED; ++i) {
    refused.push_back(std::make_unique<TRawConnection>("127.0.0.2", port_));
    ASSERT_TRUE(refused.back()->Connected()) << i;
  }
  // Each refusal's disconnect is logged after its socket has been let go.
  ASSERT_TRUE(WaitForCount(log_, "Disconnected 127.0.0.2:", REFUSED)) << server->Stderr();
  EXPECT_LE(OpenDescriptors(server->Pid()), idle + 2)
      << "refused connections still hold descriptors in the server";

  EXPECT_TRUE(HonestPlayerJoins("honest"));
  for (auto& c : refused) {
    EXPECT_TRUE(c->ReadToEnd());
    EXPECT_NE(c->received.find("Too many connections from this address."), std::string::npos);
  }
  server->Signal(SIGTERM);
  EXPECT_EQ(server->Wait(), 0);
}

// With every descriptor taken by connections that hold on, a further connection is
// accepted and closed at once rather than left waiting in the kernel's queue, the log loses
// no line, and once the holders go an honest player joins.
TEST_F(GameListenerAttackTest, AServerAtItsDescriptorLimitStillAnswersAndLogs) {
  auto server = Start({"--max-clients", "63"});
  ASSERT_NE(port_, 0);
  const int idle = OpenDescriptors(server->Pid());
  ASSERT_GT(idle, 0);
  const rlimit tight{static_cast<rlim_t>(idle + 12), static_cast<rlim_t>(idle + 12)};
  ASSERT_EQ(::prlimit(server->Pid(), RLIMIT_NOFILE, &tight, nullptr), 0) << std::strerror(errno);

  std::vector<std::unique_ptr<TRawConnection>> holders;
  bool closedAtTheLimit = false;
  for (int i = 0; i < 40 && !closedAtTheLimit; ++i) {
    auto c = std::make_unique<TRawConnection>("127.0.0.2", port_);
    ASSERT_TRUE(c->Connected()) << i;
    // Greeted (the first bytes) or closed: a connection left in the queue is neither.
    const bool ended = c->ReadUntil([&] { return !c->received.empty(); });
    ASSERT_TRUE(ended || !c->received.empty())
        << "connection " << i << " at " << OpenDescriptors(server->Pid())
        << " descriptors is neither greeted nor closed";
    closedAtTheLimit = ended && c->received.empty();
    holders.push_back(std::move(c));
  }
  ASSERT_TRUE(closedAtTheLimit) << "the limit was never reached";
  const int admitted = static_cast<int>(holders.size()) - 1;
  EXPECT_TRUE(
      WaitForText(out_ / "stderr", "Out of file descriptors: the connection from 127.0.0.2:"))
      << server->Stderr();
  EXPECT_GE(admitted, 5);
  ASSERT_TRUE(WaitForCount(log_, "Connected from 127.0.0.2:", admitted));
  EXPECT_EQ(CountOf(ReadFile(log_), "Connected from 127.0.0.2:"), admitted);
  EXPECT_EQ(server->Stderr().find("Cannot write the log"), std::string::npos) << server->Stderr();

  holders.clear();
  ASSERT_TRUE(WaitForCount(log_, "Disconnected 127.0.0.2:", admitted))
      << ReadFile(log_) << server->Stderr();
  EXPECT_TRUE(HonestPlayerJoins("honest"));
  server->Signal(SIGTERM);
  EXPECT_EQ(server->Wait(), 0);
  EXPECT_EQ(server->Stderr().find("Cannot write the log"), std::string::npos) << server->Stderr();
}

// One address opens connection after connection and never logs in: under the packaged
// example configuration it holds 8 of the 32 slots, and a player from elsewhere still joins.
TEST_F(GameListenerAttackTest, UnderTheExampleConfigurationOneAddressCannotHoldEverySlot) {
  auto server = Start({"--config", ZQ_SOURCE_DIR "/packaging/zqosrv.conf"});
  ASSERT_NE(port_, 0);
  std::vector<std::unique_ptr<TRawConnection>> idle;
  bool refused = false;
  for (int i = 0; i < 32 && !refused; ++i) {
    auto c = std::make_unique<TRawConnection>("127.0.0.2", port_);
    ASSERT_TRUE(c->Connected()) << i;
    const std::string full = "Too many connections from this address.";
    c->ReadUntil([&] {
      return c->received.find(full) != std::string::npos ||
             c->received.find("Welcome to MyServer") != std::string::npos;
    });
    refused = c->received.find(full) != std::string::npos;
    idle.push_back(std::move(c));
  }
  EXPECT_TRUE(refused) << "one address holds " << idle.size() << " slots";
  EXPECT_EQ(idle.size(), 9u) << "8 admitted, the ninth refused";
  EXPECT_TRUE(HonestPlayerJoins("honest"));
  server->Signal(SIGTERM);
  EXPECT_EQ(server->Wait(), 0);
}

// A server started under a low soft limit raises it to the hard one at once.
TEST_F(GameListenerAttackTest, TheSoftLimitOfOpenFilesIsRaisedToTheHardOne) {
  rlimit own{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
  const rlim_t hard = std::min<rlim_t>(own.rlim_max, 4096);
  if (hard <= 256) GTEST_SKIP() << "the test's own hard limit is " << own.rlim_max;
  const rlimit low{256, hard};
  auto server = Start({}, &low);
  ASSERT_NE(port_, 0);
  EXPECT_EQ(OpenFileLimits(server->Pid()),
            (std::pair<long, long>(static_cast<long>(hard), static_cast<long>(hard))));
  server->Signal(SIGTERM);
  EXPECT_EQ(server->Wait(), 0);
}

}  // namespace
}  // namespace zq::test
