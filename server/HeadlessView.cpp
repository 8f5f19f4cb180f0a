#include "server/HeadlessView.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "app/CommandLine.h"
#include "platform/Errors.h"
#include "platform/qt/EventGuard.h"
#include "platform/qt/SignalWatcher.h"
#include "server/ConfigReload.h"
#include "server/ZQOSrv.h"
#include "server/admin/AdminServer.h"

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

void THeadlessView::ShowStatus(const std::string& connected, const std::string& peak) {
  notifier_.Status(connected + " clients, " + peak);
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
  std::signal(SIGPIPE, SIG_IGN);  // a closed standard output loses lines, not the server
  TServiceNotifier notifier;
  THeadlessView view(notifier);
  TZQOServer server(view);
  TConfigReload reload(commandLine);
  bool stopping = false;
  auto stop = [&] {
    if (stopping) return;  // a second signal does not interrupt the shutdown
    stopping = true;
    notifier.Stopping();
    server.RequestStop();  // a start sequence still running ends at its next step
    if (!server.ServerStarted()) return;
    server.Shutdown();
    QCoreApplication::quit();
  };
  TSignalWatcher watcher([&](int number) {
    if (number == SIGHUP) {  // never ends the process
      if (!server.ServerStarted()) return server.Reload();
      notifier.Reloading();
      reload.Run(server);
      return notifier.Ready();
    }
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
  notifier.Ready();  // listening
  const uint64_t beatUsec = uint64_t{BEAT_INTERVAL} * 1000;
  if (notifier.WatchdogUsec() != 0 && notifier.WatchdogUsec() < 2 * beatUsec)
    server.Log("Watchdog interval of " + std::to_string(notifier.WatchdogUsec() / 1000) +
               "ms is shorter than two heartbeat cycles; the service manager may end the server.");
  return app.exec();
}

}  // namespace zq
