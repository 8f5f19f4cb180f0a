#include "world/Shapes.h"

#include <cstring>

#include "platform/Console.h"
#include "world/FlexRead.h"

namespace zq {

TZQShapes::TZQShapes(const std::string& path) : blocks_(MAX_BLOCKS), shapes_(MAXSHAPENUM + 1) {
  TFlexReader reader(path);
  ConsoleLine(TLogLevel::Debug, "opened " + path + " count=" + std::to_string(reader.EntryCount()));
  std::vector<uint8_t> buffer(SHAPE_BUFFER_SIZE);
  do {
    const int32_t s = reader.EntrySize();
    if (s > SHAPE_BUFFER_SIZE) {
      ConsoleLine(TLogLevel::Warning,
                  "entry# " + std::to_string(reader.EntryIndex()) + " is " + std::to_string(s));
    } else if (s == 0) {
      // empty entries take no record
    } else if (shapeCount_ > MAXSHAPENUM) {
      ConsoleLine(TLogLevel::Warning, "not enough MAXSHAPENUM");
    } else {
      reader.ReadEntry(buffer.data());  // raises on a negative size before anything is kept
      ShapeRecord& rec = shapes_[shapeCount_];
      rec.Data.assign(static_cast<std::size_t>(s), '\0');
      uint32_t len = 0;
      const std::size_t head = s < 4 ? static_cast<std::size_t>(s) : 4;
      for (std::size_t i = 0; i < head; ++i) len |= static_cast<uint32_t>(buffer[i]) << (8 * i);
      rec.Length = static_cast<int32_t>(len);
      if (rec.Length == s && s >= 4) std::memcpy(rec.Data.data(), buffer.data() + 4, s - 4);
      ++shapeCount_;
      if (rec.Length != s) {
        if (s <= BLOCK_SIZE && blockCount_ < MAX_BLOCKS) {
          std::memcpy(blocks_[blockCount_].data(), buffer.data(), s);
          ++blockCount_;
        } else {
          ConsoleLine(TLogLevel::Warning, "entry# " + std::to_string(reader.EntryIndex()) + " of " +
                                              std::to_string(s) + " bytes kept without a block");
        }
      }
    }
  } while (reader.NextEntry());
}

}  // namespace zq
