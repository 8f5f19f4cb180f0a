// The view of a server without a window: log lines are kept (last 100) and printed on
// standard output as the log file has them; the connection counts are the service manager's
// status line, and each heartbeat cycle its watchdog's keep-alive. Pending events are those of
// the Qt event loop. Main thread only.
#pragma once

#include "platform/ServiceNotify.h"
#include "server/LogView.h"
#include "server/ServerView.h"

namespace zq {

class THeadlessView : public IServerView {
 public:
  explicit THeadlessView(TServiceNotifier& notifier) : notifier_(notifier) {}
  void ProcessPendingEvents() override;
  void AppendToView(const std::string& line) override;
  void ShowStatus(const std::string& connected, const std::string& peak) override;
  void BeatCycleDone() override { notifier_.Watchdog(); }
  IExtractProgress& ShowExtractionProgress(const std::string&, const std::string&) override {
    return progress_;
  }
  const TLogView& LogView() const { return view_; }

 private:
  TServiceNotifier& notifier_;
  TLogView view_;
  TNullProgress progress_;
};

// Runs the server without a window until SIGINT or SIGTERM, telling the service manager (if
// any) when it is ready, reloading and stopping; SIGHUP reloads the settings. Returns the exit
// status.
int RunHeadless(int argc, char** argv, const struct TCommandLine& commandLine);

}  // namespace zq
