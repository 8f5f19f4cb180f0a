#include "app/Application.h"

#include <csignal>
#include <utility>

#include "platform/Errors.h"
#include "platform/qt/EventGuard.h"

namespace zq {

TApplication::TApplication(const TCommandLine& commandLine, TServerOptions options)
    : reload_(commandLine),
      commandLineSettings_(commandLine.Settings),
      server_(*this, std::move(options)) {
  const TServerSettings& s = commandLine.Settings;
  if (!s.AdminListen.empty()) {
    TAdminSettings admin;
    admin.Listen = s.AdminListen;
    admin.Token = s.AdminToken;
    admin.TrustedProxy = s.AdminProxy;
    admin_ = std::make_unique<TAdminServer>(server_, std::move(admin), [this] { RequestExit(); });
  }
}

TApplication::~TApplication() {
  watcher_.reset();
  SetEventErrorReporter(nullptr);
  admin_.reset();
  Stop();
}

void TApplication::Attach(TFrontEnd frontEnd) {
  frontEnd_ = std::move(frontEnd);
  SetEventErrorReporter(frontEnd_.ReportError);
}

void TApplication::WatchSignals() {
  watcher_ = std::make_unique<TSignalWatcher>([this](int number) {
    if (number == SIGHUP) return Reload();  // never ends the process
    RequestExit();
  });
}

void TApplication::Start(const TServerSettings& settings) {
  if (starting_ || server_.ServerStarted()) return;
  starting_ = true;
  try {
    server_.StartServer(settings);
  } catch (...) {
    starting_ = false;
    if (std::exchange(exitPending_, false)) RequestExit();
    throw;
  }
  starting_ = false;
  reload_.Started(settings);
  if (std::exchange(exitPending_, false)) {  // asked for after the start's last step
    RequestExit();
    throw EStopRequested();
  }
  notifier_.Ready();  // listening
  const uint64_t beatUsec = uint64_t{BEAT_INTERVAL} * 1000;
  if (notifier_.WatchdogUsec() != 0 && notifier_.WatchdogUsec() < 2 * beatUsec)
    server_.Log("Watchdog interval of " + std::to_string(notifier_.WatchdogUsec() / 1000) +
                "ms is shorter than two heartbeat cycles; the service manager may end the server.");
  if (admin_) admin_->Start();
}

bool TApplication::Stop() {
  if (starting_) {
    exitPending_ = true;
    server_.RequestStop();  // the start sequence ends at its next step
    return false;
  }
  if (!stopping_ && server_.ServerStarted()) {
    stopping_ = true;
    notifier_.Stopping();
  }
  server_.Shutdown();
  return true;
}

void TApplication::RequestExit() {
  if (frontEnd_.Exit) return frontEnd_.Exit();
  Stop();
}

void TApplication::Reload() {
  if (!server_.ServerStarted()) return;
  notifier_.Reloading();
  reload_.Run(server_);
  notifier_.Ready();
}

// --- The view ----------------------------------------------------------------------------

void TApplication::ServerStarting() {
  if (frontEnd_.View) frontEnd_.View->ServerStarting();
}

void TApplication::ShowStatusTab() {
  if (frontEnd_.View) frontEnd_.View->ShowStatusTab();
}

void TApplication::ProcessPendingEvents() {
  if (frontEnd_.View) frontEnd_.View->ProcessPendingEvents();
}

void TApplication::AppendToView(const std::string& line) {
  if (frontEnd_.View) frontEnd_.View->AppendToView(line);
}

void TApplication::ShowLogLine(TLogLevel level, const std::string& line, std::string_view message) {
  if (frontEnd_.View) frontEnd_.View->ShowLogLine(level, line, message);
}

void TApplication::ShowIdentity(const std::string& identity) {
  if (frontEnd_.View) frontEnd_.View->ShowIdentity(identity);
}

void TApplication::ShowStatus(const std::string& connected, const std::string& peak) {
  notifier_.Status(connected + " clients, " + peak);
  if (frontEnd_.View) frontEnd_.View->ShowStatus(connected, peak);
}

IExtractProgress& TApplication::ShowExtractionProgress(const std::string& gameDirectory,
                                                       const std::string& dataDirectory) {
  if (!frontEnd_.View) return noProgress_;
  return frontEnd_.View->ShowExtractionProgress(gameDirectory, dataDirectory);
}

void TApplication::HideExtractionProgress() {
  if (frontEnd_.View) frontEnd_.View->HideExtractionProgress();
}

void TApplication::BeatCycleDone() {
  notifier_.Watchdog();
  if (frontEnd_.View) frontEnd_.View->BeatCycleDone();
}

}  // namespace zq
