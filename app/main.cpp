// zqosrv: the game server, with its operator window or headless.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "app/AccountsCommand.h"
#include "app/CommandLine.h"
#include "app/ConfigCheck.h"
#include "app/ConfigFile.h"
#include "app/HeadlessRun.h"
#include "app/WindowRun.h"
#include "platform/Console.h"
#include "platform/Descriptors.h"
#include "platform/Errors.h"
#include "platform/qt/SignalWatcher.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == "accounts" || first == "bans")  // the accounts file from a shell
    return zq::RunAccountsCommand(std::vector<std::string>(argv + 1, argv + argc), std::cin,
                                  std::cout, std::cerr);
  zq::TSignalWatcher::HoldSignals();  // a signal before the watcher waits for it
  zq::RaiseDescriptorLimit();         // connections, accounts file and log: room for all
  zq::TCommandLine commandLine;
  try {
    commandLine = zq::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const zq::EConvertError& e) {
    zq::ConsoleReport(zq::TLogLevel::Error, std::string("zqosrv: ") + e.what());
    return 1;
  }
  if (commandLine.Help) {
    std::cout << zq::UsageText();
    return 0;
  }
  if (commandLine.Version) {
    std::cout << zq::VersionText();
    return 0;
  }
  if (commandLine.PrintConfig) {
    std::cout << zq::ConfigText(commandLine.Settings, commandLine.ShowSecrets);
    return 0;
  }
  zq::SetConsoleThreshold(commandLine.Settings.LogLevel);
  for (const std::string& line : zq::SettingWarnings(commandLine.Settings))
    zq::ConsoleReport(zq::TLogLevel::Warning, "zqosrv: warning: " + line);
  if (commandLine.CheckConfig) return zq::RunConfigCheck(commandLine, std::cout);
  if (commandLine.Headless) return zq::RunHeadless(argc, argv, commandLine);
  return zq::RunWindow(argc, argv, commandLine);
}
