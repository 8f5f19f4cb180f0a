#include <gtest/gtest.h>

#include "protocol/MessageCodes.h"
#include "tests/support/Bytes.h"
#include "tools/client/ClientMessages.h"

namespace zq {
namespace {

constexpr auto B = test::Bytes;

TEST(ClientMessages, FramesCarryLengthThenZeroThenCode) {
  EXPECT_EQ(FrameQueryIdentity(), B({0, 0, 0, 0x0B}));
  EXPECT_EQ(FrameClientGone(), B({0, 0, 0, 0x25}));
  EXPECT_EQ(FrameStartGame(), B({0, 0, 0, 0x29}));
  EXPECT_EQ(FrameLoginName("alice"), B({5, 0, 0, 0x1C}) + "alice");
  EXPECT_EQ(FrameLoginPassword("pw"), B({2, 0, 0, 0x1E}) + "pw");
  EXPECT_EQ(FrameClientSay("hello"), B({5, 0, 0, 0x0F}) + "hello");
  // Text goes unterminated and may hold any byte.
  EXPECT_EQ(FrameClientSay(std::string("a\0b", 3)), B({3, 0, 0, 0x0F, 'a', 0, 'b'}));
}

TEST(ClientMessages, NumbersAreLittleEndian) {
  EXPECT_EQ(FrameClientUDPPort(28503), B({2, 0, 0, 0x28, 0x57, 0x6F}));
  EXPECT_EQ(FrameClientUDPPort(0xFFFF), B({2, 0, 0, 0x28, 0xFF, 0xFF}));
  EXPECT_EQ(FrameSetClientCode(0x1234), B({2, 0, 0, 0x07, 0x34, 0x12}));
  EXPECT_EQ(FrameSetClientCode(1, "xy"), B({4, 0, 0, 0x07, 1, 0, 'x', 'y'}));
  // BEATACK echoes the 5 bytes of the BEAT.
  EXPECT_EQ(FrameBEATACK(0xFE, 0x12345678), B({5, 0, 0, 0x1B, 0xFE, 0x78, 0x56, 0x34, 0x12}));
}

TEST(ClientMessages, MSKeyLayout) {
  std::string k = MakeMSKey(6, 0x0619, 0x0780, 0xA1B2C3D4);
  ASSERT_EQ(k.size(), KEY_RECORD_SIZE);
  EXPECT_EQ(k, B({0, 6, 0x19, 0x06, 0x80, 0x07, 0, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1}));
  EXPECT_EQ(FrameKeyDown(4, 0, 0, 7),
            B({14, 0, 0, 0x2C, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0}));
  EXPECT_EQ(FrameKeyUp(255, 1, 2, 0),
            B({14, 0, 0, 0x2E, 0, 255, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ClientMessages, OverlongTextIsCutToTheLengthField) {
  std::string text(70000, 'x');
  std::string f = FrameClientSay(text);
  ASSERT_EQ(f.size(), 4u + 65535u);
  EXPECT_EQ(f.substr(0, 4), B({0xFF, 0xFF, 0, 0x0F}));
}

}  // namespace
}  // namespace zq
