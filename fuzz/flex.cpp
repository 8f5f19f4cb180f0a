// The flex container reader on any bytes: it stands on entries, reads them and steps on, going
// back to entry 0 after the last, or raises EInOutError; nothing it reads lies outside the file.
#include "fuzz/FuzzSupport.h"
#include "platform/Errors.h"
#include "tools/mkworld/FlexWriter.h"
#include "world/FlexRead.h"

std::vector<std::string> FuzzSeeds() {
  using zq::fuzz::GeneratedFile;
  return {GeneratedFile("STATIC/SHAPES.VGA"), GeneratedFile("STATIC/ZQIFIX4D"),
          zq::mkworld::MakeFlex("three", {"a", "", "ccc"}), zq::mkworld::MakeFlex("one", {"x"})};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zq::fuzz::Require;
  const std::string path = zq::fuzz::WriteInput("input.flx", data, size);
  try {
    zq::TFlexReader reader(path);
    Require(reader.EntryCount() > 0 && reader.EntryIndex() == 0, "a reader starts on entry 0");
    // Bounded walk: at most 4096 steps, one wrap included.
    for (int step = 0; step < 4096; ++step) {
      const int32_t index = reader.EntryIndex();
      Require(index >= 0 && index < reader.EntryCount(), "the entry index lies within the count");
      const std::string entry = reader.ReadEntry();
      Require(entry.size() == static_cast<std::size_t>(reader.EntrySize()),
              "an entry reads as many bytes as its size");
      Require(static_cast<std::size_t>(reader.EntryOffset()) + entry.size() <= size,
              "an entry read lies within the file");
      if (!reader.NextEntry()) {
        Require(reader.EntryIndex() == 0 && index == reader.EntryCount() - 1,
                "the reader wraps to entry 0 after the last");
        break;
      }
      Require(reader.EntryIndex() == index + 1, "NextEntry steps by one");
    }
  } catch (const zq::EInOutError&) {
  }
  return 0;
}
