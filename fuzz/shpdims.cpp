// The shape dimension loader on a mutated SHPDIMS.DAT: any length loads or raises EInOutError,
// and the blocking masks built with the table answer as the scan of their chunks.
#include "world/ShpDims.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/WorldOracle.h"
#include "platform/Errors.h"

std::vector<std::string> FuzzSeeds() {
  const std::string& dims = zq::fuzz::GeneratedFile("STATIC/SHPDIMS.DAT");
  return {dims, dims + "xx", dims.substr(0, 1000)};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zq;
  fuzz::QuietConsole();
  const std::string path = fuzz::WriteInput("SHPDIMS.DAT", data, size);
  TZQMap& map = fuzz::GeneratedMap();
  ShapeDims dims;
  try {
    LoadShapeDims(path, dims);
  } catch (const EInOutError&) {
    fuzz::Require(size < static_cast<std::size_t>(SHAPE_DIMS_SIZE), "only a short file fails");
    return 0;
  }
  map.BuildMasks(fuzz::GeneratedTfa(), dims);
  // Chunks holding the shapes whose entries changed, and a few others.
  std::vector<int32_t> chunks;
  for (int32_t entry : fuzz::PlacesToCheck(data, size, fuzz::GeneratedFile("STATIC/SHPDIMS.DAT"), 2,
                                           SHAPE_DIMS_SIZE / 2, 4)) {
    for (int32_t c : fuzz::ChunksHolding(map, static_cast<uint16_t>(SHAPE_DIMS_FIRST + entry), 2))
      chunks.push_back(c);
  }
  chunks.push_back(static_cast<int32_t>(size % CHUNK_COUNT));
  fuzz::CheckMasksMatchScan(map, fuzz::GeneratedTfa(), dims, chunks);
  return 0;
}
