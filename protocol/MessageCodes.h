// Message types: the message code in the top byte of a 32-bit type (code 0x29 is 0x29000000);
// the protocol's ports.
#pragma once

#include <cstdint>

namespace zq {

// The server's TCP port, and the default base of its UDP ports (client n uses base + n).
constexpr uint16_t TCP_LISTEN_PORT = 12578;
constexpr uint16_t DEFAULT_BASE_UDP_PORT = 28500;

constexpr uint32_t MsgType(uint8_t code) {
  return static_cast<uint32_t>(code) << 24;
}
constexpr uint8_t MsgCode(uint32_t type) {
  return static_cast<uint8_t>(type >> 24);
}

// Client to server.
constexpr uint32_t SetClientCode = MsgType(0x07);
constexpr uint32_t QueryIdentity = MsgType(0x0B);
constexpr uint32_t ClientSay = MsgType(0x0F);
constexpr uint32_t BEATACK = MsgType(0x1B);
constexpr uint32_t LoginName = MsgType(0x1C);
constexpr uint32_t LoginPassword = MsgType(0x1E);
constexpr uint32_t ClientGone = MsgType(0x25);
constexpr uint32_t ClientUDPPort = MsgType(0x28);
constexpr uint32_t StartGame = MsgType(0x29);
constexpr uint32_t KeyDown = MsgType(0x2C);
constexpr uint32_t KeyUp = MsgType(0x2E);

// Server to client.
constexpr uint32_t PlayerInfo = MsgType(0x04);
constexpr uint32_t PlayerLeft = MsgType(0x05);
constexpr uint32_t IdentityReply = MsgType(0x0A);
constexpr uint32_t BEAT = MsgType(0x1A);
constexpr uint32_t ServerFull = MsgType(0x20);
constexpr uint32_t UDPPortAssign = MsgType(0x27);
constexpr uint32_t PasswordPrompt = MsgType(0x2B);
constexpr uint32_t BEATACKReply = MsgType(0x2D);
constexpr uint32_t PlayerMotion = MsgType(0x2F);
constexpr uint32_t Welcome = MsgType(0x30);
constexpr uint32_t KeyUpAck = MsgType(0x32);
constexpr uint32_t KeyDownAck = MsgType(0x33);
constexpr uint32_t ServerVersion = MsgType(0x40);
constexpr uint32_t ConnectDone = MsgType(0x50);
constexpr uint32_t AssignGUID = MsgType(0xC0);
constexpr uint32_t PlayerSpeech = MsgType(0xD0);
constexpr uint32_t StartPosition = MsgType(0xE0);

// Between the server's threads only, never on the wire (the low half of a wire type is 0):
// the game tells the sending side that a player's GUID binding is void.
constexpr uint32_t ReleaseGUID = 0x00000001;
// The server tells one player a text that nobody else hears (an admin command's answer); the
// game sends it to that player alone as PlayerSpeech.
constexpr uint32_t PrivateSpeech = 0x00000002;

// The types the dispatch thread sends by UDP; every other type goes by TCP.
constexpr bool IsUdpType(uint32_t type) {
  return type == PlayerMotion || type == KeyUpAck || type == KeyDownAck;
}

// Name of a known type ("PlayerMotion"), or nullptr.
const char* MsgTypeName(uint32_t type);

}  // namespace zq
