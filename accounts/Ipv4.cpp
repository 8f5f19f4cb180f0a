#include "accounts/Ipv4.h"

#include <arpa/inet.h>

#include <charconv>

namespace zq {

std::optional<uint32_t> ParseIpv4(std::string_view text) {
  if (text.size() > 15) return std::nullopt;
  std::string copy(text);  // inet_pton needs a terminated string
  in_addr address{};
  if (inet_pton(AF_INET, copy.c_str(), &address) != 1) return std::nullopt;
  return ntohl(address.s_addr);
}

std::string FormatIpv4(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string TIpv4Range::Text() const {
  return FormatIpv4(First) + "/" + std::to_string(PrefixLength);
}

std::optional<TIpv4Range> ParseIpv4Range(std::string_view text) {
  std::size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::optional<uint32_t> address = ParseIpv4(text.substr(0, slash));
  std::string_view prefix = text.substr(slash + 1);
  if (!address || prefix.empty() || prefix.size() > 2) return std::nullopt;
  int length = 0;
  auto [end, error] = std::from_chars(prefix.data(), prefix.data() + prefix.size(), length);
  if (error != std::errc() || end != prefix.data() + prefix.size() || length > 32) {
    return std::nullopt;
  }
  uint32_t hostBits = length == 0 ? 0xFFFFFFFFu : (length == 32 ? 0u : 0xFFFFFFFFu >> length);
  TIpv4Range range;
  range.First = *address & ~hostBits;
  range.Last = range.First | hostBits;
  range.PrefixLength = length;
  return range;
}

bool LooksLikeIpv4(std::string_view text) {
  bool separator = false;
  for (char c : text) {
    if (c == '.' || c == '/') {
      separator = true;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return separator;
}

}  // namespace zq
