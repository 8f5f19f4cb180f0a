// The view of a server without a window: log lines are kept (last 100) and pending events
// are those of the Qt event loop. Main thread only.
#pragma once

#include "server/LogView.h"
#include "server/ServerView.h"

namespace zq {

class THeadlessView : public IServerView {
 public:
  void ProcessPendingEvents() override;
  void AppendToView(const std::string& line) override { view_.AppendToView(line); }
  IExtractProgress& ShowExtractionProgress() override { return progress_; }
  const TLogView& LogView() const { return view_; }

 private:
  TLogView view_;
  TNullProgress progress_;
};

// Runs the server without a window until SIGINT or SIGTERM; returns the exit status.
int RunHeadless(int argc, char** argv, const struct TCommandLine& commandLine);

}  // namespace zq
