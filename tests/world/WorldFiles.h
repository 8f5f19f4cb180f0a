// Raw bytes of world files for the world tests: flex containers, little-endian numbers, and a
// full set of per-superchunk files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "tests/support/ErrorText.h"
#include "tests/support/TempDir.h"

namespace zq::test {

inline std::string LE16(uint16_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

inline std::string LE32(uint32_t v) {
  return LE16(v & 0xFFFF) + LE16(v >> 16);
}

struct FlexRecord {
  int32_t offset;
  int32_t size;
};

// A container with `count` at 84 and the given raw table records, followed by `tail`.
inline std::string FlexRaw(int32_t count, const std::vector<FlexRecord>& records,
                           const std::string& tail = "") {
  std::string out(84, 'h');
  out += LE32(static_cast<uint32_t>(count));
  out += std::string(40, 'x');
  for (const auto& r : records) out += LE32(r.offset) + LE32(r.size);
  return out + tail;
}

// A well-formed container holding `entries` in order, data after the table.
inline std::string Flex(const std::vector<std::string>& entries) {
  std::vector<FlexRecord> records;
  std::string data;
  const int32_t base = 128 + 8 * static_cast<int32_t>(entries.size());
  for (const auto& e : entries) {
    records.push_back({base + static_cast<int32_t>(data.size()), static_cast<int32_t>(e.size())});
    data += e;
  }
  return FlexRaw(static_cast<int32_t>(entries.size()), records, data);
}

// An INITGAME.DAT entry: the name field (zero-padded to 13 bytes), then the content.
inline std::string Named(std::string field, const std::string& content) {
  field.resize(13, '\0');
  return field + content;
}

inline std::string HexName(int n) {
  static const char HEX[] = "0123456789ABCDEF";
  return std::string{HEX[n >> 4], HEX[n & 15]};
}

// Writes dir/<base>00..8F, file n holding make(n).
template <typename Make>
void WriteSuperchunkFiles(const std::string& dir, const std::string& base, Make make) {
  for (int n = 0; n < 144; ++n) WriteFile(dir + "/" + base + HexName(n), make(n));
}

}  // namespace zq::test
