// PollUntil: for a condition that nothing signals (a queue's length, say), looks at it again
// every millisecond until it holds or the bound passes. Any thread.
#pragma once

#include <chrono>
#include <thread>

namespace zq::test {

template <typename Condition>
bool PollUntil(Condition condition,
               std::chrono::steady_clock::duration bound = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace zq::test
