// The server's encoders read back by the client library's own decoders, and the client
// library's messages read by the server's decoders. The two sides are written separately on
// purpose, so a reader bug and a writer bug cannot cancel out.
#include <gtest/gtest.h>

#include "protocol/MessageCodec.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tools/client/ClientMessages.h"
#include "tools/client/ServerMessages.h"

namespace zq {
namespace {

template <typename M>
M Decoded(uint32_t type, const std::string& payload) {
  ServerMessageBody body = DecodeServerMessage(type, payload);
  const M* m = std::get_if<M>(&body);
  EXPECT_NE(m, nullptr) << DescribeMessage(body);
  return m ? *m : M{};
}

TEST(CodecRoundTrip, ServerMessagesAsTheClientReadsThem) {
  EXPECT_EQ(Decoded<msg::Welcome>(Welcome, EncodeWelcome("Srv")).Text, "Welcome to Srv");
  EXPECT_EQ(Decoded<msg::ConnectDone>(ConnectDone, EncodeConnectDone()).Text, "1");
  EXPECT_EQ(Decoded<msg::ServerFull>(ServerFull, EncodeServerFull("Server is paused.")).Text,
            "Server is paused.");
  EXPECT_EQ(Decoded<msg::PasswordPrompt>(PasswordPrompt, EncodePasswordPrompt()).Text,
            "Send password.");
  EXPECT_EQ(Decoded<msg::UDPPortAssign>(UDPPortAssign, EncodeUDPPortAssign(28563)).Port, 28563);

  auto beat = Decoded<msg::BEAT>(BEAT, EncodeBEAT(255, 0xDEADBEEF));
  EXPECT_EQ(beat.Seq, 255);
  EXPECT_EQ(beat.Tick, 0xDEADBEEFu);
  auto reply = Decoded<msg::BEATACKReply>(BEATACKReply, EncodeBEATACKReply(7, 1234567));
  EXPECT_EQ(reply.Seq, 7);
  EXPECT_EQ(reply.RoundTrip, 1234567u);
  EXPECT_EQ(Decoded<msg::AssignGUID>(AssignGUID, EncodeAssignGUID(0x01020304)).GUID, 0x01020304u);

  auto start = Decoded<msg::StartPosition>(StartPosition, EncodeStartPosition(3071, 2, 0x1FF));
  EXPECT_EQ(start.Lead, 8);
  EXPECT_EQ(start.X, 3071);
  EXPECT_EQ(start.Y, 2);
  EXPECT_EQ(start.Z, 0xFF) << "the low byte of Z";

  auto info = Decoded<msg::PlayerInfo>(PlayerInfo, EncodePlayerInfo({9, 0xBEEF, 8, 3, 1560, 1921}));
  EXPECT_EQ(info.GUID, 9u);
  EXPECT_EQ(info.ClientCode, 0xBEEF);
  EXPECT_EQ(info.Facing, 8);
  EXPECT_EQ(info.StateByte, 3);
  EXPECT_EQ(info.X, 1560);
  EXPECT_EQ(info.Y, 1921);

  auto left = Decoded<msg::PlayerLeft>(PlayerLeft, EncodePlayerLeft(4, 0xFFFFFFFF));
  EXPECT_EQ(left.GUID, 4u);
  EXPECT_EQ(left.Tick, 0xFFFFFFFFu);
  auto speech =
      Decoded<msg::PlayerSpeech>(PlayerSpeech, EncodePlayerSpeech(5, 5000, "\"h\xC3\xA9llo\""));
  EXPECT_EQ(speech.GUID, 5u);
  EXPECT_EQ(speech.Duration, 5000u);
  EXPECT_EQ(speech.Text, "\"h\xC3\xA9llo\"");

  TPlayerMotionFields f;
  f.GUID = 77;
  f.ClientCode = 0x0102;
  f.X = 1561;
  f.Y = 1920;
  f.StateByte = 3;
  f.Facing = FACING_MINUS_X;
  f.MoveFlags = 1;
  f.DirX = -0.7071067811865475;
  f.DirY = 0.7071067811865476;
  f.StopX = -1;
  f.StopY = 300;
  f.Speed = 0.004f;
  f.GameTime = 1250;
  const std::string motion = EncodePlayerMotion(f);
  ASSERT_EQ(motion.size(), 45u);
  auto m = Decoded<msg::PlayerMotion>(PlayerMotion, motion);
  EXPECT_EQ(m.GUID, 77u);
  EXPECT_EQ(m.ClientCode, 0x0102);
  EXPECT_EQ(m.X, 1561);
  EXPECT_EQ(m.Y, 1920);
  EXPECT_EQ(m.StateByte, 3);
  EXPECT_EQ(m.Facing, 4);
  EXPECT_EQ(m.MoveFlags, 1);
  EXPECT_EQ(m.Reserved, 0u);
  EXPECT_EQ(m.DirX, f.DirX);
  EXPECT_EQ(m.DirY, f.DirY);
  EXPECT_EQ(m.StopX, -1);
  EXPECT_EQ(m.StopY, 300);
  EXPECT_EQ(m.Speed, 0.004f);
  EXPECT_EQ(m.GameTime, 1250u);

  auto down = Decoded<msg::KeyDownAck>(KeyDownAck, EncodeKeyAck(6, 0xA1B2C3D4));
  EXPECT_EQ(down.Key, 6);
  EXPECT_EQ(down.ClientValue, 0xA1B2C3D4u);
  auto up = Decoded<msg::KeyUpAck>(KeyUpAck, EncodeKeyAck(255, 1));
  EXPECT_EQ(up.Key, 255);
  EXPECT_EQ(up.ClientValue, 1u);
}

// The payload of a framed client message.
std::string Payload(const std::string& frame) {
  EXPECT_FALSE(IsIncomplete(frame));
  EXPECT_EQ(PayloadLength(frame), frame.size() - 4);
  return frame.substr(4);
}

TEST(CodecRoundTrip, ClientMessagesAsTheServerReadsThem) {
  auto key = DecodeKey(Payload(FrameKeyDown(KEY_TARGET, 1570, 1918, 0xCAFEF00D)));
  ASSERT_TRUE(key);
  EXPECT_EQ(key->Key(), KEY_TARGET);
  EXPECT_EQ(key->TargetX(), 1570);
  EXPECT_EQ(key->TargetY(), 1918);
  EXPECT_EQ(key->ClientValue(), 0xCAFEF00Du);
  EXPECT_EQ(HeaderType(FrameKeyUp(1)), KeyUp);

  auto code = DecodeSetClientCode(Payload(FrameSetClientCode(0xABCD, "tail")));
  ASSERT_TRUE(code);
  EXPECT_EQ(code->ClientCode, 0xABCD);
  EXPECT_EQ(code->Rest, "tail");
  EXPECT_EQ(DecodeClientUDPPort(Payload(FrameClientUDPPort(40001))), 40001);
  auto ack = DecodeBEATACK(Payload(FrameBEATACK(200, 0x11223344)));
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->Seq, 200);
  EXPECT_EQ(ack->Tick, 0x11223344u);

  EXPECT_FALSE(DecodeKey(std::string(13, 'k')));
  EXPECT_FALSE(DecodeSetClientCode("x"));
  EXPECT_FALSE(DecodeClientUDPPort(""));
  EXPECT_FALSE(DecodeBEATACK("1234"));
}

}  // namespace
}  // namespace zq
