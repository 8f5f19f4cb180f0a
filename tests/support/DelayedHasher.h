// A password "hasher" for tests: the hash is the password in plain text, made or checked after
// a delay the test sets, so a test chooses how long a login check takes; it remembers the
// thread of its last call and counts its calls.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "accounts/PasswordHash.h"

namespace zq::test {

class DelayedHasher : public TPasswordHasher {
 public:
  std::string Hash(std::string_view password) const override {
    Wait();
    return "plain:" + std::string(password);
  }
  bool Verify(const std::string& hash, std::string_view password) const override {
    Wait();
    return hash == "plain:" + std::string(password);
  }
  std::atomic<int> delayMs{0};
  mutable std::atomic<std::thread::id> lastThread{};
  mutable std::atomic<int> calls{0};  // Hash and Verify alike

 private:
  void Wait() const {
    ++calls;
    lastThread = std::this_thread::get_id();
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
  }
};

}  // namespace zq::test
