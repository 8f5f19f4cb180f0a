// Flex container bytes: a 128-byte header (text title in bytes 0-83, the 32-bit entry count at
// 84, the rest zero), the table of (offset, size) records at 128, then the entries in order.
// Written apart from world/'s reader on purpose (see WorldGen.h); do not share code with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zq::mkworld {

constexpr std::size_t FLEX_TITLE_MAX = 84;
constexpr std::size_t FLEX_HEADER_SIZE = 128;

// The container holding `entries` in order; an empty entry gets size 0 and the offset where its
// data would start. `title` is cut to 83 characters and zero-padded.
std::string MakeFlex(const std::string& title, const std::vector<std::string>& entries);

// An INITGAME.DAT entry: `name` zero-padded to 13 bytes (cut to 13), then `content`.
std::string MakeNamedEntry(const std::string& name, const std::string& content);

// Little-endian appends.
void PutU16(std::string& out, uint16_t v);
void PutU32(std::string& out, uint32_t v);

}  // namespace zq::mkworld
