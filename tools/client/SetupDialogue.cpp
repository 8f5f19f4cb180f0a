#include "tools/client/SetupDialogue.h"

#include "tools/client/ClientMessages.h"

namespace zq {

const char* SetupStateName(SetupState state) {
  switch (state) {
    case SetupState::Idle:
      return "Idle";
    case SetupState::AwaitGreeting:
      return "AwaitGreeting";
    case SetupState::AwaitIdentity:
      return "AwaitIdentity";
    case SetupState::AwaitPasswordPrompt:
      return "AwaitPasswordPrompt";
    case SetupState::AwaitPortAssign:
      return "AwaitPortAssign";
    case SetupState::AwaitGUID:
      return "AwaitGUID";
    case SetupState::Ready:
      return "Ready";
    case SetupState::InGame:
      return "InGame";
    case SetupState::Refused:
      return "Refused";
    case SetupState::Failed:
      return "Failed";
  }
  return "?";
}

std::vector<std::string> TSetupDialogue::Begin(TSetupParams params, bool greeted) {
  params_ = std::move(params);
  if (!greeted) {
    state_ = SetupState::AwaitGreeting;
    return {};
  }
  state_ = SetupState::AwaitIdentity;
  return {FrameQueryIdentity()};
}

std::vector<std::string> TSetupDialogue::OnMessage(const ServerMessageBody& body,
                                                   uint16_t localUdpPort) {
  if (std::holds_alternative<msg::ServerFull>(body)) {
    state_ = SetupState::Refused;
    return {};
  }
  switch (state_) {
    case SetupState::AwaitGreeting:
      if (!std::holds_alternative<msg::ConnectDone>(body)) break;
      state_ = SetupState::AwaitIdentity;
      return {FrameQueryIdentity()};
    case SetupState::AwaitIdentity:
      if (!std::holds_alternative<msg::IdentityReply>(body)) break;
      state_ = SetupState::AwaitPasswordPrompt;
      return {FrameLoginName(params_.Name)};
    case SetupState::AwaitPasswordPrompt:
      if (!std::holds_alternative<msg::PasswordPrompt>(body)) break;
      state_ = SetupState::AwaitPortAssign;
      return {FrameLoginPassword(params_.Password)};
    case SetupState::AwaitPortAssign: {
      if (!std::holds_alternative<msg::UDPPortAssign>(body)) break;
      std::vector<std::string> out{FrameClientUDPPort(localUdpPort),
                                   FrameSetClientCode(params_.ClientCode)};
      if (params_.StartGame) {
        out.push_back(FrameStartGame());
        state_ = SetupState::AwaitGUID;
      } else {
        state_ = SetupState::Ready;
      }
      return out;
    }
    case SetupState::AwaitGUID:
      if (std::holds_alternative<msg::AssignGUID>(body)) state_ = SetupState::InGame;
      break;
    default:
      break;
  }
  return {};
}

void TSetupDialogue::OnClosed() {
  if (state_ != SetupState::Idle && !Finished()) state_ = SetupState::Failed;
}

bool TSetupDialogue::Finished() const {
  return state_ == SetupState::Ready || state_ == SetupState::InGame ||
         state_ == SetupState::Refused || state_ == SetupState::Failed;
}

}  // namespace zq
