// The client side of the setup dialogue, step by step as the server answers: after the
// greeting QueryIdentity, on IdentityReply LoginName, on PasswordPrompt LoginPassword, on
// UDPPortAssign ClientUDPPort + SetClientCode (+ StartGame), done at AssignGUID.
// It returns the frames to send; the caller sends them by TCP.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/client/ServerMessages.h"

namespace zq {

enum class SetupState : uint8_t {
  Idle,
  AwaitGreeting,
  AwaitIdentity,
  AwaitPasswordPrompt,
  AwaitPortAssign,
  AwaitGUID,
  Ready,    // set up without StartGame
  InGame,   // AssignGUID received
  Refused,  // ServerFull
  Failed,   // connection closed before the end
};

const char* SetupStateName(SetupState state);

struct TSetupParams {
  std::string Name = "bot";
  std::string Password = "bot";
  uint16_t ClientCode = 0;
  bool StartGame = true;
};

class TSetupDialogue {
 public:
  // `greeted`: ConnectDone has already arrived.
  std::vector<std::string> Begin(TSetupParams params, bool greeted);
  // `localUdpPort` is announced with ClientUDPPort.
  std::vector<std::string> OnMessage(const ServerMessageBody& body, uint16_t localUdpPort);
  void OnClosed();

  SetupState State() const { return state_; }
  // Setup has ended, well or not.
  bool Finished() const;

 private:
  TSetupParams params_;
  SetupState state_ = SetupState::Idle;
};

}  // namespace zq
