// TZQOServer: the server shell, independent of any window. StartServer runs the start
// sequence with a settings record and a view; then the server serves TCP connections
// (admission, greeting, buffers, clean-up), the heartbeat and the UDP receive path, until
// FormClose shuts it down in a fixed order. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "game/GameTimer.h"
#include "game/GuidManager.h"
#include "game/PlayerSnapshot.h"
#include "game/Players.h"
#include "game/ServerGameManager.h"
#include "log/LogFileWriter.h"
#include "platform/MainThreadQueue.h"
#include "platform/qt/MainThreadHook.h"
#include "platform/qt/PeriodicTimer.h"
#include "platform/qt/TcpListener.h"
#include "protocol/ClientMessages.h"
#include "protocol/ConnectionState.h"
#include "protocol/DispatchManager.h"
#include "protocol/GameMessenger.h"
#include "protocol/ZQProtocol.h"
#include "server/ServerSettings.h"
#include "server/ServerView.h"
#include "world/WorldData.h"

namespace zq {

struct TServerOptions {
  uint16_t TcpPort = TCP_LISTEN_PORT;  // tests pass 0 (any free port)
  uint32_t BeatInterval = BEAT_INTERVAL;
  std::size_t SendLimit = DEFAULT_SEND_LIMIT;
  uint32_t TickInterval = TICK_INTERVAL;
};

class TZQOServer {
 public:
  explicit TZQOServer(IServerView& view, TServerOptions options = {});
  ~TZQOServer();
  TZQOServer(const TZQOServer&) = delete;
  TZQOServer& operator=(const TZQOServer&) = delete;

  // The start sequence. Raises the error of the failing step (EConvertError, EInOutError,
  // EInternalCheck); the steps after it do not run and ServerStarted stays false.
  // Runs at most once.
  void StartServer(const TServerSettings& settings);
  // Shutdown; does nothing unless the start sequence ran to its end.
  void FormClose();

  // "&Max. Clients: " changed.
  void SpinEdit1Change(int32_t value);
  // While paused, new connections are refused like at a full server.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  // Closes the connection of socket number s (it then takes the normal disconnect road).
  void DropClient(int32_t s);

  bool ServerStarted() const { return serverStarted_; }
  bool StartAttempted() const { return startAttempted_; }
  int32_t ConnectedCount() const { return connectedCount_; }
  int32_t PeakConnected() const { return peakConnected_; }
  int32_t MaxAllowed() const { return maxAllowed_; }
  uint16_t ListeningPort() const { return listener_ ? listener_->Port() : 0; }
  const std::string& GameIdentity() const { return gameIdentity_; }
  const std::string& GameDirectory() const { return gameDirectory_; }
  const std::string& DataDirectory() const { return dataDirectory_; }
  // The players in the game as the game manager last published them (empty when stopped).
  std::shared_ptr<const TPlayerSnapshotList> Players() const;
  // Per-connection state, for the window and tests.
  const TServerTables& Tables() const { return tables_; }
  // Writes a log line (main thread).
  void Log(const std::string& message);

  // Heartbeat cycle; public so tests can run one without waiting for the timer.
  void BeatTimerTimer();

 private:
  // Start sequence steps.
  void OpenLog();
  void PrepareDataDirectory();
  void ReadIdentity();
  void LoadWorld();
  void CreateGame(const TServerSettings& settings);
  void OpenNetwork();

  // TCP events.
  void InSocketClientConnect(ITcpConnection& connection);
  void InSocketClientDisconnect(ITcpConnection& connection);
  void InSocketClientRead(ITcpConnection& connection);
  void InSocketClientWrite(ITcpConnection& connection);
  void InSocketClientError(ITcpConnection& connection, int& code);
  void InSocketClientOverflow(ITcpConnection& connection);
  void UpdateStatus();

  // UDP receive path.
  void InUDPDataReceived(IUdpEndpoint& endpoint, std::string datagram, uint16_t senderPort,
                         const std::string& senderAddress);

  IServerView& view_;
  TServerOptions options_;

  bool startAttempted_ = false;
  bool serverStarted_ = false;
  bool paused_ = false;
  std::string gameDirectory_;
  std::string dataDirectory_;
  std::string serverNameSetting_;
  std::string gameIdentity_;
  uint16_t baseUdpPort_ = 28500;
  int32_t spawnX_ = 0;
  int32_t spawnY_ = 0;
  int32_t maxAllowed_ = 0;
  int32_t connectedCount_ = 0;
  int32_t peakConnected_ = 0;

  TServerTables tables_;
  TMainThreadQueue mainQueue_;
  TMainThreadHook mainHook_{mainQueue_};

  // Created by the start sequence, in this order; shutdown frees them in its own order.
  std::unique_ptr<TLogFileWriter> log_;
  std::unique_ptr<TWorldData> world_;  // lives until the process ends
  std::unique_ptr<TGUIDManager> guids_;
  std::unique_ptr<TGameTimer> gameTimer_;
  std::unique_ptr<TServerPlayerManager> players_;
  std::unique_ptr<TZQProtocolFormat> protocol_;
  std::unique_ptr<TGameMessenger> gameQueue_;
  std::unique_ptr<TGameMessenger> dispatchQueue_;
  std::unique_ptr<TDispatchManager> dispatch_;
  std::unique_ptr<TServerGameManager> gameManager_;
  std::unique_ptr<TClientMessageHandler> handler_;
  std::unique_ptr<TTcpListener> listener_;
  std::unique_ptr<TPeriodicTimer> beatTimer_;
  bool receivingUdp_ = false;
};

}  // namespace zq
