// TRunningServer: one run of the server, from the start sequence to the shutdown. Its members
// are declared in the start order, so that making it runs the start sequence and freeing it
// frees everything in the reverse order; a step that fails unwinds what the steps before it
// made, with the log still open to say why ("Start-up failed: ..."). Making it loads and
// prepares everything; the threads and the listener begin with Start, and Stop is the
// shutdown (both explicit steps). Main thread only.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "accounts/AccountService.h"
#include "platform/FileLock.h"
#include "platform/MainThreadQueue.h"
#include "protocol/SocketTable.h"
#include "server/AdminCommands.h"
#include "server/Administration.h"
#include "server/Connections.h"
#include "server/GameCore.h"
#include "server/Logins.h"
#include "server/ServerEvents.h"
#include "server/ServerLog.h"
#include "server/ServerOptions.h"
#include "server/ServerSettings.h"
#include "server/ServerStatus.h"
#include "server/ServerView.h"
#include "server/StartSteps.h"
#include "world/WorldData.h"

namespace zq {

// What a run shares with the server that makes it, all of which outlives the run.
struct TRunContext {
  IServerView& View;
  const TServerOptions& Options;
  TMainThreadQueue& Main;
  const TEventTeller& Teller;
  TStopCheck CheckStop;  // raises EStopRequested once a stop was asked for
};

class TRunningServer {
 public:
  // Checks the settings and the installation, takes the game directory's lock (refused while
  // another server runs on it: "Game directory D is in use by process N (it holds
  // D/zqosrv.lock)"), opens the log, prepares the data directory,
  // reads the identity, loads the world, opens the accounts file and makes the game and the
  // connections. Raises the error of the failing step (EConvertError, EInOutError,
  // EInternalCheck, EStopRequested).
  TRunningServer(const TRunContext& context, const TServerSettings& settings);
  ~TRunningServer();
  TRunningServer(const TRunningServer&) = delete;
  TRunningServer& operator=(const TRunningServer&) = delete;

  // Starts the dispatch and game manager threads, then listens and starts the heartbeat.
  // Raises what failed, logged; the object is then to be freed.
  void Start();
  // The shutdown: logs "Server shutdown.", records the players' time and refuses the logins
  // still waiting, closes the listener and every connection without disconnect events, and
  // ends the game manager and then the dispatch thread.
  void Stop();

  // SIGHUP: logs "Reload requested.", reopens the accounts file and applies its bans and
  // privileges to the players in the game.
  void Reload();
  // What can change while running: the maximum, the setup deadline, the per-address limit,
  // the message rate of connections admitted from now on, and how logins are checked.
  void Apply(const TServerSettings& settings);

  TServerStatus Status() const;
  void Log(const std::string& line) { log_.Write(line); }
  void Log(TLogLevel level, const std::string& line) { log_.Write(level, line); }

  // The parts.
  TConnections& Connections() { return connections_; }
  TAdministration& Administration() { return administration_; }
  TAccountService& Accounts() { return *accounts_; }
  TSocketTable& Sockets() { return sockets_; }
  const TSocketTable& Sockets() const { return sockets_; }
  std::shared_ptr<const TWorldData> World() const { return world_; }

 private:
  // Logs "Start-up failed: <why>" for a step that raises (a stop request aside) and raises
  // it again; the log is open while any later step runs.
  template <typename Step>
  auto Logged(Step step) -> decltype(step());
  // Ends the connections and the threads; nothing is logged of its own.
  void Halt();

  TRunContext context_;
  const TServerSettings settings_;  // checked
  const std::string gameDirectory_;
  const TFileLock lock_;  // one server at a time on the game directory
  TServerLog log_;
  const std::string dataDirectory_;
  const std::string gameIdentity_;
  const std::shared_ptr<const TWorldData> world_;  // the server keeps it after the run
  const std::unique_ptr<TAccountService> accounts_;
  TSocketTable sockets_;
  TGameCore game_;
  TConnections connections_;
  TLogins logins_;
  TAdministration administration_;
  TAdminCommands commands_;
  std::chrono::system_clock::time_point startedAt_;
  bool started_ = false;
};

}  // namespace zq
