// The chunk table loader on a mutated ZQCHUNKS: a short file raises EInOutError; otherwise the
// masks of the changed patterns, and a few others, answer as the scan of their chunks.
#include <memory>

#include "fuzz/FuzzSupport.h"
#include "fuzz/WorldOracle.h"
#include "platform/Errors.h"
#include "world/ZQMaps.h"

std::vector<std::string> FuzzSeeds() {
  return {zq::fuzz::GeneratedFile("STATIC/ZQCHUNKS")};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zq;
  const std::string path = fuzz::WriteInput("ZQCHUNKS", data, size);
  auto map = std::make_unique<TZQMap>();
  try {
    map->LoadChunks(path);
  } catch (const EInOutError&) {
    fuzz::Require(size < static_cast<std::size_t>(CHUNKS_FILE_SIZE), "only a short file fails");
    return 0;
  }
  map->BuildMasks(fuzz::GeneratedTfa(), fuzz::GeneratedDims());
  fuzz::CheckMasksMatchScan(*map, fuzz::GeneratedTfa(), fuzz::GeneratedDims(),
                            fuzz::PlacesToCheck(data, size, fuzz::GeneratedFile("STATIC/ZQCHUNKS"),
                                                2 * CHUNK_ENTRIES, CHUNK_COUNT, 6));
  return 0;
}
