// The payloads of the messages: an encoder for every server message, composed from its
// fields, and a decoder for every client message with fixed fields. Text travels as its bytes
// without terminator, so LoginName, LoginPassword and ClientSay need no decoder: their
// payload is the text. Framing is ZQProtocol's. Plain functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/GameMessage.h"

namespace zq {

// Key numbers of MSKey that steer a player; every other key is only recorded.
enum TMoveKey : uint8_t {
  KEY_MINUS_Y = 1,
  KEY_PLUS_Y = 2,
  KEY_MINUS_X = 3,
  KEY_PLUS_X = 4,
  KEY_TARGET = 6,  // towards the target tile of the message
};

// The direction a player faces (0 until it first moves).
enum TFacing : uint8_t {
  FACING_PLUS_X = 1,
  FACING_MINUS_Y = 2,
  FACING_MINUS_X = 4,
  FACING_PLUS_Y = 8,
};

// Server to client.
std::string EncodeWelcome(std::string_view serverName);  // "Welcome to " + name
std::string EncodeServerVersion(std::string_view version);
std::string EncodeConnectDone();  // "1"
std::string EncodeServerFull(std::string_view reason);
std::string EncodeIdentityReply(std::string_view identity);
std::string EncodePasswordPrompt();  // "Send password."
std::string EncodeUDPPortAssign(uint16_t port);
std::string EncodeBEAT(uint8_t seq, uint32_t tick);
std::string EncodeBEATACKReply(uint8_t seq, uint32_t roundTrip);
std::string EncodeAssignGUID(uint32_t guid);
std::string EncodeStartPosition(uint16_t x, uint16_t y, uint16_t z);

struct TPlayerInfoFields {
  uint32_t GUID = 0;
  uint16_t ClientCode = 0;
  uint8_t Facing = 0;
  uint8_t StateByte = 0;
  uint16_t X = 0;
  uint16_t Y = 0;
};
std::string EncodePlayerInfo(const TPlayerInfoFields& f);

std::string EncodePlayerLeft(uint32_t guid, uint32_t tick);
// The text goes as it is; callers cut it to its limit.
std::string EncodePlayerSpeech(uint32_t guid, uint32_t duration, std::string_view text);

struct TPlayerMotionFields {
  uint32_t GUID = 0;
  uint16_t ClientCode = 0;
  uint16_t X = 0;
  uint16_t Y = 0;
  uint8_t StateByte = 0;
  uint8_t Facing = 0;
  uint8_t MoveFlags = 0;
  double DirX = 0;
  double DirY = 0;
  int16_t StopX = 0;
  int16_t StopY = 0;
  float Speed = 0;
  uint32_t GameTime = 0;
};
std::string EncodePlayerMotion(const TPlayerMotionFields& f);  // 45 bytes
// KeyDownAck and KeyUpAck.
std::string EncodeKeyAck(uint8_t key, uint32_t clientValue);

// Client to server: nothing when the payload is shorter than the message's fixed fields.
struct TSetClientCode {
  uint16_t ClientCode = 0;
  std::string Rest;  // what follows the code
};
std::optional<TSetClientCode> DecodeSetClientCode(std::string_view payload);
std::optional<uint16_t> DecodeClientUDPPort(std::string_view payload);
struct TBeatAck {
  uint8_t Seq = 0;
  uint32_t Tick = 0;
};
std::optional<TBeatAck> DecodeBEATACK(std::string_view payload);
// KeyDown and KeyUp: the first 14 bytes.
std::optional<MSKey> DecodeKey(std::string_view payload);

}  // namespace zq
