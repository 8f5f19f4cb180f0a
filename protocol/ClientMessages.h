// Client message handling: the setup dialogue (identity, login, UDP port exchange), the
// heartbeat acknowledgements, and the forwarding of game messages to the game queue.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Sockets.h"
#include "protocol/ConnectionState.h"
#include "protocol/GameMessenger.h"
#include "protocol/ZQProtocol.h"

namespace zq {

// True for the codes that are forwarded to the game manager once a client is in the game.
bool IsGameCode(uint8_t code);

struct TClientSettings {
  std::string GameIdentity;
  uint16_t BaseUdpPort = 28500;
};

// Makes a new, unbound UDP endpoint (null when none can be made).
using UdpEndpointFactory = std::function<std::unique_ptr<IUdpEndpoint>()>;

class TClientMessageHandler {
 public:
  TClientMessageHandler(TServerTables& tables, TGameMessenger& gameQueue, TClientSettings settings,
                        UdpEndpointFactory makeEndpoint, UdpReceiveHandler onDatagram);

  // Phase 1 acts on the dialogue and heartbeat messages; phase 2 forwards a message whose
  // code is a game code to the game queue while the client is in the game. A payload too
  // short for its fixed fields is reported and dropped.
  void HandleClientMessage(int32_t n, uint32_t type, std::string payload);

  // The handler to install in TZQProtocolFormat (refers to this object).
  MessageHandler AsMessageHandler() {
    return [this](int32_t n, uint32_t type, std::string payload) {
      HandleClientMessage(n, type, std::move(payload));
    };
  }

 private:
  void CheckBeatAck(int32_t n, const std::string& payload);
  void OpenClientUdp(int32_t n, std::string& payload);
  void Forward(int32_t n, uint32_t type, const std::string& payload);

  TServerTables& tables_;
  TGameMessenger& gameQueue_;
  TClientSettings settings_;
  UdpEndpointFactory makeEndpoint_;
  UdpReceiveHandler onDatagram_;
};

}  // namespace zq
