// The front-end without a window: the server starts at once and runs until SIGINT or SIGTERM
// (or the admin API's shutdown); SIGHUP reloads. Log lines are printed on standard output as
// the log file has them (the last 100 kept), or, when standard output is the journal, with
// their priority in place of the stamp; the facilities' own errors go to standard error.
// Main thread only.
#pragma once

#include "app/CommandLine.h"
#include "server/LogView.h"
#include "server/ServerView.h"

namespace zq {

class THeadlessView : public IServerView {
 public:
  void ProcessPendingEvents() override;
  void AppendToView(const std::string& line) override;
  void ShowLogLine(TLogLevel level, const std::string& line, std::string_view message) override;
  IExtractProgress& ShowExtractionProgress(const std::string&, const std::string&) override {
    return progress_;
  }
  const TLogView& LogView() const { return view_; }

 private:
  TLogView view_;
  TNullProgress progress_;
};

// Runs the server without a window; returns the exit status.
int RunHeadless(int argc, char** argv, const TCommandLine& commandLine);

}  // namespace zq
