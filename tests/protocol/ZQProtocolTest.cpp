// Framing bytes and both input parsers.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/Console.h"
#include "protocol/ConnectionState.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tests/protocol/ProtocolFakes.h"

namespace zq {
namespace {

using test::Hex;
using Received = std::tuple<int32_t, uint32_t, std::string>;

TEST(Framing, WireBytesAndHeader) {
  EXPECT_EQ(Frame(PasswordPrompt, "Send password."), Hex("0E 00 00 2B") + "Send password.");
  std::string port;
  PutU16(port, 28503);
  EXPECT_EQ(Frame(UDPPortAssign, port), Hex("02 00 00 27 57 6F"));
  EXPECT_EQ(Frame(BEAT, std::string("\0\xFF", 2)), Hex("02 00 00 1A 00 FF"));
  std::string m = Hex("02 00 01 1B AA BB");
  EXPECT_EQ(TakeHeader(m), 0x1B010000u);  // byte 2 stays part of the type
  EXPECT_EQ(m, Hex("AA BB"));
  uint8_t block[4] = {9, 9, 9, 9};  // short payloads: nothing read past the end
  EXPECT_EQ(PeekBytes(block, 4, m), 2u);
  EXPECT_EQ(block[2], 9);
}

class ParserTest : public testing::Test {
 protected:
  ParserTest() : protocol(tables->Sockets) {
    protocol.SetMessageHandler([this](int32_t s, uint32_t type, std::string payload) {
      leftAtHandler.push_back(tables->ReceiveBuffer[1].size());
      got.emplace_back(s, type, std::move(payload));
    });
    tables->Sockets.AddSocket(conn);
  }
  void Read(const std::string& bytes) {
    tables->ReceiveBuffer[1] += bytes;
    protocol.TCP_parseInputStream(conn, tables->ReceiveBuffer[1]);
  }

  std::unique_ptr<TServerTables> tables = std::make_unique<TServerTables>();
  TZQProtocolFormat protocol;
  test::FakeTcpConnection conn{"127.0.0.1", 40001};
  std::vector<Received> got;
  std::vector<std::size_t> leftAtHandler;
};

TEST_F(ParserTest, TcpStreamIsCutInOrder) {
  std::string a = Frame(LoginName, "alice"), b = Frame(StartGame, ""), c = Frame(ClientSay, "hi");
  Read(a + b + c.substr(0, 3));  // two and a bit: the 3 bytes wait
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], Received(1, LoginName, "alice"));
  EXPECT_EQ(got[1], Received(1, StartGame, ""));
  EXPECT_EQ(leftAtHandler, (std::vector<std::size_t>{7, 3}));  // removed before the handler
  Read(c.substr(3, 2));                                        // header complete, payload not
  EXPECT_EQ(got.size(), 2u);
  Read(c.substr(5));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], Received(1, ClientSay, "hi"));
  EXPECT_TRUE(tables->ReceiveBuffer[1].empty());

  std::string d = Frame(KeyDown, std::string(14, 'k'));
  for (std::size_t i = 0; i < d.size(); ++i) {
    Read(d.substr(i, 1));
    ASSERT_EQ(got.size(), i + 1 < d.size() ? 3u : 4u) << "byte " << i;
  }
}

TEST_F(ParserTest, UnknownConnectionGoesTo64) {
  ConsoleCapture console;
  test::FakeTcpConnection stranger("127.0.0.1", 40002);
  std::string buffer = Frame(LoginName, "x");
  protocol.TCP_parseInputStream(stranger, buffer);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(std::get<0>(got[0]), NOT_FOUND);
  EXPECT_EQ(console.Lines(), std::vector<std::string>{"Address not in socket table!"});
}

TEST_F(ParserTest, UdpDatagrams) {
  ConsoleCapture console;
  tables->Sockets[1].UDP =
      std::make_unique<test::FakeUdpEndpoint>(std::make_shared<test::UdpRecord>());
  IUdpEndpoint& udp = *tables->Sockets[1].UDP;
  std::string tiny = Hex("05 00 00");
  protocol.UDP_parseInputStream(udp, "127.0.0.9", tiny);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(console.Lines(), (std::vector<std::string>{
                                 "UDP_parseInputStream received an incomplete or invalid packet.",
                                 "Source address: 127.0.0.9"}));
  console.Clear();
  std::string datagram = Hex("05 00 00 1B 07 10 20 30 40") + Frame(ClientSay, "") + Hex("AB CD");
  protocol.UDP_parseInputStream(udp, "127.0.0.1", datagram);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], Received(1, BEATACK, Hex("07 10 20 30 40")));
  EXPECT_EQ(got[1], Received(1, ClientSay, ""));
  EXPECT_EQ(datagram, Hex("AB CD"));  // stray bytes left for the caller to drop, unreported
  EXPECT_TRUE(console.Lines().empty());
}

}  // namespace
}  // namespace zq
