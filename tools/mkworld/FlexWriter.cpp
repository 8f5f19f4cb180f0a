#include "tools/mkworld/FlexWriter.h"

#include <algorithm>

namespace zq::mkworld {

void PutU16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void PutU32(std::string& out, uint32_t v) {
  PutU16(out, static_cast<uint16_t>(v & 0xFFFF));
  PutU16(out, static_cast<uint16_t>(v >> 16));
}

std::string MakeFlex(const std::string& title, const std::vector<std::string>& entries) {
  std::size_t total = FLEX_HEADER_SIZE + 8 * entries.size();
  for (const std::string& e : entries) total += e.size();

  std::string out;
  out.reserve(total);
  out.append(title, 0, std::min(title.size(), FLEX_TITLE_MAX - 1));
  out.resize(FLEX_TITLE_MAX, '\0');
  PutU32(out, static_cast<uint32_t>(entries.size()));
  out.resize(FLEX_HEADER_SIZE, '\0');

  uint32_t offset = static_cast<uint32_t>(FLEX_HEADER_SIZE + 8 * entries.size());
  for (const std::string& e : entries) {
    PutU32(out, offset);
    PutU32(out, static_cast<uint32_t>(e.size()));
    offset += static_cast<uint32_t>(e.size());
  }
  for (const std::string& e : entries) out += e;
  return out;
}

std::string MakeNamedEntry(const std::string& name, const std::string& content) {
  std::string out = name.substr(0, 13);
  out.resize(13, '\0');
  return out + content;
}

}  // namespace zq::mkworld
