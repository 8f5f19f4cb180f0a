// zqo-screenshots: starts the server with its window on a game directory, connects a few
// loopback clients into the game, and saves a picture of each tab of the window
// (status.png, setup.png, messages.png, accounts.png). Meant for the offscreen platform.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/WindowRun.h"
#include "tools/client/ZQClient.h"

namespace {

constexpr int WAIT_MS = 20000;

int Usage() {
  std::cerr << "Usage: zqo-screenshots GAME_DIR OUT_DIR [--clients N] [--port P]\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  std::string gameDir = args[0];
  QString outDir = QString::fromStdString(args[1]);
  int clients = 2;
  zq::TServerOptions options;
  zq::TServerSettings settings;
  for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
    if (args[i] == "--clients") {
      clients = std::max(0, std::min(8, std::atoi(args[i + 1].c_str())));
    } else if (args[i] == "--port") {
      settings.TcpPort = static_cast<uint16_t>(std::atoi(args[i + 1].c_str()));
    } else {
      return Usage();
    }
  }
  if (!QDir().mkpath(outDir)) {
    std::cerr << "zqo-screenshots: cannot create " << args[1] << std::endl;
    return 1;
  }

  settings.GameDirectory = gameDir;
  zq::TCommandLine commandLine;
  commandLine.Settings = settings;
  commandLine.GameDirectoryGiven = true;
  std::unique_ptr<zq::TWindowApp> window;
  try {
    window = std::make_unique<zq::TWindowApp>(commandLine, options);
  } catch (const std::exception& e) {
    std::cerr << "zqo-screenshots: " << e.what() << std::endl;
    return 1;
  }
  zq::TMainSrvForm* form = &window->Form();
  std::string error;
  form->ReportError = [&error](const std::string& text) { error = text; };
  form->show();
  form->StartServerClick();
  if (!form->Server().ServerStarted()) {
    std::cerr << "zqo-screenshots: the server did not start: " << error << std::endl;
    return 1;
  }

  std::vector<std::unique_ptr<zq::TZQClient>> bots;
  auto pump = [&bots] {
    QApplication::processEvents();
    for (auto& bot : bots) bot->Poll(0);
  };
  // An Admin account that is not in the game, beside the players the clients' logins record.
  bool saved = false;
  form->Server().Administration()->EditAccount(
      zq::TAccountEdit{"Operator", "screenshot", zq::TPrivileges::Admin, true, {}},
      [&](zq::TEditOutcome, const std::string& failed) {
        saved = true;
        error = failed;
      });
  QElapsedTimer saving;
  saving.start();
  while (!saved && saving.elapsed() < WAIT_MS) QApplication::processEvents();
  if (!saved || !error.empty()) {
    std::cerr << "zqo-screenshots: the account was not added: " << error << std::endl;
    return 1;
  }
  const char* names[] = {"Alice", "Bob", "Carol", "Dave", "Erin", "Frank", "Grace", "Heidi"};
  for (int i = 0; i < clients; ++i) {
    bots.push_back(std::make_unique<zq::TZQClient>());
    bots.back()->Connect("127.0.0.1", form->Server().Status().ListeningPort);
    zq::TSetupParams params;
    params.Name = names[i];
    if (!bots.back()->RunSetup(params, WAIT_MS, pump)) {
      std::cerr << "zqo-screenshots: client " << names[i] << " did not get into the game\n";
      return 1;
    }
  }
  // Wait for the list to show every player with a measured round trip (one heartbeat cycle).
  QElapsedTimer waited;
  waited.start();
  auto complete = [&] {
    form->RefreshAccounts();
    int inGame = 0;
    for (const auto& row : form->Accounts().Rows()) {
      if (row.GUID == 0) continue;
      if (row.Ping.empty()) return false;
      ++inGame;
    }
    return inGame == clients;
  };
  while (!complete() && waited.elapsed() < WAIT_MS) {
    pump();
    bots.empty() ? QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50)
                 : (void)bots.front()->Poll(20);
  }

  form->RefreshMap();
  const char* files[] = {"status.png", "setup.png", "messages.png", "accounts.png", "map.png"};
  for (int tab = 0; tab < form->Tabs().count() && tab < static_cast<int>(std::size(files)); ++tab) {
    form->Tabs().setCurrentIndex(tab);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    QString path = QDir(outDir).filePath(QString::fromLatin1(files[tab]));
    if (!form->grab().save(path)) {
      std::cerr << "zqo-screenshots: cannot write " << path.toStdString() << std::endl;
      return 1;
    }
    std::cout << "Wrote " << path.toStdString() << std::endl;
  }
  for (auto& bot : bots) bot->Close();
  form->close();
  return 0;
}
