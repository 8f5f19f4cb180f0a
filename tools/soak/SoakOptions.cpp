#include "tools/soak/SoakOptions.h"

#include <CLI/CLI.hpp>

namespace zq {

std::optional<TSoakOptions> ParseSoakOptions(int argc, char** argv, int& exitCode) {
  TSoakOptions o;
  CLI::App app{
      "zqo-soak: keeps between --min and --max clients joining, walking, talking and leaving a "
      "zqosrv for --seconds, then checks that a new client still joins alone."};
  app.add_option("--host", o.Host, "server address (loopback only)")->capture_default_str();
  app.add_option("--port", o.Port, "server TCP port")->capture_default_str();
  app.add_option("--seconds", o.Seconds, "how long to churn")
      ->check(CLI::Range(1.0, 86400.0))
      ->capture_default_str();
  app.add_option("--min", o.MinClients, "fewest clients connected")
      ->check(CLI::Range(1, 63))
      ->capture_default_str();
  app.add_option("--max", o.MaxClients, "most clients connected")
      ->check(CLI::Range(1, 63))
      ->capture_default_str();
  app.add_option("--server-pid", o.ServerPid, "sample this process's RSS every 10 s");
  app.add_option("--seed", o.Seed, "random seed (0: a random one)");
  app.add_option("--check-log", o.CheckLog,
                 "only check the log of a server that has shut down, and exit");
  try {
    app.parse(argc, argv);
    if (o.MinClients > o.MaxClients) throw CLI::ValidationError("--min", "must not exceed --max");
  } catch (const CLI::ParseError& e) {
    exitCode = app.exit(e);
    return std::nullopt;
  }
  return o;
}

}  // namespace zq
