#include "protocol/MessageCodes.h"

namespace zq {

const char* MsgTypeName(uint32_t type) {
  switch (type) {
    case SetClientCode:
      return "SetClientCode";
    case QueryIdentity:
      return "QueryIdentity";
    case ClientSay:
      return "ClientSay";
    case BEATACK:
      return "BEATACK";
    case LoginName:
      return "LoginName";
    case LoginPassword:
      return "LoginPassword";
    case ClientGone:
      return "ClientGone";
    case ClientUDPPort:
      return "ClientUDPPort";
    case StartGame:
      return "StartGame";
    case KeyDown:
      return "KeyDown";
    case KeyUp:
      return "KeyUp";
    case PlayerInfo:
      return "PlayerInfo";
    case PlayerLeft:
      return "PlayerLeft";
    case IdentityReply:
      return "IdentityReply";
    case BEAT:
      return "BEAT";
    case ServerFull:
      return "ServerFull";
    case UDPPortAssign:
      return "UDPPortAssign";
    case PasswordPrompt:
      return "PasswordPrompt";
    case BEATACKReply:
      return "BEATACKReply";
    case PlayerMotion:
      return "PlayerMotion";
    case Welcome:
      return "Welcome";
    case KeyUpAck:
      return "KeyUpAck";
    case KeyDownAck:
      return "KeyDownAck";
    case ServerVersion:
      return "ServerVersion";
    case ConnectDone:
      return "ConnectDone";
    case AssignGUID:
      return "AssignGUID";
    case PlayerSpeech:
      return "PlayerSpeech";
    case StartPosition:
      return "StartPosition";
    default:
      return nullptr;
  }
}

}  // namespace zq
