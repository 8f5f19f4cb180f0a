// The shape attribute loader on a mutated TFA.DAT: a short file raises EInOutError; otherwise
// the blocking masks built with the table answer as the scan of their chunks.
#include "fuzz/FuzzSupport.h"
#include "fuzz/WorldOracle.h"
#include "platform/Errors.h"
#include "world/ShpDims.h"

std::vector<std::string> FuzzSeeds() {
  const std::string& tfa = zq::fuzz::GeneratedFile("STATIC/TFA.DAT");
  return {tfa, tfa.substr(0, 3000)};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zq;
  const std::string path = fuzz::WriteInput("TFA.DAT", data, size);
  TZQMap& map = fuzz::GeneratedMap();
  TfaTable tfa{};
  try {
    LoadTfa(path, tfa);
  } catch (const EInOutError&) {
    fuzz::Require(size < static_cast<std::size_t>(TFA_SIZE), "only a short file fails");
    return 0;
  }
  map.BuildMasks(tfa, fuzz::GeneratedDims());
  std::vector<int32_t> chunks;
  for (int32_t shape : fuzz::PlacesToCheck(data, size, fuzz::GeneratedFile("STATIC/TFA.DAT"), 3,
                                           MAXSHAPENUM + 1, 4)) {
    for (int32_t c : fuzz::ChunksHolding(map, static_cast<uint16_t>(shape), 2)) chunks.push_back(c);
  }
  chunks.push_back(static_cast<int32_t>(size % CHUNK_COUNT));
  fuzz::CheckMasksMatchScan(map, tfa, fuzz::GeneratedDims(), chunks);
  return 0;
}
