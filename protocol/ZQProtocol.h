// Wire framing: a 4-byte little-endian header word W (message type in the top byte, payload
// length in the low 16 bits) followed by the payload; and the two input parsers that cut TCP
// streams and UDP datagrams into messages for the handler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/ByteOrder.h"
#include "platform/Sockets.h"
#include "protocol/SocketTable.h"

namespace zq {

// The message: W = type OR payload length, then the payload (at most 65535 bytes).
std::string Frame(uint32_t type, std::string_view payload);
inline std::string FrameUDP(uint32_t type, std::string_view payload) {
  return Frame(type, payload);
}
// Appends the framed message to `out` (no temporary).
void AppendFrame(std::string& out, uint32_t type, std::string_view payload);

uint32_t PayloadLength(std::string_view message);  // needs at least 4 bytes
uint32_t HeaderType(std::string_view message);     // W AND 0xFFFF0000; needs 4 bytes
// True unless a whole message stands at the front of `bytes`.
bool IsIncomplete(std::string_view bytes);

// A frame for diagnostics: its type when known, its length and its first bytes in hex.
std::string DescribeFrame(std::string_view frame);

// Receives every parsed message: the sender's record, type, payload. The payload is valid
// during the call only.
using MessageHandler = std::function<void(TSocketID& from, uint32_t type, std::string_view)>;

class TZQProtocolFormat {
 public:
  explicit TZQProtocolFormat(TSocketTable& sockets) : sockets_(sockets) {}

  void SetMessageHandler(MessageHandler handler) { messageHandler_ = std::move(handler); }

  // Hands every whole message at the front of the sender's ReceiveBuffer to the handler, in
  // order, and then removes them all at once; an unfinished message stays for the next read.
  // Parsing stops when a handler closes the connection (the record then belongs to nobody),
  // and while the sender's input waits (InputWaits: a login being checked, a GUID not yet
  // bound) its messages stay in the buffer, in order.
  void TCP_parseInputStream(TSocketID& from);
  // The same for one datagram of the sender; a datagram that does not begin with a whole
  // message is reported on the console and dropped; bytes after the last whole message are
  // dropped without a report.
  void UDP_parseInputStream(TSocketID& from, const std::string& senderAddress,
                            std::string_view datagram);

 private:
  // Runs the handler on each whole message of `bytes` from `from` (messages of a free record
  // are counted and dropped); returns the bytes taken, or npos when a handler freed the
  // record. TCP input stops before the next message while the sender's input waits.
  std::size_t Dispatch(std::string_view bytes, TSocketID& from, TTransport via);

  TSocketTable& sockets_;
  MessageHandler messageHandler_;
};

}  // namespace zq
