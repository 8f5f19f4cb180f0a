// TApplication: the program's server as both front-ends (the window and the headless run)
// drive it: the server (TZQOServer); the admin API when the settings ask for it, made before
// the start so that its event stream has the start's lines and listening once the start has
// ended; the SIGHUP reload of the command line and its configuration file; the stop, which a
// signal, the admin API or the operator may ask for at any time, also during the start; the
// service manager's notifications; and the reporter of the socket facilities' own errors.
// It is the server's view and passes every line and status on to the front-end's. Main
// thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "app/ConfigReload.h"
#include "platform/ServiceNotify.h"
#include "platform/qt/SignalWatcher.h"
#include "server/ServerView.h"
#include "server/ZQOSrv.h"
#include "server/admin/AdminServer.h"

namespace zq {

// What the application asks of its front-end.
struct TFrontEnd {
  IServerView* View = nullptr;  // shows the lines and the status; none: nothing is shown
  // Ends the program the front-end's way; it calls Stop (the window closes, the headless
  // event loop quits).
  std::function<void()> Exit;
  // Shows an error the socket facilities report themselves.
  std::function<void(const std::string& text)> ReportError;
};

class TApplication : private IServerView {
 public:
  explicit TApplication(const TCommandLine& commandLine, TServerOptions options = {});
  ~TApplication() override;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // The front-end, once it exists (the window needs the server to be made).
  void Attach(TFrontEnd frontEnd);
  // SIGINT and SIGTERM end the program (RequestExit), SIGHUP reloads. One application at a
  // time may watch.
  void WatchSignals();

  // Starts the server with `settings`, then the admin API, and tells the service manager.
  // Raises what failed: the server's error (nothing runs then), or the admin API's (the
  // server runs); EStopRequested when a stop was asked for meanwhile (the server is stopped,
  // and the front-end asked to exit). Does nothing while the server starts or runs; after a
  // failed start it may be called again.
  void Start(const TServerSettings& settings);
  // Shuts the server down; true when it is stopped (or never ran). During the start it asks
  // the start to end at its next step and gives false: the front-end is asked to exit again
  // once the start has ended.
  bool Stop();
  // Ends the program the front-end's way (signals, the admin API's shutdown).
  void RequestExit();
  // SIGHUP: the accounts file reopened and its bans applied, the settings read again.
  void Reload();

  TZQOServer& Server() { return server_; }
  TAdminServer* Admin() { return admin_.get(); }

 private:
  // IServerView: the front-end's, with the service manager told the status and the beat.
  void ServerStarting() override;
  void ShowStatusTab() override;
  void ProcessPendingEvents() override;
  void AppendToView(const std::string& line) override;
  void ShowLogLine(TLogLevel level, const std::string& line, std::string_view message) override;
  void ShowIdentity(const std::string& identity) override;
  void ShowStatus(const std::string& connected, const std::string& peak) override;
  IExtractProgress& ShowExtractionProgress(const std::string& gameDirectory,
                                           const std::string& dataDirectory) override;
  void HideExtractionProgress() override;
  void BeatCycleDone() override;

  TServiceNotifier notifier_;
  TFrontEnd frontEnd_;
  TNullProgress noProgress_;
  TConfigReload reload_;
  TServerSettings commandLineSettings_;
  TZQOServer server_;
  std::unique_ptr<TAdminServer> admin_;  // refers to the server: goes before it
  std::unique_ptr<TSignalWatcher> watcher_;
  bool starting_ = false;
  bool exitPending_ = false;  // asked for during the start
  bool stopping_ = false;
};

}  // namespace zq
