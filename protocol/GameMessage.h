// GameMessage: the record handed between threads through the queues, with its attached
// structures. The producer makes it; whoever pops it owns and frees it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

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

// Attached to KeyDown and KeyUp: the first 14 payload bytes as they came.
struct MSKey {
  std::array<uint8_t, MSKEY_SIZE> Bytes{};
};

struct GameMessage {
  int32_t SocketID = 0;
  uint32_t GUID = 0;
  int32_t TargetSocketID = 0;
  uint32_t MsgType = 0;
  std::string Data;  // at most MAX_MSG_DATA bytes
  std::variant<std::monostate, MSStartup, MSKey> msgStruct;

  // Stores a payload, cut to its first MAX_MSG_DATA bytes.
  void SetData(std::string_view payload) { Data.assign(payload.substr(0, MAX_MSG_DATA)); }
};

using GameMessagePtr = std::unique_ptr<GameMessage>;

}  // namespace zq
