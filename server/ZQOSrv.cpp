#include "server/ZQOSrv.h"

#include "accounts/AdminTexts.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "protocol/MessageCodec.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"

namespace zq {

TZQOServer::TZQOServer(IServerView& view, TServerOptions options)
    : view_(view), options_(options) {}

TZQOServer::~TZQOServer() {
  // A running server is shut down the normal way; a start that failed midway may have left
  // threads running, which end quietly (nothing is logged after a failed start).
  Shutdown();
  log_.reset();
  receivingUdp_ = false;
  gameManager_.reset();
  dispatch_.reset();
}

void TZQOServer::Log(const std::string& message) {
  mainThread_.Check();
  if (!log_) return;
  try {
    log_->WriteLine(message);
  } catch (const std::exception& e) {  // a lost line costs a console line, nothing else
    ConsoleDiagnostic("log", std::string("Cannot write the log: ") + e.what());
  }
}

std::shared_ptr<const TPlayerSnapshotList> TZQOServer::Players() const {
  if (!gameManager_) return std::make_shared<const TPlayerSnapshotList>();
  return gameManager_->Snapshot().Read();
}

// --- Connections -------------------------------------------------------------------------

void TZQOServer::Tell(const TServerEvent& event) {
  if (eventSink_) eventSink_(event);
}

void TZQOServer::Refuse(ITcpConnection& connection, const std::string& reason,
                        const std::string& metric) {
  ++counters_.Refused[metric];
  SendTCP(connection, sockets_.Traffic(), Frame(ServerFull, EncodeServerFull(reason)));
  connection.Close();  // its disconnect handling counts it back down
  UpdateStatus();
}

void TZQOServer::OnClientConnect(ITcpConnection& connection) {
  ++connectedCount_;
  const std::string& address = connection.RemoteAddress();
  if (AddressBan(address)) {
    Log("Connection from " + address + " refused: the address is banned.");
    return Refuse(connection, std::string(RefusalText(TLoginOutcome::Banned)), "banned");
  }
  // Admins are exempt from the pause and the per-address limit; their name is not known
  // yet, so the address an Admin last logged in from is let in and its login checked.
  if (paused_ && !AdminAddress(address)) return Refuse(connection, "Server is paused.", "paused");
  if (connectedCount_ > maxAllowed_ || !sockets_.HasFreeEntry())
    return Refuse(connection, "Server is full.", "full");
  bool adminOnly = false;
  if (maxPerAddress_ != 0 && sockets_.CountAddress(address) >= static_cast<int>(maxPerAddress_)) {
    if (!AdminAddress(address)) {
      Log("Connection from " + address + " refused: too many connections from this address.");
      return Refuse(connection, "Too many connections from this address.", "per_address");
    }
    adminOnly = true;
  }
  TSocketID& client = sockets_.AddSocket(connection);
  client.AcceptedAt = GetTickCount();
  client.AdminOnly = adminOnly;
  ++counters_.Admitted;
  if (handler_) handler_->Admit(client);
  Log("Connected from " + address + ":" + std::to_string(connection.RemotePort()));
  SendTCP(client, Frame(Welcome, EncodeWelcome(serverNameSetting_)));
  SendTCP(client, Frame(ServerVersion, EncodeServerVersion(VersionString)));
  SendTCP(client, Frame(ConnectDone, EncodeConnectDone()));
  UpdateStatus();
}

void TZQOServer::OnClientDisconnect(ITcpConnection& connection) {
  --connectedCount_;
  if (TSocketID* client = sockets_.RecordOf(connection)) {
    if (handler_) handler_->ClientLeft(*client);  // a player in the game leaves it
    sockets_.RemoveSocket(connection);            // and the number is free at once
  } else {
    ConsoleDiagnostic("no address", "Address not in socket table!");  // a refused connection
  }
  Log("Disconnected " + connection.RemoteAddress() + ":" + std::to_string(connection.RemotePort()));
  UpdateStatus();
}

void TZQOServer::OnClientRead(ITcpConnection& connection) {
  TSocketID* client = sockets_.RecordOf(connection);
  std::string bytes =
      connection.ReceiveText(client && client->OverRate ? OVER_RATE_READ : READ_CHUNK);
  sockets_.Traffic().ReceivedBytes(TTransport::Tcp, bytes.size());
  if (!client) return;  // nobody to parse them for
  client->ReceiveBuffer += bytes;
  if (client->InputWaits() && client->ReceiveBuffer.size() > MAX_HELD_INPUT)
    return DropFor(*client, "input beyond the limit while its login is checked",
                   "login_input_overflow");
  protocol_->TCP_parseInputStream(*client);
  if (gameQueue_->Size() >= GAME_QUEUE_HIGH) HoldInput();
}

void TZQOServer::HoldInput() {
  // The game falls behind: clients wait in TCP rather than lose messages in a full queue.
  listener_->SetReadingPaused(true);
  if (!inputTimer_) {
    inputTimer_ = std::make_unique<TPeriodicTimer>([this] {
      if (gameQueue_->Size() > GAME_QUEUE_LOW) return;
      inputTimer_->Stop();
      listener_->SetReadingPaused(false);
    });
  }
  if (!inputTimer_->Active()) inputTimer_->Start(INPUT_HOLD_CHECK_MS);
}

void TZQOServer::OnClientError(ITcpConnection& connection, int& code) {
  if (code == SOCKET_ERROR_RESET) {
    Log(std::to_string(SOCKET_ERROR_RESET) + ": Connection reset by peer " +
        connection.RemoteAddress() + ":" + std::to_string(connection.RemotePort()));
    code = 0;
    connection.Close();
    return;
  }
  // The code stays: the listener reports the error itself.
  Log("Exception raised. Unknown socket error #" + std::to_string(code));
}

void TZQOServer::OnClientOverflow(ITcpConnection& connection) {
  Log("Output to " + connection.RemoteAddress() + ":" + std::to_string(connection.RemotePort()) +
      " exceeds " + std::to_string(options_.SendLimit) + " bytes unread; connection closed.");
  ++counters_.Dropped["output_overflow"];
  connection.Close();
}

void TZQOServer::DropFor(TSocketID& client, const std::string& why, const std::string& label) {
  const std::string address = client.Address;
  ++counters_.Dropped[label.empty() ? ReasonLabel(why) : label];
  if (client.Socket) client.Socket->Close();  // its disconnect line comes first
  Log("Client " + address + " dropped due to " + why + ".");
}

void TZQOServer::Reload() {
  if (!log_) return;
  Log("Reload requested.");
  if (!accounts_) return;
  // The accounts file may have been replaced; bans added from the shell apply to connected
  // players now.
  try {
    accounts_->Reopen();
    Log("Accounts file " + accounts_->Path() + " reopened.");
  } catch (const std::exception& e) {
    Log(std::string("Cannot reopen the accounts file: ") + e.what());
  }
  ApplyBans();
}

void TZQOServer::ApplyRunningSettings(const TServerSettings& settings) {
  if (!serverStarted_) return;
  setupTimeoutMs_ = settings.SetupTimeoutMs;
  maxPerAddress_ = settings.MaxPerAddress;
  handler_->SetMaxMessageRate(settings.MaxMessageRate);
  maxAllowed_ = settings.MaxClients;
  if (accounts_) accounts_->SetMode(settings.Auth);
  UpdateStatus();
}

void TZQOServer::SetMaxClients(int32_t value) {
  if (value == 0) return;
  maxAllowed_ = value;
  if (!log_) return;  // before start-up: the start sequence reads the field again
  Log("MaxAllowed set to " + std::to_string(value));
  UpdateStatus();
}

void TZQOServer::SetPaused(bool paused) {
  if (paused == paused_ || !serverStarted_) return;
  paused_ = paused;
  Log(paused ? "Server paused." : "Server resumed.");
}

void TZQOServer::DropClient(int32_t s) {
  if (s < 1 || s > MAX_SOCKETS) return;
  if (ITcpConnection* connection = sockets_[s].Socket) connection->Close();
}

bool TZQOServer::KickClient(int32_t s, const std::string& by) {
  if (s < 1 || s > MAX_SOCKETS || !sockets_[s].Socket) return false;
  TSocketID& client = sockets_[s];
  const TKickEvent kick{s, client.GUID.load(std::memory_order_relaxed), client.LoginRecord.UserName,
                        client.Address, by};
  ++counters_.Dropped["kick"];
  SendTCP(client, Frame(ServerFull, EncodeServerFull(AdminText::KickedPlayer())));
  client.Socket->Close();  // its disconnect line comes first
  Log("Client " + kick.Address + " kicked by " + by + ".");
  Tell(kick);
  return true;
}

void TZQOServer::UpdateStatus() {
  std::string connected =
      "Connected: " + std::to_string(connectedCount_) + "/" + std::to_string(maxAllowed_);
  if (connectedCount_ > peakConnected_) peakConnected_ = connectedCount_;
  view_.ShowStatus(connected, "Max Connected: " + std::to_string(peakConnected_));
}

void TZQOServer::CheckSetupDeadlines() {
  if (setupTimeoutMs_ == 0) return;
  const uint32_t now = GetTickCount();
  for (TSocketID& client : sockets_) {
    if (!client.InUse() || client.SetupDone()) continue;
    if (now - client.AcceptedAt >= setupTimeoutMs_) DropFor(client, "setup timeout");
  }
}

// --- Heartbeat ---------------------------------------------------------------------------

void TZQOServer::OnBeatTimer() {
  for (TSocketID& client : sockets_) {
    THeartbeatRecord& beat = client.HeartbeatRecord;
    if (!client.InUse() || !client.UDPActive()) continue;
    if (beat.AckedSeq != beat.Seq) {
      ++beat.Missed;
      ++counters_.BeatsMissed;
    }
    if (beat.Missed >= BEAT_MISS_LIMIT) {
      DropFor(client, "beat timeout");
      continue;
    }
    const uint8_t n = static_cast<uint8_t>(beat.Seq + 1);
    const uint32_t t = GetTickCount();
    SendUDP(client, FrameUDP(BEAT, EncodeBEAT(n, t)));
    ++counters_.BeatsSent;
    beat.Seq = n;
    beat.SentAt = t;
  }
  view_.BeatCycleDone();
}

void TZQOServer::OnDatagram(TSocketID& client, std::string datagram, uint16_t /*senderPort*/,
                            const std::string& senderAddress) {
  if (!receivingUdp_) return;
  sockets_.Traffic().ReceivedBytes(TTransport::Udp, datagram.size());
  if (senderAddress != client.Address) {  // the sender's port is not compared
    ConsoleDiagnostic("udp invalid " + senderAddress,
                      "Received UDP from invalid host: " + senderAddress);
    return;
  }
  protocol_->UDP_parseInputStream(client, senderAddress, datagram);
}

}  // namespace zq
