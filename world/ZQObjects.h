// The objects placed one by one: fixed objects (flex containers ZQIFIX00..8F, 4-byte items)
// and registered objects (record streams ZQIREG00..8F, 20-byte items), one list per chunk
// position. The loaders keep the records as raw bytes. Main thread only while loading;
// nothing reads the lists afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "world/ByteStream.h"
#include "world/Shapes.h"

namespace zq {

constexpr int32_t OBJECT_LISTS = 36864;  // one per chunk position
constexpr int32_t SUPERCHUNK_FILES = 144;
constexpr int32_t REG_ITEM_SIZE = 20;
constexpr int32_t REG_RECORD_MAX = REG_ITEM_SIZE - 1;  // record bytes kept per item

struct FixItem {
  uint8_t Bytes[4];
};
static_assert(sizeof(FixItem) == 4);

// Byte 0: the record's length L; bytes 1..: the record (bytes 3-4 hold the shape number).
struct RegItem {
  uint8_t Bytes[REG_ITEM_SIZE];
};
static_assert(sizeof(RegItem) == REG_ITEM_SIZE);

struct FixList {
  int32_t Count = 0;
  std::vector<FixItem> Items;
};

struct RegList {
  int32_t Count = 0;
  std::vector<RegItem> Items;
};

// List number of chunk position (cx, cy) of superchunk (sx, sy).
inline int32_t ObjectListIndex(int32_t sx, int32_t sy, int32_t cx, int32_t cy) {
  return ((sy * 12 + sx) * 16 + cy) * 16 + cx;
}

// prefix + the two upper-case hex digits of n, its file name matched case-insensitively in the
// prefix's directory ("00" for 0, "0A" for 10, "8F" for 143).
std::string SuperchunkFileName(const std::string& prefix, int32_t n);

// Fills all 36,864 lists (resized to that) from prefix + "00".."8F". An entry whose size is
// not a multiple of 4 keeps size div 4 items. Raises EInOutError naming the file.
void LoadFixed(const std::string& prefix, std::vector<FixList>& lists);

// Fills all 36,864 lists from the record streams prefix + "00".."8F"; `tfa` tells containers.
// A record longer than 19 bytes keeps its first 19. Raises EInOutError naming the file; lists
// filled so far stay.
void LoadRegistered(const std::string& prefix, const TfaTable& tfa, std::vector<RegList>& lists);

// Moves `file`, standing after a container record, past its nested records: length bytes
// and their bodies up to and including the first length byte 1.
void SkipContents(TByteStream& file);

}  // namespace zq
