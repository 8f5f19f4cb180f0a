// The TCP stream parser on any bytes, delivered in chunks of sizes the input chooses: the
// messages handed over are exactly those of the whole stream cut at once, in order, with
// their types and payloads, and what stays buffered is less than one message.
#include "fuzz/FuzzSupport.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

namespace {

using Message = std::pair<uint32_t, std::string>;

// The stream cut by hand, apart from the parser: header word, then the payload it announces.
std::vector<Message> CutWhole(std::string_view bytes) {
  std::vector<Message> out;
  while (bytes.size() >= 4) {
    const auto b = [&](std::size_t i) { return static_cast<uint32_t>(uint8_t(bytes[i])); };
    const uint32_t length = b(0) | b(1) << 8;
    if (bytes.size() - 4 < length) break;
    out.emplace_back(b(2) << 16 | b(3) << 24, std::string(bytes.substr(4, length)));
    bytes.remove_prefix(4 + length);
  }
  return out;
}

}  // namespace

std::vector<std::string> FuzzSeeds() {
  using zq::Frame;
  std::string session = std::string(1, '\x07') + Frame(zq::LoginName, "alice") +
                        Frame(zq::StartGame, "") + Frame(zq::KeyDown, std::string(14, 'k'));
  return {session, std::string(1, '\x01') + Frame(zq::ClientSay, std::string(300, 's')),
          std::string(1, '\xff') + std::string("\xff\xff\x00\x0f", 4) + "short"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zq::fuzz::Require;
  if (size < 1) return 0;
  zq::fuzz::QuietConsole();
  const std::size_t step = 1 + data[0];  // bytes per read
  const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

  zq::TSocketTable sockets;
  zq::test::FakeTcpConnection connection("127.0.0.1", 4000);
  zq::TSocketID& client = sockets.AddSocket(connection);
  zq::TZQProtocolFormat protocol(sockets);
  std::vector<Message> got;
  protocol.SetMessageHandler([&](zq::TSocketID& from, uint32_t type, std::string_view payload) {
    Require(&from == &client, "a message comes with its sender's record");
    got.emplace_back(type, std::string(payload));
  });
  for (std::size_t at = 0; at < stream.size(); at += step) {
    client.ReceiveBuffer.append(stream.substr(at, step));
    protocol.TCP_parseInputStream(client);
    Require(zq::IsIncomplete(client.ReceiveBuffer), "no whole message stays buffered");
    Require(client.ReceiveBuffer.size() < 4 + 65535, "less than one message stays buffered");
  }
  Require(got == CutWhole(stream), "chunked reads cut the stream as a whole read does");
  return 0;
}
