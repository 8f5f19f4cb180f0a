#include "world/ZQObjects.h"

#include <cstring>

#include "platform/ByteOrder.h"
#include "platform/Files.h"
#include "world/FlexRead.h"
#include "world/ZQMaps.h"

namespace zq {

std::string SuperchunkFileName(const std::string& prefix, int32_t n) {
  static const char HEX[] = "0123456789ABCDEF";
  const std::string name = prefix + HEX[(n >> 4) & 15] + HEX[n & 15];
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ResolvePath(".", name);
  return ResolvePath(name.substr(0, slash + 1), name.substr(slash + 1));
}

void LoadFixed(const std::string& prefix, std::vector<FixList>& lists) {
  lists.resize(OBJECT_LISTS);
  std::string entry;
  for (int32_t sy = 0; sy < SUPERCHUNKS; ++sy) {
    for (int32_t sx = 0; sx < SUPERCHUNKS; ++sx) {
      TFlexReader reader(SuperchunkFileName(prefix, sy * SUPERCHUNKS + sx));
      for (int32_t cy = 0; cy < 16; ++cy) {
        for (int32_t cx = 0; cx < 16; ++cx) {
          FixList& list = lists[ObjectListIndex(sx, sy, cx, cy)];
          const int32_t s = reader.EntrySize();
          list.Count = 0;
          list.Items.clear();
          if (s != 0) {
            entry = reader.ReadEntry();  // checks the size against the file first
            list.Count = s / 4;
            list.Items.resize(static_cast<std::size_t>(list.Count));
            // An entry of 1 to 3 bytes holds no whole item: nothing to copy (and no array).
            if (!list.Items.empty())
              std::memcpy(list.Items.data(), entry.data(), list.Items.size() * sizeof(FixItem));
          }
          reader.NextEntry();
        }
      }
    }
  }
}

void SkipContents(TByteStream& file) {
  for (;;) {
    const uint8_t b = file.ReadByte();
    if (b == 1) return;
    file.Skip(b);
  }
}

void LoadRegistered(const std::string& prefix, const TfaTable& tfa, std::vector<RegList>& lists) {
  lists.resize(OBJECT_LISTS);
  uint8_t record[255];
  for (int32_t sy = 0; sy < SUPERCHUNKS; ++sy) {
    for (int32_t sx = 0; sx < SUPERCHUNKS; ++sx) {
      TByteStream file(SuperchunkFileName(prefix, sy * SUPERCHUNKS + sx));
      for (int32_t cy = 0; cy < 16; ++cy) {
        for (int32_t cx = 0; cx < 16; ++cx) {
          RegList& list = lists[ObjectListIndex(sx, sy, cx, cy)];
          list.Count = 0;
          list.Items.clear();
        }
      }
      int zeros = 0;
      while (zeros < CHUNK_ENTRIES) {
        const uint8_t len = file.ReadByte();
        if (len == 0) {
          ++zeros;
          continue;
        }
        if (len == 1) continue;
        file.Read(record, len);
        RegList& list = lists[ObjectListIndex(sx, sy, record[0] >> 4, record[1] >> 4)];
        RegItem item{};
        item.Bytes[0] = len;
        std::memcpy(&item.Bytes[1], record, len < REG_RECORD_MAX ? len : REG_RECORD_MAX);
        list.Items.push_back(item);
        list.Count = static_cast<int32_t>(list.Items.size());
        const uint16_t shape = LoadLE16(&item.Bytes[3]);
        if (IsContainer(tfa, shape) && len == 12 && (item.Bytes[5] != 0 || item.Bytes[6] != 0))
          SkipContents(file);
      }
      file.Close();
    }
  }
}

}  // namespace zq
