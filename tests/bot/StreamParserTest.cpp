#include <gtest/gtest.h>

#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"
#include "tools/client/StreamParser.h"

namespace zq {
namespace {

std::vector<TWireMessage> Drain(TStreamParser& p) {
  std::vector<TWireMessage> out;
  TWireMessage m;
  for (int i = 0; i < 1000 && p.Next(m); ++i) out.push_back(m);
  return out;
}

TEST(StreamParser, MessagesSplitAtEveryByteComeOutWholeAndInOrder) {
  std::string stream = Frame(Welcome, "Welcome to X") + Frame(ServerVersion, "0.1.1") +
                       Frame(ConnectDone, "1") + Frame(StartGame, "");
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    TStreamParser p;
    p.Append(stream.substr(0, cut));
    auto first = Drain(p);
    p.Append(stream.substr(cut));
    auto second = Drain(p);
    first.insert(first.end(), second.begin(), second.end());
    ASSERT_EQ(first.size(), 4u) << "cut at " << cut;
    EXPECT_EQ(first[0].Type, Welcome);
    EXPECT_EQ(first[0].Payload, "Welcome to X");
    EXPECT_EQ(first[1].Payload, "0.1.1");
    EXPECT_EQ(first[2].Type, ConnectDone);
    EXPECT_EQ(first[3].Type, StartGame);
    EXPECT_EQ(first[3].Payload, "");
    EXPECT_EQ(p.Pending(), 0u);
  }
}

TEST(StreamParser, OneByteAtATime) {
  std::string stream = Frame(PlayerInfo, std::string(12, '\x07')) + Frame(BEAT, "12345");
  TStreamParser p;
  std::vector<TWireMessage> got;
  for (char c : stream) {
    p.Append(std::string_view(&c, 1));
    auto part = Drain(p);
    got.insert(got.end(), part.begin(), part.end());
  }
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].Payload, std::string(12, '\x07'));
  EXPECT_EQ(got[1].Type, BEAT);
}

TEST(StreamParser, HeaderAnnouncingMoreWaitsAndByte2StaysInTheType) {
  TStreamParser p;
  p.Append(
      std::string("\x05\x00\x00\x30"
                  "abc",
                  7));
  TWireMessage m;
  EXPECT_FALSE(p.Next(m));
  EXPECT_EQ(p.Pending(), 7u);
  p.Append("de");
  ASSERT_TRUE(p.Next(m));
  EXPECT_EQ(m.Type, Welcome);
  EXPECT_EQ(m.Payload, "abcde");
  EXPECT_EQ(p.Pending(), 0u);
  p.Append(std::string("\x00\x00\x01\x30", 4));
  ASSERT_TRUE(p.Next(m));
  EXPECT_EQ(m.Type, 0x30010000u);
}

TEST(StreamParser, DatagramSplitting) {
  auto parts =
      SplitDatagram(Frame(PlayerMotion, std::string(45, 'm')) + Frame(KeyDownAck, "k1234"));
  ASSERT_EQ(parts.Messages.size(), 2u);
  EXPECT_EQ(parts.Messages[1].Type, KeyDownAck);
  EXPECT_EQ(parts.Stray, 0u);

  parts = SplitDatagram(Frame(BEAT, "12345") + "\x01\x02");
  ASSERT_EQ(parts.Messages.size(), 1u);
  EXPECT_EQ(parts.Stray, 2u);

  parts = SplitDatagram("\x01\x02\x03");
  EXPECT_TRUE(parts.Messages.empty());
  EXPECT_EQ(parts.Stray, 3u);

  parts =
      SplitDatagram(std::string("\x09\x00\x00\x1A"
                                "1234",
                                8));  // claims 9, has 4
  EXPECT_TRUE(parts.Messages.empty());
  EXPECT_EQ(parts.Stray, 8u);
}

}  // namespace
}  // namespace zq
