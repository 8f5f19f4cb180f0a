#include "game/PlayerSnapshot.h"

namespace zq {

TPlayerSnapshot::TPlayerSnapshot() : players_(std::make_shared<const TPlayerSnapshotList>()) {}

void TPlayerSnapshot::Publish(TPlayerSnapshotList players) {
  auto fresh = std::make_shared<const TPlayerSnapshotList>(std::move(players));
  std::lock_guard guard(lock_);
  players_.swap(fresh);
  ++version_;
}  // the old copy is freed outside the lock unless a reader still holds it

std::shared_ptr<const TPlayerSnapshotList> TPlayerSnapshot::Read() const {
  std::lock_guard guard(lock_);
  return players_;
}

uint64_t TPlayerSnapshot::Version() const {
  std::lock_guard guard(lock_);
  return version_;
}

}  // namespace zq
