#include "accounts/LoginThrottle.h"

#include <algorithm>

namespace zq {

bool TLoginThrottle::Blocked(std::string_view address, int64_t now) {
  std::lock_guard guard(lock_);
  auto found = entries_.find(std::string(address));
  return found != entries_.end() && now < found->second.BlockedUntil;
}

void TLoginThrottle::Failed(std::string_view address, int64_t now) {
  std::lock_guard guard(lock_);
  auto found = entries_.find(std::string(address));
  if (found == entries_.end()) {
    if (entries_.size() >= capacity_) MakeRoom(now);
    found = entries_.emplace(std::string(address), TEntry{}).first;
  }
  TEntry& entry = found->second;
  entry.LastSeen = now;
  if (now < entry.BlockedUntil) return;
  entry.Failures[entry.Next] = now;
  entry.Next = (entry.Next + 1) % FAILURES;
  entry.Count = std::min(entry.Count + 1, FAILURES);
  // Full ring: the oldest of the last FAILURES failures is the slot written next.
  if (entry.Count == FAILURES && now - entry.Failures[entry.Next] < WINDOW_SECONDS) {
    entry.BlockedUntil = now + BLOCK_SECONDS;
    entry.Count = 0;
  }
}

std::size_t TLoginThrottle::Size() {
  std::lock_guard guard(lock_);
  return entries_.size();
}

bool TLoginThrottle::Stale(const TEntry& entry, int64_t now) const {
  return now >= entry.BlockedUntil && now - entry.LastSeen >= WINDOW_SECONDS;
}

void TLoginThrottle::MakeRoom(int64_t now) {
  std::erase_if(entries_, [&](const auto& item) { return Stale(item.second, now); });
  if (entries_.size() < capacity_) return;
  // Still full of recent failures: forget one, unblocked ones before blocked ones.
  auto victim = std::min_element(entries_.begin(), entries_.end(), [&](auto& a, auto& b) {
    bool aBlocked = now < a.second.BlockedUntil;
    bool bBlocked = now < b.second.BlockedUntil;
    if (aBlocked != bBlocked) return !aBlocked;
    return a.second.LastSeen < b.second.LastSeen;
  });
  entries_.erase(victim);
}

}  // namespace zq
