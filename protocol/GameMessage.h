// GameMessage: the record handed between threads through the queues, with its attached
// structures. The producer makes it; whoever pops it owns and frees it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/ByteOrder.h"

namespace zq {

constexpr std::size_t MAX_MSG_DATA = 250;  // longest Data of a GameMessage
constexpr std::size_t MAX_MSSTARTUP_TEXT = 47;
constexpr std::size_t MSKEY_SIZE = 14;

// Attached to StartGame.
struct MSStartup {
  std::string UserName;  // at most 47 bytes
  std::string Password;  // at most 47 bytes
  uint16_t ClientCode = 0;
};

// Attached to KeyDown and KeyUp: the first 14 payload bytes as they came. The server reads
// the key (byte 1), the target tile (bytes 2-5) and the client's value (bytes 10-13).
struct MSKey {
  std::array<uint8_t, MSKEY_SIZE> Bytes{};

  uint8_t Key() const { return Bytes[1]; }
  uint16_t TargetX() const { return LoadLE16(&Bytes[2]); }
  uint16_t TargetY() const { return LoadLE16(&Bytes[4]); }
  uint32_t ClientValue() const { return LoadLE32(&Bytes[10]); }
};

struct GameMessage {
  int32_t SocketID = 0;
  uint32_t GUID = 0;
  int32_t TargetSocketID = 0;
  uint32_t MsgType = 0;
  std::string Data;  // at most MAX_MSG_DATA bytes
  std::variant<std::monostate, MSStartup, MSKey> msgStruct;
  // The connection a client message came from, or the one a server message is bound for
  // (AssignGUID, ReleaseGUID): socket numbers are reused, serials never.
  uint64_t Serial = 0;
  // A message for several players: it goes to each of these GUIDs, in this order, instead of
  // to GUID alone (one payload for all of them).
  std::vector<uint32_t> Recipients;

  // Stores a payload, cut to its first MAX_MSG_DATA bytes.
  void SetData(std::string_view payload) { Data.assign(payload.substr(0, MAX_MSG_DATA)); }
};

using GameMessagePtr = std::unique_ptr<GameMessage>;

}  // namespace zq
