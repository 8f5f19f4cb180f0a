// Bot scripts run against the real server over loopback: what holds, what fails and how the
// run reports it.
#include <sstream>

#include "tests/server/ServerFixture.h"
#include "tools/bot/ScriptRun.h"

namespace zq::test {
namespace {

class BotScriptTest : public ServerTest {
 protected:
  int Run(const std::string& text) {
    TBotOptions options;
    options.Port = server_->Status().ListeningPort;
    out_.str("");
    return RunScript(
        ParseScript(text, "bot"), options, out_, [] { return false; }, pump_);
  }
  bool Says(const std::string& text) const { return out_.str().find(text) != std::string::npos; }

  std::ostringstream out_;
};

TEST_F(BotScriptTest, ASessionThroughTheDialogueHoldsLineByLine) {
  StartServer();
  EXPECT_EQ(Run("connect\n"
                "expect Welcome Text=\"Welcome to MyServer\"\n"
                "expect tcp ConnectDone Text=1\n"
                "send QueryIdentity\n"
                "expect IdentityReply\n"
                "send LoginName \"ann\"\n"
                "expect PasswordPrompt Text=\"Send password.\"\n"
                "send LoginPassword pw\n"
                "expect UDPPortAssign Port=?port\n"
                "send ClientUDPPort\n"
                "send StartGame\n"
                "expect AssignGUID GUID=?me\n"
                "send KeyDown 1 0 0 41\n"
                "expect udp PlayerMotion GUID=$me Facing=2 DirY=-1.0 Speed=0.004\n"
                "expect udp KeyDownAck Key=1 ClientValue=41\n"
                "send udp KeyUp 1 0 0 42\n"
                "expect udp KeyUpAck ClientValue=42\n"),
            0)
      << out_.str();
  EXPECT_TRUE(Says("script: line 3: held: ConnectDone Text=\"1\""));
  EXPECT_TRUE(Says("held: UDPPortAssign Port=" + std::to_string(BaseUdpPort() + 1)));
  EXPECT_TRUE(Says("script: every expectation held (9)")) << out_.str();
}

TEST_F(BotScriptTest, AFailedExpectationStopsTheRunAndShowsWhatCameInstead) {
  StartServer();
  EXPECT_EQ(Run("connect\n"
                "join\n"
                "expect StartPosition X=1 within 500\n"
                "send ClientGone\n"),
            1);
  EXPECT_TRUE(Says("script: line 2: held: joined as GUID 1")) << out_.str();
  EXPECT_TRUE(
      Says("script: line 3: FAILED: expect StartPosition X=1: nothing within 500 ms; "
           "got TCP StartPosition Lead=8 Pad=0 X=1560 Y=1921 Z=0"))
      << out_.str();
  EXPECT_TRUE(Says("script: stopped at line 3 after 1 expectations held"));
  EXPECT_FALSE(Says("line 4")) << "nothing runs after a failure";
}

TEST_F(BotScriptTest, BeatsByHandWithCapturedValues) {
  TServerOptions options;
  options.BeatInterval = 100;
  StartServer({}, options);
  EXPECT_EQ(Run("beats off\n"
                "connect\n"
                "join\n"
                "expect udp BEAT Seq=?s Tick=?t\n"
                "send udp BEATACK $s $t\n"
                "expect udp BEATACKReply Seq=$s\n"
                "expect no udp BEATACKReply Seq=$s within 300\n"),
            0)
      << out_.str();
  // An answer with another tick counts for nothing.
  EXPECT_EQ(Run("beats off\n"
                "connect\n"
                "join\n"
                "expect udp BEAT Seq=?s\n"
                "send udp BEATACK $s 1\n"
                "expect udp BEATACKReply within 300\n"),
            1);
  EXPECT_TRUE(Says("FAILED: expect udp BEATACKReply: nothing within 300 ms")) << out_.str();
}

TEST_F(BotScriptTest, RefusedAndClosedConnectionsAndUnsetVariables) {
  settings_.MaxClients = 1;
  StartServer();
  EXPECT_EQ(Run("connect first\n"
                "expect ConnectDone\n"
                "connect second\n"
                "expect ServerFull Text=\"Server is full.\"\n"
                "expect closed within 3000\n"
                "use first\n"
                "expect no ServerFull within 100\n"),
            0)
      << out_.str();
  EXPECT_TRUE(Says("held: closed: connection closed by 127.0.0.1:")) << out_.str();
  // With one client allowed, each run waits until the server has seen the last one go.
  auto noneConnected = [&] { return server_->Status().Connected == 0; };
  ASSERT_TRUE(WaitUntil(noneConnected));
  EXPECT_EQ(Run("connect\nexpect AssignGUID GUID=$me within 10\n"), 1);
  EXPECT_TRUE(Says("FAILED: variable $me has no value"));
  ASSERT_TRUE(WaitUntil(noneConnected));
  EXPECT_EQ(Run("connect\nexpect Welcome within 3000\nexpect closed within 200\n"), 1);
  EXPECT_TRUE(Says("FAILED: expect closed: still open after 200 ms"));
}

}  // namespace
}  // namespace zq::test
