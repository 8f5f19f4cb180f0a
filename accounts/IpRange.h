// IP addresses and ranges of both families in one 128-bit space, where an IPv4 address is its
// IPv4-mapped IPv6 address (::ffff:a.b.c.d), so that one interval test covers both. They are
// written as dotted IPv4 ("192.0.2.7", "10.0.0.0/8") or as IPv6 ("2001:db8::7",
// "2001:db8::/32"). Pure functions: any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zq {

// In network order: the first byte is the most significant.
using TIpAddress = std::array<uint8_t, 16>;

// Dotted IPv4 (exactly four decimal parts of 0 to 255 without leading zeros) or IPv6 as
// inet_pton reads it; empty otherwise. An IPv4-mapped IPv6 address is that IPv4 address.
std::optional<TIpAddress> ParseIpAddress(std::string_view text);

struct TIpRange {
  TIpAddress First{};
  TIpAddress Last{};
  int PrefixLength = 128;  // of its own family: up to 32 for IPv4
  bool Ipv4 = false;

  bool Contains(const TIpAddress& address) const { return First <= address && address <= Last; }
  // One address: all the bits of its family.
  bool Single() const { return PrefixLength == (Ipv4 ? 32 : 128); }
  // "a.b.c.d" or "a.b.c.d/n"; "2001:db8::7" or "2001:db8::/n" as inet_ntop writes it.
  std::string Text() const;
};

// An address (a range of itself) or "address/n", n up to 32 for IPv4 and 128 for IPv6.
// Host bits set in the address are cleared: "10.1.2.3/8" is 10.0.0.0 to 10.255.255.255. An
// IPv6 range of 96 bits or more inside ::ffff:0:0/96 is the IPv4 range it maps.
std::optional<TIpRange> ParseIpRange(std::string_view text);

// 32 hexadecimal digits in lower case: compared as text, addresses order as numbers do.
std::string AddressKey(const TIpAddress& address);

// True for text made only of digits, dots and slashes with at least one dot or slash: what
// someone meant as an IPv4 address or range, whether or not it is a valid one.
bool LooksLikeIpv4(std::string_view text);

// True for text made only of hexadecimal digits, colons, dots and slashes with at least two
// colons: what someone meant as an IPv6 address or prefix.
bool LooksLikeIpv6(std::string_view text);

// Text that looks like an IPv4 or an IPv6 address or range (every valid one does): what a
// ban target without a kind is read as.
bool ReadsAsAddress(std::string_view text);

}  // namespace zq
