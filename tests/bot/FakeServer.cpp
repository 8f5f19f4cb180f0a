#include "tests/bot/FakeServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <stdexcept>

#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/support/Bytes.h"

namespace zq::test {

struct TFakeServer::TConn {
  int S = 0;
  int Tcp = -1;
  int Udp = -1;  // the server's endpoint for this client
  uint16_t UdpPort = 0;
  uint16_t ClientUdpPort = 0;
  bool InGame = false;
  std::string In;
  uint8_t Keys[256] = {};
  uint16_t X = 1560, Y = 1921;
  double Dir[2] = {0, 0};  // kept while standing
};

namespace {

using test::Bytes;

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

int BoundSocket(int type, uint16_t& port) {
  int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("fake server: cannot bind");
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

TFakeServer::TFakeServer(int maxClients) : maxClients_(maxClients) {
  listenFd_ = BoundSocket(SOCK_STREAM, port_);
  ::listen(listenFd_, 64);
}

TFakeServer::~TFakeServer() {
  Stop();
  for (auto& c : conns_) {
    if (c->Tcp >= 0) ::close(c->Tcp);
    if (c->Udp >= 0) ::close(c->Udp);
  }
  ::close(listenFd_);
}

void TFakeServer::Start() {
  thread_ = std::thread([this] {
    while (!stop_) Step(5);
  });
}

void TFakeServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::vector<TFakeReceived> TFakeServer::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void TFakeServer::Drop(int s) {
  std::lock_guard lock(mutex_);
  // The serving loop sees the end and closes the socket itself.
  TConn& c = *conns_.at(s - 1);
  if (c.Tcp >= 0) ::shutdown(c.Tcp, SHUT_RDWR);
}

void TFakeServer::SendRawTcp(int s, const std::string& bytes) {
  std::lock_guard lock(mutex_);
  SendTcp(*conns_.at(s - 1), bytes);
}

void TFakeServer::Step(int timeoutMs) {
  std::vector<pollfd> fds;
  {
    std::lock_guard lock(mutex_);
    fds.push_back({listenFd_, POLLIN, 0});
    for (auto& c : conns_) {
      fds.push_back({c->Tcp, POLLIN, 0});
      fds.push_back({c->Udp, POLLIN, 0});
    }
  }
  if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return;
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i + 1 < fds.size(); i += 2) {
    TConn& c = *conns_[i / 2];
    if (fds[i + 1].revents && c.Tcp >= 0) ReadTcp(c);
    if (fds[i + 2].revents) ReadUdp(c);
  }
  if (fds[0].revents & POLLIN) Accept();
}

void TFakeServer::Accept() {
  int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  if (static_cast<int>(conns_.size()) >= maxClients_) {
    std::string full = Frame(ServerFull, "Server is full.");
    ::send(fd, full.data(), full.size(), MSG_NOSIGNAL);
    ::close(fd);
    return;
  }
  auto c = std::make_unique<TConn>();
  c->S = static_cast<int>(conns_.size()) + 1;
  c->Tcp = fd;
  c->Udp = BoundSocket(SOCK_DGRAM, c->UdpPort);
  SendTcp(*c, Frame(Welcome, "Welcome to Fake") + Frame(ServerVersion, "0.1.1") +
                  Frame(ConnectDone, "1"));
  conns_.push_back(std::move(c));
}

void TFakeServer::ReadTcp(TConn& c) {
  char buf[65536];
  ssize_t n = ::recv(c.Tcp, buf, sizeof buf, 0);
  if (n <= 0) {
    ::close(c.Tcp);
    c.Tcp = -1;
    c.InGame = false;
    return;
  }
  c.In.append(buf, static_cast<std::size_t>(n));
  while (!IsIncomplete(c.In)) {
    uint32_t length = PayloadLength(c.In);
    uint32_t type = HeaderType(c.In);
    std::string payload = c.In.substr(4, length);
    c.In.erase(0, 4 + length);
    Handle(c, type, payload, false);
  }
}

void TFakeServer::ReadUdp(TConn& c) {
  char buf[65536];
  for (int i = 0; i < 256; ++i) {
    ssize_t n = ::recv(c.Udp, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0) return;
    std::string d(buf, static_cast<std::size_t>(n));
    while (!IsIncomplete(d)) {
      uint32_t length = PayloadLength(d);
      uint32_t type = HeaderType(d);
      std::string payload = d.substr(4, length);
      d.erase(0, 4 + length);
      Handle(c, type, payload, true);
    }
  }
}

void TFakeServer::Handle(TConn& c, uint32_t type, const std::string& p, bool viaUdp) {
  received_.push_back({c.S, type, p, viaUdp});
  if (type == QueryIdentity) {
    SendTcp(c, Frame(IdentityReply, "FakeIdentity"));
  } else if (type == LoginName) {
    SendTcp(c, Frame(PasswordPrompt, "Send password."));
  } else if (type == LoginPassword) {
    std::string port;
    PutU16(port, c.UdpPort);
    SendTcp(c, Frame(UDPPortAssign, port));
  } else if (type == ClientUDPPort && p.size() >= 2) {
    c.ClientUdpPort = GetU16(p, 0);
    SendUdp(c, Frame(BEAT, Bytes({1, 0xD2, 0x04, 0, 0})));  // seq 1, tick 1234
  } else if (type == StartGame) {
    c.InGame = true;
    std::string guid;
    PutU32(guid, static_cast<uint32_t>(c.S));
    SendTcp(c, Frame(AssignGUID, guid));
    SendTcp(c, Frame(StartPosition, Bytes({8, 0, 0x18, 0x06, 0x81, 0x07, 0})));
    for (auto& o : conns_) {
      if (o.get() == &c || !o->InGame) continue;
      std::string info;
      PutU32(info, static_cast<uint32_t>(c.S));
      PutU16(info, 0);
      info += Bytes({0, 0});
      PutU16(info, c.X);
      PutU16(info, c.Y);
      SendTcp(*o, Frame(PlayerInfo, info));
    }
  } else if ((type == KeyDown || type == KeyUp) && p.size() >= 14 && c.InGame) {
    uint8_t key = static_cast<uint8_t>(p[1]);
    c.Keys[key] = type == KeyDown;
    double dx = c.Keys[4] - c.Keys[3], dy = c.Keys[2] - c.Keys[1];
    bool moving = std::abs(dx) > 0.9 || std::abs(dy) > 0.9;
    double len = std::sqrt(dx * dx + dy * dy);
    if (moving) {
      c.Dir[0] = dx / len;
      c.Dir[1] = dy / len;
    }
    std::string m;
    PutU32(m, static_cast<uint32_t>(c.S));
    PutU16(m, 0);
    PutU16(m, c.X);
    PutU16(m, c.Y);
    m += Bytes({0, 0, moving ? 1 : 0, 0, 0, 0, 0});
    m.append(reinterpret_cast<const char*>(c.Dir), 16);
    PutU16(m, 0);
    PutU16(m, 0);
    float speed = moving ? 0.004f : 0.0f;
    m.append(reinterpret_cast<const char*>(&speed), 4);
    PutU32(m, 1000);
    std::string motion = Frame(PlayerMotion, m);
    for (auto& o : conns_)
      if (o->InGame) SendUdp(*o, motion);
    std::string ack;
    PutU8(ack, key);
    ack.append(p, 10, 4);
    SendUdp(c, Frame(type == KeyDown ? KeyDownAck : KeyUpAck, ack));
  }
}

void TFakeServer::SendTcp(TConn& c, const std::string& bytes) {
  if (c.Tcp >= 0) ::send(c.Tcp, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void TFakeServer::SendUdp(TConn& c, const std::string& bytes) {
  if (c.ClientUdpPort == 0) return;
  sockaddr_in to = Loopback(c.ClientUdpPort);
  ::sendto(c.Udp, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

}  // namespace zq::test
