#include "protocol/ZQProtocol.h"

#include <cstdio>

#include "platform/Console.h"
#include "protocol/MessageCodes.h"

namespace zq {
namespace {

constexpr std::size_t HEADER_SIZE = 4;
constexpr std::size_t DESCRIBED_BYTES = 32;

}  // namespace

void AppendFrame(std::string& out, uint32_t type, std::string_view payload) {
  PutU32(out, type | static_cast<uint32_t>(payload.size() & 0xFFFF));
  out.append(payload);
}

std::string Frame(uint32_t type, std::string_view payload) {
  std::string out;
  out.reserve(HEADER_SIZE + payload.size());
  AppendFrame(out, type, payload);
  return out;
}

uint32_t PayloadLength(std::string_view message) {
  return GetU32(message, 0) & 0xFFFF;
}

uint32_t HeaderType(std::string_view message) {
  return GetU32(message, 0) & 0xFFFF0000u;
}

bool IsIncomplete(std::string_view bytes) {
  return bytes.size() < HEADER_SIZE || PayloadLength(bytes) > bytes.size() - HEADER_SIZE;
}

std::string DescribeFrame(std::string_view frame) {
  std::string out;
  if (frame.size() >= HEADER_SIZE) {
    const char* name = MsgTypeName(HeaderType(frame));
    if (name) out = std::string(name) + ", ";
  }
  out += std::to_string(frame.size()) + " bytes:";
  char hex[4];
  for (std::size_t i = 0; i < frame.size() && i < DESCRIBED_BYTES; ++i) {
    std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned char>(frame[i]));
    out += hex;
  }
  if (frame.size() > DESCRIBED_BYTES) out += " ...";
  return out;
}

std::size_t TZQProtocolFormat::Dispatch(std::string_view bytes, TSocketID& from, TTransport via) {
  std::size_t used = 0;
  const uint64_t serial = from.Serial;
  const bool live = from.InUse();
  while (!IsIncomplete(bytes.substr(used))) {
    if (via == TTransport::Tcp && live && from.InputWaits()) break;
    std::string_view message = bytes.substr(used);
    const uint32_t length = PayloadLength(message);
    const uint32_t type = HeaderType(message);
    used += HEADER_SIZE + length;
    sockets_.Traffic().Received(via, type);
    if (!live || !messageHandler_) continue;
    messageHandler_(from, type, message.substr(HEADER_SIZE, length));
    if (from.Serial != serial) return std::string_view::npos;  // closed by the handler
  }
  return used;
}

void TZQProtocolFormat::TCP_parseInputStream(TSocketID& from) {
  std::string& buffer = from.ReceiveBuffer;
  if (IsIncomplete(buffer)) return;
  std::size_t used = Dispatch(buffer, from, TTransport::Tcp);
  if (used != std::string_view::npos) buffer.erase(0, used);
}

void TZQProtocolFormat::UDP_parseInputStream(TSocketID& from, const std::string& senderAddress,
                                             std::string_view datagram) {
  if (IsIncomplete(datagram)) {
    ConsoleDiagnostic("udp incomplete", senderAddress,
                      "UDP_parseInputStream received an incomplete or invalid packet.\n"
                      "Source address: " +
                          senderAddress);
    return;
  }
  Dispatch(datagram, from, TTransport::Udp);
}

}  // namespace zq
