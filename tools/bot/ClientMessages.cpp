#include "tools/bot/ClientMessages.h"

#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"

namespace zq {
namespace {

constexpr std::size_t MAX_PAYLOAD = 0xFFFF;

// A longer payload would spill into the type bits; it is cut instead.
std::string ClientFrame(uint32_t type, std::string_view payload) {
  return Frame(type, payload.substr(0, MAX_PAYLOAD));
}

}  // namespace

std::string MakeMSKey(uint8_t key, uint16_t targetX, uint16_t targetY, uint32_t clientValue) {
  std::string k;
  k.reserve(MSKEY_SIZE);
  PutU8(k, 0);
  PutU8(k, key);
  PutU16(k, targetX);
  PutU16(k, targetY);
  PutU32(k, 0);  // bytes 6-9: not read by the server
  PutU32(k, clientValue);
  return k;
}

std::string FrameQueryIdentity() {
  return ClientFrame(QueryIdentity, {});
}

std::string FrameLoginName(std::string_view name) {
  return ClientFrame(LoginName, name);
}

std::string FrameLoginPassword(std::string_view password) {
  return ClientFrame(LoginPassword, password);
}

std::string FrameClientUDPPort(uint16_t port) {
  std::string p;
  PutU16(p, port);
  return ClientFrame(ClientUDPPort, p);
}

std::string FrameSetClientCode(uint16_t code, std::string_view rest) {
  std::string p;
  PutU16(p, code);
  p.append(rest);
  return ClientFrame(SetClientCode, p);
}

std::string FrameStartGame(std::string_view payload) {
  return ClientFrame(StartGame, payload);
}

std::string FrameKeyDown(uint8_t key, uint16_t targetX, uint16_t targetY, uint32_t clientValue) {
  return ClientFrame(KeyDown, MakeMSKey(key, targetX, targetY, clientValue));
}

std::string FrameKeyUp(uint8_t key, uint16_t targetX, uint16_t targetY, uint32_t clientValue) {
  return ClientFrame(KeyUp, MakeMSKey(key, targetX, targetY, clientValue));
}

std::string FrameClientSay(std::string_view text) {
  return ClientFrame(ClientSay, text);
}

std::string FrameClientGone() {
  return ClientFrame(ClientGone, {});
}

std::string FrameBEATACK(uint8_t seq, uint32_t tick) {
  std::string p;
  PutU8(p, seq);
  PutU32(p, tick);
  return ClientFrame(BEATACK, p);
}

}  // namespace zq
