// TPlayerSnapshot: a read-only copy of the player table (GUID, name, socket number, X, Y) for
// the operator window. The game manager thread publishes it; any thread reads it. A read
// hands out a shared immutable copy, so neither side holds the lock for long.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zq {

struct TPlayerSnapshotEntry {
  uint32_t GUID = 0;
  std::string Name;
  int32_t SocketID = 0;
  uint16_t X = 0;
  uint16_t Y = 0;

  bool operator==(const TPlayerSnapshotEntry&) const = default;
};

using TPlayerSnapshotList = std::vector<TPlayerSnapshotEntry>;

class TPlayerSnapshot {
 public:
  TPlayerSnapshot();

  // Replaces the published table (in slot order) and counts a new version.
  void Publish(TPlayerSnapshotList players);
  // The last published table; empty before the first Publish.
  std::shared_ptr<const TPlayerSnapshotList> Read() const;
  // Number of Publish calls so far: a reader redraws when it changes.
  uint64_t Version() const;

 private:
  mutable std::mutex lock_;
  std::shared_ptr<const TPlayerSnapshotList> players_;
  uint64_t version_ = 0;
};

}  // namespace zq
