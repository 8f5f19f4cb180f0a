#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "tests/support/Bytes.h"
#include "tools/bot/Script.h"

namespace zq {
namespace {

constexpr auto B = test::Bytes;

std::string ParseError(const std::string& text) {
  try {
    ParseScript(text, "bot");
  } catch (const EConvertError& e) {
    return e.what();
  }
  return "no error";
}

TEST(Script, WordsQuotesVariablesAndComments) {
  TScript s = ParseScript(
      "# a comment line\n"
      "\n"
      "connect\n"
      "  send udp ClientSay \"two  words \\\"q\\\" \\\\ \\xC3\\xA9\"   # trailing comment\n"
      "expect PlayerSpeech GUID=$me Text=\"$me\" Duration=?d within 250\n"
      "send BEATACK $s 77\n",
      "first");
  ASSERT_EQ(s.Steps.size(), 4u);
  EXPECT_EQ(s.Steps[0].Op, ScriptOp::Connect);
  EXPECT_EQ(s.Steps[0].Client, "first");  // a bare connect takes the given name
  EXPECT_EQ(s.Steps[0].Line, 3);
  const TScriptStep& say = s.Steps[1];
  EXPECT_EQ(say.Transport, Via::Udp);
  ASSERT_EQ(say.Args.size(), 1u);
  EXPECT_EQ(say.Args[0].Text, "two  words \"q\" \\ \xC3\xA9");
  const TScriptStep& expect = s.Steps[2];
  EXPECT_EQ(expect.Op, ScriptOp::Expect);
  EXPECT_FALSE(expect.Transport);
  EXPECT_EQ(expect.Ms, 250);
  ASSERT_EQ(expect.Matches.size(), 3u);
  EXPECT_EQ(expect.Matches[0].How, TFieldMatch::Kind::Variable);
  EXPECT_EQ(expect.Matches[0].Value, "me");
  EXPECT_EQ(expect.Matches[1].How, TFieldMatch::Kind::Equal);  // quoted: the text "$me"
  EXPECT_EQ(expect.Matches[1].Value, "$me");
  EXPECT_EQ(expect.Matches[2].How, TFieldMatch::Kind::Capture);
  EXPECT_TRUE(s.Steps[3].Args[0].Variable);
  EXPECT_EQ(ParseScript("connect\nexpect closed within 5\nexpect no udp BEAT\n", "b").Steps[2].Op,
            ScriptOp::ExpectNo);
}

TEST(Script, MistakesAreFoundBeforeTheRunWithTheirLine) {
  EXPECT_EQ(ParseError("connect\nfly away\n"),
            "line 2: unknown command 'fly' (connect use close send join expect wait clear beats "
            "timeout)");
  EXPECT_EQ(ParseError("send QueryIdentity\n"), "line 1: send before any connect");
  EXPECT_EQ(ParseError("connect\nsend Hello\n"),
            "line 2: send Hello: not a client message (or raw)");
  EXPECT_EQ(ParseError("connect\nexpect Hello\n"),
            "line 2: expect: 'Hello' is not a server message");
  EXPECT_EQ(ParseError("connect\nexpect AssignGUID Guid=1\n"),
            "line 2: AssignGUID has no field 'Guid' (fields: GUID)");
  EXPECT_EQ(ParseError("connect\nsend KeyDown 256\n"),
            "line 2: send KeyDown: key: '256' is not a whole number from 0 to 255");
  EXPECT_EQ(ParseError("connect\nsend KeyDown 4 10\n"),
            "line 2: send KeyDown: takes KEY, KEY X Y or KEY X Y VALUE");
  EXPECT_EQ(ParseError("connect\nsend LoginName\n"),
            "line 2: send LoginName: takes 1 argument, not 0");
  EXPECT_EQ(ParseError("connect\nsend raw 0A0\n"),
            "line 2: send raw: '0A0' is not whole bytes in hex");
  EXPECT_EQ(ParseError("connect\nsend ClientSay \"open\n"), "line 2: a double quote is not closed");
  EXPECT_EQ(ParseError("connect\nexpect BEAT within 1e3\n"),
            "line 2: time: '1e3' is not a whole number from 0 to 600000 (ms)");
  EXPECT_EQ(ParseError("wait 600001\n"),
            "line 1: time: '600001' is not a whole number from 0 to 600000 (ms)");
  EXPECT_EQ(ParseError("connect\nexpect no BEAT Seq=?s\n"), "line 2: expect no cannot capture ?s");
  EXPECT_EQ(ParseError("connect\nbeats maybe\n"), "line 2: beats takes on or off");
  EXPECT_EQ(ParseError("connect a b\n"), "line 1: connect takes 0 to 1 argument");
}

TEST(Script, FramesOfSendLines) {
  std::string error;
  auto frame = [&](const std::string& message, std::vector<std::string> args) {
    return ScriptFrame(message, args, 40000, error).value_or("none: " + error);
  };
  EXPECT_EQ(frame("KeyDown", {"6", "1570", "1915", "7"}),
            B({14, 0, 0, 0x2C, 0, 6, 0x22, 0x06, 0x7B, 0x07, 0, 0, 0, 0, 7, 0, 0, 0}));
  EXPECT_EQ(frame("KeyUp", {"1"}), B({14, 0, 0, 0x2E, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(frame("ClientUDPPort", {}), B({2, 0, 0, 0x28, 0x40, 0x9C}));  // its own port
  EXPECT_EQ(frame("ClientUDPPort", {"28501"}), B({2, 0, 0, 0x28, 0x55, 0x6F}));
  EXPECT_EQ(frame("BEATACK", {"255", "4294967295"}),
            B({5, 0, 0, 0x1B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(frame("StartGame", {}), B({0, 0, 0, 0x29}));
  EXPECT_EQ(frame("raw", {"0300001c", "626F74"}), B({3, 0, 0, 0x1C, 'b', 'o', 't'}));
  EXPECT_EQ(frame("SetClientCode", {"-1"}),
            "none: code: '-1' is not a whole number from 0 to 65535");
  EXPECT_EQ(frame("StartGame", {"x"}), "none: takes 0 arguments, not 1");
}

}  // namespace
}  // namespace zq
