// The world map loader on a mutated ZQMAP: a short file raises EInOutError; otherwise both
// lookups answer as the scan at every tile of the changed map positions and of a few others,
// chunk numbers of 3072 or more included (they block nothing).
#include "fuzz/FuzzSupport.h"
#include "fuzz/WorldOracle.h"
#include "platform/Errors.h"
#include "world/ZQMaps.h"

std::vector<std::string> FuzzSeeds() {
  std::string bad = zq::fuzz::GeneratedFile("STATIC/ZQMAP");
  bad[0] = bad[1] = '\xff';  // chunk 65535 at the first position
  return {zq::fuzz::GeneratedFile("STATIC/ZQMAP"), bad};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zq;
  fuzz::QuietConsole();
  const std::string path = fuzz::WriteInput("ZQMAP", data, size);
  TZQMap& map = fuzz::GeneratedMap();
  try {
    map.LoadMap(path);
  } catch (const EInOutError&) {
    fuzz::Require(size < static_cast<std::size_t>(MAP_FILE_SIZE), "only a short file fails");
    return 0;
  }
  int32_t bad = 0;
  for (uint16_t c : map.WorldMap()) bad += c >= CHUNK_COUNT;
  fuzz::Require(bad == map.BadChunkEntries(), "entries beyond the chunk table are counted");
  fuzz::CheckLookupsMatchScan(
      map, fuzz::GeneratedTfa(), fuzz::GeneratedDims(),
      fuzz::PlacesToCheck(data, size, fuzz::GeneratedFile("STATIC/ZQMAP"), 2, MAP_ENTRIES, 4));
  return 0;
}
