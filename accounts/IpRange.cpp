#include "accounts/IpRange.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace zq {
namespace {

constexpr std::size_t MAPPED_PREFIX_BYTES = 12;  // ::ffff: before the IPv4 address
constexpr int MAPPED_PREFIX_BITS = 96;

bool IsMapped(const TIpAddress& address) {
  for (std::size_t i = 0; i < 10; ++i)
    if (address[i] != 0) return false;
  return address[10] == 0xFF && address[11] == 0xFF;
}

TIpAddress Mapped(const in_addr& v4) {
  TIpAddress address{};
  address[10] = address[11] = 0xFF;
  std::memcpy(address.data() + MAPPED_PREFIX_BYTES, &v4.s_addr, 4);
  return address;
}

// Parses one address; `ipv4` tells which way it was written (a mapped IPv6 one counts as
// IPv4).
std::optional<TIpAddress> ParseOne(std::string_view text, bool& ipv4) {
  if (text.size() >= INET6_ADDRSTRLEN) return std::nullopt;
  const std::string copy(text);  // inet_pton needs a terminated string
  in_addr v4{};
  if (inet_pton(AF_INET, copy.c_str(), &v4) == 1) {
    ipv4 = true;
    return Mapped(v4);
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, copy.c_str(), &v6) != 1) return std::nullopt;
  TIpAddress address;
  std::memcpy(address.data(), v6.s6_addr, address.size());
  ipv4 = IsMapped(address);
  return address;
}

}  // namespace

std::optional<TIpAddress> ParseIpAddress(std::string_view text) {
  bool ipv4 = false;
  return ParseOne(text, ipv4);
}

std::string TIpRange::Text() const {
  char text[INET6_ADDRSTRLEN] = "";
  if (Ipv4) {
    inet_ntop(AF_INET, First.data() + MAPPED_PREFIX_BYTES, text, sizeof text);
  } else {
    inet_ntop(AF_INET6, First.data(), text, sizeof text);
  }
  return Single() ? std::string(text) : std::string(text) + "/" + std::to_string(PrefixLength);
}

std::optional<TIpRange> ParseIpRange(std::string_view text) {
  const std::size_t slash = text.find('/');
  TIpRange range;
  std::optional<TIpAddress> address = ParseOne(text.substr(0, slash), range.Ipv4);
  if (!address) return std::nullopt;
  // Bits of the 128-bit address that the prefix fixes.
  int bits = 128;
  if (slash != std::string_view::npos) {
    const std::string_view prefix = text.substr(slash + 1);
    int length = -1;
    auto [end, error] = std::from_chars(prefix.data(), prefix.data() + prefix.size(), length);
    const bool ipv4Text = text.substr(0, slash).find(':') == std::string_view::npos;
    const int most = ipv4Text ? 32 : 128;
    if (prefix.empty() || prefix.size() > 3 || error != std::errc() ||
        end != prefix.data() + prefix.size() || length < 0 || length > most) {
      return std::nullopt;
    }
    bits = ipv4Text ? MAPPED_PREFIX_BITS + length : length;
    // A mapped address with a prefix shorter than the mapping is an IPv6 range.
    if (range.Ipv4 && bits < MAPPED_PREFIX_BITS) range.Ipv4 = false;
  }
  range.PrefixLength = range.Ipv4 ? bits - MAPPED_PREFIX_BITS : bits;
  range.First = range.Last = *address;
  for (int byte = 0; byte < 16; ++byte) {
    const int fixed = std::max(0, std::min(8, bits - byte * 8));  // bits of this byte kept
    const auto hostMask = static_cast<uint8_t>(fixed == 8 ? 0 : 0xFF >> fixed);
    range.First[static_cast<std::size_t>(byte)] &= static_cast<uint8_t>(~hostMask);
    range.Last[static_cast<std::size_t>(byte)] |= hostMask;
  }
  return range;
}

std::string AddressKey(const TIpAddress& address) {
  static constexpr char HEX[] = "0123456789abcdef";
  std::string key;
  key.reserve(32);
  for (uint8_t b : address) {
    key.push_back(HEX[b >> 4]);
    key.push_back(HEX[b & 0xF]);
  }
  return key;
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

bool LooksLikeIpv6(std::string_view text) {
  int colons = 0;
  for (char c : text) {
    if (c == ':') {
      ++colons;
    } else if (c != '.' && c != '/' && !std::isxdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return colons >= 2;
}

bool ReadsAsAddress(std::string_view text) {
  return LooksLikeIpv4(text) || LooksLikeIpv6(text);
}

}  // namespace zq
