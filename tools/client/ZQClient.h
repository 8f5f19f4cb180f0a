// TZQClient: one game client, non-blocking throughout. A TCP connection to the server and a
// UDP socket on the same local address; received bytes are cut into messages, decoded and
// kept in an inbox (bounded); senders for every client message; optional automatic BEATACK
// and setup dialogue; hooks that see every message sent and received. Nothing here blocks: Poll and
// the wait helpers are bounded in time and call a `pump` hook between polls so a server in the same
// thread keeps running. One thread only: a client and everything it calls back run on the thread
// that polls it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "tools/client/ServerMessages.h"
#include "tools/client/SetupDialogue.h"
#include "tools/client/StreamParser.h"

namespace zq {

struct TClientConfig {
  bool AnswerBeats = true;  // echo every BEAT as a BEATACK by UDP
  bool KeepInbox = true;    // keep received messages for Next/WaitFor
  std::size_t InboxLimit = 10000;
  int UdpReceiveBuffer = 4 << 20;          // bytes asked for with SO_RCVBUF(FORCE)
  std::size_t SendBufferLimit = 4u << 20;  // unsent TCP bytes before the client gives up
};

struct TClientStats {
  uint64_t TcpMessages = 0;
  uint64_t UdpMessages = 0;
  uint64_t UdpDatagrams = 0;
  uint64_t BadDatagrams = 0;  // not starting with a whole message
  uint64_t StrayBytes = 0;    // after the last whole message of a datagram
  uint64_t Malformed = 0;     // known type, payload too short
  uint64_t UdpSendFailures = 0;
  uint64_t BeatsAnswered = 0;
  uint64_t InboxDropped = 0;
};

int64_t NowMicros();  // steady clock

using MessagePredicate = std::function<bool(const TReceived&)>;
using PumpHook = std::function<void()>;

class TZQClient {
 public:
  explicit TZQClient(TClientConfig config = {});
  ~TZQClient();
  TZQClient(const TZQClient&) = delete;
  TZQClient& operator=(const TZQClient&) = delete;

  // Starts a non-blocking TCP connect to host:port (a dotted IPv4 address or a name) and opens
  // the UDP socket on the TCP connection's local address and udpPort (0: any free port).
  // A host that does not resolve raises EConvertError; socket failures raise EInOutError
  // naming the address.
  void Connect(const std::string& host, uint16_t port, uint16_t udpPort = 0);
  // Sends nothing more, closes both sockets.
  void Close();

  bool IsConnected() const { return tcpFd_ >= 0 && connected_; }
  bool IsClosed() const { return closed_; }
  const std::string& CloseReason() const { return closeReason_; }
  bool Greeted() const { return greeted_; }  // ConnectDone received
  bool Refused() const { return refused_; }  // ServerFull received
  const std::string& RefusalText() const { return refusalText_; }

  uint16_t LocalUdpPort() const { return localUdpPort_; }
  uint16_t ServerUdpPort() const { return serverUdpPort_; }  // from UDPPortAssign, 0 before
  uint32_t Guid() const { return guid_; }                    // from AssignGUID, 0 before

  // Senders. TCP bytes wait in a send buffer while the socket cannot take them; UDP goes to
  // the server's address and ServerUdpPort(). False when the message cannot leave (closed, or
  // UDP before UDPPortAssign).
  bool SendQueryIdentity(Via via = Via::Tcp);
  bool SendLoginName(std::string_view name, Via via = Via::Tcp);
  bool SendLoginPassword(std::string_view password, Via via = Via::Tcp);
  bool SendClientUDPPort(Via via = Via::Tcp);  // announces LocalUdpPort()
  bool SendClientUDPPort(uint16_t port, Via via = Via::Tcp);
  bool SendSetClientCode(uint16_t code, std::string_view rest = {}, Via via = Via::Tcp);
  bool SendStartGame(std::string_view payload = {}, Via via = Via::Tcp);
  bool SendKeyDown(uint8_t key, uint16_t targetX = 0, uint16_t targetY = 0,
                   uint32_t clientValue = 0, Via via = Via::Tcp);
  bool SendKeyUp(uint8_t key, uint16_t targetX = 0, uint16_t targetY = 0, uint32_t clientValue = 0,
                 Via via = Via::Tcp);
  bool SendClientSay(std::string_view text, Via via = Via::Tcp);
  bool SendClientGone(Via via = Via::Tcp);
  bool SendBEATACK(uint8_t seq, uint32_t tick, Via via = Via::Udp);
  // Any framed bytes.
  bool SendRaw(std::string frame, Via via);

  // Runs the setup dialogue as answers arrive (see SetupDialogue.h).
  void BeginSetup(TSetupParams params);
  SetupState Setup() const { return dialogue_.State(); }

  // Waits at most timeoutMs (0: just look) for socket events and handles what is available.
  // Returns the number of messages received.
  int Poll(int timeoutMs);

  // For pollers of many clients: the two descriptors (negative when closed), the events to
  // wait for on the TCP one, and the handling of what poll reported.
  int TcpFd() const { return tcpFd_; }
  int UdpFd() const { return udpFd_; }
  short TcpEvents() const;
  int HandleEvents(short tcpRevents, short udpRevents);

  // Called for every received message, before it enters the inbox.
  void SetOnMessage(std::function<void(const TReceived&)> onMessage) {
    onMessage_ = std::move(onMessage);
  }
  // Called with the bytes of every send that was accepted, setup and BEATACK included.
  void SetOnSend(std::function<void(Via, std::string_view)> onSend) { onSend_ = std::move(onSend); }
  // Whether received BEATs are answered (TClientConfig::AnswerBeats).
  void SetAnswerBeats(bool answer) { config_.AnswerBeats = answer; }

  // Inbox: the oldest message, or nothing.
  std::optional<TReceived> Next();
  const std::deque<TReceived>& Inbox() const { return inbox_; }
  void ClearInbox() { inbox_.clear(); }

  // Takes the first inbox message matching `pred`, polling until it comes, the connection
  // closes or timeoutMs pass. `pump` runs between polls. Other messages stay in the inbox.
  std::optional<TReceived> WaitFor(const MessagePredicate& pred, int timeoutMs,
                                   const PumpHook& pump = {});
  template <typename M>
  std::optional<M> WaitFor(int timeoutMs, const PumpHook& pump = {},
                           const std::function<bool(const M&)>& filter = {}) {
    auto got = WaitFor(
        [&](const TReceived& r) {
          const M* m = r.template As<M>();
          return m && (!filter || filter(*m));
        },
        timeoutMs, pump);
    if (!got) return std::nullopt;
    return *got->template As<M>();
  }
  // Polls until `done` holds or timeoutMs pass; returns `done()`.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs, const PumpHook& pump = {});

  // Setup helper: BeginSetup, then wait for its end. True when InGame (or Ready).
  bool RunSetup(TSetupParams params, int timeoutMs, const PumpHook& pump = {});

  const TClientStats& Stats() const { return stats_; }

 private:
  void OpenUdp(uint32_t localAddr, uint16_t udpPort);
  void FinishConnect();
  void ReadTcp();
  void ReadUdp();
  void FlushTcp();
  void Deliver(TWireMessage&& wire, Via via, int64_t at);
  void Fail(std::string reason);
  bool SendTcp(std::string_view bytes);
  bool SendUdp(std::string_view bytes);

  TClientConfig config_;
  int tcpFd_ = -1;
  int udpFd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
  bool greeted_ = false;
  bool refused_ = false;
  std::string refusalText_;
  std::string closeReason_;
  std::string peer_;         // "host:port" for messages
  uint32_t serverAddr_ = 0;  // network byte order
  uint16_t localUdpPort_ = 0;
  uint16_t serverUdpPort_ = 0;
  uint32_t guid_ = 0;
  std::string out_;  // TCP bytes not yet taken by the socket
  TStreamParser parser_;
  TSetupDialogue dialogue_;
  std::deque<TReceived> inbox_;
  std::function<void(const TReceived&)> onMessage_;
  std::function<void(Via, std::string_view)> onSend_;
  TClientStats stats_;
  int received_ = 0;  // messages delivered in the current HandleEvents
};

}  // namespace zq
