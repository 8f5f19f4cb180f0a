// Attacks on the bans of a running server: a player named like every address banned with an
// Admin's /ban, a range that would shut out the Admin itself, and IPv6 clients, which an
// address ban must reach at connect and in the game.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "protocol/MessageCodes.h"
#include "tests/server/LoginTestSupport.h"
#include "tools/client/StreamParser.h"
#include "tools/client/WireFormat.h"

namespace zq::test {
namespace {

class BanAttackTest : public LoginTest {
 protected:
  // An open server (names join unchecked) with an Admin in the game.
  void StartWithAdmin() {
    StartWith(TAuthMode::Open);
    AddAccount("Root", "rootpw", TPrivileges::Admin);
    admin_ = &Login("root", "rootpw");
    ASSERT_EQ(admin_->Setup(), SetupState::InGame);
    ASSERT_TRUE(WaitUntil([&] {
      const TSocketID* root = server_->Running()->Connections().FindPlayer("Root");
      return root && root->Admin;
    }));
  }
  // What the admin hears from itself for `command`.
  std::string Ask(const std::string& command) {
    admin_->ClearInbox();
    admin_->SendClientSay(command);
    auto speech = admin_->WaitFor<msg::PlayerSpeech>(10000, pump_);
    return speech ? speech->Text : "(no answer)";
  }

  TZQClient* admin_ = nullptr;
};

TEST_F(BanAttackTest, AQuotedNameIsBannedAsANameWhateverItReadsAs) {
  StartWithAdmin();
  TZQClient& attacker = Join("0.0.0.0/0");
  TZQClient& frank = Join("frank");
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 3; }));

  // Listed as /ban takes it for a name.
  EXPECT_EQ(Ask("/players"), "3 players: Root, \"0.0.0.0/0\", frank");
  EXPECT_EQ(Ask("/ban \"0.0.0.0/0\" griefing"), "Banned 0.0.0.0/0 for good.");
  EXPECT_EQ(RefusalOf(attacker), "You are banned.");
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));
  EXPECT_FALSE(frank.IsClosed());
  EXPECT_FALSE(admin_->IsClosed());
  std::vector<TBan> bans = Store().Bans().List();
  ASSERT_EQ(bans.size(), 1u);
  EXPECT_EQ(bans[0].Target.Kind, TBanKind::Name);
  EXPECT_EQ(bans[0].Reason, "griefing");
  EXPECT_EQ(Join("late").Setup(), SetupState::InGame);

  EXPECT_EQ(Ask("/unban \"0.0.0.0/0\""), "Unbanned 0.0.0.0/0.");
  EXPECT_TRUE(Store().Bans().List().empty());
  // "1.2" reads as an address unquoted (and is none), as a name quoted.
  EXPECT_EQ(Ask("/ban 1.2").rfind("Invalid IPv4 address or range \"1.2\"", 0), 0u);
  EXPECT_EQ(Ask("/ban \"1.2\" 1h"), "Banned 1.2 for 1h.");
}

TEST_F(BanAttackTest, ARangeHoldingTheAdminsAddressOrEveryAddressIsConfirmedWithBanBang) {
  StartWithAdmin();
  TZQClient& frank = Join("frank");
  ASSERT_TRUE(WaitUntil([&] { return server_->Status().Players->size() == 2; }));

  EXPECT_EQ(Ask("/ban 127.0.0.0/8"),
            "127.0.0.0/8 holds your own address 127.0.0.1: write /ban! to ban it all the same.");
  EXPECT_EQ(Ask("/ban 0.0.0.0/1 1h"),
            "0.0.0.0/1 has fewer than 8 prefix bits: write /ban! to ban it all the same.");
  EXPECT_EQ(Ask("/ban ::/0"),
            "::/0 has fewer than 16 prefix bits: write /ban! to ban it all the same.");
  EXPECT_TRUE(Store().Bans().List().empty());
  EXPECT_FALSE(frank.IsClosed());
  EXPECT_EQ(Ask("/ban 10.0.0.0/8"), "Banned 10.0.0.0/8 for good.");  // elsewhere: at once

  // Confirmed: the admin's own connection goes with the rest.
  admin_->SendClientSay("/ban! 127.0.0.0/8 10m");
  EXPECT_EQ(RefusalOf(frank), "You are banned.");
  EXPECT_EQ(RefusalOf(*admin_), "You are banned.");
  EXPECT_TRUE(Store().Bans().FindForAddress("127.0.0.1", SystemWallClock()));
}

// A raw client of the IPv6 server: connects to ::1 and reads what the server sends.
class Ipv6Client {
 public:
  explicit Ipv6Client(uint16_t port) {
    fd_ = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_addr = in6addr_loopback;
    to.sin6_port = htons(port);
    if (fd_ >= 0) ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  ~Ipv6Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  Ipv6Client(const Ipv6Client&) = delete;
  Ipv6Client& operator=(const Ipv6Client&) = delete;

  // Reads what has come; true once the server has closed the connection.
  bool Closed() {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n == 0) return true;
      if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN;
      parser_.Append(std::string_view(buffer, static_cast<std::size_t>(n)));
      for (TWireMessage m; parser_.Next(m);) got_.push_back(m);
    }
  }
  bool Got(uint32_t type) const {
    for (const TWireMessage& m : got_)
      if (m.Type == type) return true;
    return false;
  }

 private:
  int fd_ = -1;
  TStreamParser parser_;
  std::vector<TWireMessage> got_;
};

bool HasIpv6Loopback() {
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return bound;
}

TEST_F(BanAttackTest, AnIpv6ClientIsBannedByItsAddressAtConnectAndInTheGame) {
  if (!HasIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback here";
  settings_.ListenAddress = "::1";
  StartWith(TAuthMode::Open);
  const uint16_t port = server_->Status().ListeningPort;

  // Connected before the ban: dropped once it is added.
  Ipv6Client before(port);
  ASSERT_TRUE(WaitUntil([&] { return !before.Closed() && before.Got(wire::ConnectDone); }));
  bool done = false;
  TBan ban;
  ban.Target = ParseBanTarget("::1");
  server_->Administration()->AddBan(ban, [&](const std::string&) { done = true; });
  ASSERT_TRUE(WaitUntil([&] { return done && before.Closed(); }));
  EXPECT_TRUE(before.Got(wire::ServerFull));
  EXPECT_GE(LineIndex("Client ::1 dropped due to ban."), 0);

  // Refused at connect.
  Ipv6Client after(port);
  ASSERT_TRUE(WaitUntil([&] { return after.Closed(); }));
  EXPECT_TRUE(after.Got(wire::ServerFull));
  EXPECT_FALSE(after.Got(wire::ConnectDone));
  EXPECT_GE(LineIndex("Connection from ::1 refused: the address is banned."), 0);

  // A prefix holds it as well.
  ASSERT_TRUE(Store().Bans().Remove(ban.Target));
  Store().Bans().Add(NewBan(ParseBanTarget("::/127"), "", std::nullopt, SystemWallClock()));
  Ipv6Client ranged(port);
  ASSERT_TRUE(WaitUntil([&] { return ranged.Closed(); }));
  EXPECT_FALSE(ranged.Got(wire::ConnectDone));
}

}  // namespace
}  // namespace zq::test
