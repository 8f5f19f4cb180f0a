// TConnections: the TCP and UDP side of one run. Admission (the maximum, the pause, the
// per-address limit, banned addresses) and the greeting; the read path (a connection carries
// its record, its bytes go to the parser and HandleClientMessage); disconnects, errors and
// output overflow; back-pressure on a full game queue; the UDP receive path; the heartbeat and
// the setup deadline on their timers; and the status lines. It is the sessions' host
// (ISessionHost); what it asks of the sessions are their hooks. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/qt/PeriodicTimer.h"
#include "platform/qt/TcpListener.h"
#include "protocol/ClientMessages.h"
#include "protocol/SocketTable.h"
#include "protocol/ZQProtocol.h"
#include "server/GameCore.h"
#include "server/Heartbeat.h"
#include "server/ServerCounters.h"
#include "server/ServerLog.h"
#include "server/ServerOptions.h"
#include "server/ServerView.h"
#include "server/SessionHost.h"

namespace zq {

constexpr std::size_t READ_CHUNK = 64 * 1024;  // bytes one connection hands over per turn
// Game queue fill at which TCP input is held back, and at which it is taken again.
constexpr std::size_t GAME_QUEUE_HIGH = 768;
constexpr std::size_t GAME_QUEUE_LOW = 256;
constexpr int INPUT_HOLD_CHECK_MS = 1;
// Input a connection may send while it waits (its login checked, its GUID bound); beyond it,
// the connection is dropped.
constexpr std::size_t MAX_HELD_INPUT = 64 * 1024;
// The refusal of a connection past the per-address limit (at connect, or at login when it
// was let in for an Admin and is none).
constexpr const char* TOO_MANY_FROM_ADDRESS = "Too many connections from this address.";

// What the connections take from the settings.
struct TConnectionSettings {
  std::string ServerName;
  std::string GameIdentity;
  std::string ListenAddress;
  uint16_t TcpPort = 0;
  uint16_t BaseUdpPort = 0;
  int32_t MaxClients = 0;
  uint32_t SetupTimeoutMs = 0;
  uint32_t MaxPerAddress = 0;
  uint32_t MaxMessageRate = 0;
};

// What the connections ask of the sessions.
struct TSessionHooks {
  TLoginHooks Login;
  // The address has a ban in force (a connection from it is refused at once).
  std::function<bool(const std::string& address)> AddressBanned;
  // An Admin last logged in from the address: its connections pass the pause and the
  // per-address limit, and their login decides.
  std::function<bool(const std::string& address)> AdminAddress;
  // Each heartbeat cycle, after the beats.
  std::function<void()> BeatCycle;
};

class TConnections : public ISessionHost {
 public:
  TConnections(TServerLog& log, IServerView& view, TSocketTable& sockets, TGameCore& game,
               const TServerOptions& options, TConnectionSettings settings);
  ~TConnections() override;
  TConnections(const TConnections&) = delete;
  TConnections& operator=(const TConnections&) = delete;

  void SetSessionHooks(TSessionHooks hooks);

  // Listens on the settings' address and TCP port and starts the heartbeat and the setup
  // deadline (logging the listening and the beat lines, and where a newcomer connects). Raises
  // EInOutError when it cannot listen.
  void Listen();
  // Closes the listener and every connection without disconnect events (no ClientGone),
  // stops the timers and the UDP receive path, and frees every record with its endpoint.
  void Stop();

  // The running settings: the maximum, the setup deadline, the per-address limit and the
  // message rate of connections admitted from now on.
  void Apply(const TConnectionSettings& settings);
  // A new maximum number of clients, logged; 0 is ignored.
  void SetMaxClients(int32_t value);
  // Closes the connection of socket number s (it then takes the normal disconnect road).
  void DropClient(int32_t s);
  // Closes a client and logs "Client <ip> dropped due to <why>."; counted under `reason`.
  void DropFor(TSocketID& client, const std::string& why, TDrop reason);

  // The heartbeat cycle and the look at the setup deadlines; public so tests can run one
  // without waiting for the timer.
  void OnBeatTimer();
  void CheckSetupDeadlines();

  // What the status view shows.
  int32_t ConnectedCount() const { return connectedCount_; }
  int32_t PeakConnected() const { return peakConnected_; }
  int32_t MaxAllowed() const { return settings_.MaxClients; }
  uint16_t ListeningPort() const { return listener_.Port(); }
  const TServerCounters& Counters() const { return counters_; }
  uint64_t RateLimited() const { return handler_.RateLimited(); }
  const TDurationHistogram& BeatRoundTrips() const { return handler_.BeatRoundTrips(); }

  // ISessionHost.
  TSocketID* FindPlayer(std::string_view name) override;
  TSocketID* FindBySerial(uint64_t serial) override;
  void Close(TSocketID& client, std::string_view text, std::optional<TDrop> reason) override;
  void Kick(TSocketID& client, std::string_view text, const std::string& why,
            TDrop reason) override;
  void Join(TSocketID& client, const std::string& name) override;
  bool Paused() const override { return paused_; }
  void SetPaused(bool paused) override;
  using ISessionHost::Log;
  void Log(TLogLevel level, const std::string& line) override { log_.Write(level, line); }

 private:
  // TCP events.
  void OnClientConnect(ITcpConnection& connection);
  void OnClientDisconnect(ITcpConnection& connection);
  void OnClientRead(ITcpConnection& connection);
  void OnClientError(ITcpConnection& connection, int& code);
  void OnClientOverflow(ITcpConnection& connection);
  // Refuses a connection at once with ServerFull and `reason`, counted under `metric`; its
  // disconnect counts it back down.
  void Refuse(ITcpConnection& connection, const std::string& reason, TRefusal metric);
  // Stops taking TCP input until the game queue has drained to GAME_QUEUE_LOW.
  void HoldInput();
  void OnDatagram(TSocketID& client, std::string datagram, uint16_t senderPort,
                  const std::string& senderAddress);
  void UpdateStatus();

  TServerLog& log_;
  IServerView& view_;
  TSocketTable& sockets_;
  TGameCore& game_;
  const TServerOptions& options_;
  TConnectionSettings settings_;
  TSessionHooks hooks_;
  TServerCounters counters_;
  int32_t connectedCount_ = 0;
  int32_t peakConnected_ = 0;
  bool paused_ = false;
  bool receivingUdp_ = false;

  TZQProtocolFormat protocol_;
  TClientMessageHandler handler_;
  THeartbeat heartbeat_;
  TTcpListener listener_;
  TPeriodicTimer beatTimer_;
  TPeriodicTimer setupTimer_;
  TPeriodicTimer inputTimer_;  // while input is held
};

}  // namespace zq
