#include "platform/Clock.h"

#include <atomic>
#include <chrono>

namespace zq {
namespace {

uint32_t SteadyTicks() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(ms);
}

std::atomic<TickSource> g_source{&SteadyTicks};

}  // namespace

uint32_t GetTickCount() {
  return g_source.load(std::memory_order_relaxed)();
}

void SetTickSource(TickSource source) {
  g_source.store(source ? source : &SteadyTicks, std::memory_order_relaxed);
}

}  // namespace zq
