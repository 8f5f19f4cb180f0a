// The two movement questions of the world map: may a mover enter the candidate tile along x,
// along y. The answers depend on the candidate tile alone. Read-only, any thread.
#pragma once

#include <cstdint>

namespace zq {

class IBlockingMap {
 public:
  virtual ~IBlockingMap() = default;
  virtual bool IsBlockedX(int32_t curX, int32_t curY, int32_t x, int32_t y) const = 0;
  virtual bool IsBlockedY(int32_t curX, int32_t curY, int32_t x, int32_t y) const = 0;
};

}  // namespace zq
