#include "server/CommandLine.h"

#include "platform/Errors.h"

namespace zq {

std::string UsageText() {
  return "Usage: zqosrv [options]\n"
         "Runs the game server on a game installation directory. Without --headless it opens\n"
         "the operator window; with --headless it starts at once and runs until SIGINT/SIGTERM.\n"
         "\n"
         "Options:\n"
         "  --headless             no window: start the server at once\n"
         "  --start                window: press \"Start Server\" at once\n"
         "  --game-dir DIR         installation directory (default: current directory);\n"
         "                         it becomes the current directory, where ZQOSRV.LOG lies\n"
         "  --server-name NAME     server name sent to clients (default MyServer)\n"
         "  --base-udp-port TEXT   base UDP port (default 28500); client n uses base + n\n"
         "  --max-clients N        most clients admitted at once (default 32)\n"
         "  --spawn-x N            spawn tile x of new players (default 1560)\n"
         "  --spawn-y N            spawn tile y of new players (default 1921)\n"
         "  --help                 this text\n"
         "\n"
         "The server listens on TCP port 12578.\n";
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine result;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw EConvertError("Missing value after " + flag);
      return args[++i];
    };
    auto number = [&]() {
      const std::string& text = value();
      try {
        return StrToInt(text);
      } catch (const EConvertError&) {
        throw EConvertError("Invalid value for " + flag + ": '" + text + "' is not an integer");
      }
    };
    if (flag == "--headless") {
      result.Headless = true;
    } else if (flag == "--start") {
      result.Start = true;
    } else if (flag == "--help" || flag == "-h") {
      result.Help = true;
    } else if (flag == "--game-dir") {
      result.Settings.GameDirectory = value();
      result.GameDirectoryGiven = true;
    } else if (flag == "--server-name") {
      result.Settings.ServerName = value();
    } else if (flag == "--base-udp-port") {
      result.Settings.BaseUdpPortText = value();
    } else if (flag == "--max-clients") {
      result.Settings.MaxClients = number();
    } else if (flag == "--spawn-x") {
      result.Settings.SpawnX = number();
    } else if (flag == "--spawn-y") {
      result.Settings.SpawnY = number();
    } else {
      throw EConvertError("Unknown option " + flag + " (see --help)");
    }
  }
  return result;
}

}  // namespace zq
