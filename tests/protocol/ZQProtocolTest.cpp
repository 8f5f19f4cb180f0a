// Framing bytes and both input parsers.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/Console.h"
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
  const std::string m = Hex("02 00 01 1B AA BB");
  EXPECT_EQ(HeaderType(m), 0x1B010000u);  // byte 2 stays part of the type
  EXPECT_EQ(PayloadLength(m), 2u);
  EXPECT_FALSE(IsIncomplete(m));
  EXPECT_TRUE(IsIncomplete(m.substr(0, 5)));
  EXPECT_TRUE(IsIncomplete(m.substr(0, 3)));
  EXPECT_EQ(DescribeFrame(Frame(KeyUpAck, "k")), "KeyUpAck, 5 bytes: 01 00 00 32 6B");
  EXPECT_EQ(DescribeFrame(Hex("01 02")), "2 bytes: 01 02");
}

class ParserTest : public testing::Test {
 protected:
  ParserTest() : protocol(sockets) {
    protocol.SetMessageHandler([this](TSocketID& from, uint32_t type, std::string_view payload) {
      got.emplace_back(from.Number, type, std::string(payload));
      if (closeOn == type) sockets.RemoveSocket(conn);
    });
    sockets.AddSocket(conn);
  }
  void Read(const std::string& bytes) {
    sockets[1].ReceiveBuffer += bytes;
    protocol.TCP_parseInputStream(sockets[1]);
  }

  TSocketTable sockets;
  TZQProtocolFormat protocol;
  test::FakeTcpConnection conn{"127.0.0.1", 40001};
  std::vector<Received> got;
  uint32_t closeOn = 0;
};

TEST_F(ParserTest, TcpStreamIsCutInOrder) {
  std::string a = Frame(LoginName, "alice"), b = Frame(StartGame, ""), c = Frame(ClientSay, "hi");
  Read(a + b + c.substr(0, 3));  // two and a bit: the 3 bytes wait
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], Received(1, LoginName, "alice"));
  EXPECT_EQ(got[1], Received(1, StartGame, ""));
  EXPECT_EQ(sockets[1].ReceiveBuffer, c.substr(0, 3));
  Read(c.substr(3, 2));  // header complete, payload not
  EXPECT_EQ(got.size(), 2u);
  Read(c.substr(5));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], Received(1, ClientSay, "hi"));
  EXPECT_TRUE(sockets[1].ReceiveBuffer.empty());

  std::string d = Frame(KeyDown, std::string(14, 'k'));
  for (std::size_t i = 0; i < d.size(); ++i) {
    Read(d.substr(i, 1));
    ASSERT_EQ(got.size(), i + 1 < d.size() ? 3u : 4u) << "byte " << i;
  }
}

TEST_F(ParserTest, AHandlerThatClosesTheConnectionEndsTheParse) {
  closeOn = StartGame;
  Read(Frame(LoginName, "a") + Frame(StartGame, "") + Frame(ClientSay, "never"));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_FALSE(sockets[1].InUse());
  EXPECT_TRUE(sockets[1].ReceiveBuffer.empty()) << "nothing left for a later connection";
}

TEST_F(ParserTest, AFreeRecordsInputIsDropped) {
  ConsoleCapture console;
  TSocketID& free = sockets[2];
  free.ReceiveBuffer = Frame(LoginName, "x") + Frame(LoginName, "y");
  protocol.TCP_parseInputStream(free);
  EXPECT_TRUE(got.empty());
  EXPECT_TRUE(free.ReceiveBuffer.empty());
  EXPECT_EQ(sockets.Traffic().ReceivedMessages(TTransport::Tcp, MsgCode(LoginName)), 2u);
}

TEST_F(ParserTest, UdpDatagrams) {
  ConsoleCapture console;
  sockets[1].UDP = std::make_unique<test::FakeUdpEndpoint>(std::make_shared<test::UdpRecord>());
  protocol.UDP_parseInputStream(sockets[1], "127.0.0.9", Hex("05 00 00"));
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(console.Lines(), (std::vector<std::string>{
                                 "UDP_parseInputStream received an incomplete or invalid packet.",
                                 "Source address: 127.0.0.9"}));
  console.Clear();
  std::string datagram = Hex("05 00 00 1B 07 10 20 30 40") + Frame(ClientSay, "") + Hex("AB CD");
  protocol.UDP_parseInputStream(sockets[1], "127.0.0.1", datagram);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], Received(1, BEATACK, Hex("07 10 20 30 40")));
  EXPECT_EQ(got[1], Received(1, ClientSay, ""));
  EXPECT_TRUE(console.Lines().empty()) << "stray bytes at the end go unreported";
}

}  // namespace
}  // namespace zq
