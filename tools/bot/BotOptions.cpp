#include "tools/bot/BotOptions.h"

#include <charconv>
#include <cmath>

#include "platform/Errors.h"
#include "tools/bot/Loopback.h"

namespace zq {
namespace {

long ToInt(const std::string& option, const std::string& text, long lo, long hi) {
  long v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < lo || v > hi)
    throw EConvertError(option + ": '" + text + "' is not a whole number from " +
                        std::to_string(lo) + " to " + std::to_string(hi));
  return v;
}

double ToNumber(const std::string& option, const std::string& text, double lo, double hi) {
  std::size_t used = 0;
  double v = 0;
  try {
    v = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || !std::isfinite(v) || v < lo || v > hi)
    throw EConvertError(option + ": '" + text + "' is not a number from " + std::to_string(lo) +
                        " to " + std::to_string(hi));
  return v;
}

}  // namespace

TBotOptions ParseBotOptions(const std::vector<std::string>& args) {
  TBotOptions o;
  bool secondsGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw EConvertError(a + " needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.Help = true;
    } else if (a == "--host") {
      o.Host = value();
      ParseLoopbackAddress(o.Host);
    } else if (a == "--port") {
      o.Port = static_cast<uint16_t>(ToInt(a, value(), 1, 65535));
    } else if (a == "--count") {
      o.Count = static_cast<int>(ToInt(a, value(), 1, MAX_BOT_CLIENTS));
    } else if (a == "--name") {
      o.Name = value();
      if (o.Name.empty()) throw EConvertError("--name: the name is empty");
    } else if (a == "--password") {
      o.Password = value();
    } else if (a == "--walk") {
      o.Walk = true;
    } else if (a == "--say") {
      // The text is optional: a bare --say speaks a line of its own.
      bool textFollows = i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0;
      o.Say = textFollows ? args[++i] : std::string("Hello from a bot.");
    } else if (a == "--seconds") {
      o.Seconds = ToNumber(a, value(), 0, 86400);
      secondsGiven = true;
    } else if (a == "--trace") {
      o.Trace = true;
    } else if (a == "--load") {
      o.Load = true;
    } else if (a == "--rate") {
      o.Rate = ToNumber(a, value(), 0.1, 100);
    } else if (a == "--drain") {
      o.DrainMs = static_cast<int>(ToInt(a, value(), 0, 60000));
    } else if (a == "--server-pid") {
      o.ServerPid = static_cast<int>(ToInt(a, value(), 1, 1L << 22));
    } else {
      throw EConvertError("unknown option '" + a + "' (see --help)");
    }
  }
  if (o.Load) {
    if (!secondsGiven) o.Seconds = 10;
    if (o.Seconds <= 0 || o.Seconds > 600)
      throw EConvertError("--seconds: load runs last from more than 0 to 600 seconds");
  }
  return o;
}

std::string BotUsage() {
  return "Usage: zqo-bot [options]\n"
         "Connects game clients to a server on this machine (127.0.0.0/8 only).\n"
         "  --host ADDR        server address (default 127.0.0.1)\n"
         "  --port N           server TCP port (default 12578)\n"
         "  --count N          number of clients, 1 to 63 (default 1)\n"
         "  --name NAME        login name; with several clients NAME1, NAME2, ... (default bot)\n"
         "  --password TEXT    login password (default bot)\n"
         "  --walk             walk with random arrow keys\n"
         "  --say [TEXT]       say TEXT (default: a greeting) every 5 seconds\n"
         "  --seconds S        run for S seconds (default: until interrupted; load: 10)\n"
         "  --trace            print every message received, decoded\n"
         "  --load             load run: every client sends key events, latencies reported\n"
         "  --rate R           load: key events per second per client (default 10)\n"
         "  --drain MS         load: wait for late messages after the run (default 1000)\n"
         "  --server-pid P     load: report the server's CPU time per 1000 messages\n"
         "  --help             this text\n";
}

}  // namespace zq
