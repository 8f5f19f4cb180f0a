#include "tools/bot/ServerMessages.h"

#include <bit>
#include <cstdio>

#include "platform/ByteOrder.h"
#include "protocol/MessageCodes.h"

namespace zq {
namespace {

msg::Malformed TooShort(uint32_t type, std::size_t need, std::size_t have) {
  const char* name = MsgTypeName(type);
  return msg::Malformed{type, std::string(name ? name : "?") + " needs " + std::to_string(need) +
                                  " payload bytes, got " + std::to_string(have)};
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if (b == '"' || b == '\\') {
      out += '\\';
      out += c;
    } else if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out + "\"";
}

std::string Hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::string Num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string N(uint64_t v) {
  return std::to_string(v);
}
std::string S(int64_t v) {
  return std::to_string(v);
}

struct Describer {
  std::string operator()(const msg::Unknown& m) const { return "Unknown type=" + Hex32(m.Type); }
  std::string operator()(const msg::Malformed& m) const {
    return "Malformed type=" + Hex32(m.Type) + " " + m.Reason;
  }
  std::string operator()(const msg::Welcome& m) const { return "Welcome Text=" + Quoted(m.Text); }
  std::string operator()(const msg::ServerVersion& m) const {
    return "ServerVersion Version=" + Quoted(m.Version);
  }
  std::string operator()(const msg::ConnectDone& m) const {
    return "ConnectDone Text=" + Quoted(m.Text);
  }
  std::string operator()(const msg::ServerFull& m) const {
    return "ServerFull Text=" + Quoted(m.Text);
  }
  std::string operator()(const msg::IdentityReply& m) const {
    return "IdentityReply Identity=" + Quoted(m.Identity);
  }
  std::string operator()(const msg::PasswordPrompt& m) const {
    return "PasswordPrompt Text=" + Quoted(m.Text);
  }
  std::string operator()(const msg::UDPPortAssign& m) const {
    return "UDPPortAssign Port=" + N(m.Port);
  }
  std::string operator()(const msg::BEAT& m) const {
    return "BEAT Seq=" + N(m.Seq) + " Tick=" + N(m.Tick);
  }
  std::string operator()(const msg::BEATACKReply& m) const {
    return "BEATACKReply Seq=" + N(m.Seq) + " RoundTrip=" + N(m.RoundTrip);
  }
  std::string operator()(const msg::AssignGUID& m) const { return "AssignGUID GUID=" + N(m.GUID); }
  std::string operator()(const msg::StartPosition& m) const {
    return "StartPosition Lead=" + N(m.Lead) + " Pad=" + N(m.Pad) + " X=" + N(m.X) +
           " Y=" + N(m.Y) + " Z=" + N(m.Z);
  }
  std::string operator()(const msg::PlayerInfo& m) const {
    return "PlayerInfo GUID=" + N(m.GUID) + " ClientCode=" + N(m.ClientCode) +
           " Facing=" + N(m.Facing) + " StateByte=" + N(m.StateByte) + " X=" + N(m.X) +
           " Y=" + N(m.Y);
  }
  std::string operator()(const msg::PlayerLeft& m) const {
    return "PlayerLeft GUID=" + N(m.GUID) + " Tick=" + N(m.Tick);
  }
  std::string operator()(const msg::PlayerSpeech& m) const {
    return "PlayerSpeech GUID=" + N(m.GUID) + " Duration=" + N(m.Duration) +
           " Text=" + Quoted(m.Text);
  }
  std::string operator()(const msg::PlayerMotion& m) const {
    return "PlayerMotion GUID=" + N(m.GUID) + " ClientCode=" + N(m.ClientCode) + " X=" + N(m.X) +
           " Y=" + N(m.Y) + " StateByte=" + N(m.StateByte) + " Facing=" + N(m.Facing) +
           " MoveFlags=" + N(m.MoveFlags) + " Reserved=" + N(m.Reserved) + " DirX=" + Num(m.DirX) +
           " DirY=" + Num(m.DirY) + " StopX=" + S(m.StopX) + " StopY=" + S(m.StopY) +
           " Speed=" + Num(m.Speed) + " GameTime=" + N(m.GameTime);
  }
  std::string operator()(const msg::KeyDownAck& m) const {
    return "KeyDownAck Key=" + N(m.Key) + " ClientValue=" + N(m.ClientValue);
  }
  std::string operator()(const msg::KeyUpAck& m) const {
    return "KeyUpAck Key=" + N(m.Key) + " ClientValue=" + N(m.ClientValue);
  }
};

}  // namespace

ServerMessageBody DecodeServerMessage(uint32_t type, std::string_view p) {
  // Fixed payload sizes of the binary messages.
  std::size_t need = 0;
  switch (type) {
    case zq::UDPPortAssign:
      need = 2;
      break;
    case zq::AssignGUID:
      need = 4;
      break;
    case zq::BEAT:
    case zq::BEATACKReply:
    case zq::KeyDownAck:
    case zq::KeyUpAck:
      need = 5;
      break;
    case zq::StartPosition:
      need = 7;
      break;
    case zq::PlayerLeft:
    case zq::PlayerSpeech:
      need = 8;
      break;
    case zq::PlayerInfo:
      need = 12;
      break;
    case zq::PlayerMotion:
      need = 45;
      break;
    default:
      break;
  }
  if (p.size() < need) return TooShort(type, need, p.size());

  switch (type) {
    case zq::Welcome:
      return msg::Welcome{std::string(p)};
    case zq::ServerVersion:
      return msg::ServerVersion{std::string(p)};
    case zq::ConnectDone:
      return msg::ConnectDone{std::string(p)};
    case zq::ServerFull:
      return msg::ServerFull{std::string(p)};
    case zq::IdentityReply:
      return msg::IdentityReply{std::string(p)};
    case zq::PasswordPrompt:
      return msg::PasswordPrompt{std::string(p)};
    case zq::UDPPortAssign:
      return msg::UDPPortAssign{GetU16(p, 0)};
    case zq::BEAT:
      return msg::BEAT{GetU8(p, 0), GetU32(p, 1)};
    case zq::BEATACKReply:
      return msg::BEATACKReply{GetU8(p, 0), GetU32(p, 1)};
    case zq::AssignGUID:
      return msg::AssignGUID{GetU32(p, 0)};
    case zq::StartPosition:
      return msg::StartPosition{GetU8(p, 0), GetU8(p, 1), GetU16(p, 2), GetU16(p, 4), GetU8(p, 6)};
    case zq::PlayerInfo:
      return msg::PlayerInfo{GetU32(p, 0), GetU16(p, 4), GetU8(p, 6),
                             GetU8(p, 7),  GetU16(p, 8), GetU16(p, 10)};
    case zq::PlayerLeft:
      return msg::PlayerLeft{GetU32(p, 0), GetU32(p, 4)};
    case zq::PlayerSpeech:
      return msg::PlayerSpeech{GetU32(p, 0), GetU32(p, 4), std::string(p.substr(8))};
    case zq::PlayerMotion: {
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
    case zq::KeyDownAck:
      return msg::KeyDownAck{GetU8(p, 0), GetU32(p, 1)};
    case zq::KeyUpAck:
      return msg::KeyUpAck{GetU8(p, 0), GetU32(p, 1)};
    default:
      return msg::Unknown{type};
  }
}

std::string DescribeMessage(const ServerMessageBody& body) {
  return std::visit(Describer{}, body);
}

}  // namespace zq
