// TZQOServer: the server shell, independent of any window. StartServer runs the start
// sequence with a settings record and a view; then the server serves TCP connections
// (admission, greeting, buffers, setup deadline, clean-up), the heartbeat and the UDP receive
// path, until Shutdown stops it in a fixed order. Main thread only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "accounts/AccountService.h"
#include "accounts/AdminCommand.h"
#include "game/GameTimer.h"
#include "game/GuidManager.h"
#include "game/PlayerSnapshot.h"
#include "game/Players.h"
#include "game/ServerGameManager.h"
#include "log/LogFileWriter.h"
#include "platform/MainThreadQueue.h"
#include "platform/ThreadAffinity.h"
#include "platform/qt/MainThreadHook.h"
#include "platform/qt/PeriodicTimer.h"
#include "platform/qt/TcpListener.h"
#include "protocol/ClientMessages.h"
#include "protocol/DispatchManager.h"
#include "protocol/GameMessenger.h"
#include "protocol/SocketTable.h"
#include "protocol/ZQProtocol.h"
#include "server/ServerCounters.h"
#include "server/ServerEvents.h"
#include "server/ServerSettings.h"
#include "server/ServerView.h"
#include "world/WorldData.h"

namespace zq {

constexpr uint32_t SETUP_CHECK_INTERVAL = 1000;  // ms between two looks at the setup deadlines
constexpr std::size_t READ_CHUNK = 64 * 1024;    // bytes one connection hands over per turn
// Game queue fill at which TCP input is held back, and at which it is taken again.
constexpr std::size_t GAME_QUEUE_HIGH = 768;
constexpr std::size_t GAME_QUEUE_LOW = 256;
constexpr int INPUT_HOLD_CHECK_MS = 1;

// How an operator's change to the accounts file ended; the text says it in words (empty when
// Done). Invalid: the request itself (a name, a missing password); Failed: the file.
enum class TEditOutcome { Done, Invalid, Exists, Missing, Failed };
using TEditDone = std::function<void(TEditOutcome outcome, const std::string& error)>;

// An account to add or change.
struct TAccountEdit {
  std::string Name;
  std::string Password;                   // empty: kept (a new account needs one)
  std::optional<TPrivileges> Privileges;  // empty: kept (Player for a new account)
  bool Create = false;
  std::string By;  // who asked, for the log line ("the admin API (127.0.0.1)"); may be empty
};

struct TServerOptions {
  uint32_t BeatInterval = BEAT_INTERVAL;
  std::size_t SendLimit = DEFAULT_SEND_LIMIT;
  uint32_t TickInterval = TICK_INTERVAL;
  // Checks passwords (null: Argon2id, moderate); tests put a fast or a slow one in.
  std::shared_ptr<const TPasswordHasher> Hasher;
  int LoginThreads = LOGIN_THREADS;
};
// Input a connection may send while it waits (its login checked, its GUID bound); beyond it,
// the connection is dropped.
constexpr std::size_t MAX_HELD_INPUT = 64 * 1024;

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
  // Stops the server in order; does nothing unless the start sequence ran to its end.
  void Shutdown();
  // Asks a start sequence that is running to end at its next step (with EStopRequested).
  void RequestStop() { stopRequested_ = true; }
  // SIGHUP: logs "Reload requested."; the caller reads the settings again.
  void Reload();
  // Takes from `settings` what can change while running: the maximum of clients, the setup
  // deadline, the per-address limit, and the message rate of connections admitted from now on.
  void ApplyRunningSettings(const TServerSettings& settings);

  // A new maximum number of clients; 0 is ignored.
  void SetMaxClients(int32_t value);
  // While paused, new players other than admins are refused with "Server is paused.": at
  // connect, unless an Admin last logged in from the address; else at login.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  // Closes the connection of socket number s (it then takes the normal disconnect road).
  void DropClient(int32_t s);
  // The same after telling the client "You were kicked by an admin.", logged as "Client <ip>
  // kicked by <by>.", counted and told to the event sink; false when s holds no connection.
  bool KickClient(int32_t s, const std::string& by);

  // Accounts (Logins.cpp, AdminCommands.cpp). The accounts file, null unless running.
  TAccountService* Accounts() { return accounts_.get(); }
  // The connection in the game under `name` (letter case of A to Z aside), or none.
  TSocketID* FindPlayer(std::string_view name);
  TSocketID* FindBySerial(uint64_t serial);
  // Sends `text` as ServerFull, then closes the connection; logs "Client <ip> dropped due to
  // <why>." and counts it under the metric label `label`.
  void Kick(TSocketID& client, const std::string& text, const std::string& why,
            const std::string& label);
  // Adds the ban (on the job thread), then kicks whoever it applies to; `done` runs on the
  // main thread with an empty text, or with what failed. `by` names who asked in the log.
  void AddBan(TBan ban, std::function<void(const std::string& error)> done,
              const std::string& by = {});
  // Lifts the ban on `target` (Missing when it has none); `by` as for AddBan.
  void RemoveBan(const TBanTarget& target, const std::string& by, TEditDone done);
  // Kicks every connection that a ban in force applies to (by its address, or by the name
  // it plays under); the bans are read on the job thread.
  void ApplyBans();
  // The operator's changes (AccountEdits.cpp), done on the job thread, the password hashed
  // there; `done` runs on the main thread with an empty text or with what failed.
  // Adds the account (`create`) or changes it: an empty password keeps the one it has. A
  // player in the game who loses Admin loses it at once; Admin is gained at the next login.
  void SaveAccount(const std::string& name, std::string password, TPrivileges privileges,
                   bool create, std::function<void(const std::string& error)> done);
  // The same, with what is not given kept, and the outcome told apart.
  void EditAccount(TAccountEdit edit, TEditDone done);
  // Removes the account; a player in the game under it is kicked.
  void DeleteAccount(const std::string& name, std::function<void(const std::string& error)> done);
  void DeleteAccount(const std::string& name, const std::string& by, TEditDone done);

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
  // The connection records, for the window and tests.
  const TSocketTable& Sockets() const { return sockets_; }
  // Messages dropped because no connection held their GUID; game messages dropped by the
  // message budget.
  uint64_t UnaddressedMessages() const { return dispatch_ ? dispatch_->Unaddressed() : 0; }
  uint64_t RateLimitedMessages() const { return handler_ ? handler_->RateLimited() : 0; }
  // Writes a log line.
  void Log(const std::string& message);

  // For the admin API and its metrics.
  // Told of every log line, game event and kick from now on (null: nobody).
  void SetEventSink(TServerEventSink sink) {
    gameEventsWanted_.store(static_cast<bool>(sink), std::memory_order_relaxed);
    eventSink_ = std::move(sink);
  }
  const std::string& ServerName() const { return serverNameSetting_; }
  std::chrono::system_clock::time_point StartedAt() const { return startedAt_; }
  const TWorldData* World() const { return world_.get(); }  // null before it is loaded
  const TServerCounters& Counters() const { return counters_; }
  const TTrafficCounters& Traffic() const { return sockets_.Traffic(); }
  // Null while the server is not running.
  const TGameMessenger* GameQueue() const { return gameQueue_.get(); }
  const TGameMessenger* DispatchQueue() const { return dispatchQueue_.get(); }
  const TDurationHistogram* UpdateDurations() const {
    return gameManager_ ? &gameManager_->UpdateDurations() : nullptr;
  }

  // The heartbeat cycle and the look at the setup deadlines; public so tests can run one
  // without waiting for the timer.
  void OnBeatTimer();
  void CheckSetupDeadlines();

 private:
  // Start sequence steps.
  void CheckStop() const;  // raises EStopRequested once a stop was asked for
  void OpenLog(const std::string& path);
  void PrepareDataDirectory();
  void ReadIdentity();
  void LoadWorld();
  void CreateGame(const TServerSettings& settings);
  void OpenNetwork();
  void OpenAccounts(const TServerSettings& settings);

  // Logins (Logins.cpp).
  bool AdminAddress(const std::string& address);
  std::optional<TBan> AddressBan(const std::string& address);
  void CheckLogin(TSocketID& client);
  void OnLoginVerdict(TLoginVerdict verdict);
  void RefuseLogin(TSocketID& client, const TLoginVerdict& verdict, std::string_view text);
  // Adds the time since the join to the account it plays under (on the job thread).
  void RecordPlayTime(const TSocketID& client);

  // Admin commands (AdminCommands.cpp): true when the speech was one (it is not relayed).
  bool OnSpeech(TSocketID& client, std::string_view text);
  void RunAdminCommand(TSocketID& admin, const TAdminCommand& command);
  // The game tells the player of connection `serial` `line`, as speech only it hears.
  void Answer(uint64_t serial, int32_t number, const std::string& line);

  // TCP events.
  void OnClientConnect(ITcpConnection& connection);
  void OnClientDisconnect(ITcpConnection& connection);
  void OnClientRead(ITcpConnection& connection);
  void OnClientError(ITcpConnection& connection, int& code);
  void OnClientOverflow(ITcpConnection& connection);
  // Stops taking TCP input until the game queue has drained to GAME_QUEUE_LOW.
  void HoldInput();
  // Refuses a connection at once with ServerFull and `reason`; it is counted back down by
  // its disconnect.
  void Refuse(ITcpConnection& connection, const std::string& reason,
              const std::string& metric = "other");
  void Tell(const TServerEvent& event);
  // Closes a client and logs "Client <ip> dropped due to <why>."; counted under `label`
  // (default: the words joined by "_").
  void DropFor(TSocketID& client, const std::string& why, const std::string& label = {});
  void UpdateStatus();

  // UDP receive path.
  void OnDatagram(TSocketID& client, std::string datagram, uint16_t senderPort,
                  const std::string& senderAddress);

  IServerView& view_;
  TServerOptions options_;
  TThreadAffinity mainThread_;

  bool startAttempted_ = false;
  bool serverStarted_ = false;
  bool stopRequested_ = false;
  bool paused_ = false;
  std::string gameDirectory_;
  std::string dataDirectory_;
  std::string serverNameSetting_;
  std::string gameIdentity_;
  uint16_t tcpPort_ = TCP_LISTEN_PORT;
  std::string listenAddress_ = DEFAULT_LISTEN_ADDRESS;
  uint16_t baseUdpPort_ = DEFAULT_BASE_UDP_PORT;
  uint32_t setupTimeoutMs_ = DEFAULT_SETUP_TIMEOUT_MS;
  uint32_t maxPerAddress_ = 0;
  int32_t maxAllowed_ = 0;
  int32_t connectedCount_ = 0;
  int32_t peakConnected_ = 0;
  std::chrono::system_clock::time_point startedAt_;
  TServerCounters counters_;
  TServerEventSink eventSink_;
  std::atomic<bool> gameEventsWanted_{false};  // read by the game thread: post only when true

  TSocketTable sockets_;
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
  std::unique_ptr<TPeriodicTimer> setupTimer_;
  std::unique_ptr<TPeriodicTimer> inputTimer_;  // while input is held
  std::unique_ptr<TAccountService> accounts_;
  bool receivingUdp_ = false;
};

}  // namespace zq
