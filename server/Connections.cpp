#include "server/Connections.h"

#include "accounts/AccountStore.h"
#include "accounts/LoginVerdict.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/TextEscape.h"
#include "platform/qt/UdpEndpoint.h"
#include "protocol/MessageCodec.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"
#include "server/ServerSettings.h"

namespace zq {
namespace {

// "Listening on 0.0.0.0:12578 (UDP 28501-28563); try: zqo-bot --port 12578": where the
// datagrams come from, and the bot's command that reaches the listener from this machine.
std::string ConnectHint(const std::string& address, uint16_t port, uint16_t baseUdpPort) {
  const bool v6 = address.find(':') != std::string::npos;
  const std::string tcp = std::to_string(port);
  std::string bot = "zqo-bot ";
  if (address == "::")
    bot += "--host ::1 ";
  else if (address != DEFAULT_LISTEN_ADDRESS && address != "127.0.0.1")
    bot += "--host " + address + " ";
  return "Listening on " + (v6 ? "[" + address + "]" : address) + ":" + tcp + " (UDP " +
         std::to_string(baseUdpPort + 1) + "-" + std::to_string(baseUdpPort + MAX_SOCKETS) +
         "); try: " + bot + "--port " + tcp;
}

}  // namespace

TConnections::TConnections(TServerLog& log, IServerView& view, TSocketTable& sockets,
                           TGameCore& game, const TServerOptions& options,
                           TConnectionSettings settings)
    : log_(log),
      view_(view),
      sockets_(sockets),
      game_(game),
      options_(options),
      settings_(std::move(settings)),
      protocol_(sockets),
      handler_(
          game.GameQueue(),
          TClientSettings{settings_.GameIdentity, settings_.BaseUdpPort, settings_.MaxMessageRate},
          [address = settings_.ListenAddress] { return CreateUdpEndpoint(address); },
          [this](TSocketID& client, std::string datagram, uint16_t port,
                 const std::string& address) {
            OnDatagram(client, std::move(datagram), port, address);
          },
          [this](TSocketID& client) { DropFor(client, "message flood", TDrop::MessageFlood); }),
      heartbeat_(sockets, counters_,
                 [this](TSocketID& client, const std::string& why, TDrop reason) {
                   DropFor(client, why, reason);
                 }),
      beatTimer_([this] { OnBeatTimer(); }),
      setupTimer_([this] {
        CheckSetupDeadlines();
        FlushConsoleDiagnostics();  // the count of a burst's last second, held back
      }),
      inputTimer_([this] {
        if (game_.GameQueue().Size() > GAME_QUEUE_LOW) return;
        inputTimer_.Stop();
        listener_.SetReadingPaused(false);
      }) {
  protocol_.SetMessageHandler(handler_.AsMessageHandler());
  // A player's input that waited for its GUID goes on once the GUID is bound.
  handler_.SetOnDeparture(
      [&dispatch = game.Dispatch()](uint32_t guid) { dispatch.Departed(guid); });
  game.Dispatch().SetOnBound([this](TSocketID& client) {
    if (client.Socket) protocol_.TCP_parseInputStream(client);
  });
  listener_.SetSendLimit(options_.SendLimit);
  listener_.OnConnect = [this](ITcpConnection& c) { OnClientConnect(c); };
  listener_.OnDisconnect = [this](ITcpConnection& c) { OnClientDisconnect(c); };
  listener_.OnRead = [this](ITcpConnection& c) { OnClientRead(c); };
  listener_.OnError = [this](ITcpConnection& c, int& code) { OnClientError(c, code); };
  listener_.OnOverflow = [this](ITcpConnection& c) { OnClientOverflow(c); };
}

TConnections::~TConnections() {
  Stop();
}

void TConnections::SetSessionHooks(TSessionHooks hooks) {
  hooks_ = std::move(hooks);
  handler_.SetLoginHooks(hooks_.Login);
}

void TConnections::Listen() {
  if (settings_.ListenAddress != DEFAULT_LISTEN_ADDRESS)
    Log("Listening on address " + settings_.ListenAddress + ".");
  listener_.Listen(settings_.TcpPort, settings_.ListenAddress);
  Log(TLogLevel::Notice, "Server is TCP listening on " + std::to_string(listener_.Port()));
  Log(TLogLevel::Notice,
      ConnectHint(settings_.ListenAddress, listener_.Port(), settings_.BaseUdpPort));
  receivingUdp_ = true;
  beatTimer_.Start(static_cast<int>(options_.BeatInterval));
  Log("Beat is active at a " + std::to_string(BEAT_INTERVAL) + "ms interval, with a " +
      std::to_string(BEAT_MISS_LIMIT) + " timeout.");
  setupTimer_.Start(static_cast<int>(SETUP_CHECK_INTERVAL));
  UpdateStatus();
}

void TConnections::Stop() {
  listener_.Stop();  // no disconnect events, no ClientGone
  beatTimer_.Stop();
  setupTimer_.Stop();
  inputTimer_.Stop();
  receivingUdp_ = false;
  sockets_.Clear();  // the UDP endpoints, and nothing left pointing at closed connections
}

void TConnections::Apply(const TConnectionSettings& settings) {
  settings_.SetupTimeoutMs = settings.SetupTimeoutMs;
  settings_.MaxPerAddress = settings.MaxPerAddress;
  settings_.MaxClients = settings.MaxClients;
  handler_.SetMaxMessageRate(settings.MaxMessageRate);
  UpdateStatus();
}

void TConnections::SetMaxClients(int32_t value) {
  if (value == 0) return;
  settings_.MaxClients = value;
  Log(TLogLevel::Notice, "MaxAllowed set to " + std::to_string(value));
  UpdateStatus();
}

void TConnections::SetPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  Log(TLogLevel::Notice, paused ? "Server paused." : "Server resumed.");
}

// --- Admission and the TCP events --------------------------------------------------------

void TConnections::Refuse(ITcpConnection& connection, const std::string& reason, TRefusal metric) {
  ++counters_.Refused[metric];
  SendTCP(connection, sockets_.Traffic(), Frame(ServerFull, EncodeServerFull(reason)));
  connection.Close();  // its disconnect handling counts it back down
  UpdateStatus();
}

void TConnections::OnClientConnect(ITcpConnection& connection) {
  ++connectedCount_;
  const std::string& address = connection.RemoteAddress();
  if (hooks_.AddressBanned && hooks_.AddressBanned(address)) {
    Log(TLogLevel::Warning, "Connection from " + address + " refused: the address is banned.");
    return Refuse(connection, std::string(RefusalText(TLoginOutcome::Banned)), TRefusal::Banned);
  }
  // Admins are exempt from the pause and the per-address limit; their name is not known
  // yet, so the address an Admin last logged in from is let in and its login checked.
  auto adminAddress = [&] { return hooks_.AdminAddress && hooks_.AdminAddress(address); };
  if (paused_ && !adminAddress()) return Refuse(connection, "Server is paused.", TRefusal::Paused);
  if (connectedCount_ > settings_.MaxClients || !sockets_.HasFreeEntry())
    return Refuse(connection, "Server is full.", TRefusal::Full);
  bool adminOnly = false;
  if (settings_.MaxPerAddress != 0 &&
      sockets_.CountAddress(address) >= static_cast<int>(settings_.MaxPerAddress)) {
    if (!adminAddress()) {
      Log(TLogLevel::Warning,
          "Connection from " + address + " refused: too many connections from this address.");
      return Refuse(connection, TOO_MANY_FROM_ADDRESS, TRefusal::PerAddress);
    }
    adminOnly = true;
  }
  TSocketID& client = sockets_.AddSocket(connection);
  client.AcceptedAt = GetTickCount();
  client.AdminOnly = adminOnly;
  ++counters_.Admitted;
  handler_.Admit(client);
  Log("Connected from " + address + ":" + std::to_string(connection.RemotePort()));
  SendTCP(client, Frame(Welcome, EncodeWelcome(settings_.ServerName)));
  SendTCP(client, Frame(ServerVersion, EncodeServerVersion(VersionString)));
  SendTCP(client, Frame(ConnectDone, EncodeConnectDone()));
  UpdateStatus();
}

void TConnections::OnClientDisconnect(ITcpConnection& connection) {
  --connectedCount_;
  if (TSocketID* client = sockets_.RecordOf(connection)) {
    handler_.ClientLeft(*client);       // a player in the game leaves it
    sockets_.RemoveSocket(connection);  // and the number is free at once
  } else {
    ConsoleDiagnostic("no address", "Address not in socket table!");  // a refused connection
  }
  Log("Disconnected " + connection.RemoteAddress() + ":" + std::to_string(connection.RemotePort()));
  UpdateStatus();
}

void TConnections::OnClientRead(ITcpConnection& connection) {
  TSocketID* client = sockets_.RecordOf(connection);
  std::string bytes =
      connection.ReceiveText(client && client->OverRate ? OVER_RATE_READ : READ_CHUNK);
  sockets_.Traffic().ReceivedBytes(TTransport::Tcp, bytes.size());
  if (!client) return;  // nobody to parse them for
  client->ReceiveBuffer += bytes;
  if (client->InputWaits() && client->ReceiveBuffer.size() > MAX_HELD_INPUT)
    return DropFor(*client, "input beyond the limit while its login is checked",
                   TDrop::LoginInputOverflow);
  protocol_.TCP_parseInputStream(*client);
  if (game_.GameQueue().Size() >= GAME_QUEUE_HIGH) HoldInput();
}

void TConnections::HoldInput() {
  // The game falls behind: clients wait in TCP rather than lose messages in a full queue.
  listener_.SetReadingPaused(true);
  if (!inputTimer_.Active()) inputTimer_.Start(INPUT_HOLD_CHECK_MS);
}

void TConnections::OnClientError(ITcpConnection& connection, int& code) {
  if (code == SOCKET_ERROR_RESET) {
    Log(std::to_string(SOCKET_ERROR_RESET) + ": Connection reset by peer " +
        connection.RemoteAddress() + ":" + std::to_string(connection.RemotePort()));
    code = 0;
    connection.Close();
    return;
  }
  // The code stays: the listener reports the error itself.
  Log(TLogLevel::Error, "Exception raised. Unknown socket error #" + std::to_string(code));
}

void TConnections::OnClientOverflow(ITcpConnection& connection) {
  Log(TLogLevel::Warning,
      "Output to " + connection.RemoteAddress() + ":" + std::to_string(connection.RemotePort()) +
          " exceeds " + std::to_string(options_.SendLimit) + " bytes unread; connection closed.");
  ++counters_.Dropped[TDrop::OutputOverflow];
  connection.Close();
}

void TConnections::DropFor(TSocketID& client, const std::string& why, TDrop reason) {
  Kick(client, {}, why, reason);
}

void TConnections::Kick(TSocketID& client, std::string_view text, const std::string& why,
                        TDrop reason) {
  const std::string address = client.Address;
  Close(client, text, reason);  // its disconnect line comes first
  Log(TLogLevel::Warning, "Client " + address + " dropped due to " + why + ".");
}

void TConnections::DropClient(int32_t s) {
  if (s < 1 || s > MAX_SOCKETS) return;
  if (ITcpConnection* connection = sockets_[s].Socket) connection->Close();
}

void TConnections::UpdateStatus() {
  std::string connected =
      "Connected: " + std::to_string(connectedCount_) + "/" + std::to_string(settings_.MaxClients);
  if (connectedCount_ > peakConnected_) peakConnected_ = connectedCount_;
  view_.ShowStatus(connected, "Max Connected: " + std::to_string(peakConnected_));
}

// --- Heartbeat and UDP -------------------------------------------------------------------

void TConnections::OnBeatTimer() {
  heartbeat_.Beat();
  if (hooks_.BeatCycle) hooks_.BeatCycle();
  view_.BeatCycleDone();
}

void TConnections::CheckSetupDeadlines() {
  heartbeat_.CheckSetupDeadlines(settings_.SetupTimeoutMs);
}

void TConnections::OnDatagram(TSocketID& client, std::string datagram, uint16_t /*senderPort*/,
                              const std::string& senderAddress) {
  if (!receivingUdp_) return;
  sockets_.Traffic().ReceivedBytes(TTransport::Udp, datagram.size());
  if (senderAddress != client.Address) {  // the sender's port is not compared
    ConsoleDiagnostic("udp invalid", senderAddress,
                      "Received UDP from invalid host: " + senderAddress);
    return;
  }
  protocol_.UDP_parseInputStream(client, senderAddress, datagram);
}

// --- The sessions' host ------------------------------------------------------------------

TSocketID* TConnections::FindPlayer(std::string_view name) {
  for (TSocketID& client : sockets_)
    if (client.InUse() && client.InGame() && SameName(client.PlayerName, name)) return &client;
  return nullptr;
}

TSocketID* TConnections::FindBySerial(uint64_t serial) {
  for (TSocketID& client : sockets_)
    if (client.InUse() && client.Serial == serial) return &client;
  return nullptr;
}

void TConnections::Close(TSocketID& client, std::string_view text, std::optional<TDrop> reason) {
  if (reason) ++counters_.Dropped[*reason];
  if (!text.empty()) SendTCP(client, Frame(ServerFull, EncodeServerFull(text)));
  if (client.Socket) client.Socket->Close();
}

void TConnections::Join(TSocketID& client, const std::string& name) {
  handler_.Join(client, name);
}

}  // namespace zq
