// Client message handling: the setup dialogue (identity, login, UDP port exchange), the
// heartbeat acknowledgements, and the forwarding of game messages to the game queue, each
// connection within its message budget. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Histogram.h"
#include "platform/Sockets.h"
#include "protocol/GameMessenger.h"
#include "protocol/MessageCodes.h"
#include "protocol/SocketTable.h"
#include "protocol/ZQProtocol.h"

namespace zq {

// True for the codes that are forwarded to the game manager once a client is in the game.
bool IsGameCode(uint8_t code);

constexpr uint32_t DEFAULT_MAX_MESSAGE_RATE = 100;  // game messages a second per connection
// A connection over its message rate is not read from for this long, and then only a little
// (OVER_RATE_READ): what it sends meanwhile waits in TCP, so its flood costs the server little
// and what passes the rate comes evenly rather than in bursts.
constexpr uint32_t FLOOD_HOLD_MS = 10;
constexpr std::size_t OVER_RATE_READ = 4 * 1024;
// Ring slots of the game queue kept for joins and departures: one of each per connection.
constexpr std::size_t GAME_QUEUE_RESERVE = 2 * MAX_SOCKETS;

struct TClientSettings {
  std::string GameIdentity;
  uint16_t BaseUdpPort = DEFAULT_BASE_UDP_PORT;
  // Game messages a second per connection, bursts up to twice as many; 0: no limit.
  uint32_t MaxMessageRate = DEFAULT_MAX_MESSAGE_RATE;
};

// What the server does at a login and with speech, where it checks logins (all main thread).
struct TLoginHooks {
  // StartGame from a client not in the game: its login is being checked (its stage is
  // LoginPending and the rest of its TCP input waits); the server then calls Join or closes
  // the connection. Unset: the client joins at once under its LoginName.
  std::function<void(TSocketID&)> CheckLogin;
  // Speech of a client in the game; true when the server took it, so it is not relayed.
  std::function<bool(TSocketID&, std::string_view)> TakeSpeech;
  // A client leaves the game (its ClientGone, sent or made up); PlayerName is still set.
  std::function<void(TSocketID&)> LeftGame;
};

// Makes a new, unbound UDP endpoint (null when none can be made).
using UdpEndpointFactory = std::function<std::unique_ptr<IUdpEndpoint>()>;
// A datagram arrived on the client's endpoint from senderAddress:senderPort.
using ClientDatagramHandler =
    std::function<void(TSocketID& client, std::string datagram, uint16_t senderPort,
                       const std::string& senderAddress)>;

// The buckets of the heartbeat round trips, in seconds: a LAN's few milliseconds to the
// seconds of a client about to miss its beats.
inline const std::vector<double> BEAT_ROUND_TRIP_BOUNDS = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                           0.1,   0.25,   0.5,   1,    2.5,   5};

class TClientMessageHandler {
 public:
  // `onFlood` closes a connection that keeps joining and leaving beyond its budget.
  TClientMessageHandler(TGameMessenger& gameQueue, TClientSettings settings,
                        UdpEndpointFactory makeEndpoint, ClientDatagramHandler onDatagram,
                        std::function<void(TSocketID&)> onFlood);

  // Phase 1 acts on the dialogue and heartbeat messages; phase 2 forwards a message whose
  // code is a game code to the game queue while the client is in the game. A payload too
  // short for its fixed fields is reported and dropped, and so is a message for a free
  // record. StartGame and ClientGone always reach the game; other game
  // messages beyond the connection's budget are dropped.
  void HandleClientMessage(TSocketID& client, uint32_t type, std::string_view payload);

  // A connection in the game closed: its player leaves (a made-up ClientGone).
  void ClientLeft(TSocketID& client);

  // Gives a newly admitted connection its message budget.
  void Admit(TSocketID& client);

  void SetLoginHooks(TLoginHooks hooks) { hooks_ = std::move(hooks); }
  // The client joins the game as `name`: StartGame goes to the game queue. The caller then
  // parses the input that waited for the login.
  void Join(TSocketID& client, const std::string& name, std::string_view payload = {});

  // The handler to install in TZQProtocolFormat (refers to this object).
  MessageHandler AsMessageHandler() {
    return [this](TSocketID& client, uint32_t type, std::string_view payload) {
      HandleClientMessage(client, type, payload);
    };
  }

  uint64_t RateLimited() const { return rateLimited_; }
  // Heartbeat round trips: from a BEAT's sending to its valid BEATACK (milliseconds apart).
  const TDurationHistogram& BeatRoundTrips() const { return beatRoundTrips_; }
  // Runs with a player's GUID as it leaves the game (its goodbye or its connection's end),
  // before the game hears of it.
  void SetOnDeparture(std::function<void(uint32_t guid)> onDeparture) {
    onDeparture_ = std::move(onDeparture);
  }
  // The budget of connections admitted from now on.
  void SetMaxMessageRate(uint32_t rate) { settings_.MaxMessageRate = rate; }

 private:
  void CheckBeatAck(TSocketID& client, std::string_view payload);
  void OpenClientUdp(TSocketID& client, uint16_t clientPort);
  void Forward(TSocketID& client, uint32_t type, std::string_view payload);
  void LeaveGame(TSocketID& client);

  TGameMessenger& gameQueue_;
  TClientSettings settings_;
  UdpEndpointFactory makeEndpoint_;
  ClientDatagramHandler onDatagram_;
  std::function<void(TSocketID&)> onFlood_;
  TLoginHooks hooks_;
  std::function<void(uint32_t)> onDeparture_;
  uint64_t rateLimited_ = 0;
  TDurationHistogram beatRoundTrips_{BEAT_ROUND_TRIP_BOUNDS};
};

// "address:port" of a connection, and its player name once it has sent one, for diagnostics.
std::string ClientName(const TSocketID& client);

}  // namespace zq
