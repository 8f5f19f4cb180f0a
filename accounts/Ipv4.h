// IPv4 addresses in dotted decimal and ranges in CIDR form ("10.0.0.0/8"), as numbers in
// host order so that a range is the interval [First, Last]. Pure functions: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zq {

// Exactly four decimal parts of 0 to 255 without leading zeros; empty otherwise.
std::optional<uint32_t> ParseIpv4(std::string_view text);
std::string FormatIpv4(uint32_t address);

struct TIpv4Range {
  uint32_t First = 0;
  uint32_t Last = 0;
  int PrefixLength = 32;

  bool Contains(uint32_t address) const { return First <= address && address <= Last; }
  // "a.b.c.d/n" with the host bits cleared.
  std::string Text() const;
};

// "a.b.c.d/n" with n from 0 to 32. Host bits set in the address are cleared: "10.1.2.3/8"
// is the range 10.0.0.0 to 10.255.255.255.
std::optional<TIpv4Range> ParseIpv4Range(std::string_view text);

// True for text made only of digits, dots and slashes with at least one dot or slash: what
// someone meant as an address or range, whether or not it is a valid one.
bool LooksLikeIpv4(std::string_view text);

}  // namespace zq
