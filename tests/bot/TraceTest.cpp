#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/support/Bytes.h"
#include "tools/client/ClientMessages.h"
#include "tools/client/Trace.h"
#include "tools/client/WireFormat.h"

namespace zq {
namespace {

constexpr auto B = test::Bytes;

// The lines without their time stamps.
std::vector<std::string> Unstamped(const std::string& text) {
  static const std::regex stamp(R"(^\d\d:\d\d:\d\d\.\d{6} )");
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    EXPECT_TRUE(std::regex_search(l, stamp)) << l;
    lines.push_back(std::regex_replace(l, stamp, ""));
  }
  return lines;
}

TEST(Trace, SentBytesAreCutIntoMessagesAsTheServerReadsThem) {
  std::ostringstream out;
  TTrace trace(out, false);
  // Two messages in one send, then one split across two sends.
  trace.Sent("a", Via::Tcp, FrameQueryIdentity() + FrameLoginName("bot"));
  std::string key = FrameKeyDown(4, 1, 2, 3);
  trace.Sent("a", Via::Tcp, key.substr(0, 5));
  trace.Sent("b", Via::Tcp, FrameClientGone());  // another client's stream is its own
  trace.Sent("a", Via::Tcp, key.substr(5));
  // A datagram with a stray byte after its message.
  trace.Sent("a", Via::Udp, FrameBEATACK(7, 1234) + "x");
  EXPECT_EQ(Unstamped(out.str()),
            (std::vector<std::string>{
                "a -> TCP QueryIdentity", "a -> TCP LoginName Name=\"bot\"", "b -> TCP ClientGone",
                "a -> TCP KeyDown Key=4 TargetX=1 TargetY=2 ClientValue=3",
                "a -> UDP BEATACK Seq=7 Tick=1234", "a -> UDP Partial bytes=1"}));
}

TEST(Trace, ReceivedMessagesWithTheirBytes) {
  std::ostringstream out;
  TTrace trace(out, true);
  TReceived r;
  r.Type = wire::UDPPortAssign;
  r.Payload = B({0x57, 0x6F});
  r.Body = DecodeServerMessage(r.Type, r.Payload);
  trace.Received("bot", r);
  r.Transport = Via::Udp;
  r.Type = wire::Type(0x2F) | 0x00010000u;  // byte 2 set: not a type the client knows
  r.Payload = "";
  r.Body = DecodeServerMessage(r.Type, r.Payload);
  trace.Received("bot", r);
  trace.Sent("bot", Via::Tcp, FrameClientSay(std::string("\x01\"", 2)));
  EXPECT_EQ(Unstamped(out.str()),
            (std::vector<std::string>{
                "bot <- TCP UDPPortAssign Port=28503", "bot    bytes 02 00 00 27 57 6F",
                "bot <- UDP Unknown type=0x2F010000", "bot    bytes 00 00 01 2F",
                "bot -> TCP ClientSay Text=\"\\x01\\\"\"", "bot    bytes 02 00 00 0F 01 22"}));
}

TEST(Trace, APasswordNeverReachesTheTraceNorItsBytes) {
  std::ostringstream out;
  TTrace trace(out, true);
  const std::string frame = FrameLoginPassword("s3cret-pw");
  // Split across two sends, as a slow socket may take it.
  trace.Sent("bot", Via::Tcp, frame.substr(0, 6));
  trace.Sent("bot", Via::Tcp, frame.substr(6) + FrameClientGone());
  const std::string text = out.str();
  EXPECT_EQ(text.find("s3cret"), std::string::npos) << text;
  EXPECT_EQ(text.find("73 33 63 72"), std::string::npos) << text;  // "s3cr" in hex
  const std::vector<std::string> lines = Unstamped(text);
  ASSERT_EQ(lines.size(), 4u) << text;
  EXPECT_EQ(lines[0], "bot -> TCP LoginPassword Password=(hidden)");
  EXPECT_EQ(lines[2], "bot -> TCP ClientGone");
}

}  // namespace
}  // namespace zq
