#include "server/ServerLog.h"

#include "platform/Console.h"
#include "platform/TextEscape.h"

namespace zq {

TServerLog::TServerLog(const TLogSettings& settings, IServerView& view, const TEventTeller& teller)
    : file_(settings.Path.empty() ? nullptr : std::make_unique<TLogFileWriter>(settings.Path)),
      dates_(settings.Dates),
      threshold_(settings.Threshold),
      view_(view),
      teller_(teller) {}

void TServerLog::Write(TLogLevel level, const std::string& message) {
  mainThread_.Check();
  if (!LevelShown(level, threshold_)) return;
  const std::string stamp = TLogFileWriter::StampText(dates_);
  const std::string line = stamp + " " + EscapeControl(message);  // one event, one line
  if (file_) {
    try {
      file_->AppendLine(line);
    } catch (const std::exception& e) {  // a lost line costs a console line, nothing else
      ConsoleDiagnostic("log", std::string("Cannot write the log: ") + e.what(), TLogLevel::Error);
      return;
    }
  }
  view_.ShowLogLine(level, line, std::string_view(line).substr(stamp.size() + 1));
  teller_.Tell(TLogLineEvent{line});
}

}  // namespace zq
