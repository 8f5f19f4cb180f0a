// Small independent readers over generated installation bytes for the generator's tests: flex
// tables and the chunk table and map, with blocking painted per chunk pattern.
#pragma once

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/mkworld/WorldGen.h"

namespace zq::mkworld::test {

inline uint8_t Byte(const std::string& b, std::size_t at) {
  return static_cast<uint8_t>(b.at(at));
}
inline uint32_t U16(const std::string& b, std::size_t at) {
  return Byte(b, at) | Byte(b, at + 1) << 8;
}
inline uint32_t U32(const std::string& b, std::size_t at) {
  return U16(b, at) | U16(b, at + 2) << 16;
}
inline std::string Hex2(int n) {
  return {"0123456789ABCDEF"[n / 16], "0123456789ABCDEF"[n % 16]};
}

inline std::map<std::string, std::string> ByPath(const std::vector<GeneratedFile>& files) {
  std::map<std::string, std::string> m;
  for (const GeneratedFile& f : files) m[f.path] = f.bytes;
  return m;
}
inline std::map<std::string, std::string> Build(const WorldOptions& o = {}) {
  return ByPath(BuildInstallation(o));
}

struct FlexEntry {
  uint32_t offset, size;
};
// The entry table of a flex container whose header and table fit the file.
inline std::vector<FlexEntry> FlexTable(const std::string& b) {
  std::vector<FlexEntry> t;
  for (uint32_t i = 0; b.size() >= 128 && i < U32(b, 84) && 136 + 8 * i <= b.size(); ++i)
    t.push_back({U32(b, 128 + 8 * i), U32(b, 132 + 8 * i)});
  return t;
}

// Blocking from the chunk table, map, TFA and SHPDIMS bytes: each pattern's footprints are
// painted into a mask, clipped at the chunk.
class WorldView {
 public:
  explicit WorldView(const std::map<std::string, std::string>& f)
      : chunks_(f.at("STATIC/ZQCHUNKS")),
        map_(f.at("STATIC/ZQMAP")),
        tfa_(f.at("STATIC/TFA.DAT")),
        dims_(f.at("STATIC/SHPDIMS.DAT")) {}

  uint32_t ChunkNumber(int gx, int gy) const {
    return U16(map_, 2 * ((((gy / 16) * 12 + gx / 16) * 16 + gy % 16) * 16 + gx % 16));
  }
  uint32_t Entry(uint32_t c, int t) const { return U16(chunks_, 512 * c + 2 * t); }  // t = ty*16+tx
  uint32_t TileEntry(int x, int y) const {
    return Entry(ChunkNumber(x / 16, y / 16), y % 16 * 16 + x % 16);
  }
  int XExtent(uint32_t s) const { return Byte(tfa_, 3 * s + 2) & 7; }
  int YExtent(uint32_t s) const { return (Byte(tfa_, 3 * s + 2) >> 3) & 7; }

  // axis 0 answers IsBlockedX, axis 1 IsBlockedY; bit ty * 16 + tx.
  std::bitset<256> Mask(uint32_t c, int axis) const {
    std::bitset<256> m;
    for (int t = 0; t < 256; ++t) {
      const uint32_t s = Entry(c, t) & 0x3FF;
      if (s <= 150 || !(Byte(dims_, 2 * (s - 150) + axis) & 1)) continue;
      for (int y = std::max(0, t / 16 - YExtent(s)); y <= t / 16; ++y)
        for (int x = std::max(0, t % 16 - XExtent(s)); x <= t % 16; ++x) m.set(y * 16 + x);
    }
    return m;
  }
  bool Blocked(int x, int y, int axis) const {
    return Mask(ChunkNumber(x / 16, y / 16), axis).test(y % 16 * 16 + x % 16);
  }

 private:
  std::string chunks_, map_, tfa_, dims_;
};

}  // namespace zq::mkworld::test
