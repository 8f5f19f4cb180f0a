#include "tools/client/ZQClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/Errors.h"
#include "tools/client/ClientMessages.h"
#include "tools/client/HostAddress.h"

namespace zq {
namespace {

constexpr int MAX_TCP_READS = 64;    // 64 KiB reads per event, so one client cannot starve
constexpr int MAX_DATAGRAMS = 1024;  // datagrams per event
constexpr std::size_t READ_CHUNK = 65536;

std::string ErrnoText(int err) {
  return std::strerror(err);
}

sockaddr_in Address(uint32_t addrNet, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = addrNet;
  a.sin_port = htons(port);
  return a;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

int64_t NowMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

TZQClient::TZQClient(TClientConfig config) : config_(config) {}

TZQClient::~TZQClient() {
  CloseFd(tcpFd_);
  CloseFd(udpFd_);
}

void TZQClient::Connect(const std::string& host, uint16_t port, uint16_t udpPort) {
  if (tcpFd_ >= 0 || udpFd_ >= 0) throw EInOutError("client is already connected to " + peer_);
  serverAddr_ = ResolveIPv4(host);
  peer_ = host + ":" + std::to_string(port);
  closed_ = connected_ = greeted_ = refused_ = false;
  closeReason_.clear();
  refusalText_.clear();

  tcpFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (tcpFd_ < 0)
    throw EInOutError("cannot create TCP socket for " + peer_ + ": " + ErrnoText(errno));
  int one = 1;
  ::setsockopt(tcpFd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in remote = Address(serverAddr_, port);
  if (::connect(tcpFd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) {
    connected_ = true;
  } else if (errno != EINPROGRESS) {
    int err = errno;
    CloseFd(tcpFd_);
    throw EInOutError("cannot connect to " + peer_ + ": " + ErrnoText(err));
  }
  try {
    // connect() has chosen the local address: UDP leaves from the same one, so the server
    // sees one address on both paths.
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(tcpFd_, reinterpret_cast<sockaddr*>(&local), &len) != 0)
      throw EInOutError("cannot read the local address towards " + peer_ + ": " + ErrnoText(errno));
    OpenUdp(local.sin_addr.s_addr, udpPort);
  } catch (...) {
    CloseFd(tcpFd_);
    throw;
  }
}

void TZQClient::OpenUdp(uint32_t localAddr, uint16_t udpPort) {
  udpFd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (udpFd_ < 0) throw EInOutError("cannot create UDP socket: " + ErrnoText(errno));
  int size = config_.UdpReceiveBuffer;
  // FORCE passes the system limit, for root only; otherwise the plain option, capped.
  if (::setsockopt(udpFd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
    ::setsockopt(udpFd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  sockaddr_in local = Address(localAddr, udpPort);
  if (::bind(udpFd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    int err = errno;
    CloseFd(udpFd_);
    throw EInOutError("cannot bind UDP socket to " + IPv4Text(localAddr) + ":" +
                      std::to_string(udpPort) + ": " + ErrnoText(err));
  }
  socklen_t len = sizeof local;
  ::getsockname(udpFd_, reinterpret_cast<sockaddr*>(&local), &len);
  localUdpPort_ = ntohs(local.sin_port);
}

void TZQClient::Close() {
  CloseFd(tcpFd_);
  CloseFd(udpFd_);
  out_.clear();
  parser_.Clear();
  if (!closed_) {
    closed_ = true;
    closeReason_ = "closed by the client";
    dialogue_.OnClosed();
  }
}

void TZQClient::Fail(std::string reason) {
  CloseFd(tcpFd_);
  out_.clear();
  if (!closed_) {
    closed_ = true;
    closeReason_ = std::move(reason);
    dialogue_.OnClosed();
  }
}

// ---- sending ----

bool TZQClient::SendTcp(std::string_view bytes) {
  if (tcpFd_ < 0 || closed_) return false;
  if (out_.size() + bytes.size() > config_.SendBufferLimit) {
    Fail("send buffer to " + peer_ + " over " + std::to_string(config_.SendBufferLimit) + " bytes");
    return false;
  }
  out_.append(bytes);
  if (onSend_) onSend_(Via::Tcp, bytes);
  if (connected_) FlushTcp();
  return !closed_;
}

void TZQClient::FlushTcp() {
  while (!out_.empty() && tcpFd_ >= 0) {
    ssize_t n = ::send(tcpFd_, out_.data(), out_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      out_.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return;  // the rest waits for POLLOUT
    } else {
      Fail("send to " + peer_ + " failed: " + ErrnoText(errno));
      return;
    }
  }
}

bool TZQClient::SendUdp(std::string_view bytes) {
  if (udpFd_ < 0 || closed_ || serverUdpPort_ == 0) return false;
  sockaddr_in to = Address(serverAddr_, serverUdpPort_);
  for (int attempt = 0; attempt < 2; ++attempt) {
    ssize_t n = ::sendto(udpFd_, bytes.data(), bytes.size(), MSG_DONTWAIT,
                         reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (n == static_cast<ssize_t>(bytes.size())) {
      if (onSend_) onSend_(Via::Udp, bytes);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  ++stats_.UdpSendFailures;
  return false;
}

bool TZQClient::SendRaw(std::string frame, Via via) {
  return via == Via::Tcp ? SendTcp(frame) : SendUdp(frame);
}

bool TZQClient::SendQueryIdentity(Via via) {
  return SendRaw(FrameQueryIdentity(), via);
}
bool TZQClient::SendLoginName(std::string_view name, Via via) {
  return SendRaw(FrameLoginName(name), via);
}
bool TZQClient::SendLoginPassword(std::string_view password, Via via) {
  return SendRaw(FrameLoginPassword(password), via);
}
bool TZQClient::SendClientUDPPort(Via via) {
  return SendRaw(FrameClientUDPPort(localUdpPort_), via);
}
bool TZQClient::SendClientUDPPort(uint16_t port, Via via) {
  return SendRaw(FrameClientUDPPort(port), via);
}
bool TZQClient::SendSetClientCode(uint16_t code, std::string_view rest, Via via) {
  return SendRaw(FrameSetClientCode(code, rest), via);
}
bool TZQClient::SendStartGame(std::string_view payload, Via via) {
  return SendRaw(FrameStartGame(payload), via);
}
bool TZQClient::SendKeyDown(uint8_t key, uint16_t targetX, uint16_t targetY, uint32_t clientValue,
                            Via via) {
  return SendRaw(FrameKeyDown(key, targetX, targetY, clientValue), via);
}
bool TZQClient::SendKeyUp(uint8_t key, uint16_t targetX, uint16_t targetY, uint32_t clientValue,
                          Via via) {
  return SendRaw(FrameKeyUp(key, targetX, targetY, clientValue), via);
}
bool TZQClient::SendClientSay(std::string_view text, Via via) {
  return SendRaw(FrameClientSay(text), via);
}
bool TZQClient::SendClientGone(Via via) {
  return SendRaw(FrameClientGone(), via);
}
bool TZQClient::SendBEATACK(uint8_t seq, uint32_t tick, Via via) {
  return SendRaw(FrameBEATACK(seq, tick), via);
}

// ---- setup ----

void TZQClient::BeginSetup(TSetupParams params) {
  if (closed_) {
    dialogue_.Begin(std::move(params), false);
    dialogue_.OnClosed();
    return;
  }
  for (auto& frame : dialogue_.Begin(std::move(params), greeted_)) SendTcp(frame);
}

bool TZQClient::RunSetup(TSetupParams params, int timeoutMs, const PumpHook& pump) {
  BeginSetup(std::move(params));
  WaitUntil([&] { return dialogue_.Finished(); }, timeoutMs, pump);
  return Setup() == SetupState::InGame || Setup() == SetupState::Ready;
}

// ---- receiving ----

short TZQClient::TcpEvents() const {
  if (tcpFd_ < 0) return 0;
  if (!connected_ || !out_.empty()) return POLLIN | POLLOUT;
  return POLLIN;
}

int TZQClient::Poll(int timeoutMs) {
  timeoutMs = std::clamp(timeoutMs, 0, 60000);
  pollfd fds[2] = {{tcpFd_, TcpEvents(), 0}, {udpFd_, POLLIN, 0}};
  int n = ::poll(fds, 2, timeoutMs);
  if (n <= 0) return 0;  // timeout, or EINTR: nothing to handle
  return HandleEvents(fds[0].revents, fds[1].revents);
}

int TZQClient::HandleEvents(short tcpRevents, short udpRevents) {
  received_ = 0;
  if (tcpFd_ >= 0 && !connected_ && (tcpRevents & (POLLOUT | POLLERR | POLLHUP))) FinishConnect();
  if (tcpFd_ >= 0 && connected_ && (tcpRevents & (POLLIN | POLLHUP | POLLERR))) ReadTcp();
  if (tcpFd_ >= 0 && connected_ && !out_.empty()) FlushTcp();
  if (udpFd_ >= 0 && (udpRevents & POLLIN)) ReadUdp();
  return received_;
}

void TZQClient::FinishConnect() {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(tcpFd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  if (err != 0) {
    Fail("cannot connect to " + peer_ + ": " + ErrnoText(err));
    return;
  }
  connected_ = true;
}

void TZQClient::ReadTcp() {
  char buf[READ_CHUNK];
  bool eof = false;
  std::string error;
  for (int i = 0; i < MAX_TCP_READS; ++i) {
    ssize_t n = ::recv(tcpFd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      parser_.Append(std::string_view(buf, static_cast<std::size_t>(n)));
      if (static_cast<std::size_t>(n) < sizeof buf) break;
    } else if (n == 0) {
      eof = true;
      break;
    } else if (errno == EINTR) {
      continue;
    } else {
      if (errno != EAGAIN && errno != EWOULDBLOCK) error = ErrnoText(errno);
      break;
    }
  }
  // Whole messages that arrived before the close still count.
  int64_t at = NowMicros();
  TWireMessage wire;
  while (parser_.Next(wire)) Deliver(std::move(wire), Via::Tcp, at);
  if (eof) Fail("connection closed by " + peer_);
  if (!error.empty()) Fail("receive from " + peer_ + " failed: " + error);
}

void TZQClient::ReadUdp() {
  char buf[READ_CHUNK];
  for (int i = 0; i < MAX_DATAGRAMS && udpFd_ >= 0; ++i) {
    ssize_t n = ::recv(udpFd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // EAGAIN, or an error reported by the kernel for an earlier send
    }
    int64_t at = NowMicros();
    ++stats_.UdpDatagrams;
    TDatagramParts parts = SplitDatagram(std::string_view(buf, static_cast<std::size_t>(n)));
    if (parts.Messages.empty()) ++stats_.BadDatagrams;
    stats_.StrayBytes += parts.Stray;
    for (auto& wire : parts.Messages) Deliver(std::move(wire), Via::Udp, at);
  }
}

void TZQClient::Deliver(TWireMessage&& wire, Via via, int64_t at) {
  TReceived r;
  r.Type = wire.Type;
  r.Body = DecodeServerMessage(wire.Type, wire.Payload);
  r.Payload = std::move(wire.Payload);
  r.Transport = via;
  r.AtMicros = at;
  ++received_;
  ++(via == Via::Tcp ? stats_.TcpMessages : stats_.UdpMessages);

  if (std::holds_alternative<msg::Malformed>(r.Body)) {
    ++stats_.Malformed;
  } else if (auto* port = r.As<msg::UDPPortAssign>()) {
    serverUdpPort_ = port->Port;
  } else if (auto* guid = r.As<msg::AssignGUID>()) {
    guid_ = guid->GUID;
  } else if (r.As<msg::ConnectDone>()) {
    greeted_ = true;
  } else if (auto* full = r.As<msg::ServerFull>()) {
    refused_ = true;
    refusalText_ = full->Text;
  }
  // The hook sees the message before the answers it causes.
  if (onMessage_) onMessage_(r);
  if (auto* beat = r.As<msg::BEAT>()) {
    if (config_.AnswerBeats && SendBEATACK(beat->Seq, beat->Tick)) ++stats_.BeatsAnswered;
  }
  for (auto& frame : dialogue_.OnMessage(r.Body, localUdpPort_)) SendTcp(frame);

  if (!config_.KeepInbox) return;
  if (inbox_.size() >= config_.InboxLimit) {
    inbox_.pop_front();
    ++stats_.InboxDropped;
  }
  inbox_.push_back(std::move(r));
}

// ---- inbox and waiting ----

std::optional<TReceived> TZQClient::Next() {
  if (inbox_.empty()) return std::nullopt;
  TReceived r = std::move(inbox_.front());
  inbox_.pop_front();
  return r;
}

std::optional<TReceived> TZQClient::WaitFor(const MessagePredicate& pred, int timeoutMs,
                                            const PumpHook& pump) {
  std::optional<TReceived> found;
  auto take = [&] {
    auto it = std::find_if(inbox_.begin(), inbox_.end(), pred);
    if (it == inbox_.end()) return false;
    found = std::move(*it);
    inbox_.erase(it);
    return true;
  };
  WaitUntil(take, timeoutMs, pump);
  return found;
}

bool TZQClient::WaitUntil(const std::function<bool()>& done, int timeoutMs, const PumpHook& pump) {
  const int64_t deadline = NowMicros() + static_cast<int64_t>(std::max(timeoutMs, 0)) * 1000;
  while (true) {
    if (done()) return true;
    int64_t left = deadline - NowMicros();
    if (left <= 0) return false;
    bool wasClosed = closed_;
    if (pump) pump();
    // With a pump the server shares this thread: poll briefly and give it the turn again.
    int slice = pump ? 1 : static_cast<int>(std::min<int64_t>(left / 1000 + 1, 20));
    Poll(slice);
    // Closed and nothing more can come: one last look.
    if (wasClosed && closed_) return done();
  }
}

}  // namespace zq
