#include "protocol/MessageCodec.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace zq {
namespace {

// BEAT, BEATACKReply and the key acknowledgements: one byte, then 32 bits.
std::string ByteAndWord(uint8_t byte, uint32_t word) {
  std::string s;
  PutU8(s, byte);
  PutU32(s, word);
  return s;
}

}  // namespace

std::string EncodeWelcome(std::string_view serverName) {
  return "Welcome to " + std::string(serverName);
}

std::string EncodeServerVersion(std::string_view version) {
  return std::string(version);
}

std::string EncodeConnectDone() {
  return "1";
}

std::string EncodeServerFull(std::string_view reason) {
  return std::string(reason);
}

std::string EncodeIdentityReply(std::string_view identity) {
  return std::string(identity);
}

std::string EncodePasswordPrompt() {
  return "Send password.";
}

std::string EncodeUDPPortAssign(uint16_t port) {
  std::string s;
  PutU16(s, port);
  return s;
}

std::string EncodeBEAT(uint8_t seq, uint32_t tick) {
  return ByteAndWord(seq, tick);
}

std::string EncodeBEATACKReply(uint8_t seq, uint32_t roundTrip) {
  return ByteAndWord(seq, roundTrip);
}

std::string EncodeAssignGUID(uint32_t guid) {
  std::string s;
  PutU32(s, guid);
  return s;
}

std::string EncodeStartPosition(uint16_t x, uint16_t y, uint16_t z) {
  std::string s;
  PutU8(s, 8);
  PutU8(s, 0);
  PutU16(s, x);
  PutU16(s, y);
  PutU8(s, static_cast<uint8_t>(z));
  return s;
}

std::string EncodePlayerInfo(const TPlayerInfoFields& f) {
  std::string s;
  s.reserve(12);
  PutU32(s, f.GUID);
  PutU16(s, f.ClientCode);
  PutU8(s, f.Facing);
  PutU8(s, f.StateByte);
  PutU16(s, f.X);
  PutU16(s, f.Y);
  return s;
}

std::string EncodePlayerLeft(uint32_t guid, uint32_t tick) {
  std::string s;
  PutU32(s, guid);
  PutU32(s, tick);
  return s;
}

std::string EncodePlayerSpeech(uint32_t guid, uint32_t duration, std::string_view text) {
  std::string s;
  s.reserve(8 + text.size());
  PutU32(s, guid);
  PutU32(s, duration);
  s.append(text);
  return s;
}

std::string EncodePlayerMotion(const TPlayerMotionFields& f) {
  std::string s;
  s.reserve(45);
  PutU32(s, f.GUID);
  PutU16(s, f.ClientCode);
  PutU16(s, f.X);
  PutU16(s, f.Y);
  PutU8(s, f.StateByte);
  PutU8(s, f.Facing);
  PutU8(s, f.MoveFlags);
  PutU32(s, 0);
  PutF64(s, f.DirX);
  PutF64(s, f.DirY);
  PutU16(s, static_cast<uint16_t>(f.StopX));
  PutU16(s, static_cast<uint16_t>(f.StopY));
  PutF32(s, f.Speed);
  PutU32(s, f.GameTime);
  return s;
}

std::string EncodeKeyAck(uint8_t key, uint32_t clientValue) {
  return ByteAndWord(key, clientValue);
}

std::optional<TSetClientCode> DecodeSetClientCode(std::string_view payload) {
  if (payload.size() < 2) return std::nullopt;
  return TSetClientCode{GetU16(payload, 0), std::string(payload.substr(2))};
}

std::optional<uint16_t> DecodeClientUDPPort(std::string_view payload) {
  if (payload.size() < 2) return std::nullopt;
  return GetU16(payload, 0);
}

std::optional<TBeatAck> DecodeBEATACK(std::string_view payload) {
  if (payload.size() < 5) return std::nullopt;
  return TBeatAck{GetU8(payload, 0), GetU32(payload, 1)};
}

std::optional<MSKey> DecodeKey(std::string_view payload) {
  if (payload.size() < MSKEY_SIZE) return std::nullopt;
  MSKey key;
  std::memcpy(key.Bytes.data(), payload.data(), MSKEY_SIZE);
  return key;
}

}  // namespace zq
