// TGUIDManager: hands out player identifiers (GUIDs), always the lowest free number, never 0,
// and takes them back. Identifiers in use are kept as ascending runs [First, Last]; the first
// run always starts at 0. Thread-safe (one lock per operation).
#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <utility>
#include <vector>

namespace zq {

struct GUIDRange {
  uint32_t First = 0;
  uint32_t Last = 0;
};

class TGUIDManager {
 public:
  TGUIDManager();
  // Writes "GUIDManager.Destroy: releasing" once per run.
  ~TGUIDManager();
  TGUIDManager(const TGUIDManager&) = delete;
  TGUIDManager& operator=(const TGUIDManager&) = delete;

  // The lowest free identifier, now in use.
  uint32_t newGUID();
  // Frees `id`. Raises EInternalCheck "Call to releaseGUID with ID=0" (GuidManagerU) for 0.
  void releaseGUID(uint32_t id);

  // The runs in ascending order.
  std::vector<std::pair<uint32_t, uint32_t>> Runs() const;

 private:
  mutable std::mutex lock_;
  std::list<GUIDRange> runs_;  // ascending, non-empty, separated by free numbers
};

}  // namespace zq
