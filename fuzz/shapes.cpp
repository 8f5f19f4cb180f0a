// The shape archive loader on a mutated SHAPES.VGA: records and blocks stay within their
// tables, each record as long as its entry, or the load raises EInOutError.
#include "world/Shapes.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Errors.h"
#include "tools/mkworld/FlexWriter.h"

std::vector<std::string> FuzzSeeds() {
  const std::string four = "\x04\0\0\0";
  return {zq::fuzz::GeneratedFile("STATIC/SHAPES.VGA"),
          zq::mkworld::MakeFlex(
              "shapes", {"", std::string("\x0a\0\0\0abcdef", 10), std::string(64, 'b'), four})};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zq::fuzz::Require;
  zq::fuzz::QuietConsole();
  const std::string path = zq::fuzz::WriteInput("SHAPES.VGA", data, size);
  try {
    zq::TZQShapes shapes(path);
    Require(shapes.ShapeCount() >= 0 && shapes.ShapeCount() <= zq::MAXSHAPENUM + 1,
            "at most 1024 shape records");
    Require(shapes.BlockCount() >= 0 && shapes.BlockCount() <= zq::MAX_BLOCKS,
            "at most 150 blocks");
    for (int32_t k = 0; k < shapes.ShapeCount(); ++k) {
      const zq::ShapeRecord& r = shapes.Shape(k);
      Require(!r.Data.empty() && r.Data.size() <= static_cast<std::size_t>(zq::SHAPE_BUFFER_SIZE),
              "a record is as long as its non-empty, not oversized entry");
    }
  } catch (const zq::EInOutError&) {
  }
  return 0;
}
