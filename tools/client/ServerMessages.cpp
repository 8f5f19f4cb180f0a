#include "tools/client/ServerMessages.h"

namespace zq {
namespace {

using namespace wire;

msg::Malformed TooShort(uint32_t type, std::size_t need, std::size_t have) {
  const char* name = TypeName(type, Direction::ToClient);
  return msg::Malformed{type, std::string(name ? name : "?") + " needs " + std::to_string(need) +
                                  " payload bytes, got " + std::to_string(have)};
}

TField N(std::string name, uint64_t v) {
  return {std::move(name), std::to_string(v), false};
}
TField S(std::string name, int64_t v) {
  return {std::move(name), std::to_string(v), false};
}
TField D(std::string name, double v) {
  return {std::move(name), NumberText(v), false};
}
TField T(std::string name, std::string_view v) {
  return {std::move(name), std::string(v), true};
}

struct TextOf {
  TMessageText operator()(const msg::Unknown& m) const {
    return {"Unknown", {{"type", Hex32Text(m.Type), false}}};
  }
  TMessageText operator()(const msg::Malformed& m) const {
    return {"Malformed", {{"type", Hex32Text(m.Type), false}, {"", m.Reason, false}}};
  }
  TMessageText operator()(const msg::Welcome& m) const { return {"Welcome", {T("Text", m.Text)}}; }
  TMessageText operator()(const msg::ServerVersion& m) const {
    return {"ServerVersion", {T("Version", m.Version)}};
  }
  TMessageText operator()(const msg::ConnectDone& m) const {
    return {"ConnectDone", {T("Text", m.Text)}};
  }
  TMessageText operator()(const msg::ServerFull& m) const {
    return {"ServerFull", {T("Text", m.Text)}};
  }
  TMessageText operator()(const msg::IdentityReply& m) const {
    return {"IdentityReply", {T("Identity", m.Identity)}};
  }
  TMessageText operator()(const msg::PasswordPrompt& m) const {
    return {"PasswordPrompt", {T("Text", m.Text)}};
  }
  TMessageText operator()(const msg::UDPPortAssign& m) const {
    return {"UDPPortAssign", {N("Port", m.Port)}};
  }
  TMessageText operator()(const msg::BEAT& m) const {
    return {"BEAT", {N("Seq", m.Seq), N("Tick", m.Tick)}};
  }
  TMessageText operator()(const msg::BEATACKReply& m) const {
    return {"BEATACKReply", {N("Seq", m.Seq), N("RoundTrip", m.RoundTrip)}};
  }
  TMessageText operator()(const msg::AssignGUID& m) const {
    return {"AssignGUID", {N("GUID", m.GUID)}};
  }
  TMessageText operator()(const msg::StartPosition& m) const {
    return {"StartPosition",
            {N("Lead", m.Lead), N("Pad", m.Pad), N("X", m.X), N("Y", m.Y), N("Z", m.Z)}};
  }
  TMessageText operator()(const msg::PlayerInfo& m) const {
    return {"PlayerInfo",
            {N("GUID", m.GUID), N("ClientCode", m.ClientCode), N("Facing", m.Facing),
             N("StateByte", m.StateByte), N("X", m.X), N("Y", m.Y)}};
  }
  TMessageText operator()(const msg::PlayerLeft& m) const {
    return {"PlayerLeft", {N("GUID", m.GUID), N("Tick", m.Tick)}};
  }
  TMessageText operator()(const msg::PlayerSpeech& m) const {
    return {"PlayerSpeech", {N("GUID", m.GUID), N("Duration", m.Duration), T("Text", m.Text)}};
  }
  TMessageText operator()(const msg::PlayerMotion& m) const {
    return {"PlayerMotion",
            {N("GUID", m.GUID), N("ClientCode", m.ClientCode), N("X", m.X), N("Y", m.Y),
             N("StateByte", m.StateByte), N("Facing", m.Facing), N("MoveFlags", m.MoveFlags),
             N("Reserved", m.Reserved), D("DirX", m.DirX), D("DirY", m.DirY), S("StopX", m.StopX),
             S("StopY", m.StopY), D("Speed", m.Speed), N("GameTime", m.GameTime)}};
  }
  TMessageText operator()(const msg::KeyDownAck& m) const {
    return {"KeyDownAck", {N("Key", m.Key), N("ClientValue", m.ClientValue)}};
  }
  TMessageText operator()(const msg::KeyUpAck& m) const {
    return {"KeyUpAck", {N("Key", m.Key), N("ClientValue", m.ClientValue)}};
  }
};

}  // namespace

ServerMessageBody DecodeServerMessage(uint32_t type, std::string_view p) {
  // Fixed payload sizes of the binary messages.
  std::size_t need = 0;
  switch (type) {
    case UDPPortAssign:
      need = 2;
      break;
    case AssignGUID:
      need = 4;
      break;
    case BEAT:
    case BEATACKReply:
    case KeyDownAck:
    case KeyUpAck:
      need = 5;
      break;
    case StartPosition:
      need = 7;
      break;
    case PlayerLeft:
    case PlayerSpeech:
      need = 8;
      break;
    case PlayerInfo:
      need = 12;
      break;
    case PlayerMotion:
      need = 45;
      break;
    default:
      break;
  }
  if (p.size() < need) return TooShort(type, need, p.size());

  switch (type) {
    case Welcome:
      return msg::Welcome{std::string(p)};
    case ServerVersion:
      return msg::ServerVersion{std::string(p)};
    case ConnectDone:
      return msg::ConnectDone{std::string(p)};
    case ServerFull:
      return msg::ServerFull{std::string(p)};
    case IdentityReply:
      return msg::IdentityReply{std::string(p)};
    case PasswordPrompt:
      return msg::PasswordPrompt{std::string(p)};
    case UDPPortAssign:
      return msg::UDPPortAssign{GetU16(p, 0)};
    case BEAT:
      return msg::BEAT{GetU8(p, 0), GetU32(p, 1)};
    case BEATACKReply:
      return msg::BEATACKReply{GetU8(p, 0), GetU32(p, 1)};
    case AssignGUID:
      return msg::AssignGUID{GetU32(p, 0)};
    case StartPosition:
      return msg::StartPosition{GetU8(p, 0), GetU8(p, 1), GetU16(p, 2), GetU16(p, 4), GetU8(p, 6)};
    case PlayerInfo:
      return msg::PlayerInfo{GetU32(p, 0), GetU16(p, 4), GetU8(p, 6),
                             GetU8(p, 7),  GetU16(p, 8), GetU16(p, 10)};
    case PlayerLeft:
      return msg::PlayerLeft{GetU32(p, 0), GetU32(p, 4)};
    case PlayerSpeech:
      return msg::PlayerSpeech{GetU32(p, 0), GetU32(p, 4), std::string(p.substr(8))};
    case PlayerMotion: {
      msg::PlayerMotion m;
      m.GUID = GetU32(p, 0);
      m.ClientCode = GetU16(p, 4);
      m.X = GetU16(p, 6);
      m.Y = GetU16(p, 8);
      m.StateByte = GetU8(p, 10);
      m.Facing = GetU8(p, 11);
      m.MoveFlags = GetU8(p, 12);
      m.Reserved = GetU32(p, 13);
      m.DirX = GetF64(p, 17);
      m.DirY = GetF64(p, 25);
      m.StopX = static_cast<int16_t>(GetU16(p, 33));
      m.StopY = static_cast<int16_t>(GetU16(p, 35));
      m.Speed = GetF32(p, 37);
      m.GameTime = GetU32(p, 41);
      return m;
    }
    case KeyDownAck:
      return msg::KeyDownAck{GetU8(p, 0), GetU32(p, 1)};
    case KeyUpAck:
      return msg::KeyUpAck{GetU8(p, 0), GetU32(p, 1)};
    default:
      return msg::Unknown{type};
  }
}

TMessageText ServerMessageText(const ServerMessageBody& body) {
  return std::visit(TextOf{}, body);
}

std::string DescribeMessage(const ServerMessageBody& body) {
  return ServerMessageText(body).Line();
}

}  // namespace zq
