#include "accounts/LoginThrottle.h"

#include <algorithm>

namespace zq {

TLoginThrottle::TLoginThrottle(TLimit limit, std::size_t capacity)
    : limit_{std::max(limit.Count, 1), limit.WindowSeconds, limit.BlockSeconds},
      capacity_(capacity) {}

bool TLoginThrottle::Blocked(std::string_view key, int64_t now) {
  std::lock_guard guard(lock_);
  auto found = entries_.find(std::string(key));
  return found != entries_.end() && now < found->second.BlockedUntil;
}

void TLoginThrottle::Count(std::string_view key, int64_t now) {
  std::lock_guard guard(lock_);
  auto found = entries_.find(std::string(key));
  if (found == entries_.end()) {
    if (entries_.size() >= capacity_) MakeRoom(now);
    found = entries_.emplace(std::string(key), TEntry{}).first;
  }
  TEntry& entry = found->second;
  entry.LastSeen = now;
  if (now < entry.BlockedUntil) return;
  const std::size_t size = static_cast<std::size_t>(limit_.Count);
  if (entry.Times.size() < size) {
    entry.Times.push_back(now);
    entry.Next = entry.Times.size() % size;
  } else {
    entry.Times[entry.Next] = now;
    entry.Next = (entry.Next + 1) % size;
  }
  // Full ring: the oldest of the last Count events is the slot written next.
  if (entry.Times.size() == size && now - entry.Times[entry.Next] < limit_.WindowSeconds) {
    entry.BlockedUntil = now + limit_.BlockSeconds;
    entry.Times.clear();
    entry.Next = 0;
  }
}

std::size_t TLoginThrottle::Size() {
  std::lock_guard guard(lock_);
  return entries_.size();
}

bool TLoginThrottle::Stale(const TEntry& entry, int64_t now) const {
  return now >= entry.BlockedUntil && now - entry.LastSeen >= limit_.WindowSeconds;
}

void TLoginThrottle::MakeRoom(int64_t now) {
  std::erase_if(entries_, [&](const auto& item) { return Stale(item.second, now); });
  if (entries_.size() < capacity_) return;
  // Still full of recent events: forget one, unblocked ones before blocked ones.
  auto victim = std::min_element(entries_.begin(), entries_.end(), [&](auto& a, auto& b) {
    bool aBlocked = now < a.second.BlockedUntil;
    bool bBlocked = now < b.second.BlockedUntil;
    if (aBlocked != bBlocked) return !aBlocked;
    return a.second.LastSeen < b.second.LastSeen;
  });
  entries_.erase(victim);
}

}  // namespace zq
