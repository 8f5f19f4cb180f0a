// Client messages: the whole framed bytes of every message a client sends, and the 14-byte
// MSKey payload of KeyDown/KeyUp (byte 1 key, 2-3 target x, 4-5 target y, 10-13 client value).
// Built on the client library's own WireFormat, never on the server's encoders: tests that
// pair the two then catch a fault on either side instead of agreeing with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zq {

constexpr std::size_t KEY_RECORD_SIZE = 14;

std::string MakeMSKey(uint8_t key, uint16_t targetX = 0, uint16_t targetY = 0,
                      uint32_t clientValue = 0);

std::string FrameQueryIdentity();
std::string FrameLoginName(std::string_view name);
std::string FrameLoginPassword(std::string_view password);
std::string FrameClientUDPPort(uint16_t port);
// The 16-bit code, then whatever else the client wants to add.
std::string FrameSetClientCode(uint16_t code, std::string_view rest = {});
std::string FrameStartGame(std::string_view payload = {});
std::string FrameKeyDown(uint8_t key, uint16_t targetX = 0, uint16_t targetY = 0,
                         uint32_t clientValue = 0);
std::string FrameKeyUp(uint8_t key, uint16_t targetX = 0, uint16_t targetY = 0,
                       uint32_t clientValue = 0);
std::string FrameClientSay(std::string_view text);
std::string FrameClientGone();
// Echoes the 5 bytes of a BEAT.
std::string FrameBEATACK(uint8_t seq, uint32_t tick);

}  // namespace zq
