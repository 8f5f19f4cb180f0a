// TLoginThrottle: limits failed logins per address. The fifth failure within a minute
// blocks the address for a minute; refusals while blocked do not count. Successes clear
// nothing, so a player's own account cannot be used to reset the count. Memory is bounded:
// past the capacity, addresses with nothing recent are forgotten first, then the quietest.
// Any thread: calls are serialised.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zq {

class TLoginThrottle {
 public:
  static constexpr int FAILURES = 5;
  static constexpr int64_t WINDOW_SECONDS = 60;
  static constexpr int64_t BLOCK_SECONDS = 60;
  static constexpr std::size_t DEFAULT_CAPACITY = 4096;

  explicit TLoginThrottle(std::size_t capacity = DEFAULT_CAPACITY) : capacity_(capacity) {}

  // Times are Unix seconds.
  bool Blocked(std::string_view address, int64_t now);
  void Failed(std::string_view address, int64_t now);
  // Addresses remembered now (for tests of the bound).
  std::size_t Size();

 private:
  struct TEntry {
    std::array<int64_t, FAILURES> Failures{};  // ring of the latest failure times
    int Count = 0;                             // failures in the ring, at most FAILURES
    int Next = 0;
    int64_t BlockedUntil = 0;
    int64_t LastSeen = 0;
  };
  bool Stale(const TEntry& entry, int64_t now) const;
  void MakeRoom(int64_t now);

  std::size_t capacity_;
  std::mutex lock_;
  std::unordered_map<std::string, TEntry> entries_;
};

}  // namespace zq
