// TLoginThrottle: counts events per key (an address, an account name) and blocks a key that
// has too many within a window: by default the fifth failed login within a minute blocks the
// address for a minute. Events while blocked do not count. Nothing clears a count early, so a
// player's own account cannot be used to reset it. Memory is bounded: past the capacity, keys
// with nothing recent are forgotten first, then the quietest.
// TLoginLimits: the limits one login check keeps.
// Any thread: calls are serialised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zq {

class TLoginThrottle {
 public:
  static constexpr int FAILURES = 5;
  static constexpr int64_t WINDOW_SECONDS = 60;
  static constexpr int64_t BLOCK_SECONDS = 60;
  static constexpr std::size_t DEFAULT_CAPACITY = 4096;

  // `Count` events within `WindowSeconds` block the key for `BlockSeconds`.
  struct TLimit {
    int Count = FAILURES;
    int64_t WindowSeconds = WINDOW_SECONDS;
    int64_t BlockSeconds = BLOCK_SECONDS;
  };

  explicit TLoginThrottle(std::size_t capacity = DEFAULT_CAPACITY)
      : TLoginThrottle(TLimit{}, capacity) {}
  explicit TLoginThrottle(TLimit limit, std::size_t capacity = DEFAULT_CAPACITY);

  // Times are Unix seconds.
  bool Blocked(std::string_view key, int64_t now);
  // One event (a failed login, or a login that costs a hash).
  void Count(std::string_view key, int64_t now);
  void Failed(std::string_view key, int64_t now) { Count(key, now); }
  // Keys remembered now (for tests of the bound).
  std::size_t Size();

 private:
  struct TEntry {
    std::vector<int64_t> Times;  // ring of the latest event times, Count of them once full
    std::size_t Next = 0;
    int64_t BlockedUntil = 0;
    int64_t LastSeen = 0;
  };
  bool Stale(const TEntry& entry, int64_t now) const;
  void MakeRoom(int64_t now);

  const TLimit limit_;
  const std::size_t capacity_;
  std::mutex lock_;
  std::unordered_map<std::string, TEntry> entries_;
};

// What one login check limits. Failed logins count against the address and against the
// account name (in any letter case of A to Z, whether or not such an account exists); logins
// that cost a hash, failed or not, count against the address. A blocked key is refused before
// any hashing.
struct TLoginLimits {
  static constexpr int NAME_FAILURES = 10;  // a minute, then the name waits a minute
  // A minute, then the address waits a minute: room for a full server's players joining at
  // once from one address, but not for hashing on demand.
  static constexpr int ADDRESS_LOGINS = 64;

  TLoginThrottle FailuresByAddress;
  TLoginThrottle FailuresByName{TLoginThrottle::TLimit{NAME_FAILURES}};
  TLoginThrottle LoginsByAddress{TLoginThrottle::TLimit{ADDRESS_LOGINS}};
};

}  // namespace zq
