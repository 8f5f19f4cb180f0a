#include "server/HeadlessView.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "platform/Errors.h"
#include "platform/qt/EventGuard.h"
#include "platform/qt/SignalWatcher.h"
#include "server/CommandLine.h"
#include "server/ZQOSrv.h"
#include "server/admin/AdminServer.h"

namespace zq {

void THeadlessView::ProcessPendingEvents() {
  QCoreApplication::processEvents();
}

int RunHeadless(int argc, char** argv, const TCommandLine& commandLine) {
  QCoreApplication app(argc, argv);
  TServerSettings settings = commandLine.Settings;
  if (commandLine.GameDirectoryGiven) {
    std::error_code ec;
    std::filesystem::current_path(settings.GameDirectory, ec);
    if (ec) {
      std::cerr << "Cannot use game directory " << settings.GameDirectory << ": " << ec.message()
                << std::endl;
      return 1;
    }
  }
  settings.GameDirectory = std::filesystem::current_path().string();

  // Errors the facilities would show the operator go to standard error: nobody clicks a box.
  SetEventErrorReporter([](const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
  });
  THeadlessView view;
  TZQOServer server(view);
  bool stopping = false;
  auto stop = [&] {
    if (stopping) return;  // a second signal does not interrupt the shutdown
    stopping = true;
    server.RequestStop();  // a start sequence still running ends at its next step
    if (!server.ServerStarted()) return;
    server.Shutdown();
    QCoreApplication::quit();
  };
  TSignalWatcher watcher([&](int number) {
    if (number == SIGHUP) return server.Reload();  // never ends the process
    stop();
  });
  // Made before the start, so that its event stream has the start's log lines.
  std::unique_ptr<TAdminServer> admin;
  if (!settings.AdminListen.empty())
    admin = std::make_unique<TAdminServer>(
        server, TAdminSettings{settings.AdminListen, settings.AdminToken, {}}, stop);
  try {
    server.StartServer(settings);
    if (admin && server.ServerStarted()) admin->Start();
  } catch (const EStopRequested&) {
    return 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  }
  return app.exec();
}

}  // namespace zq
