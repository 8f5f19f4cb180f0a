// The placed objects of the demo world: the 144 fixed-object containers (STATIC/ZQIFIXnn) and
// the registered-object streams (ZQIREGnn) packed with IDENTITY into STATIC/INITGAME.DAT.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mkworld/WorldGen.h"

namespace zq::mkworld {

constexpr int32_t SUPERCHUNKS = 144;

// "00" .. "8F": upper-case hexadecimal file number of superchunk n = sy * 12 + sx.
std::string FileNumber(int32_t n);

// The files "STATIC/ZQIFIX00" .. "STATIC/ZQIFIX8F", each a flex container of 256 entries.
std::vector<GeneratedFile> FixedObjectFiles(uint32_t seed);

// The registered-object stream of each superchunk, in file-number order.
std::vector<std::string> RegisteredStreams(uint32_t seed);

// The IDENTITY text: first line "QUOREL7".
std::string IdentityText();

// STATIC/INITGAME.DAT: IDENTITY, ZQIREG00 .. ZQIREG8F, an empty entry, then "SCHEDULE.DATA".
std::string InitGameBytes(uint32_t seed);

}  // namespace zq::mkworld
