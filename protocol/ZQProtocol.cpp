#include "protocol/ZQProtocol.h"

#include <algorithm>

#include "platform/Console.h"

namespace zq {

std::string EncodeBytes(const void* block, std::size_t n) {
  return n == 0 ? std::string() : std::string(static_cast<const char*>(block), n);
}

std::size_t PeekBytes(void* dest, std::size_t n, const std::string& payload) {
  std::size_t k = std::min(n, payload.size());
  if (k) std::memcpy(dest, payload.data(), k);
  return k;
}

std::size_t TakeBytes(void* dest, std::size_t n, std::string& payload) {
  std::size_t k = PeekBytes(dest, n, payload);
  payload.erase(0, k);
  return k;
}

uint16_t TakeWord(std::string& payload) {
  uint8_t b[2] = {0, 0};
  TakeBytes(b, 2, payload);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

void AppendFrame(std::string& out, uint32_t type, std::string_view payload) {
  PutU32(out, type | static_cast<uint32_t>(payload.size() & 0xFFFF));
  out.append(payload);
}

std::string Frame(uint32_t type, std::string_view payload) {
  std::string out;
  out.reserve(4 + payload.size());
  AppendFrame(out, type, payload);
  return out;
}

uint32_t PayloadLength(std::string_view message) {
  return GetU32(message, 0) & 0xFFFF;
}

uint32_t TakeHeader(std::string& message) {
  uint32_t w = GetU32(message, 0);
  message.erase(0, 4);
  return w & 0xFFFF0000u;
}

bool IsIncomplete(std::string_view bytes) {
  return bytes.size() < 4 || PayloadLength(bytes) > bytes.size() - 4;
}

void TZQProtocolFormat::TCP_parseInputStream(const ITcpConnection& connection,
                                             std::string& buffer) {
  while (!IsIncomplete(buffer)) {
    uint32_t length = PayloadLength(buffer);
    uint32_t type = GetU32(buffer, 0) & 0xFFFF0000u;
    std::string payload = buffer.substr(4, length);
    buffer.erase(0, length + 4);
    int32_t s = sockets_.FindByAddress(connection.RemoteAddress(), connection.RemotePort());
    if (messageHandler_) messageHandler_(s, type, std::move(payload));
  }
}

void TZQProtocolFormat::UDP_parseInputStream(const IUdpEndpoint& endpoint,
                                             const std::string& senderAddress,
                                             std::string& datagram) {
  if (IsIncomplete(datagram)) {
    ConsoleLine("UDP_parseInputStream received an incomplete or invalid packet.");
    ConsoleLine("Source address: " + senderAddress);
    datagram.clear();
    return;
  }
  while (!IsIncomplete(datagram)) {
    uint32_t length = PayloadLength(datagram);
    uint32_t type = GetU32(datagram, 0) & 0xFFFF0000u;
    std::string payload = datagram.substr(4, length);
    datagram.erase(0, length + 4);
    int32_t s = sockets_.FindByUDP(&endpoint);
    if (messageHandler_) messageHandler_(s, type, std::move(payload));
  }
}

}  // namespace zq
