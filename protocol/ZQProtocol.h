// Wire framing: a 4-byte little-endian header word W (message type in the top byte, payload
// length in the low 16 bits) followed by the payload. Payload helpers, framing, and the two
// input parsers that cut TCP streams and UDP datagrams into messages for the handler.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Sockets.h"
#include "protocol/SocketTable.h"

namespace zq {

// Payload helpers. Byte strings are std::string.
std::string EncodeBytes(const void* block, std::size_t n);
// Copies min(n, payload size) bytes; returns how many were copied (the rest of `dest`
// is left as it was), so nothing is ever read outside the payload.
std::size_t PeekBytes(void* dest, std::size_t n, const std::string& payload);
std::size_t TakeBytes(void* dest, std::size_t n, std::string& payload);
uint16_t TakeWord(std::string& payload);

// Little-endian appenders for composing payloads.
inline void PutU8(std::string& s, uint8_t v) {
  s.push_back(static_cast<char>(v));
}
inline void PutU16(std::string& s, uint16_t v) {
  PutU8(s, static_cast<uint8_t>(v));
  PutU8(s, static_cast<uint8_t>(v >> 8));
}
inline void PutU32(std::string& s, uint32_t v) {
  PutU16(s, static_cast<uint16_t>(v));
  PutU16(s, static_cast<uint16_t>(v >> 16));
}
// Readers of a little-endian value at an offset the caller has checked.
inline uint16_t GetU16(std::string_view s, std::size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}
inline uint32_t GetU32(std::string_view s, std::size_t at) {
  return GetU16(s, at) | static_cast<uint32_t>(GetU16(s, at + 2)) << 16;
}

// The message: W = type OR payload length, then the payload (at most 65535 bytes).
std::string Frame(uint32_t type, std::string_view payload);
inline std::string FrameUDP(uint32_t type, std::string_view payload) {
  return Frame(type, payload);
}
// Appends the framed message to `out` (no temporary).
void AppendFrame(std::string& out, uint32_t type, std::string_view payload);

uint32_t PayloadLength(std::string_view message);  // needs at least 4 bytes
uint32_t TakeHeader(std::string& message);         // returns W AND 0xFFFF0000
bool IsIncomplete(std::string_view bytes);

// Receives every parsed message: socket number, type, payload.
using MessageHandler = std::function<void(int32_t socketId, uint32_t type, std::string payload)>;

class TZQProtocolFormat {
 public:
  explicit TZQProtocolFormat(const TSocketTable& sockets) : sockets_(sockets) {}

  void SetMessageHandler(MessageHandler handler) { messageHandler_ = std::move(handler); }

  // Hands every whole message at the front of `buffer` to the handler, in order, removing
  // each before its handler runs; an unfinished message stays for the next read.
  void TCP_parseInputStream(const ITcpConnection& connection, std::string& buffer);
  // The same for one datagram; a datagram that does not begin with a whole message is
  // reported on the console and dropped; trailing bytes are left for the caller to drop.
  void UDP_parseInputStream(const IUdpEndpoint& endpoint, const std::string& senderAddress,
                            std::string& datagram);

 private:
  const TSocketTable& sockets_;
  MessageHandler messageHandler_;
};

}  // namespace zq
