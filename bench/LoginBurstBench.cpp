// Logins over loopback against a server in this process, on a generated world and a fresh
// accounts file, with the real Argon2id hasher:
// - ClaimBurst63: 63 clients through the dialogue send StartGame at once in claim mode (63 new
//   accounts, one hash each). Time until the last is in the game; meanwhile every client in
//   the game answers beats (every 250 ms here), and the counters give the worst round trip
//   the server measured, the worst lateness of a beat against its period, and the beats
//   answered late (after the next one was due).
// - OpenJoin: StartGame to AssignGUID for one client in open mode, where the login goes to the
//   worker without a hash.
// The server runs on this thread's Qt event loop; the clients are polled on a thread of their
// own.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Console.h"
#include "server/ZQOSrv.h"
#include "tests/support/TempDir.h"
#include "tests/support/UdpPortRange.h"
#include "tools/client/ZQClient.h"
#include "tools/mkworld/WorldGen.h"

namespace {

using namespace zq;
using Clock = std::chrono::steady_clock;

constexpr uint32_t BEAT_MS = 250;

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "bench_LoginBurstBench";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

class QuietView : public IServerView {
 public:
  void AppendToView(const std::string&) override {}
  IExtractProgress& ShowExtractionProgress(const std::string&, const std::string&) override {
    return progress_;
  }

 private:
  TNullProgress progress_;
};

// A server on a fresh installation; the event loop runs while `busy` holds.
struct Server {
  explicit Server(TAuthMode mode, int loginThreads) {
    App();
    mkworld::WriteInstallation(dir.Path());
    if (chdir(dir.Path().c_str()) != 0) throw std::runtime_error("cannot enter " + dir.Path());
    TServerOptions options;
    options.BeatInterval = BEAT_MS;
    options.LoginThreads = loginThreads;
    server = std::make_unique<TZQOServer>(view, options);
    TServerSettings settings;
    settings.GameDirectory = dir.Path();
    settings.TcpPort = 0;
    settings.BaseUdpPortText = std::to_string(udp.Base());
    settings.MaxClients = MAX_SOCKETS;
    settings.Auth = mode;
    server->StartServer(settings);
  }
  void RunWhile(const std::atomic<bool>& busy) {
    while (busy.load()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }

  ConsoleCapture quiet;  // join trace lines stay out of the report
  test::TempDir dir;
  test::TUdpPortRange udp;
  QuietView view;
  std::unique_ptr<TZQOServer> server;
};

// Polls every client once for up to `ms`.
void PollAll(std::vector<std::unique_ptr<TZQClient>>& clients, int ms) {
  std::vector<pollfd> fds;
  for (auto& c : clients) {
    fds.push_back({c->TcpFd(), c->TcpEvents(), 0});
    fds.push_back({c->UdpFd(), POLLIN, 0});
  }
  ::poll(fds.data(), fds.size(), ms);
  for (std::size_t i = 0; i < clients.size(); ++i)
    clients[i]->HandleEvents(fds[2 * i].revents, fds[2 * i + 1].revents);
}

// Through the dialogue without StartGame, on the client thread.
bool SetUp(std::vector<std::unique_ptr<TZQClient>>& clients, uint16_t port, int count) {
  for (int i = 0; i < count; ++i) {
    TClientConfig config;
    config.KeepInbox = false;
    auto c = std::make_unique<TZQClient>(config);
    c->Connect("127.0.0.1", port);
    TSetupParams params;
    params.Name = "Burst" + std::to_string(i);
    params.Password = "pw" + std::to_string(i);
    params.StartGame = false;
    c->BeginSetup(params);
    clients.push_back(std::move(c));
  }
  const auto until = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < until) {
    PollAll(clients, 5);
    if (std::all_of(clients.begin(), clients.end(),
                    [](auto& c) { return c->Setup() == SetupState::Ready; }))
      return true;
  }
  return false;
}

struct BeatWatch {
  int64_t lastBeatAt = 0;  // micros
  bool inGame = false;
};

void BM_ClaimBurst63(benchmark::State& state) {
  for (auto _ : state) {
    Server server(TAuthMode::Claim, static_cast<int>(state.range(0)));
    std::atomic<bool> busy{true};
    double seconds = 0;
    uint32_t worstRoundTrip = 0;
    int64_t worstLateMicros = 0;
    int lateBeats = 0, beats = 0, inGame = 0;
    std::thread clientThread([&] {
      std::vector<std::unique_ptr<TZQClient>> clients;
      std::vector<BeatWatch> watch(MAX_SOCKETS);
      if (SetUp(clients, server.server->Status().ListeningPort, MAX_SOCKETS)) {
        for (std::size_t i = 0; i < clients.size(); ++i) {
          clients[i]->SetOnMessage([&, i](const TReceived& r) {
            BeatWatch& w = watch[i];
            if (r.As<msg::AssignGUID>()) {
              w.inGame = true;
              ++inGame;
            } else if (r.As<msg::BEAT>() && w.inGame) {
              if (w.lastBeatAt != 0)
                worstLateMicros =
                    std::max(worstLateMicros, r.AtMicros - w.lastBeatAt - BEAT_MS * 1000);
              w.lastBeatAt = r.AtMicros;
            } else if (const auto* reply = r.As<msg::BEATACKReply>(); reply && w.inGame) {
              ++beats;
              worstRoundTrip = std::max(worstRoundTrip, reply->RoundTrip);
              if (reply->RoundTrip >= BEAT_MS) ++lateBeats;
            }
          });
        }
        const auto start = Clock::now();
        for (auto& c : clients) c->SendStartGame();
        const auto until = start + std::chrono::seconds(120);
        while (inGame < MAX_SOCKETS && Clock::now() < until) PollAll(clients, 5);
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
      }
      busy = false;
    });
    server.RunWhile(busy);
    clientThread.join();
    if (inGame < MAX_SOCKETS) state.SkipWithError("not every client got into the game");
    state.SetIterationTime(seconds);
    state.counters["in_game"] = inGame;
    state.counters["beats"] = beats;
    state.counters["worst_round_trip_ms"] = worstRoundTrip;
    state.counters["worst_beat_late_ms"] = static_cast<double>(worstLateMicros) / 1000.0;
    state.counters["late_beats"] = lateBeats;
  }
}
BENCHMARK(BM_ClaimBurst63)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_OpenJoin(benchmark::State& state) {
  Server server(TAuthMode::Open, LOGIN_THREADS);
  int joined = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TZQClient client;
    client.Connect("127.0.0.1", server.server->Status().ListeningPort);
    TSetupParams params;
    params.Name = "Open" + std::to_string(joined++);
    params.StartGame = false;
    auto pump = [&] { QCoreApplication::processEvents(QEventLoop::AllEvents, 1); };
    if (!client.RunSetup(params, 10000, pump)) state.SkipWithError("setup failed");
    state.ResumeTiming();
    client.SendStartGame();
    if (!client.WaitFor<msg::AssignGUID>(10000, pump)) state.SkipWithError("no AssignGUID");
    state.PauseTiming();
    client.Close();
    while (server.server->Status().Connected != 0) pump();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenJoin)->Iterations(50)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
