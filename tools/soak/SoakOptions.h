// The command line of zqo-soak: where the server is, how long to churn, how many clients,
// whose memory to sample; or, with --check-log, only the check of a finished server's log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zq {

struct TSoakOptions {
  std::string Host = "127.0.0.1";
  uint16_t Port = 12578;
  double Seconds = 60;
  int MinClients = 8;   // A: never fewer connected (after the first seconds)
  int MaxClients = 24;  // B: never more
  int ServerPid = 0;    // sample this process's RSS; 0: none
  uint32_t Seed = 0;    // 0: a random one
  std::string CheckLog;
};

// Parses the arguments. Returns the options, or nothing with `exitCode` set when the program
// should end at once (--help: 0; a bad flag or value, reported on standard error: 2).
std::optional<TSoakOptions> ParseSoakOptions(int argc, char** argv, int& exitCode);

}  // namespace zq
