#include "tools/bot/BotOptions.h"

#include <cmath>
#include <cstdio>

#include "platform/Errors.h"
#include "tools/cli/WholeNumberOption.h"

namespace zq {
namespace {

std::string Short(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// A number with a fraction, within [lo, hi].
CLI::Option* AddNumber(CLI::App& app, const std::string& name, double& target, double lo, double hi,
                       const std::string& help) {
  return app
      .add_option_function<std::string>(
          name,
          [&target, name, lo, hi](const std::string& text) {
            std::size_t used = 0;
            double v = 0;
            try {
              v = std::stod(text, &used);
            } catch (const std::exception&) {
              used = 0;
            }
            if (used == 0 || used != text.size() || !std::isfinite(v) || v < lo || v > hi)
              throw CLI::ValidationError(
                  name, "'" + text + "' is not a number from " + Short(lo) + " to " + Short(hi));
            target = v;
          },
          help)
      ->type_name("S");
}

const char* const DESCRIPTION =
    "Game clients for a zqosrv server: an ordinary run (clients in the game, optionally\n"
    "walking and speaking), a load run, or a script of actions and expectations.";

const char* const FOOTER =
    "Exit status: 0 when every client stayed in the game (load: the run completed; script:\n"
    "every expectation held), 1 otherwise, 2 on a usage or script error.\n"
    "The script language is described in docs/BOT.md.";

struct TParser {
  CLI::App app{DESCRIPTION, "zqo-bot"};
  bool secondsGiven = false;

  explicit TParser(TBotOptions& o) {
    app.set_help_flag("-h,--help", "this text");
    app.footer(FOOTER);
    app.get_formatter()->column_width(24);
    app.add_option("--host", o.Host, "server address or IPv4 name (default 127.0.0.1)")
        ->type_name("HOST");
    AddWholeNumber(app, "--port", o.Port, 1, 65535, "server TCP port (default 12578)");
    AddWholeNumber(app, "--count", o.Count, 1, MAX_BOT_CLIENTS,
                   "number of clients, 1 to 63 (default 1)");
    app.add_option_function<std::string>(
           "--name",
           [&o](const std::string& name) {
             if (name.empty()) throw CLI::ValidationError("--name", "the name is empty");
             o.Name = name;
           },
           "login name; with several clients NAME1, NAME2, ... (default bot)")
        ->type_name("NAME");
    app.add_option("--password", o.Password, "login password (default bot)")->type_name("TEXT");
    app.add_flag("--walk", o.Walk, "walk with random arrow keys");
    // The text is optional: a bare --say speaks a line of its own.
    app.add_option("--say", o.Say, "say TEXT (default: a greeting) every 5 seconds")
        ->type_name("[TEXT]")
        ->expected(0, 1);
    AddNumber(app, "--seconds", o.Seconds, 0, 86400,
              "run for S seconds (default: until interrupted; load: 10)")
        ->each([this](const std::string&) { secondsGiven = true; });
    app.add_flag("--trace", o.Trace, "print every message sent and received, decoded");
    app.add_flag("--trace-hex", o.TraceHex, "as --trace, with each message's bytes");
    app.add_option("--script", o.Script,
                   "run the script FILE; the exit status says whether every "
                   "expectation held")
        ->type_name("FILE");
    app.add_flag("--load", o.Load, "load run: every client sends key events, latencies reported");
    AddNumber(app, "--rate", o.Rate, 0.1, 100,
              "load: key events per second per client (default 10)");
    AddWholeNumber(app, "--drain", o.DrainMs, 0, 60000,
                   "load: wait for late messages after the run, in ms (default 1000)");
    AddWholeNumber(app, "--server-pid", o.ServerPid, 1, 1L << 22,
                   "load: report the server's CPU time per 1000 messages")
        ->type_name("P");
  }
};

}  // namespace

TBotOptions ParseBotOptions(const std::vector<std::string>& args) {
  TBotOptions o;
  TParser parser(o);
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them backwards
  try {
    parser.app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    o.Help = true;
    return o;
  } catch (const CLI::ParseError& e) {
    throw EConvertError(e.what());
  }
  if (parser.app.count("--say") > 0 && o.Say.empty()) o.Say = "Hello from a bot.";
  if (!o.Script.empty()) {
    for (const char* other : {"--load", "--walk", "--say", "--count"})
      if (parser.app.count(other) > 0)
        throw EConvertError(std::string("--script cannot be combined with ") + other);
  }
  if (o.TraceHex) o.Trace = true;
  if (o.Load) {
    if (!parser.secondsGiven) o.Seconds = 10;
    if (o.Seconds <= 0 || o.Seconds > 600)
      throw EConvertError("--seconds: load runs last from more than 0 to 600 seconds");
  }
  return o;
}

std::string BotUsage() {
  TBotOptions o;
  TParser parser(o);
  return parser.app.help();
}

}  // namespace zq
