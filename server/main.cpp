// zqosrv: the game server, with its operator window or headless.
#include <clocale>
#include <iostream>

#include "gui/RunWindow.h"
#include "platform/Errors.h"
#include "platform/qt/SignalWatcher.h"
#include "server/CommandLine.h"
#include "server/ConfigFile.h"
#include "server/HeadlessView.h"

int main(int argc, char** argv) {
  zq::TSignalWatcher::HoldSignals();  // a signal before the watcher waits for it
  std::setlocale(LC_ALL, "");
  zq::TCommandLine commandLine;
  try {
    commandLine = zq::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const zq::EConvertError& e) {
    std::cerr << "zqosrv: " << e.what() << std::endl;
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
    std::cout << zq::ConfigText(commandLine.Settings);
    return 0;
  }
  for (const std::string& line : zq::SettingWarnings(commandLine.Settings))
    std::cerr << "zqosrv: warning: " << line << std::endl;
  if (commandLine.Headless) return zq::RunHeadless(argc, argv, commandLine);
  return zq::RunWindow(argc, argv, commandLine);
}
