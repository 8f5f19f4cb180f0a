#include "protocol/ClientMessages.h"

#include <bitset>
#include <cstdio>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"

namespace zq {
namespace {

const std::bitset<256> kGameCodes = [] {
  std::bitset<256> codes;
  for (uint8_t c : {0x07, 0x0F, 0x11, 0x13, 0x18, 0x25, 0x29, 0x2C, 0x2E}) codes.set(c);
  return codes;
}();

// Fixed bytes that the handler of a type takes from the front of its payload.
std::size_t FixedFieldsOf(uint32_t type) {
  switch (type) {
    case SetClientCode:
    case ClientUDPPort:
      return 2;
    case BEATACK:
      return 5;
    case KeyDown:
    case KeyUp:
      return MSKEY_SIZE;
    default:
      return 0;
  }
}

std::string CodeText(uint32_t type) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", MsgCode(type));
  const char* name = MsgTypeName(type);
  return name ? std::string(hex) + " (" + name + ")" : std::string(hex);
}

}  // namespace

bool IsGameCode(uint8_t code) {
  return kGameCodes.test(code);
}

TClientMessageHandler::TClientMessageHandler(TServerTables& tables, TGameMessenger& gameQueue,
                                             TClientSettings settings,
                                             UdpEndpointFactory makeEndpoint,
                                             UdpReceiveHandler onDatagram)
    : tables_(tables),
      gameQueue_(gameQueue),
      settings_(std::move(settings)),
      makeEndpoint_(std::move(makeEndpoint)),
      onDatagram_(std::move(onDatagram)) {}

void TClientMessageHandler::HandleClientMessage(int32_t n, uint32_t type, std::string payload) {
  if (n < 1 || n > NOT_FOUND) {
    ConsoleLine("Message " + CodeText(type) + " for invalid SocketID=" + std::to_string(n) +
                " dropped");
    return;
  }
  std::size_t fixed = FixedFieldsOf(type);
  if (payload.size() < fixed) {
    ConsoleLine("Short payload for " + CodeText(type) + " from SocketID=" + std::to_string(n) +
                ": " + std::to_string(payload.size()) + " of " + std::to_string(fixed) +
                " bytes, dropped");
    return;
  }

  TLoginRecord& login = tables_.LoginRecord[n];
  switch (type) {
    case SetClientCode:
      login.ClientCode = TakeWord(payload);
      break;
    case QueryIdentity:
      SendTCP(tables_, n, Frame(IdentityReply, settings_.GameIdentity));
      break;
    case BEATACK:
      CheckBeatAck(n, payload);
      break;
    case LoginName:
      login.UserName = payload;
      SendTCP(tables_, n, Frame(PasswordPrompt, "Send password."));
      break;
    case LoginPassword: {
      login.Password = payload;
      std::string port;
      PutU16(port, static_cast<uint16_t>(settings_.BaseUdpPort + n));
      SendTCP(tables_, n, Frame(UDPPortAssign, port));
      break;
    }
    case ClientUDPPort:
      OpenClientUdp(n, payload);
      break;
    case StartGame:
      login.InGame = true;
      break;
    default:
      break;
  }

  if (login.InGame && IsGameCode(MsgCode(type))) Forward(n, type, payload);
}

void TClientMessageHandler::CheckBeatAck(int32_t n, const std::string& payload) {
  THeartbeatRecord& beat = tables_.HeartbeatRecord[n];
  if (!beat.UDPActive) {
    ConsoleLine("Received BEATACK for inactive client UDP.");
    return;
  }
  uint8_t seq = static_cast<uint8_t>(payload[0]);
  uint32_t stamp = GetU32(payload, 1);
  if (seq != beat.Seq) {
    ConsoleLine("Received invalid BEATACK SEQ#");
    return;
  }
  if (stamp != beat.SentAt) {
    ConsoleLine("Received valid BEATACK SEQ#, But invalid timestamp!");
    return;
  }
  beat.AckedSeq = seq;
  beat.Missed = 0;
  beat.RoundTrip = GetTickCount() - stamp;
  std::string reply;
  PutU8(reply, seq);
  PutU32(reply, beat.RoundTrip);
  SendUDP(tables_, n, FrameUDP(BEATACKReply, reply));
}

void TClientMessageHandler::OpenClientUdp(int32_t n, std::string& payload) {
  TSocketID& entry = tables_.Sockets[n];
  uint16_t clientPort = TakeWord(payload);
  if (!entry.Socket) {  // 64 or a closed number: no client to talk to
    ConsoleLine("ClientUDPPort from SocketID=" + std::to_string(n) +
                " without a connection, ignored");
    return;
  }
  entry.UDPPort = clientPort;
  // A repeated announcement replaces the endpoint: release the old one's port first.
  if (entry.UDP) {
    entry.UDP->Bind(0);
    entry.UDP.reset();
  }
  tables_.HeartbeatRecord[n] = THeartbeatRecord{};

  uint16_t localPort = static_cast<uint16_t>(settings_.BaseUdpPort + n);
  std::unique_ptr<IUdpEndpoint> udp = makeEndpoint_ ? makeEndpoint_() : nullptr;
  if (!udp || !udp->Bind(localPort)) {
    ConsoleLine("Cannot bind UDP port " + std::to_string(localPort) +
                " for SocketID=" + std::to_string(n));
    return;
  }
  udp->SetRemote(entry.Socket->RemoteAddress(), clientPort);
  udp->SetReceiveHandler(onDatagram_);
  entry.UDP = std::move(udp);
  tables_.HeartbeatRecord[n].UDPActive = 1;
}

void TClientMessageHandler::Forward(int32_t n, uint32_t type, const std::string& payload) {
  auto message = std::make_unique<GameMessage>();
  message->MsgType = type;
  message->SetData(payload);
  message->SocketID = n;
  TLoginRecord& login = tables_.LoginRecord[n];
  switch (type) {
    case ClientGone:
      login.InGame = false;
      break;
    case StartGame: {
      MSStartup startup;
      startup.UserName = login.UserName.substr(0, MAX_MSSTARTUP_TEXT);
      startup.Password = login.Password.substr(0, MAX_MSSTARTUP_TEXT);
      startup.ClientCode = login.ClientCode;
      message->msgStruct = std::move(startup);
      break;
    }
    case KeyDown:
    case KeyUp: {
      MSKey key;
      PeekBytes(key.Bytes.data(), MSKEY_SIZE, payload);
      message->msgStruct = key;
      break;
    }
    default:
      break;
  }
  gameQueue_.Push(std::move(message));  // a full queue refuses and reports it
}

}  // namespace zq
