#include "protocol/ClientMessages.h"

#include <bitset>
#include <cstdio>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/TextEscape.h"
#include "protocol/MessageCodec.h"
#include "protocol/Sending.h"
#include "protocol/ZQProtocol.h"

namespace zq {
namespace {

const std::bitset<256> GAME_CODES = [] {
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

// A diagnostic of `kind` about a client: the text, then the client in brackets; each text at
// most once a second for each client.
void Diagnose(const TSocketID& client, std::string_view kind, const std::string& text) {
  const std::string name = ClientName(client);
  ConsoleDiagnostic(kind, text + name, text + " [" + name + "]");
}

}  // namespace

bool IsGameCode(uint8_t code) {
  return GAME_CODES.test(code);
}

std::string ClientName(const TSocketID& client) {
  std::string name = client.Address + ":" + std::to_string(client.Port);
  if (!client.LoginRecord.UserName.empty())
    name += " (" + EscapeControl(client.LoginRecord.UserName) + ")";
  return name;
}

TClientMessageHandler::TClientMessageHandler(TGameMessenger& gameQueue, TClientSettings settings,
                                             UdpEndpointFactory makeEndpoint,
                                             ClientDatagramHandler onDatagram,
                                             std::function<void(TSocketID&)> onFlood)
    : gameQueue_(gameQueue),
      settings_(std::move(settings)),
      makeEndpoint_(std::move(makeEndpoint)),
      onDatagram_(std::move(onDatagram)),
      onFlood_(std::move(onFlood)) {}

void TClientMessageHandler::Admit(TSocketID& client) {
  client.MessageBudget.Configure(settings_.MaxMessageRate, 2 * settings_.MaxMessageRate,
                                 GetTickCount());
}

void TClientMessageHandler::HandleClientMessage(TSocketID& client, uint32_t type,
                                                std::string_view payload) {
  if (!client.InUse()) {
    ConsoleDiagnostic("no connection", "Message " + CodeText(type) +
                                           " for SocketID=" + std::to_string(client.Number) +
                                           " without a connection dropped");
    return;
  }
  std::size_t fixed = FixedFieldsOf(type);
  if (payload.size() < fixed) {
    Diagnose(client, "short payload",
             "Short payload for " + CodeText(type) + ": " + std::to_string(payload.size()) +
                 " of " + std::to_string(fixed) + " bytes, dropped");
    return;
  }

  TLoginRecord& login = client.LoginRecord;
  switch (type) {
    case SetClientCode: {
      auto code = DecodeSetClientCode(payload);
      login.ClientCode = code->ClientCode;
      payload.remove_prefix(2);  // the game gets only what follows the code
      break;
    }
    case QueryIdentity:
      SendTCP(client, Frame(IdentityReply, EncodeIdentityReply(settings_.GameIdentity)));
      break;
    case BEATACK:
      CheckBeatAck(client, payload);
      break;
    case LoginName:
      login.UserName = payload;
      SendTCP(client, Frame(PasswordPrompt, EncodePasswordPrompt()));
      break;
    case LoginPassword:
      login.Password = payload;
      SendTCP(client, Frame(UDPPortAssign, EncodeUDPPortAssign(static_cast<uint16_t>(
                                               settings_.BaseUdpPort + client.Number))));
      break;
    case ClientUDPPort:
      OpenClientUdp(client, *DecodeClientUDPPort(payload));
      break;
    case StartGame:
      // One player per connection: a second start is ignored.
      if (client.Stage != TStage::Greeted) return;
      if (!client.MessageBudget.Borrow(GetTickCount())) return onFlood_(client);
      client.SentStartGame = true;
      if (!hooks_.CheckLogin) return Join(client, login.UserName, payload);
      client.Stage = TStage::LoginPending;
      return hooks_.CheckLogin(client);
    case ClientGone:
      if (!client.InGame()) return;
      if (!client.MessageBudget.Borrow(GetTickCount())) return onFlood_(client);
      return LeaveGame(client);
    default:
      break;
  }

  if (!client.InGame() || !IsGameCode(MsgCode(type))) return;
  if (!client.MessageBudget.Take(GetTickCount())) {
    ++rateLimited_;
    if (!client.OverRate)
      Diagnose(client, "over rate", "Over the message rate: game messages dropped");
    client.OverRate = true;
    if (client.Socket) client.Socket->HoldReading(FLOOD_HOLD_MS);
    return;
  }
  client.OverRate = false;
  if (type == ClientSay && hooks_.TakeSpeech && hooks_.TakeSpeech(client, payload)) return;
  Forward(client, type, payload);
}

void TClientMessageHandler::Join(TSocketID& client, const std::string& name,
                                 std::string_view payload) {
  client.Stage = TStage::InGame;
  client.PlayerName = name;
  Forward(client, StartGame, payload);
}

void TClientMessageHandler::ClientLeft(TSocketID& client) {
  if (client.InGame()) LeaveGame(client);
}

void TClientMessageHandler::LeaveGame(TSocketID& client) {
  if (hooks_.LeftGame) hooks_.LeftGame(client);
  client.Stage = TStage::Greeted;
  client.PlayerName.clear();
  client.Admin = false;
  const uint32_t guid = client.GUID.exchange(0, std::memory_order_relaxed);
  if (onDeparture_) onDeparture_(guid);  // its messages reach nobody else
  Forward(client, ClientGone, {});
}

void TClientMessageHandler::CheckBeatAck(TSocketID& client, std::string_view payload) {
  THeartbeatRecord& beat = client.HeartbeatRecord;
  if (!client.UDPActive())
    return Diagnose(client, "beatack", "Received BEATACK for inactive client UDP.");
  auto ack = DecodeBEATACK(payload);
  if (beat.AckedSeq == beat.Seq)  // acknowledged already, or nothing sent yet
    return Diagnose(client, "beatack", "Received duplicate BEATACK SEQ#");
  if (ack->Seq != beat.Seq) return Diagnose(client, "beatack", "Received invalid BEATACK SEQ#");
  if (ack->Tick != beat.SentAt)
    return Diagnose(client, "beatack", "Received valid BEATACK SEQ#, But invalid timestamp!");
  beat.AckedSeq = ack->Seq;
  beat.Missed = 0;
  beat.RoundTrip = GetTickCount() - ack->Tick;
  beat.RoundTripKnown = true;
  beatRoundTrips_.Observe(std::chrono::milliseconds(beat.RoundTrip));
  SendUDP(client, FrameUDP(BEATACKReply, EncodeBEATACKReply(ack->Seq, beat.RoundTrip)));
}

void TClientMessageHandler::OpenClientUdp(TSocketID& client, uint16_t clientPort) {
  if (client.UDP) {
    // Announced again: the endpoint stays bound; only a new port changes where it sends.
    if (clientPort == client.UDPPort) return;
    client.UDPPort = clientPort;
    client.UDP->SetRemote(client.Address, clientPort);
    return;
  }
  client.UDPPort = clientPort;
  client.HeartbeatRecord = THeartbeatRecord{};
  uint16_t localPort = static_cast<uint16_t>(settings_.BaseUdpPort + client.Number);
  std::unique_ptr<IUdpEndpoint> udp = makeEndpoint_ ? makeEndpoint_() : nullptr;
  if (!udp || !udp->Bind(localPort)) {
    return Diagnose(client, "udp bind", "Cannot bind UDP port " + std::to_string(localPort));
  }
  udp->SetRemote(client.Address, clientPort);
  // The endpoint lives in the record and goes before it: its datagrams find the record.
  udp->SetReceiveHandler([this, &client](IUdpEndpoint&, std::string datagram, uint16_t port,
                                         const std::string& address) {
    if (onDatagram_) onDatagram_(client, std::move(datagram), port, address);
  });
  client.UDP = std::move(udp);
}

void TClientMessageHandler::Forward(TSocketID& client, uint32_t type, std::string_view payload) {
  auto message = std::make_unique<GameMessage>();
  message->MsgType = type;
  message->SetData(payload);
  message->SocketID = client.Number;
  message->Serial = client.Serial;
  const TLoginRecord& login = client.LoginRecord;
  switch (type) {
    case StartGame: {
      MSStartup startup;
      startup.UserName = client.PlayerName.substr(0, MAX_MSSTARTUP_TEXT);
      startup.Password = login.Password.substr(0, MAX_MSSTARTUP_TEXT);
      startup.ClientCode = login.ClientCode;
      message->msgStruct = std::move(startup);
      return gameQueue_.PushPriority(std::move(message));
    }
    case ClientGone:
      return gameQueue_.PushPriority(std::move(message));
    case KeyDown:
    case KeyUp:
      message->msgStruct = *DecodeKey(payload);
      break;
    default:
      break;
  }
  gameQueue_.Push(std::move(message));  // a full queue refuses and reports it
}

}  // namespace zq
