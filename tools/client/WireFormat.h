// The client library's own view of the wire: message codes and names, little-endian reads and
// writes, and framing (2-byte length, 0, code, payload).
// Written apart from the server's protocol/ code on purpose, so that a bug in the server's
// writer and the same bug in a reader here cannot cancel out; keep it that way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zq::wire {

// A message type: the code in the top byte, byte 2 of the header below it.
constexpr uint32_t Type(uint8_t code) {
  return static_cast<uint32_t>(code) << 24;
}
constexpr uint8_t Code(uint32_t type) {
  return static_cast<uint8_t>(type >> 24);
}

// Client to server.
constexpr uint32_t SetClientCode = Type(0x07);
constexpr uint32_t QueryIdentity = Type(0x0B);
constexpr uint32_t ClientSay = Type(0x0F);
constexpr uint32_t BEATACK = Type(0x1B);
constexpr uint32_t LoginName = Type(0x1C);
constexpr uint32_t LoginPassword = Type(0x1E);
constexpr uint32_t ClientGone = Type(0x25);
constexpr uint32_t ClientUDPPort = Type(0x28);
constexpr uint32_t StartGame = Type(0x29);
constexpr uint32_t KeyDown = Type(0x2C);
constexpr uint32_t KeyUp = Type(0x2E);

// Server to client.
constexpr uint32_t PlayerInfo = Type(0x04);
constexpr uint32_t PlayerLeft = Type(0x05);
constexpr uint32_t IdentityReply = Type(0x0A);
constexpr uint32_t BEAT = Type(0x1A);
constexpr uint32_t ServerFull = Type(0x20);
constexpr uint32_t UDPPortAssign = Type(0x27);
constexpr uint32_t PasswordPrompt = Type(0x2B);
constexpr uint32_t BEATACKReply = Type(0x2D);
constexpr uint32_t PlayerMotion = Type(0x2F);
constexpr uint32_t Welcome = Type(0x30);
constexpr uint32_t KeyUpAck = Type(0x32);
constexpr uint32_t KeyDownAck = Type(0x33);
constexpr uint32_t ServerVersion = Type(0x40);
constexpr uint32_t ConnectDone = Type(0x50);
constexpr uint32_t AssignGUID = Type(0xC0);
constexpr uint32_t PlayerSpeech = Type(0xD0);
constexpr uint32_t StartPosition = Type(0xE0);

enum class Direction : uint8_t { ToServer, ToClient };

// "LoginName" for a known type of that direction, else nullptr.
const char* TypeName(uint32_t type, Direction direction);
// The type with that name in that direction, or 0.
uint32_t TypeByName(std::string_view name, Direction direction);

constexpr std::size_t HEADER_SIZE = 4;
constexpr std::size_t MAX_PAYLOAD = 0xFFFF;

// Readers take the bytes at `at`; the caller checks the length.
uint8_t GetU8(std::string_view s, std::size_t at);
uint16_t GetU16(std::string_view s, std::size_t at);
uint32_t GetU32(std::string_view s, std::size_t at);
float GetF32(std::string_view s, std::size_t at);
double GetF64(std::string_view s, std::size_t at);

void PutU8(std::string& out, uint8_t v);
void PutU16(std::string& out, uint16_t v);
void PutU32(std::string& out, uint32_t v);

// Header and payload; a payload longer than MAX_PAYLOAD is cut.
std::string Frame(uint32_t type, std::string_view payload);

// The whole message at the front of `bytes`: its type (header word AND 0xFFFF0000) and
// payload. False while fewer bytes than the header announces are there.
bool TakeFrame(std::string_view bytes, std::size_t& at, uint32_t& type, std::string& payload);

}  // namespace zq::wire
