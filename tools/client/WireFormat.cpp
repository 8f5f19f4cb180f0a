#include "tools/client/WireFormat.h"

#include <bit>

namespace zq::wire {
namespace {

struct TNamed {
  uint32_t Type;
  const char* Name;
};

constexpr TNamed TO_SERVER[] = {
    {SetClientCode, "SetClientCode"},
    {QueryIdentity, "QueryIdentity"},
    {ClientSay, "ClientSay"},
    {BEATACK, "BEATACK"},
    {LoginName, "LoginName"},
    {LoginPassword, "LoginPassword"},
    {ClientGone, "ClientGone"},
    {ClientUDPPort, "ClientUDPPort"},
    {StartGame, "StartGame"},
    {KeyDown, "KeyDown"},
    {KeyUp, "KeyUp"},
};

constexpr TNamed TO_CLIENT[] = {
    {PlayerInfo, "PlayerInfo"},
    {PlayerLeft, "PlayerLeft"},
    {IdentityReply, "IdentityReply"},
    {BEAT, "BEAT"},
    {ServerFull, "ServerFull"},
    {UDPPortAssign, "UDPPortAssign"},
    {PasswordPrompt, "PasswordPrompt"},
    {BEATACKReply, "BEATACKReply"},
    {PlayerMotion, "PlayerMotion"},
    {Welcome, "Welcome"},
    {KeyUpAck, "KeyUpAck"},
    {KeyDownAck, "KeyDownAck"},
    {ServerVersion, "ServerVersion"},
    {ConnectDone, "ConnectDone"},
    {AssignGUID, "AssignGUID"},
    {PlayerSpeech, "PlayerSpeech"},
    {StartPosition, "StartPosition"},
};

template <std::size_t N>
const char* Find(const TNamed (&table)[N], uint32_t type) {
  for (const TNamed& t : table)
    if (t.Type == type) return t.Name;
  return nullptr;
}

template <std::size_t N>
uint32_t FindByName(const TNamed (&table)[N], std::string_view name) {
  for (const TNamed& t : table)
    if (name == t.Name) return t.Type;
  return 0;
}

}  // namespace

const char* TypeName(uint32_t type, Direction direction) {
  return direction == Direction::ToServer ? Find(TO_SERVER, type) : Find(TO_CLIENT, type);
}

uint32_t TypeByName(std::string_view name, Direction direction) {
  return direction == Direction::ToServer ? FindByName(TO_SERVER, name)
                                          : FindByName(TO_CLIENT, name);
}

uint8_t GetU8(std::string_view s, std::size_t at) {
  return static_cast<uint8_t>(s[at]);
}

uint16_t GetU16(std::string_view s, std::size_t at) {
  return static_cast<uint16_t>(GetU8(s, at) | GetU8(s, at + 1) << 8);
}

uint32_t GetU32(std::string_view s, std::size_t at) {
  return GetU16(s, at) | static_cast<uint32_t>(GetU16(s, at + 2)) << 16;
}

float GetF32(std::string_view s, std::size_t at) {
  return std::bit_cast<float>(GetU32(s, at));
}

double GetF64(std::string_view s, std::size_t at) {
  return std::bit_cast<double>(GetU32(s, at) | static_cast<uint64_t>(GetU32(s, at + 4)) << 32);
}

void PutU8(std::string& out, uint8_t v) {
  out.push_back(static_cast<char>(v));
}

void PutU16(std::string& out, uint16_t v) {
  PutU8(out, static_cast<uint8_t>(v));
  PutU8(out, static_cast<uint8_t>(v >> 8));
}

void PutU32(std::string& out, uint32_t v) {
  PutU16(out, static_cast<uint16_t>(v));
  PutU16(out, static_cast<uint16_t>(v >> 16));
}

std::string Frame(uint32_t type, std::string_view payload) {
  payload = payload.substr(0, MAX_PAYLOAD);
  std::string out;
  out.reserve(HEADER_SIZE + payload.size());
  PutU16(out, static_cast<uint16_t>(payload.size()));
  PutU8(out, static_cast<uint8_t>(type >> 16));
  PutU8(out, Code(type));
  out.append(payload);
  return out;
}

bool TakeFrame(std::string_view bytes, std::size_t& at, uint32_t& type, std::string& payload) {
  if (bytes.size() < at + HEADER_SIZE) return false;
  std::size_t length = GetU16(bytes, at);
  if (bytes.size() - at - HEADER_SIZE < length) return false;
  type = GetU32(bytes, at) & 0xFFFF0000u;
  payload.assign(bytes.substr(at + HEADER_SIZE, length));
  at += HEADER_SIZE + length;
  return true;
}

}  // namespace zq::wire
