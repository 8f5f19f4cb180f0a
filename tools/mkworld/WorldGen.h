// zqo-mkworld: writes a complete, deterministic game installation of our own making (shape
// archive, shape dimensions and attributes, chunk table, map, fixed-object containers and the
// initial-game archive with IDENTITY and the registered-object streams) for the server to load.
// The writers here share no code with the server's readers in world/, on purpose: tests that
// load what this wrote then catch a layout fault on either side instead of agreeing with it.
//
// The demo world
// --------------
// Everywhere outside the town, 16 shared wilderness chunk patterns (chosen per chunk position by
// the seed): grass (SHAPE_GRASS..+3, SHAPE_FLOWERS), and in most patterns trees, boulders, fence
// pieces, tables and benches anywhere in the chunk (some footprints reach past the chunk's low
// edge and so are clipped by the chunk). A few fixed and registered objects lie around.
//
// The town region, chunks 94..101 by 116..123 (tiles 1504..1631 x 1856..1983), has one pattern
// per chunk position and a layout that does not depend on the seed:
// - Spawn (1560, 1921) in a plaza of dirt; no tile within 8 of it blocks anything.
// - Town wall of SHAPE_WALL on the rectangle TOWN_MIN_X..TOWN_MAX_X by TOWN_MIN_Y..TOWN_MAX_Y, with
//   four gates of SHAPE_GATE (open): north and south at x 1558..1561, west and east at
//   y 1919..1922. Roads (SHAPE_ROAD) run from gate to gate through the plaza, so walking
//   straight north, south or west from the spawn leads out of town.
// - The well (SHAPE_WELL, footprint x 1573..1574, y 1920..1921) stands east of the spawn: walking
//   east along y 1921 hits it at x 1573.
// - A bench (SHAPE_BENCH, blocks y only) with footprint x 1553..1556 at y 1910.
// - House A (walls x 1540..1549, y 1900..1907, door x 1544..1545 in the south wall) with a table
//   (SHAPE_TABLE, footprint x 1545..1547, y 1902..1903) and a chest holding three items.
// - House B (walls x 1572..1585, y 1900..1909, door y 1904..1905 in the west wall) with a rug
//   (footprint, not blocking) and an empty barrel.
// - House C (walls x 1570..1583, y 1932..1942, door x 1576..1577 in the north wall) with a chest.
// - A garden south-west: a fence along x 1544, y 1930..1941 of SHAPE_FENCE_X (stops movement along
//   x only) and one along y 1942, x 1540..1552 of SHAPE_FENCE_Y (stops movement along y only).
// - Lamps and signs as fixed objects along the roads and beside the gates.
// Every footprint of the town lies inside one chunk.
//
// Files: SHAPES.VGA holds one non-empty entry per shape 0..1023, each beginning with its own
// length. Tile entries and object shapes may carry a frame number in bits 10-15. Registered
// records: byte 0 = x mod 256, byte 1 = y mod 256, bytes 2-3 shape, bytes 4-5 quantity (items)
// or the number of nested records (containers, L = 12). Fixed items: byte 0 = tx | ty << 4,
// byte 1 lift, bytes 2-3 shape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zq::mkworld {

// Named shapes. Extents are (XExtent, YExtent) in TFA.DAT byte 2; flags are SHPDIMS.DAT bit 0 of
// byte 0 (BlocksX) and byte 1 (BlocksY). Unnamed shapes: extents 0, no flags, not containers.
constexpr uint16_t SHAPE_GRASS = 4;      // ground (4..7 are variants), never blocks
constexpr uint16_t SHAPE_DIRT = 8;       // ground
constexpr uint16_t SHAPE_ROAD = 12;      // ground
constexpr uint16_t SHAPE_FLOOR = 16;     // ground inside houses
constexpr uint16_t SHAPE_COIN = 100;     // small item
constexpr uint16_t SHAPE_BOTTLE = 101;   // small item
constexpr uint16_t SHAPE_KEY = 102;      // small item
constexpr uint16_t SHAPE_FLOWERS = 150;  // ground; both SHPDIMS flags set, yet 150 never blocks
constexpr uint16_t SHAPE_WALL = 151;     // extents 0,0; blocks x and y
constexpr uint16_t SHAPE_GATE = 160;     // extents 0,0; no flags: open although above 150
constexpr uint16_t SHAPE_FENCE_X = 170;  // extents 0,0; blocks x only
constexpr uint16_t SHAPE_FENCE_Y = 171;  // extents 0,0; blocks y only
constexpr uint16_t SHAPE_TREE = 200;     // extents 0,0; blocks x and y
constexpr uint16_t SHAPE_TABLE = 210;    // extents 2,1; blocks x and y
constexpr uint16_t SHAPE_WELL = 211;     // extents 1,1; blocks x and y
constexpr uint16_t SHAPE_BENCH = 212;    // extents 3,0; blocks y only
constexpr uint16_t SHAPE_RUG = 220;      // extents 2,2; no flags
constexpr uint16_t SHAPE_BOULDER = 230;  // extents 1,1; blocks x and y
constexpr uint16_t SHAPE_LAMP = 300;     // fixed object; extents 0,0; no flags
constexpr uint16_t SHAPE_SIGN = 301;     // fixed object; extents 0,0; no flags
constexpr uint16_t SHAPE_CHEST = 400;    // container: TFA byte 1 = 6; extents 0,0; no flags
constexpr uint16_t SHAPE_BARREL = 401;   // container: TFA byte 1 = 0x86 (bit 7 is noise)

constexpr int32_t SPAWN_X = 1560;
constexpr int32_t SPAWN_Y = 1921;
constexpr int32_t TOWN_MIN_X = 1536;  // town wall rectangle, walls included
constexpr int32_t TOWN_MAX_X = 1591;
constexpr int32_t TOWN_MIN_Y = 1896;
constexpr int32_t TOWN_MAX_Y = 1947;

struct Placement {
  int32_t x;       // world tile, 0..3071
  int32_t y;       // world tile, 0..3071
  uint16_t shape;  // the tile entry: shape in bits 0-9, bits 10-15 kept as given
};

struct WorldOptions {
  uint32_t seed = 1;        // varies decoration, not the town layout
  bool noBlocking = false;  // every generated blocking tile becomes dirt; `extra` still applies
  // Extra shapes placed on given tiles, after noBlocking. Each chunk position named here gets a
  // pattern of its own: a copy of its former pattern with these tiles replaced.
  std::vector<Placement> extra;
};

// One file of the installation: path relative to the installation directory ("STATIC/...").
struct GeneratedFile {
  std::string path;
  std::string bytes;
};

// All files of the installation, in memory, in a fixed order. Raises std::invalid_argument
// naming the value for a placement outside the world or too many placed chunk positions.
std::vector<GeneratedFile> BuildInstallation(const WorldOptions& options = {});

// Builds the installation and writes it below `dir` (created if needed, with STATIC/), one
// write per file. Raises std::invalid_argument as above, EInOutError naming the path at fault.
void WriteInstallation(const std::string& dir, const WorldOptions& options = {});

}  // namespace zq::mkworld
