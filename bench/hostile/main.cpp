// zqo-hostile: the hostile clients of the load benchmarks, against a server the user names.
//   burst: one client sends a burst of small valid messages as fast as the server takes them
//          while another asks QueryIdentity every few milliseconds; prints the answer latency.
//   flood: one client joins and sends key events as fast as the server takes them.
#include <poll.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "platform/Histogram.h"
#include "tools/client/ClientMessages.h"
#include "tools/client/WireFormat.h"
#include "tools/client/ZQClient.h"
#include "tools/load/ClientPool.h"
#include "tools/load/LatencyText.h"

namespace zq {
namespace {

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

// Connects every client of the pool and waits for their greetings.
bool Connected(TClientPool& pool, const TOptions& o) {
  for (std::size_t i = 0; i < pool.Size(); ++i) pool[i].Connect(o.Host, o.Port);
  auto greeted = [&](bool orClosed) {
    for (std::size_t i = 0; i < pool.Size(); ++i)
      if (!pool[i].Greeted() && !(orClosed && pool[i].IsClosed())) return false;
    return true;
  };
  pool.WaitUntil([&] { return greeted(true); }, 10000);
  if (greeted(false)) return true;
  std::cerr << "zqo-hostile: cannot connect to " << o.Host << ":" << o.Port << "\n";
  return false;
}

int RunBurst(const TOptions& o) {
  constexpr int64_t ANSWER_WITHIN = 10'000'000;
  const auto bytes = static_cast<std::size_t>(o.Megabytes * 1024 * 1024);
  TClientPool pool;
  TZQClient& burster = pool.Add(Quiet(bytes + 1024));
  TZQClient& prober = pool.Add(Quiet(TClientConfig{}.SendBufferLimit));
  if (!Connected(pool, o)) return 2;
  std::string burst;
  burst.reserve(bytes);
  const std::string small = wire::Frame(wire::Type(0x11), "");  // valid, ignored outside the game
  while (burst.size() < bytes) burst += small;
  const int64_t started = NowMicros();
  burster.SendRaw(std::move(burst), Via::Tcp);

  // One QueryIdentity at a time, ProbeMs after the last was asked; its latency runs to the
  // arrival of the IdentityReply.
  THistogram latency;
  std::optional<int64_t> asked;
  int64_t nextAsk = started;
  prober.SetOnMessage([&](const TReceived& r) {
    if (!asked || !r.As<msg::IdentityReply>()) return;
    latency.Add(r.AtMicros - *asked);
    asked.reset();
  });
  std::optional<int64_t> burstDone;
  while (!g_stop && (!burstDone || NowMicros() - *burstDone < 1'000'000)) {
    const int64_t now = NowMicros();
    if (!asked && now >= nextAsk) {
      asked = now;
      nextAsk = now + int64_t{o.ProbeMs} * 1000;
      prober.SendQueryIdentity();
    }
    if (asked && now - *asked > ANSWER_WITHIN) {
      std::cerr << "zqo-hostile: QueryIdentity unanswered for 10 s\n";
      return 1;
    }
    pool.Poll(1);
    if (!burstDone && burster.TcpEvents() == POLLIN)
      burstDone = NowMicros();  // everything handed to the kernel
    if (burster.IsClosed()) {
      std::cerr << "zqo-hostile: the burster was closed: " << burster.CloseReason() << "\n";
      return 1;
    }
  }
  if (!burstDone) return 1;  // interrupted
  std::printf("burst: %.1f MB in %.2f s\n", o.Megabytes, (*burstDone - started) / 1e6);
  std::printf("QueryIdentity answer latency: %s (%llu)\n", LatencyText(latency).c_str(),
              static_cast<unsigned long long>(latency.Count()));
  return 0;
}

int RunFlood(const TOptions& o) {
  TClientPool pool;
  TZQClient& flooder = pool.Add(Quiet(4u << 20));
  if (!Connected(pool, o)) return 2;
  TSetupParams params;
  params.Name = "flooder";
  if (!pool.RunSetup([&](std::size_t) { return params; }, 10000)) {
    std::cerr << "zqo-hostile: the flooder did not get into the game\n";
    return 2;
  }
  std::string batch;
  for (int i = 0; i < 1000; ++i) batch += i % 2 ? FrameKeyUp(1) : FrameKeyDown(1);
  uint64_t sent = 0;
  const int64_t until = NowMicros() + static_cast<int64_t>(o.Seconds * 1e6);
  while (!g_stop && NowMicros() < until && !flooder.IsClosed()) {
    if (flooder.TcpEvents() == POLLIN) {  // everything so far taken by the kernel
      flooder.SendRaw(batch, Via::Tcp);
      sent += 1000;
    }
    pool.Poll(1);
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
