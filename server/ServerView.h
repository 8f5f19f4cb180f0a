// What the start sequence and the connection handlers show: the view is the window, or the
// headless front-end. Main thread only.
#pragma once

#include <string>
#include <string_view>

#include "platform/LogLevel.h"
#include "world/IregExtract.h"

namespace zq {

class IServerView {
 public:
  virtual ~IServerView() = default;
  // "&Start Server" was pressed: the settings controls are disabled, the running ones enabled.
  virtual void ServerStarting() {}
  virtual void ShowStatusTab() {}
  // Lets pending window events run.
  virtual void ProcessPendingEvents() {}
  // Every log line, as written to the log file (without the line end).
  virtual void AppendToView(const std::string& line) = 0;
  // The same line with its level and its message (the line without the stamp); a view that
  // needs no more shows the line.
  virtual void ShowLogLine(TLogLevel /*level*/, const std::string& line,
                           std::string_view /*message*/) {
    AppendToView(line);
  }
  virtual void ShowIdentity(const std::string& /*identity*/) {}
  // The two status lines ("Connected: ..." and "Max Connected: ...").
  virtual void ShowStatus(const std::string& /*connected*/, const std::string& /*peak*/) {}
  // The extraction's progress window: shown before the extraction (from the game directory
  // into the data directory), hidden after it.
  virtual IExtractProgress& ShowExtractionProgress(const std::string& gameDirectory,
                                                   const std::string& dataDirectory) = 0;
  virtual void HideExtractionProgress() {}
  // A heartbeat cycle ran: the event loop is alive (a service manager's watchdog hears it).
  virtual void BeatCycleDone() {}
};

}  // namespace zq
