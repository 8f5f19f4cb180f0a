// zqo-hostile: the hostile clients of the load benchmarks, against a server the user names.
//   burst: one client sends a burst of small valid messages as fast as the server takes them
//          while another asks QueryIdentity every few milliseconds; prints the answer latency.
//   flood: one client joins and sends key events as fast as the server takes them.
#include <poll.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "tools/bot/ClientMessages.h"
#include "tools/bot/LatencyHistogram.h"
#include "tools/bot/WireFormat.h"
#include "tools/bot/ZQClient.h"

namespace zq {
namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_stop = 0;

struct TOptions {
  std::string Host = "127.0.0.1";
  uint16_t Port = 12578;
  double Megabytes = 8;
  int ProbeMs = 10;
  double Seconds = 10;
};

TClientConfig Quiet(std::size_t sendBuffer) {
  TClientConfig config;
  config.KeepInbox = false;
  config.SendBufferLimit = sendBuffer;
  return config;
}

bool Connected(TZQClient& c, const TOptions& o) {
  c.Connect(o.Host, o.Port);
  return c.WaitUntil([&] { return c.Greeted() || c.IsClosed(); }, 10000) && c.Greeted();
}

int RunBurst(const TOptions& o) {
  const auto bytes = static_cast<std::size_t>(o.Megabytes * 1024 * 1024);
  TZQClient burster(Quiet(bytes + 1024));
  TZQClient prober;
  if (!Connected(burster, o) || !Connected(prober, o)) {
    std::cerr << "zqo-hostile: cannot connect to " << o.Host << ":" << o.Port << "\n";
    return 2;
  }
  std::string burst;
  burst.reserve(bytes);
  const std::string small = wire::Frame(wire::Type(0x11), "");  // valid, ignored outside the game
  while (burst.size() < bytes) burst += small;
  const auto started = Clock::now();
  burster.SendRaw(std::move(burst), Via::Tcp);

  TLatencyHistogram latency;
  std::optional<Clock::time_point> burstDone;
  while (!g_stop && (!burstDone || Clock::now() - *burstDone < std::chrono::seconds(1))) {
    const auto asked = Clock::now();
    prober.ClearInbox();
    prober.SendQueryIdentity();
    if (!prober.WaitFor<msg::IdentityReply>(10000, [&] { burster.Poll(0); })) {
      std::cerr << "zqo-hostile: QueryIdentity unanswered for 10 s\n";
      return 1;
    }
    latency.Add(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - asked).count());
    if (!burstDone && burster.TcpEvents() == POLLIN)
      burstDone = Clock::now();  // everything handed to the kernel
    if (burster.IsClosed()) {
      std::cerr << "zqo-hostile: the burster was closed: " << burster.CloseReason() << "\n";
      return 1;
    }
    const auto next = asked + std::chrono::milliseconds(o.ProbeMs);
    while (Clock::now() < next) burster.Poll(1);
  }
  const double sent = std::chrono::duration<double>(*burstDone - started).count();
  std::printf("burst: %.1f MB in %.2f s\n", o.Megabytes, sent);
  std::printf("QueryIdentity answer latency: p50 %.3f ms, p99 %.3f ms, max %.3f ms (%llu)\n",
              latency.Percentile(0.5) / 1000.0, latency.Percentile(0.99) / 1000.0,
              latency.Max() / 1000.0, static_cast<unsigned long long>(latency.Count()));
  return 0;
}

int RunFlood(const TOptions& o) {
  TZQClient flooder(Quiet(4u << 20));
  if (!Connected(flooder, o)) {
    std::cerr << "zqo-hostile: cannot connect to " << o.Host << ":" << o.Port << "\n";
    return 2;
  }
  TSetupParams params;
  params.Name = "flooder";
  if (!flooder.RunSetup(params, 10000)) {
    std::cerr << "zqo-hostile: the flooder did not get into the game\n";
    return 2;
  }
  std::string batch;
  for (int i = 0; i < 1000; ++i) batch += i % 2 ? FrameKeyUp(1) : FrameKeyDown(1);
  uint64_t sent = 0;
  const auto until = Clock::now() + std::chrono::duration<double>(o.Seconds);
  while (!g_stop && Clock::now() < until && !flooder.IsClosed()) {
    if (flooder.TcpEvents() == POLLIN) {  // everything so far taken by the kernel
      flooder.SendRaw(batch, Via::Tcp);
      sent += 1000;
    }
    flooder.Poll(1);
  }
  std::printf("flood: %llu key events in %.1f s%s\n", static_cast<unsigned long long>(sent),
              o.Seconds, flooder.IsClosed() ? " (closed by the server)" : "");
  return 0;
}

}  // namespace
}  // namespace zq

int main(int argc, char** argv) {
  zq::TOptions o;
  CLI::App app{"Hostile clients for the load benchmarks."};
  app.require_subcommand(1);
  app.add_option("--host", o.Host, "server address (default 127.0.0.1)");
  app.add_option("--port", o.Port, "server TCP port (default 12578)");
  CLI::App* burst = app.add_subcommand("burst", "a burst of small messages and a probe");
  burst->add_option("--mb", o.Megabytes, "megabytes in the burst (default 8)");
  burst->add_option("--probe-ms", o.ProbeMs, "ms between two QueryIdentity (default 10)");
  CLI::App* flood = app.add_subcommand("flood", "key events as fast as the server takes them");
  flood->add_option("--seconds", o.Seconds, "how long (default 10)");
  CLI11_PARSE(app, argc, argv);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGINT, [](int) { zq::g_stop = 1; });
  return burst->parsed() ? zq::RunBurst(o) : zq::RunFlood(o);
}
