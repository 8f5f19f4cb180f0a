// The registered-object loader on a mutated ZQIREG stream standing for all 144 files: every
// stored item is a record of 2 to 255 bytes filed under the chunk position its bytes name, or
// the load raises EInOutError.
#include "fuzz/FuzzSupport.h"
#include "fuzz/WorldOracle.h"
#include "platform/Errors.h"
#include "world/ZQObjects.h"

std::vector<std::string> FuzzSeeds() {
  using zq::fuzz::GeneratedDataFile;
  std::string container = "\x0c\x0a\x05" + std::string("\x90\x01\x02\x00", 4) + "rrrrr";
  container += std::string("\x03xy\x01", 4) + "\x01";  // nested records up to a length byte 1
  return {GeneratedDataFile("ZQIREG00"), GeneratedDataFile("ZQIREG4D"),
          container + std::string(256, '\0'), std::string(256, '\0')};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zq;
  const std::string& dir = fuzz::SuperchunkLinksDir("ZQIREG");
  fuzz::WriteBytes(dir + "input", data, size);
  std::vector<RegList> lists;
  try {
    LoadRegistered(dir + "ZQIREG", fuzz::GeneratedTfa(), lists);
  } catch (const EInOutError&) {
    return 0;
  }
  fuzz::Require(lists.size() == static_cast<std::size_t>(OBJECT_LISTS), "one list per position");
  for (std::size_t i = 0; i < lists.size(); ++i) {
    const RegList& list = lists[i];
    fuzz::Require(static_cast<std::size_t>(list.Count) == list.Items.size(),
                  "a list's count is its number of items");
    for (const RegItem& item : list.Items) {
      fuzz::Require(item.Bytes[0] >= 2, "an item holds a record of at least 2 bytes");
      fuzz::Require(static_cast<int32_t>(i % CHUNK_ENTRIES) ==
                        (item.Bytes[2] >> 4) * 16 + (item.Bytes[1] >> 4),
                    "an item is filed under the chunk position it names");
    }
  }
  return 0;
}
