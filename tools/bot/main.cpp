// zqo-bot: game clients for a server on this machine; ordinary run or load run.
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/bot/BotOptions.h"
#include "tools/bot/BotRun.h"
#include "tools/bot/LoadRun.h"

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
    InstallSignals();
    auto stop = [] { return g_stop != 0; };
    return options.Load ? zq::RunLoad(options, std::cout, stop)
                        : zq::RunBots(options, std::cout, stop);
  } catch (const std::exception& e) {
    std::cerr << "zqo-bot: " << e.what() << std::endl;
    return 2;
  }
}
