#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "tests/support/Bytes.h"
#include "tools/client/ServerMessages.h"

namespace zq {
namespace {

using namespace wire;
constexpr auto B = test::Bytes;

template <typename M>
M Decode(uint32_t type, const std::string& payload) {
  ServerMessageBody body = DecodeServerMessage(type, payload);
  const M* m = std::get_if<M>(&body);
  EXPECT_NE(m, nullptr) << DescribeMessage(body);
  return m ? *m : M{};
}

TEST(ServerMessages, TextMessagesKeepEveryByte) {
  EXPECT_EQ(Decode<msg::Welcome>(Welcome, "Welcome to Srv").Text, "Welcome to Srv");
  EXPECT_EQ(Decode<msg::ServerVersion>(ServerVersion, "0.1.1").Version, "0.1.1");
  EXPECT_EQ(Decode<msg::ConnectDone>(ConnectDone, "1").Text, "1");
  EXPECT_EQ(Decode<msg::ServerFull>(ServerFull, "Server is full.").Text, "Server is full.");
  EXPECT_EQ(Decode<msg::PasswordPrompt>(PasswordPrompt, "Send password.").Text, "Send password.");
  std::string withZero("ab\0c", 4);
  EXPECT_EQ(Decode<msg::IdentityReply>(IdentityReply, withZero).Identity, withZero);
  EXPECT_EQ(Decode<msg::Welcome>(Welcome, "").Text, "");
}

TEST(ServerMessages, FixedFieldsAreLittleEndianAtTheirOffsets) {
  EXPECT_EQ(Decode<msg::UDPPortAssign>(UDPPortAssign, B({0x57, 0x6F})).Port, 28503);

  auto beat = Decode<msg::BEAT>(BEAT, B({0xFF, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(beat.Seq, 255);
  EXPECT_EQ(beat.Tick, 0x12345678u);

  auto reply = Decode<msg::BEATACKReply>(BEATACKReply, B({7, 0x2A, 0, 0, 0}));
  EXPECT_EQ(reply.Seq, 7);
  EXPECT_EQ(reply.RoundTrip, 42u);

  EXPECT_EQ(Decode<msg::AssignGUID>(AssignGUID, B({0x01, 0x02, 0x03, 0x84})).GUID, 0x84030201u);

  auto start = Decode<msg::StartPosition>(StartPosition, B({8, 0, 0x18, 0x06, 0x81, 0x07, 0}));
  EXPECT_EQ(start.Lead, 8);
  EXPECT_EQ(start.X, 1560);
  EXPECT_EQ(start.Y, 1921);
  EXPECT_EQ(start.Z, 0);

  auto info = Decode<msg::PlayerInfo>(PlayerInfo,
                                      B({2, 0, 0, 0, 0x34, 0x12, 8, 5, 0x18, 0x06, 0x81, 0x07}));
  EXPECT_EQ(info.GUID, 2u);
  EXPECT_EQ(info.ClientCode, 0x1234);
  EXPECT_EQ(info.Facing, 8);
  EXPECT_EQ(info.StateByte, 5);
  EXPECT_EQ(info.X, 1560);
  EXPECT_EQ(info.Y, 1921);

  auto left = Decode<msg::PlayerLeft>(PlayerLeft, B({3, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(left.GUID, 3u);
  EXPECT_EQ(left.Tick, 0xFFFFFFFFu);

  auto speech =
      Decode<msg::PlayerSpeech>(PlayerSpeech, B({1, 0, 0, 0, 0x88, 0x13, 0, 0}) + "\"hi\"");
  EXPECT_EQ(speech.GUID, 1u);
  EXPECT_EQ(speech.Duration, 5000u);
  EXPECT_EQ(speech.Text, "\"hi\"");

  auto down = Decode<msg::KeyDownAck>(KeyDownAck, B({4, 0xEF, 0xBE, 0xAD, 0xDE}));
  EXPECT_EQ(down.Key, 4);
  EXPECT_EQ(down.ClientValue, 0xDEADBEEFu);
  auto up = Decode<msg::KeyUpAck>(KeyUpAck, B({1, 9, 0, 0, 0}));
  EXPECT_EQ(up.Key, 1);
  EXPECT_EQ(up.ClientValue, 9u);
}

TEST(ServerMessages, PlayerMotionDecodesEveryFieldIncludingFloats) {
  std::string p = B({5, 0, 0, 0, 0x02, 0x01, 0x19, 0x06, 0x80, 0x07, 3, 1, 1, 9, 8, 7, 6});
  double dx = -0.70710678118654757, dy = 0.25;
  char raw[8];
  std::memcpy(raw, &dx, 8);
  p.append(raw, 8);
  std::memcpy(raw, &dy, 8);
  p.append(raw, 8);
  p += B({0xFF, 0xFF, 0x0A, 0x00});  // StopX -1, StopY 10
  p += B({0x6F, 0x12, 0x83, 0x3B});  // 0.004f
  p += B({0xE8, 0x03, 0, 0});        // 1000
  ASSERT_EQ(p.size(), 45u);
  auto m = Decode<msg::PlayerMotion>(PlayerMotion, p);
  EXPECT_EQ(m.GUID, 5u);
  EXPECT_EQ(m.ClientCode, 0x0102);
  EXPECT_EQ(m.X, 1561);
  EXPECT_EQ(m.Y, 1920);
  EXPECT_EQ(m.StateByte, 3);
  EXPECT_EQ(m.Facing, 1);
  EXPECT_EQ(m.MoveFlags, 1);
  EXPECT_EQ(m.Reserved, 0x06070809u);
  EXPECT_EQ(m.DirX, dx);
  EXPECT_EQ(m.DirY, dy);
  EXPECT_EQ(m.StopX, -1);
  EXPECT_EQ(m.StopY, 10);
  EXPECT_EQ(m.Speed, 0.004f);
  EXPECT_EQ(m.GameTime, 1000u);

  EXPECT_EQ(DescribeMessage(DecodeServerMessage(PlayerMotion, p)),
            "PlayerMotion GUID=5 ClientCode=258 X=1561 Y=1920 StateByte=3 Facing=1 MoveFlags=1 "
            "Reserved=101124105 DirX=-0.70710678118654757 DirY=0.25 StopX=-1 StopY=10 "
            "Speed=0.0040000001899898052 GameTime=1000");
}

TEST(ServerMessages, ShortPayloadsAreMalformedNotReadPastTheEnd) {
  struct Case {
    uint32_t type;
    std::size_t need;
  } cases[] = {{UDPPortAssign, 2}, {BEAT, 5},        {BEATACKReply, 5}, {AssignGUID, 4},
               {StartPosition, 7}, {PlayerInfo, 12}, {PlayerLeft, 8},   {PlayerSpeech, 8},
               {PlayerMotion, 45}, {KeyDownAck, 5},  {KeyUpAck, 5}};
  for (const Case& c : cases) {
    // Exactly one byte short; a heap copy lets the sanitizer catch any read past the end.
    auto heap = std::make_unique<char[]>(c.need - 1);
    ServerMessageBody body = DecodeServerMessage(c.type, std::string_view(heap.get(), c.need - 1));
    const auto* bad = std::get_if<msg::Malformed>(&body);
    ASSERT_NE(bad, nullptr) << TypeName(c.type, Direction::ToClient);
    EXPECT_EQ(bad->Type, c.type);
    EXPECT_NE(bad->Reason.find("needs " + std::to_string(c.need)), std::string::npos)
        << bad->Reason;
    // One byte more is enough; trailing extra bytes are ignored.
    std::string exact(c.need, '\0');
    EXPECT_FALSE(std::holds_alternative<msg::Malformed>(DecodeServerMessage(c.type, exact)));
    EXPECT_FALSE(
        std::holds_alternative<msg::Malformed>(DecodeServerMessage(c.type, exact + "xyz")));
  }
}

TEST(ServerMessages, UnknownTypesAndClientCodesStayUnknown) {
  for (uint32_t type : {Type(0x99), QueryIdentity, KeyDown, Type(0x2F) | 0x00010000u}) {
    ServerMessageBody body = DecodeServerMessage(type, "abc");
    ASSERT_TRUE(std::holds_alternative<msg::Unknown>(body));
    EXPECT_EQ(std::get<msg::Unknown>(body).Type, type);
  }
  EXPECT_EQ(DescribeMessage(DecodeServerMessage(Type(0x99), "")), "Unknown type=0x99000000");
}

TEST(ServerMessages, DescriptionsNameTheTypeAndEscapeText) {
  EXPECT_EQ(DescribeMessage(DecodeServerMessage(BEAT, B({1, 0xD2, 0x04, 0, 0}))),
            "BEAT Seq=1 Tick=1234");
  EXPECT_EQ(DescribeMessage(DecodeServerMessage(Welcome, std::string("a\"b\x01", 4))),
            "Welcome Text=\"a\\\"b\\x01\"");
  EXPECT_EQ(
      DescribeMessage(DecodeServerMessage(StartPosition, B({8, 0, 0x18, 0x06, 0x81, 0x07, 0}))),
      "StartPosition Lead=8 Pad=0 X=1560 Y=1921 Z=0");
}

}  // namespace
}  // namespace zq
