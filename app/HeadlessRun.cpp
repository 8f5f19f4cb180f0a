#include "app/HeadlessRun.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

#include "app/Application.h"
#include "app/ConfigCheck.h"
#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/Journal.h"

namespace zq {

void THeadlessView::ProcessPendingEvents() {
  QCoreApplication::processEvents();
}

void THeadlessView::AppendToView(const std::string& line) {
  ShowLogLine(TLogLevel::Info, line, line);
}

void THeadlessView::ShowLogLine(TLogLevel level, const std::string& line,
                                std::string_view message) {
  view_.AppendToView(line);
  // Escaped already, as in the file; the journal stamps the line itself.
  const std::string text = (StdoutIsJournal() ? JournalLine(level, message) : line) + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

int RunHeadless(int argc, char** argv, const TCommandLine& commandLine) {
  QCoreApplication qt(argc, argv);
  TServerSettings settings;
  try {
    settings = EnterGameDirectory(commandLine);
  } catch (const EInOutError& e) {
    ConsoleReport(TLogLevel::Error, e.what());
    return 1;
  }

  std::signal(SIGPIPE, SIG_IGN);  // a closed standard output loses lines, not the server
  THeadlessView view;
  TApplication app(commandLine);
  app.Attach({&view,
              [&app] {
                app.Stop();
                QCoreApplication::quit();
              },
              // Nobody clicks a box: the facilities' errors go to standard error.
              [](const std::string& text) { ConsoleReport(TLogLevel::Error, text); }});
  app.WatchSignals();
  try {
    app.Start(settings);
  } catch (const EStopRequested&) {
    return 0;
  } catch (const std::exception& e) {
    ConsoleReport(TLogLevel::Error, e.what());
    return 1;
  }
  return qt.exec();
}

}  // namespace zq
