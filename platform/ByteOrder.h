// Little-endian byte order, the one used on the wire and in the installation's files:
// appenders for composing byte strings and readers of a value at an offset the caller has
// checked. Plain functions, any thread.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>

namespace zq {

inline void PutU8(std::string& s, uint8_t v) {
  s.push_back(static_cast<char>(v));
}
inline void PutU16(std::string& s, uint16_t v) {
  PutU8(s, static_cast<uint8_t>(v));
  PutU8(s, static_cast<uint8_t>(v >> 8));
}
inline void PutU32(std::string& s, uint32_t v) {
  PutU16(s, static_cast<uint16_t>(v));
  PutU16(s, static_cast<uint16_t>(v >> 16));
}
inline void PutU64(std::string& s, uint64_t v) {
  PutU32(s, static_cast<uint32_t>(v));
  PutU32(s, static_cast<uint32_t>(v >> 32));
}
inline void PutF64(std::string& s, double v) {
  PutU64(s, std::bit_cast<uint64_t>(v));
}
inline void PutF32(std::string& s, float v) {
  PutU32(s, std::bit_cast<uint32_t>(v));
}

inline uint16_t LoadLE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LoadLE32(const uint8_t* p) {
  return LoadLE16(p) | static_cast<uint32_t>(LoadLE16(p + 2)) << 16;
}

inline uint8_t GetU8(std::string_view s, std::size_t at) {
  return static_cast<uint8_t>(s[at]);
}
inline uint16_t GetU16(std::string_view s, std::size_t at) {
  return LoadLE16(reinterpret_cast<const uint8_t*>(s.data() + at));
}
inline uint32_t GetU32(std::string_view s, std::size_t at) {
  return LoadLE32(reinterpret_cast<const uint8_t*>(s.data() + at));
}
inline uint64_t GetU64(std::string_view s, std::size_t at) {
  return GetU32(s, at) | static_cast<uint64_t>(GetU32(s, at + 4)) << 32;
}
inline double GetF64(std::string_view s, std::size_t at) {
  return std::bit_cast<double>(GetU64(s, at));
}
inline float GetF32(std::string_view s, std::size_t at) {
  return std::bit_cast<float>(GetU32(s, at));
}

}  // namespace zq
