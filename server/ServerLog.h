// TServerLog: the log of one run of the server: "ZQOSRV.LOG" (or the file the settings name),
// each line also shown by the view and told to the event sink. A line that cannot be written
// costs a console line, nothing else. Main thread only.
#pragma once

#include <string>

#include "log/LogFileWriter.h"
#include "platform/ThreadAffinity.h"
#include "server/ServerEvents.h"
#include "server/ServerView.h"

namespace zq {

class TServerLog {
 public:
  // Opens (creates) the file; raises EInOutError naming it.
  TServerLog(const std::string& path, IServerView& view, const TEventTeller& teller);
  TServerLog(const TServerLog&) = delete;
  TServerLog& operator=(const TServerLog&) = delete;

  void Write(const std::string& message);
  const std::string& Path() const { return file_.LogPath(); }

 private:
  TThreadAffinity mainThread_;
  TLogFileWriter file_;
};

}  // namespace zq
