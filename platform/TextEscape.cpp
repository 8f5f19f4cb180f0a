#include "platform/TextEscape.h"

namespace zq {

std::string EscapeControl(std::string_view text) {
  static constexpr char HEX[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out.push_back(c);
      continue;
    }
    out += "\\x";
    out.push_back(HEX[b >> 4]);
    out.push_back(HEX[b & 0xF]);
  }
  return out;
}

}  // namespace zq
