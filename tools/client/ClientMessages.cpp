#include "tools/client/ClientMessages.h"

#include "tools/client/WireFormat.h"

namespace zq {

using namespace wire;  // Frame cuts a payload that would spill into the type bits

std::string MakeMSKey(uint8_t key, uint16_t targetX, uint16_t targetY, uint32_t clientValue) {
  std::string k;
  k.reserve(KEY_RECORD_SIZE);
  PutU8(k, 0);
  PutU8(k, key);
  PutU16(k, targetX);
  PutU16(k, targetY);
  PutU32(k, 0);  // bytes 6-9: not read by the server
  PutU32(k, clientValue);
  return k;
}

std::string FrameQueryIdentity() {
  return Frame(QueryIdentity, {});
}

std::string FrameLoginName(std::string_view name) {
  return Frame(LoginName, name);
}

std::string FrameLoginPassword(std::string_view password) {
  return Frame(LoginPassword, password);
}

std::string FrameClientUDPPort(uint16_t port) {
  std::string p;
  PutU16(p, port);
  return Frame(ClientUDPPort, p);
}

std::string FrameSetClientCode(uint16_t code, std::string_view rest) {
  std::string p;
  PutU16(p, code);
  p.append(rest);
  return Frame(SetClientCode, p);
}

std::string FrameStartGame(std::string_view payload) {
  return Frame(StartGame, payload);
}

std::string FrameKeyDown(uint8_t key, uint16_t targetX, uint16_t targetY, uint32_t clientValue) {
  return Frame(KeyDown, MakeMSKey(key, targetX, targetY, clientValue));
}

std::string FrameKeyUp(uint8_t key, uint16_t targetX, uint16_t targetY, uint32_t clientValue) {
  return Frame(KeyUp, MakeMSKey(key, targetX, targetY, clientValue));
}

std::string FrameClientSay(std::string_view text) {
  return Frame(ClientSay, text);
}

std::string FrameClientGone() {
  return Frame(ClientGone, {});
}

std::string FrameBEATACK(uint8_t seq, uint32_t tick) {
  std::string p;
  PutU8(p, seq);
  PutU32(p, tick);
  return Frame(BEATACK, p);
}

}  // namespace zq
