#include "tools/mkworld/Objects.h"

#include <array>
#include <cstdio>

#include "tools/mkworld/FlexWriter.h"
#include "tools/mkworld/Rng.h"

namespace zq::mkworld {
namespace {

constexpr int32_t POSITIONS = 256;  // chunk positions per superchunk

struct WorldObject {
  int32_t x;
  int32_t y;
  std::string bytes;  // fixed: the 4-byte item; registered: L, record, nested records
};

int32_t Superchunk(int32_t x, int32_t y) {
  return (y / 256) * 12 + x / 256;
}
int32_t Position(int32_t x, int32_t y) {
  return ((y / 16) % 16) * 16 + (x / 16) % 16;
}

bool InTownRegion(int32_t x, int32_t y) {
  return x >= 1504 && x < 1632 && y >= 1856 && y < 1984;
}

WorldObject FixedItem(int32_t x, int32_t y, uint16_t entry, uint8_t lift) {
  std::string b;
  b.push_back(static_cast<char>((x % 16) | ((y % 16) << 4)));
  b.push_back(static_cast<char>(lift));
  PutU16(b, entry);
  return {x, y, b};
}

std::string Record(int32_t x, int32_t y, uint16_t entry, uint16_t quantity, std::size_t len) {
  std::string r;
  r.push_back(static_cast<char>(len));
  r.push_back(static_cast<char>(x & 0xFF));
  r.push_back(static_cast<char>(y & 0xFF));
  PutU16(r, entry);
  PutU16(r, quantity);
  r.resize(len + 1, '\0');
  return r;
}

// An item lying on (x, y): L = 10, bytes 4-5 its quantity.
WorldObject Item(int32_t x, int32_t y, uint16_t entry, uint16_t quantity) {
  return {x, y, Record(x, y, entry, quantity, 10)};
}

// A container: L = 12, bytes 4-5 the number of nested records, which follow and end with a
// length byte 1. An empty container has bytes 4-5 zero and nothing after it.
struct Nested {
  uint16_t entry;
  uint16_t quantity;
};
WorldObject Container(int32_t x, int32_t y, uint16_t entry, const std::vector<Nested>& contents) {
  WorldObject o{x, y, Record(x, y, entry, static_cast<uint16_t>(contents.size()), 12)};
  if (contents.empty()) return o;
  for (const Nested& n : contents) o.bytes += Record(0, 0, n.entry, n.quantity, 8);
  o.bytes.push_back('\x01');
  return o;
}

std::vector<WorldObject> TownFixed() {
  std::vector<WorldObject> v;
  for (int32_t y = 1900; y <= 1944; y += 8) v.push_back(FixedItem(1557, y, SHAPE_LAMP, 0));
  for (int32_t x = 1540; x <= 1588; x += 12) v.push_back(FixedItem(x, 1918, SHAPE_LAMP, 0));
  // Three lamps round the plaza's north-west corner share one chunk position.
  v.push_back(FixedItem(1553, 1913, SHAPE_LAMP, 1));
  v.push_back(FixedItem(1556, 1913, SHAPE_LAMP, 1));
  v.push_back(FixedItem(1553, 1916, SHAPE_LAMP | (2 << 10), 1));
  v.push_back(FixedItem(1556, 1894, SHAPE_SIGN, 2));
  v.push_back(FixedItem(1534, 1918, SHAPE_SIGN, 2));
  v.push_back(FixedItem(1593, 1923, SHAPE_SIGN | (1 << 10), 2));
  v.push_back(FixedItem(1563, 1949, SHAPE_SIGN, 2));
  return v;
}

std::vector<WorldObject> TownRegistered() {
  std::vector<WorldObject> v;
  // Nested quantities of 1 put a byte 1 inside records that a reader skips.
  v.push_back(Container(1542, 1902, SHAPE_CHEST,
                        {{SHAPE_COIN, 1}, {SHAPE_KEY, 1}, {SHAPE_BOTTLE | (2 << 10), 2}}));
  v.push_back(Container(1582, 1908, SHAPE_BARREL, {}));
  v.push_back(
      Container(1580, 1939, SHAPE_CHEST | (1 << 10), {{SHAPE_COIN, 25}, {SHAPE_BOTTLE, 1}}));
  WorldObject bottle = Item(1560, 1930, SHAPE_BOTTLE, 1);
  bottle.bytes.push_back('\x01');  // a lone length byte 1 between records
  v.push_back(bottle);
  v.push_back(Item(1575, 1925, SHAPE_KEY, 1));
  v.push_back(Item(1546, 1905, SHAPE_COIN, 3));
  return v;
}

// Objects of superchunk n outside the town, chosen by the seed.
void AddWild(uint32_t seed, int32_t n, uint64_t salt, bool fixed, std::vector<WorldObject>& v) {
  Rng rng(seed, salt + static_cast<uint64_t>(n));
  const uint32_t count = rng.Below(5);
  for (uint32_t i = 0; i < count; ++i) {
    const int32_t x = (n % 12) * 256 + static_cast<int32_t>(rng.Below(256));
    const int32_t y = (n / 12) * 256 + static_cast<int32_t>(rng.Below(256));
    if (InTownRegion(x, y)) continue;
    const uint32_t kind = rng.Below(4);
    if (fixed) {
      v.push_back(FixedItem(x, y, kind == 0 ? SHAPE_SIGN : static_cast<uint16_t>(240 + kind),
                            static_cast<uint8_t>(rng.Below(8))));
    } else if (kind == 0) {
      std::vector<Nested> contents;
      for (uint32_t k = 1 + rng.Below(3); k > 0; --k)
        contents.push_back({static_cast<uint16_t>(SHAPE_COIN + rng.Below(3)),
                            static_cast<uint16_t>(1 + rng.Below(40))});
      v.push_back(Container(x, y, SHAPE_CHEST, contents));
    } else {
      v.push_back(Item(x, y, static_cast<uint16_t>(SHAPE_COIN + kind - 1),
                       static_cast<uint16_t>(1 + rng.Below(40))));
    }
  }
}

// Objects grouped by superchunk, then by chunk position (cy * 16 + cx), in creation order.
using Grouped = std::vector<std::array<std::string, POSITIONS>>;

Grouped Group(const std::vector<WorldObject>& objects) {
  Grouped g(SUPERCHUNKS);
  for (const WorldObject& o : objects)
    g[static_cast<std::size_t>(Superchunk(o.x, o.y))]
     [static_cast<std::size_t>(Position(o.x, o.y))] += o.bytes;
  return g;
}

}  // namespace

std::string FileNumber(int32_t n) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(n & 0xFF));
  return buf;
}

std::vector<GeneratedFile> FixedObjectFiles(uint32_t seed) {
  std::vector<WorldObject> objects = TownFixed();
  for (int32_t n = 0; n < SUPERCHUNKS; ++n) AddWild(seed, n, 0x464958000ull, true, objects);
  Grouped g = Group(objects);

  std::vector<GeneratedFile> files;
  files.reserve(SUPERCHUNKS);
  for (int32_t n = 0; n < SUPERCHUNKS; ++n) {
    auto& lists = g[static_cast<std::size_t>(n)];
    std::vector<std::string> entries(lists.begin(), lists.end());
    files.push_back({"STATIC/ZQIFIX" + FileNumber(n), MakeFlex("zq fixed objects", entries)});
  }
  return files;
}

std::vector<std::string> RegisteredStreams(uint32_t seed) {
  std::vector<WorldObject> objects = TownRegistered();
  for (int32_t n = 0; n < SUPERCHUNKS; ++n) AddWild(seed, n, 0x495245000ull, false, objects);
  Grouped g = Group(objects);

  std::vector<std::string> streams;
  streams.reserve(SUPERCHUNKS);
  for (const auto& lists : g) {
    std::string s;
    for (const std::string& records : lists) {
      s += records;
      s.push_back('\0');  // ends the chunk position
    }
    streams.push_back(std::move(s));
  }
  return streams;
}

std::string IdentityText() {
  return "QUOREL7\r\nzq demo world\r\n";
}

std::string InitGameBytes(uint32_t seed) {
  std::vector<std::string> entries;
  entries.reserve(SUPERCHUNKS + 3);
  entries.push_back(MakeNamedEntry("IDENTITY", IdentityText()));
  std::vector<std::string> streams = RegisteredStreams(seed);
  for (int32_t n = 0; n < SUPERCHUNKS; ++n)
    entries.push_back(
        MakeNamedEntry("ZQIREG" + FileNumber(n), streams[static_cast<std::size_t>(n)]));
  entries.emplace_back();  // an empty entry, which extracts to nothing
  entries.push_back(MakeNamedEntry("SCHEDULE.DATA", std::string(64, '\x07')));
  return MakeFlex("zq initial game", entries);
}

}  // namespace zq::mkworld
