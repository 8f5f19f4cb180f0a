#include "server/ZQOSrv.h"

#include "platform/Clock.h"
#include "platform/Console.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"

namespace zq {

TZQOServer::TZQOServer(IServerView& view, TServerOptions options)
    : view_(view), options_(options) {}

TZQOServer::~TZQOServer() {
  // A running server is shut down the normal way; a start that failed midway may have left
  // threads running, which end quietly (nothing is logged after a failed start).
  FormClose();
  log_.reset();
  receivingUdp_ = false;
  if (gameManager_) {
    gameManager_->Terminate();
    gameManager_->WaitFor();
  }
  if (dispatch_) {
    dispatch_->Terminate();
    dispatch_->WaitFor();
  }
}

void TZQOServer::Log(const std::string& message) {
  if (log_) log_->WriteLine(message);
}

std::shared_ptr<const TPlayerSnapshotList> TZQOServer::Players() const {
  if (!gameManager_) return std::make_shared<const TPlayerSnapshotList>();
  return gameManager_->Snapshot().Read();
}

// --- Connections -------------------------------------------------------------------------

void TZQOServer::InSocketClientConnect(ITcpConnection& connection) {
  ++connectedCount_;
  if (connectedCount_ > maxAllowed_ || paused_ || !tables_.Sockets.HasFreeEntry()) {
    connection.SendText(Frame(ServerFull, "Server is full."));
    connection.Close();  // its disconnect handling counts it back down
    UpdateStatus();
    return;
  }
  const std::string& address = connection.RemoteAddress();
  uint16_t port = connection.RemotePort();
  Log("Connected from " + address + ":" + std::to_string(port));
  tables_.Sockets.AddSocket(connection);
  int32_t s = tables_.Sockets.FindByAddress(address, port);
  tables_.HeartbeatRecord[s].UDPActive = 0;
  tables_.PendingOut[s].clear();  // nothing parked for an earlier holder of the number
  connection.SendText(Frame(Welcome, "Welcome to " + serverNameSetting_));
  connection.SendText(Frame(ServerVersion, VersionString));
  connection.SendText(Frame(ConnectDone, "1"));
  tables_.Sockets[s].UDP.reset();
  tables_.CanWrite[s] = 0;
  tables_.LoginRecord[s].InGame = false;
  UpdateStatus();
}

void TZQOServer::InSocketClientDisconnect(ITcpConnection& connection) {
  const std::string address = connection.RemoteAddress();
  uint16_t port = connection.RemotePort();
  Log("Disconnected " + address + ":" + std::to_string(port));
  --connectedCount_;
  int32_t s = tables_.Sockets.FindByAddress(address, port);
  tables_.HeartbeatRecord[s] = THeartbeatRecord{};
  tables_.CanWrite[s] = 0;
  tables_.ReceiveBuffer[s].clear();
  tables_.PendingOut[s].clear();
  if (auto& udp = tables_.Sockets[s].UDP) {
    udp->Bind(0);
    udp.reset();
  }
  if (tables_.LoginRecord[s].InGame) {
    if (handler_) handler_->HandleClientMessage(s, ClientGone, std::string());
    tables_.LoginRecord[s].InGame = false;
  }
  tables_.Sockets.RemoveSocket(connection);
  UpdateStatus();
}

void TZQOServer::InSocketClientRead(ITcpConnection& connection) {
  int32_t s = tables_.Sockets.FindByAddress(connection.RemoteAddress(), connection.RemotePort());
  std::string& buffer = tables_.ReceiveBuffer[s];
  buffer += connection.ReceiveText();
  protocol_->TCP_parseInputStream(connection, buffer);
}

void TZQOServer::InSocketClientWrite(ITcpConnection& connection) {
  int32_t s = tables_.Sockets.FindByAddress(connection.RemoteAddress(), connection.RemotePort());
  if (!tables_.PendingOut[s].empty()) {
    std::string pending;
    pending.swap(tables_.PendingOut[s]);
    connection.SendText(pending);
  }
  // The facility takes every send whole and signals readiness only once.
  tables_.CanWrite[s] = 1;
}

void TZQOServer::InSocketClientError(ITcpConnection& connection, int& code) {
  if (code == 10054) {
    Log("10054: Connection reset by peer " + connection.RemoteAddress() + ":" +
        std::to_string(connection.RemotePort()));
    code = 0;
    connection.Close();
    return;
  }
  // The code stays: the listener reports the error itself.
  Log("Exception raised. Unknown socket error #" + std::to_string(code));
}

void TZQOServer::InSocketClientOverflow(ITcpConnection& connection) {
  Log("Output to " + connection.RemoteAddress() + ":" + std::to_string(connection.RemotePort()) +
      " exceeds " + std::to_string(options_.SendLimit) + " bytes unread; connection closed.");
  connection.Close();
}

void TZQOServer::SpinEdit1Change(int32_t value) {
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
  if (ITcpConnection* connection = tables_.Sockets[s].Socket) connection->Close();
}

void TZQOServer::UpdateStatus() {
  std::string connected =
      "Connected: " + std::to_string(connectedCount_) + "/" + std::to_string(maxAllowed_);
  if (connectedCount_ > peakConnected_) peakConnected_ = connectedCount_;
  view_.ShowStatus(connected, "Max Connected: " + std::to_string(peakConnected_));
}

// --- Heartbeat ---------------------------------------------------------------------------

void TZQOServer::BeatTimerTimer() {
  for (int32_t s = 1; s <= MAX_SOCKETS; ++s) {
    TSocketID& entry = tables_.Sockets[s];
    THeartbeatRecord& beat = tables_.HeartbeatRecord[s];
    if (entry.Address.empty() || !beat.UDPActive || !entry.UDP) continue;
    if (beat.AckedSeq != beat.Seq) ++beat.Missed;
    if (beat.Missed < BEAT_MISS_LIMIT) {
      uint8_t n = static_cast<uint8_t>(beat.Seq + 1);
      uint32_t t = GetTickCount();
      std::string payload;
      PutU8(payload, n);
      PutU32(payload, t);
      SendUDP(tables_, s, FrameUDP(BEAT, payload));
      beat.Seq = n;
      beat.SentAt = t;
    } else {
      std::string address = entry.Address;
      if (entry.Socket) entry.Socket->Close();
      Log("Client " + address + " dropped due to beat timeout.");
    }
  }
}

void TZQOServer::InUDPDataReceived(IUdpEndpoint& endpoint, std::string datagram,
                                   uint16_t /*senderPort*/, const std::string& senderAddress) {
  if (!receivingUdp_) return;
  int32_t s = tables_.Sockets.FindByUDP(&endpoint);
  if (s == NOT_FOUND) {
    ConsoleLine("Received UDP from unvalidated host: " + senderAddress);
    return;
  }
  if (senderAddress != tables_.Sockets[s].Address) {
    ConsoleLine("Received UDP from invalid host: " + senderAddress);
    return;
  }
  protocol_->UDP_parseInputStream(endpoint, senderAddress, datagram);
}

}  // namespace zq
