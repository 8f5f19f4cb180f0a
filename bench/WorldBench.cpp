// World data: cost of one blocking lookup, and of loading a generated full-size installation
// (with and without the initial-game extraction).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Console.h"
#include "platform/Files.h"
#include "tests/support/TempDir.h"
#include "tools/mkworld/WorldGen.h"
#include "world/Installation.h"
#include "world/WorldData.h"

namespace zq {
namespace {

namespace fs = std::filesystem;

// A generated installation, with its SRVDAT extracted, in a temporary directory that lives
// for the whole run.
class Installation {
 public:
  Installation() {
    mkworld::WriteInstallation(Dir());
    TNullProgress progress;
    BuildDataDirectory(Dir(), progress);
  }
  const std::string& Dir() const { return dir_.Path(); }

 private:
  test::TempDir dir_;
};

Installation& TheInstallation() {
  static Installation installation;
  return installation;
}

std::unique_ptr<TWorldData> LoadWorld(const std::string& game) {
  return LoadWorldData(game + "/", ResolvePath(game, "SRVDAT") + "/");
}

const TWorldData& TheWorld() {
  static std::unique_ptr<TWorldData> world = [] {
    ConsoleCapture quiet;
    return LoadWorld(TheInstallation().Dir());
  }();
  return *world;
}

// Candidate tiles spread over the world, some outside it, as a walker's would be.
struct Candidates {
  static constexpr int COUNT = 4096;
  int32_t x[COUNT], y[COUNT];
  Candidates() {
    uint32_t s = 12345;
    for (int i = 0; i < COUNT; ++i) {
      s = s * 1664525u + 1013904223u;
      x[i] = static_cast<int32_t>(s >> 8) % 3300 - 100;
      s = s * 1664525u + 1013904223u;
      y[i] = static_cast<int32_t>(s >> 8) % 3300 - 100;
    }
  }
};

// One lookup per iteration over a fixed spread of candidates, wrapping ones included.
template <bool (IBlockingMap::*Lookup)(int32_t, int32_t, int32_t, int32_t) const>
void BM_IsBlocked(benchmark::State& state) {
  const IBlockingMap& map = TheWorld().Blocking();
  static const Candidates c;
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize((map.*Lookup)(0, 0, c.x[i], c.y[i]));
    i = (i + 1) & (Candidates::COUNT - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IsBlocked<&IBlockingMap::IsBlockedX>)->Name("BM_IsBlockedX");
BENCHMARK(BM_IsBlocked<&IBlockingMap::IsBlockedY>)->Name("BM_IsBlockedY");

// The plain scan the masks replace, for comparison.
void BM_ScanIsBlockedX(benchmark::State& state) {
  const TWorldData& w = TheWorld();
  static const Candidates c;
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ScanIsBlocked(w.Map(), w.Tfa(), w.Dims(), BlockAxis::X, c.x[i], c.y[i]));
    i = (i + 1) & (Candidates::COUNT - 1);
  }
}
BENCHMARK(BM_ScanIsBlockedX);

// Shapes, dims, Tfa, chunks (with masks), map, fixed and registered objects; warm file cache.
void BM_LoadWorld(benchmark::State& state) {
  const std::string& game = TheInstallation().Dir();
  ConsoleCapture quiet;
  for (auto _ : state) {
    auto w = LoadWorld(game);
    benchmark::DoNotOptimize(w.get());
    state.PauseTiming();
    w.reset();
    quiet.Clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadWorld)->Unit(benchmark::kMillisecond);

// The first start: INITGAME.DAT unpacked beside SRVDAT and renamed to it, then the whole load.
void BM_ExtractAndLoadWorld(benchmark::State& state) {
  const std::string& game = TheInstallation().Dir();
  ConsoleCapture quiet;
  TNullProgress progress;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(game + "/SRVDAT");
    state.ResumeTiming();
    BuildDataDirectory(game, progress);
    auto w = LoadWorld(game);
    benchmark::DoNotOptimize(w.get());
    state.PauseTiming();
    w.reset();
    quiet.Clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ExtractAndLoadWorld)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zq

BENCHMARK_MAIN();
