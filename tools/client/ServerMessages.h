// Server messages as a client sees them: one struct per message type with its payload fields,
// the decoder from (type, payload) to those structs, and their text form for traces.
// The decoder reads the bytes with the client library's own WireFormat, not with the server's
// protocol code, on purpose: a reader that shared the server's helpers would agree with their
// faults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "tools/client/MessageText.h"
#include "tools/client/WireFormat.h"

namespace zq {
namespace msg {

// Greetings and setup replies carry text only.
struct Welcome {
  static constexpr uint32_t TYPE = wire::Welcome;
  std::string Text;
};
struct ServerVersion {
  static constexpr uint32_t TYPE = wire::ServerVersion;
  std::string Version;
};
struct ConnectDone {
  static constexpr uint32_t TYPE = wire::ConnectDone;
  std::string Text;
};
struct ServerFull {
  static constexpr uint32_t TYPE = wire::ServerFull;
  std::string Text;
};
struct IdentityReply {
  static constexpr uint32_t TYPE = wire::IdentityReply;
  std::string Identity;
};
struct PasswordPrompt {
  static constexpr uint32_t TYPE = wire::PasswordPrompt;
  std::string Text;
};
struct UDPPortAssign {
  static constexpr uint32_t TYPE = wire::UDPPortAssign;
  uint16_t Port = 0;
};
struct BEAT {
  static constexpr uint32_t TYPE = wire::BEAT;
  uint8_t Seq = 0;
  uint32_t Tick = 0;
};
struct BEATACKReply {
  static constexpr uint32_t TYPE = wire::BEATACKReply;
  uint8_t Seq = 0;
  uint32_t RoundTrip = 0;
};
struct AssignGUID {
  static constexpr uint32_t TYPE = wire::AssignGUID;
  uint32_t GUID = 0;
};
struct StartPosition {
  static constexpr uint32_t TYPE = wire::StartPosition;
  uint8_t Lead = 0;  // 8 from the server
  uint8_t Pad = 0;
  uint16_t X = 0;
  uint16_t Y = 0;
  uint8_t Z = 0;
};
struct PlayerInfo {
  static constexpr uint32_t TYPE = wire::PlayerInfo;
  uint32_t GUID = 0;
  uint16_t ClientCode = 0;
  uint8_t Facing = 0;
  uint8_t StateByte = 0;
  uint16_t X = 0;
  uint16_t Y = 0;
};
struct PlayerLeft {
  static constexpr uint32_t TYPE = wire::PlayerLeft;
  uint32_t GUID = 0;
  uint32_t Tick = 0;
};
struct PlayerSpeech {
  static constexpr uint32_t TYPE = wire::PlayerSpeech;
  uint32_t GUID = 0;
  uint32_t Duration = 0;
  std::string Text;
};
struct PlayerMotion {
  static constexpr uint32_t TYPE = wire::PlayerMotion;
  uint32_t GUID = 0;
  uint16_t ClientCode = 0;
  uint16_t X = 0;
  uint16_t Y = 0;
  uint8_t StateByte = 0;
  uint8_t Facing = 0;
  uint8_t MoveFlags = 0;
  uint32_t Reserved = 0;
  double DirX = 0;
  double DirY = 0;
  int16_t StopX = 0;
  int16_t StopY = 0;
  float Speed = 0;
  uint32_t GameTime = 0;
};
struct KeyDownAck {
  static constexpr uint32_t TYPE = wire::KeyDownAck;
  uint8_t Key = 0;
  uint32_t ClientValue = 0;
};
struct KeyUpAck {
  static constexpr uint32_t TYPE = wire::KeyUpAck;
  uint8_t Key = 0;
  uint32_t ClientValue = 0;
};
// A known type whose payload is shorter than its fixed fields.
struct Malformed {
  uint32_t Type = 0;
  std::string Reason;
};
// A type the client does not know.
struct Unknown {
  uint32_t Type = 0;
};

}  // namespace msg

using ServerMessageBody =
    std::variant<msg::Unknown, msg::Malformed, msg::Welcome, msg::ServerVersion, msg::ConnectDone,
                 msg::ServerFull, msg::IdentityReply, msg::PasswordPrompt, msg::UDPPortAssign,
                 msg::BEAT, msg::BEATACKReply, msg::AssignGUID, msg::StartPosition, msg::PlayerInfo,
                 msg::PlayerLeft, msg::PlayerSpeech, msg::PlayerMotion, msg::KeyDownAck,
                 msg::KeyUpAck>;

enum class Via : uint8_t { Tcp, Udp };

// One message received: raw type and payload, the decoded body, the transport and the
// arrival time (steady clock, microseconds).
struct TReceived {
  uint32_t Type = 0;
  std::string Payload;
  ServerMessageBody Body;
  Via Transport = Via::Tcp;
  int64_t AtMicros = 0;

  template <typename M>
  const M* As() const {
    return std::get_if<M>(&Body);
  }
};

// Decodes a payload; extra bytes after fixed-size payloads are ignored.
ServerMessageBody DecodeServerMessage(uint32_t type, std::string_view payload);

// The type name and every field.
TMessageText ServerMessageText(const ServerMessageBody& body);
// "PlayerMotion GUID=2 ClientCode=0 X=1560 ..."
std::string DescribeMessage(const ServerMessageBody& body);

}  // namespace zq
