// TServerLog: the log of one run of the server: "ZQOSRV.LOG" (or the file the settings name,
// or none), each line also shown by the view, with its level, and told to the event sink.
// Lines below the threshold (the setting log_level) are left out of all three. A line that
// cannot be written costs a console line, nothing else. Main thread only.
#pragma once

#include <memory>
#include <string>

#include "log/LogFileWriter.h"
#include "platform/LogLevel.h"
#include "platform/ThreadAffinity.h"
#include "server/ServerEvents.h"
#include "server/ServerView.h"

namespace zq {

struct TLogSettings {
  std::string Path;  // empty: no file, the lines go to the view and the event sink alone
  TLogDates Dates = TLogDates::Locale;
  TLogLevel Threshold = TLogLevel::Info;
};

class TServerLog {
 public:
  // Opens (creates) the file; raises EInOutError naming it.
  TServerLog(const TLogSettings& settings, IServerView& view, const TEventTeller& teller);
  TServerLog(const TServerLog&) = delete;
  TServerLog& operator=(const TServerLog&) = delete;

  void Write(TLogLevel level, const std::string& message);
  void Write(const std::string& message) { Write(TLogLevel::Info, message); }
  void SetThreshold(TLogLevel threshold) { threshold_ = threshold; }
  // The file's path; empty without one.
  std::string Path() const { return file_ ? file_->LogPath() : std::string(); }

 private:
  TThreadAffinity mainThread_;
  std::unique_ptr<TLogFileWriter> file_;
  TLogDates dates_;
  TLogLevel threshold_;
  IServerView& view_;
  const TEventTeller& teller_;
};

}  // namespace zq
