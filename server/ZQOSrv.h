// TZQOServer: the server as its front-ends drive it, independent of any window. StartServer
// runs the start sequence with a settings record (a TRunningServer is the run), Shutdown ends
// it in order; meanwhile the server takes its running settings, the pause and reloads, shows
// what it does through the view and the event sink, tells its state as a status value and
// lets an operator act through its administration. It keeps what outlives a run: the view,
// the options, the main thread's queue and its hook, the event teller and the world. Main
// thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/MainThreadQueue.h"
#include "platform/ThreadAffinity.h"
#include "platform/qt/MainThreadHook.h"
#include "server/Administration.h"
#include "server/RunningServer.h"
#include "server/ServerEvents.h"
#include "server/ServerOptions.h"
#include "server/ServerSettings.h"
#include "server/ServerStatus.h"
#include "server/ServerView.h"
#include "world/WorldData.h"

namespace zq {

class TZQOServer {
 public:
  explicit TZQOServer(IServerView& view, TServerOptions options = {});
  ~TZQOServer();  // shuts a running server down
  TZQOServer(const TZQOServer&) = delete;
  TZQOServer& operator=(const TZQOServer&) = delete;

  // The start sequence. Raises the error of the failing step (EConvertError, EInOutError,
  // EInternalCheck, EStopRequested); what the steps before it made is freed again and
  // ServerStarted stays false, so that a later call may try again (once the port is free,
  // say). Does nothing while a start runs or the server runs.
  void StartServer(const TServerSettings& settings);
  // Stops the server in order; does nothing unless the start sequence ran to its end.
  void Shutdown();
  // Asks a start sequence that is running to end at its next step (with EStopRequested).
  void RequestStop() { stopRequested_ = true; }
  // SIGHUP: logs "Reload requested.", reopens the accounts file and applies its bans; the
  // caller reads the settings again.
  void Reload();
  // Takes from `settings` what can change while running: the maximum of clients, the setup
  // deadline, the per-address limit, the message rate of connections admitted from now on,
  // and how logins are checked.
  void ApplyRunningSettings(const TServerSettings& settings);
  // A new maximum number of clients; 0 is ignored, and so is a change before the start (the
  // start sequence takes the settings' value).
  void SetMaxClients(int32_t value);
  // While paused, new players other than admins are refused with "Server is paused.": at
  // connect, unless an Admin last logged in from the address; else at login.
  void SetPaused(bool paused);

  const TServerOptions& Options() const { return options_; }
  bool ServerStarted() const { return running_ != nullptr; }
  bool StartAttempted() const { return startAttempted_; }  // at least once
  bool Starting() const { return starting_; }
  // What the server shows now; Running false before the start and after the shutdown.
  TServerStatus Status() const;
  // What an operator does to the running server; null unless running.
  TAdministration* Administration();
  // The run itself, for tests that look at its parts; null unless running.
  TRunningServer* Running() { return running_.get(); }
  // The world as loaded by the start sequence; it stays after the shutdown (null before).
  std::shared_ptr<const TWorldData> World() const { return world_; }

  // Writes a log line (nothing before the start or after the shutdown).
  void Log(TLogLevel level, const std::string& message);
  void Log(const std::string& message) { Log(TLogLevel::Info, message); }
  // Told of every log line, game event and kick from now on (null: nobody).
  void SetEventSink(TServerEventSink sink) { teller_.SetSink(std::move(sink)); }

 private:
  IServerView& view_;
  const TServerOptions options_;
  TThreadAffinity mainThread_;
  TMainThreadQueue mainQueue_;
  TMainThreadHook mainHook_{mainQueue_};
  TEventTeller teller_;
  bool startAttempted_ = false;
  bool starting_ = false;
  bool stopRequested_ = false;
  std::shared_ptr<const TWorldData> world_;
  std::unique_ptr<TRunningServer> running_;  // while started
};

}  // namespace zq
