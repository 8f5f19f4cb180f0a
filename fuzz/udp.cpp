// The UDP receive path on any datagram: a datagram that does not begin with a whole message
// is dropped whole; otherwise each whole message goes to the handler in order, and bytes after
// the last whole one are dropped.
#include "fuzz/FuzzSupport.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

std::vector<std::string> FuzzSeeds() {
  using zq::Frame;
  return {Frame(zq::BEATACK, std::string("\x01\x10\x20\x30\x40", 5)) + Frame(zq::ClientSay, ""),
          Frame(zq::KeyDown, std::string(14, 'k')) + "\x01\x02", std::string("\x05\x00\x00", 3)};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zq::fuzz::Require;
  zq::fuzz::QuietConsole();
  const std::string datagram(reinterpret_cast<const char*>(data), size);
  zq::TSocketTable sockets;
  zq::test::FakeTcpConnection connection("127.0.0.1", 4000);
  zq::TSocketID& client = sockets.AddSocket(connection);
  client.UDP = std::make_unique<zq::test::FakeUdpEndpoint>(std::make_shared<zq::test::UdpRecord>());
  zq::TZQProtocolFormat protocol(sockets);
  std::size_t taken = 0, messages = 0;
  protocol.SetMessageHandler([&](zq::TSocketID& from, uint32_t type, std::string_view payload) {
    Require(&from == &client, "a datagram's messages come with the endpoint's record");
    const std::string_view rest = std::string_view(datagram).substr(taken);
    Require(!zq::IsIncomplete(rest), "only whole messages are handed over");
    Require(zq::HeaderType(rest) == type, "the type is the header's");
    Require(rest.substr(4, zq::PayloadLength(rest)) == payload, "the payload is the header's");
    taken += 4 + payload.size();
    ++messages;
  });
  protocol.UDP_parseInputStream(client, "127.0.0.1", datagram);
  Require(zq::IsIncomplete(std::string_view(datagram).substr(taken)),
          "every whole message is handed over");
  Require(messages > 0 || zq::IsIncomplete(datagram), "a datagram with a message is not dropped");
  return 0;
}
