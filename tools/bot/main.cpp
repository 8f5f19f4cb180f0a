// zqo-bot: game clients for a zqosrv server; ordinary run, load run or script.
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "tools/bot/BotOptions.h"
#include "tools/bot/BotRun.h"
#include "tools/bot/LoadRun.h"
#include "tools/bot/ScriptRun.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

void InstallSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: poll returns at once
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    zq::TBotOptions options = zq::ParseBotOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.Help) {
      std::cout << zq::BotUsage();
      return 0;
    }
    zq::TScript script;
    if (!options.Script.empty()) {
      try {
        script = zq::ParseScript(zq::ReadScriptFile(options.Script), options.Name);
      } catch (const zq::EConvertError& e) {
        throw zq::EConvertError(options.Script + ": " + e.what());
      }
    }
    InstallSignals();
    auto stop = [] { return g_stop != 0; };
    if (!options.Script.empty()) return zq::RunScript(script, options, std::cout, stop);
    return options.Load ? zq::RunLoad(options, std::cout, stop)
                        : zq::RunBots(options, std::cout, stop);
  } catch (const std::exception& e) {
    std::cerr << "zqo-bot: " << e.what() << std::endl;
    return 2;
  }
}
