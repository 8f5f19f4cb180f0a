#include "accounts/NameText.h"

#include <cstdint>

namespace zq {
namespace {

// The length of the valid UTF-8 sequence at `at`, or 0 when its first byte begins none.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[at + i]); };
  const uint8_t lead = byte(0);
  std::size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ShowName(std::string_view name) {
  static constexpr char HEX[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const auto b = static_cast<uint8_t>(name[i]);
    const std::size_t length = Utf8Length(name, i);
    if (b == '\\') {
      shown += "\\\\";
    } else if (length == 0 || b < 0x20 || b == 0x7F) {
      shown += "\\x";
      shown.push_back(HEX[b >> 4]);
      shown.push_back(HEX[b & 0xF]);
    } else {
      shown.append(name.substr(i, length));
      i += length;
      continue;
    }
    ++i;
  }
  return shown;
}

std::string ReadName(std::string_view text) {
  std::string name;
  name.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
      name.push_back('\\');
      ++i;
    } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
               HexValue(text[i + 2]) >= 0 && HexValue(text[i + 3]) >= 0) {
      name.push_back(static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3])));
      i += 3;
    } else {
      name.push_back(text[i]);
    }
  }
  return name;
}

}  // namespace zq
