#include <gtest/gtest.h>

#include "tools/client/ClientMessages.h"
#include "tools/client/SetupDialogue.h"

namespace zq {
namespace {

TEST(SetupDialogue, StepsInOrderAsTheServerAnswers) {
  TSetupDialogue d;
  TSetupParams p{"alice", "secret", 0x0102, true};
  EXPECT_TRUE(d.Begin(p, false).empty());
  EXPECT_EQ(d.State(), SetupState::AwaitGreeting);
  // The greeting before ConnectDone and answers out of turn change nothing.
  EXPECT_TRUE(d.OnMessage(msg::Welcome{"Welcome to X"}, 5000).empty());
  EXPECT_TRUE(d.OnMessage(msg::PasswordPrompt{"Send password."}, 5000).empty());
  EXPECT_EQ(d.State(), SetupState::AwaitGreeting);

  EXPECT_EQ(d.OnMessage(msg::ConnectDone{"1"}, 5000),
            std::vector<std::string>{FrameQueryIdentity()});
  EXPECT_TRUE(d.OnMessage(msg::UDPPortAssign{28501}, 5000).empty());
  EXPECT_EQ(d.OnMessage(msg::IdentityReply{"id"}, 5000),
            std::vector<std::string>{FrameLoginName("alice")});
  EXPECT_EQ(d.OnMessage(msg::PasswordPrompt{"Send password."}, 5000),
            std::vector<std::string>{FrameLoginPassword("secret")});
  EXPECT_EQ(d.State(), SetupState::AwaitPortAssign);
  std::vector<std::string> want{FrameClientUDPPort(5000), FrameSetClientCode(0x0102),
                                FrameStartGame()};
  EXPECT_EQ(d.OnMessage(msg::UDPPortAssign{28501}, 5000), want);
  EXPECT_EQ(d.State(), SetupState::AwaitGUID);
  EXPECT_FALSE(d.Finished());
  d.OnMessage(msg::StartPosition{}, 5000);
  EXPECT_EQ(d.State(), SetupState::AwaitGUID);
  d.OnMessage(msg::AssignGUID{1}, 5000);
  EXPECT_EQ(d.State(), SetupState::InGame);
  d.OnClosed();  // after the end a close changes nothing
  EXPECT_EQ(d.State(), SetupState::InGame);
}

TEST(SetupDialogue, GreetedAlreadyWithoutStartGameRefusedAndClosed) {
  TSetupDialogue d;
  EXPECT_EQ(d.Begin({"b", "p", 0, false}, true), std::vector<std::string>{FrameQueryIdentity()});
  d.OnMessage(msg::IdentityReply{""}, 1);
  d.OnMessage(msg::PasswordPrompt{""}, 1);
  EXPECT_EQ(d.OnMessage(msg::UDPPortAssign{2}, 1).size(), 2u);  // no StartGame
  EXPECT_EQ(d.State(), SetupState::Ready);

  TSetupDialogue full;
  full.Begin({}, false);
  full.OnMessage(msg::ServerFull{"Server is full."}, 1);
  EXPECT_EQ(full.State(), SetupState::Refused);
  full.OnClosed();
  EXPECT_EQ(full.State(), SetupState::Refused);

  TSetupDialogue cut;
  cut.Begin({}, true);
  cut.OnClosed();
  EXPECT_EQ(cut.State(), SetupState::Failed);
  EXPECT_TRUE(cut.Finished());

  TSetupDialogue idle;
  idle.OnClosed();
  EXPECT_EQ(idle.State(), SetupState::Idle);
}

}  // namespace
}  // namespace zq
