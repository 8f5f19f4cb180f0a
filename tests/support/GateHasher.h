// A password "hasher" for tests that holds every call until the test opens it, and says how
// many calls have come in, so a test knows a login is being checked and chooses when that
// check ends. Any thread; every wait is bounded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "accounts/PasswordHash.h"

namespace zq::test {

class GateHasher : public TPasswordHasher {
 public:
  static constexpr std::chrono::seconds BOUND{30};

  std::string Hash(std::string_view password) const override {
    Pass();
    return "hash:" + std::string(password);
  }
  bool Verify(const std::string& hash, std::string_view password) const override {
    Pass();
    return hash == "hash:" + std::string(password);
  }
  void Open() {
    std::lock_guard guard(lock_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until `count` calls have entered.
  bool WaitEntered(int count) const {
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, BOUND, [&] { return entered_ >= count; });
  }

 private:
  void Pass() const {
    std::unique_lock guard(lock_);
    ++entered_;
    changed_.notify_all();
    changed_.wait_for(guard, BOUND, [&] { return open_; });
  }
  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  mutable int entered_ = 0;
  bool open_ = false;
};

}  // namespace zq::test
