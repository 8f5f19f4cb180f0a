// Protocol throughput: framing, cutting a TCP stream into messages, and game messages
// carried by the dispatch thread to the connections (one main-thread step per wake-up).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/Console.h"
#include "platform/MainThreadQueue.h"
#include "protocol/DispatchManager.h"
#include "protocol/MessageCodes.h"
#include "protocol/ZQProtocol.h"

namespace zq {
namespace {

class CountingConnection : public ITcpConnection {
 public:
  const std::string& RemoteAddress() const override { return address_; }
  uint16_t RemotePort() const override { return 7000; }
  void SendText(std::string_view bytes) override { sent += bytes.size(); }
  std::string ReceiveText(std::size_t) override { return {}; }
  void Close() override {}
  std::size_t sent = 0;

 private:
  std::string address_ = "127.0.0.1";
};

void BM_Frame(benchmark::State& state) {
  std::string payload(static_cast<std::size_t>(state.range(0)), 'p');
  std::string out;
  for (auto _ : state) {
    out.clear();
    AppendFrame(out, PlayerMotion, payload);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_Frame)->Arg(16)->Arg(250);

// One read delivering 200 messages of 20 payload bytes.
void BM_TcpParse(benchmark::State& state) {
  TSocketTable sockets;
  CountingConnection conn;
  TSocketID& client = sockets.AddSocket(conn);
  TZQProtocolFormat protocol(sockets);
  std::size_t handled = 0;
  protocol.SetMessageHandler([&](TSocketID&, uint32_t, std::string_view) { ++handled; });
  std::string stream;
  for (int i = 0; i < 200; ++i) AppendFrame(stream, ClientSay, std::string(20, 's'));
  for (auto _ : state) {
    client.ReceiveBuffer = stream;
    protocol.TCP_parseInputStream(client);
  }
  state.SetItemsProcessed(static_cast<int64_t>(handled));
}
BENCHMARK(BM_TcpParse);

// 1000 game messages for 10 players, by TCP, through the dispatch thread.
void BM_DispatchThroughput(benchmark::State& state) {
  ConsoleCapture quiet;
  TMainThreadQueue main;
  TSocketTable sockets;
  TGameMessenger queue(DISPATCH_QUEUE_NAME);
  std::vector<std::unique_ptr<CountingConnection>> conns;
  for (int s = 1; s <= 10; ++s) {
    conns.push_back(std::make_unique<CountingConnection>());
    TSocketID& client = sockets.AddSocket(*conns.back());
    client.Port = static_cast<uint16_t>(s);
    sockets.BindGUID(s, static_cast<uint32_t>(s));
  }
  TDispatchManager manager(main, queue, sockets, [](TLogLevel, const std::string&) {});
  manager.Start();
  constexpr int MESSAGES = 1000;
  std::size_t frameBytes = 4 + 32;
  for (auto _ : state) {
    std::size_t before = 0;
    for (auto& c : conns) before += c->sent;
    for (int i = 0; i < MESSAGES; ++i) {
      auto m = std::make_unique<GameMessage>();
      m->MsgType = PlayerSpeech;
      m->GUID = static_cast<uint32_t>(1 + i % 10);
      m->Data.assign(32, 'd');
      queue.Push(std::move(m));
      if (i % 256 == 0) main.ServePending();
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    main.ServeUntil([&] {
      std::size_t now = 0;
      for (auto& c : conns) now += c->sent;
      return now - before >= MESSAGES * frameBytes || std::chrono::steady_clock::now() > deadline;
    });
  }
  manager.Terminate();
  manager.WaitFor();
  state.SetItemsProcessed(state.iterations() * MESSAGES);
}
BENCHMARK(BM_DispatchThroughput)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace zq

BENCHMARK_MAIN();
