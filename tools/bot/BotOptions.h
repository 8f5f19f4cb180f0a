// Command line of zqo-bot: parsing into TBotOptions and the --help text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zq {

constexpr int MAX_BOT_CLIENTS = 63;

struct TBotOptions {
  std::string Host = "127.0.0.1";
  uint16_t Port = 12578;
  int Count = 1;
  std::string Name = "bot";
  std::string Password = "bot";
  bool Walk = false;
  std::string Say;     // spoken every 5 s when not empty
  double Seconds = 0;  // 0: until interrupted (load mode: 10)
  bool Trace = false;
  bool TraceHex = false;  // the trace shows each message's bytes too
  std::string Script;     // file of actions and expectations (ScriptRun.h)
  bool Help = false;
  // Load mode.
  bool Load = false;
  double Rate = 10;  // key events per second per client
  int DrainMs = 1000;
  int ServerPid = 0;
};

// Throws EConvertError naming the option and the value at fault.
// Whole numbers follow tools/cli/WholeNumberOption.h.
TBotOptions ParseBotOptions(const std::vector<std::string>& args);
std::string BotUsage();

}  // namespace zq
