#include "game/GuidManager.h"

#include <iterator>
#include <string>

#include "platform/Console.h"
#include "platform/Errors.h"

namespace zq {

namespace {
constexpr const char* MODULE = "GuidManagerU";
}

TGUIDManager::TGUIDManager() {
  runs_.push_back(GUIDRange{0, 0});
}

TGUIDManager::~TGUIDManager() {
  for (std::size_t i = 0; i < runs_.size(); ++i)
    ConsoleLine(TLogLevel::Debug, "GUIDManager.Destroy: releasing");
}

uint32_t TGUIDManager::newGUID() {
  std::lock_guard guard(lock_);
  auto first = runs_.begin();
  uint32_t result = ++first->Last;
  auto second = std::next(first);
  if (second != runs_.end() && second->First == result + 1) {
    first->Last = second->Last;
    runs_.erase(second);
    ConsoleLine(TLogLevel::Debug, "GUIDManager.newGUID: releasing deletedNode");
    ConsoleLine(TLogLevel::Debug, "* ok");
  }
  return result;
}

void TGUIDManager::releaseGUID(uint32_t id) {
  std::lock_guard guard(lock_);
  if (id == 0) InternalCheckFailed("Call to releaseGUID with ID=0", MODULE);
  auto run = runs_.begin();
  while (run != runs_.end() && run->Last < id) ++run;
  if (run == runs_.end() || id < run->First) {
    // Not in use: leave the runs as they are.
    ConsoleLine(TLogLevel::Debug,
                "GUIDManager.releaseGUID: ID=" + std::to_string(id) + " is not in use");
    return;
  }
  if (id == run->First) {
    ++run->First;
  } else if (id == run->Last) {
    --run->Last;
  } else {
    runs_.insert(std::next(run), GUIDRange{id + 1, run->Last});
    run->Last = id - 1;
  }
  if (run->Last < run->First) {
    if (run == runs_.begin()) InternalCheckFailed("GUID preNode is nil!", MODULE);
    ConsoleLine(TLogLevel::Debug, "GUIDManager.releaseGUID: releasing curNode");
    runs_.erase(run);
    ConsoleLine(TLogLevel::Debug, "* ok");
  }
}

std::vector<std::pair<uint32_t, uint32_t>> TGUIDManager::Runs() const {
  std::lock_guard guard(lock_);
  std::vector<std::pair<uint32_t, uint32_t>> out;
  out.reserve(runs_.size());
  for (const auto& r : runs_) out.emplace_back(r.First, r.Last);
  return out;
}

}  // namespace zq
