// The fixed-object loader on a mutated ZQIFIX container standing for all 144 files: every list
// holds its entry's whole 4-byte items, or the load raises EInOutError.
#include "fuzz/FuzzSupport.h"
#include "platform/Errors.h"
#include "tools/mkworld/FlexWriter.h"
#include "world/ZQObjects.h"

std::vector<std::string> FuzzSeeds() {
  using zq::fuzz::GeneratedFile;
  return {GeneratedFile("STATIC/ZQIFIX00"), GeneratedFile("STATIC/ZQIFIX4D"),
          zq::mkworld::MakeFlex("odd sizes", {"abc", "", "d", "efghijklm", "nopq"})};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zq;
  const std::string& dir = fuzz::SuperchunkLinksDir("ZQIFIX");
  fuzz::WriteBytes(dir + "input", data, size);
  std::vector<FixList> lists;
  try {
    LoadFixed(dir + "ZQIFIX", lists);
  } catch (const EInOutError&) {
    return 0;
  }
  fuzz::Require(lists.size() == static_cast<std::size_t>(OBJECT_LISTS), "one list per position");
  for (const FixList& list : lists)
    fuzz::Require(list.Count >= 0 && static_cast<std::size_t>(list.Count) == list.Items.size(),
                  "a list's count is its number of items");
  return 0;
}
