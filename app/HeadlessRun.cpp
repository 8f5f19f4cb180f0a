#include "app/HeadlessRun.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "app/Application.h"
#include "app/ConfigCheck.h"
#include "platform/Errors.h"

namespace zq {

void THeadlessView::ProcessPendingEvents() {
  QCoreApplication::processEvents();
}

void THeadlessView::AppendToView(const std::string& line) {
  view_.AppendToView(line);
  std::fwrite(line.data(), 1, line.size(), stdout);  // escaped already, as in the file
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int RunHeadless(int argc, char** argv, const TCommandLine& commandLine) {
  QCoreApplication qt(argc, argv);
  TServerSettings settings;
  try {
    settings = EnterGameDirectory(commandLine);
  } catch (const EInOutError& e) {
    std::cerr << e.what() << std::endl;
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
              [](const std::string& text) {
                std::fprintf(stderr, "%s\n", text.c_str());
                std::fflush(stderr);
              }});
  app.WatchSignals();
  try {
    app.Start(settings);
  } catch (const EStopRequested&) {
    return 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  }
  return qt.exec();
}

}  // namespace zq
