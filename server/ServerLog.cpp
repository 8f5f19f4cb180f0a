#include "server/ServerLog.h"

#include "platform/Console.h"

namespace zq {

TServerLog::TServerLog(const std::string& path, IServerView& view, const TEventTeller& teller)
    : file_(path) {
  file_.SetCallback([&view, &teller](const std::string& line) {
    view.AppendToView(line);
    teller.Tell(TLogLineEvent{line});
  });
}

void TServerLog::Write(const std::string& message) {
  mainThread_.Check();
  try {
    file_.WriteLine(message);
  } catch (const std::exception& e) {  // a lost line costs a console line, nothing else
    ConsoleDiagnostic("log", std::string("Cannot write the log: ") + e.what());
  }
}

}  // namespace zq
