// The settings the start sequence reads: from the window's fields or from the command line.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/ClientMessages.h"
#include "protocol/MessageCodes.h"

namespace zq {

constexpr const char* VersionString = "0.1.1";
constexpr uint32_t DEFAULT_SETUP_TIMEOUT_MS = 30 * 1000;

struct TServerSettings {
  std::string GameDirectory;  // the chosen installation directory
  std::string ServerName = "MyServer";
  std::string BaseUdpPortText = std::to_string(DEFAULT_BASE_UDP_PORT);  // an integer, low 16 bits
  int32_t MaxClients = 32;
  int32_t SpawnX = 1560;
  int32_t SpawnY = 1921;
  // A connection must have announced its UDP port and started the game within this time of
  // its admission, or it is closed; 0 switches the deadline off.
  uint32_t SetupTimeoutMs = DEFAULT_SETUP_TIMEOUT_MS;
  // Connections admitted at once from one IP address; 0: no limit.
  uint32_t MaxPerAddress = 0;
  // Game messages a second per connection (bursts up to twice as many); 0: no limit.
  uint32_t MaxMessageRate = DEFAULT_MAX_MESSAGE_RATE;
};

}  // namespace zq
