// TBanList: bans by account name, by IP address or by IP range (CIDR; IPv4 and IPv6), each
// with a reason and an optional expiry, kept in the accounts file. The checks answer whether
// a name or an address is banned at a given time, with the ban that applies. A name ban and
// an address ban of the same text are two bans.
// Any thread: calls are serialised with the accounts'. Failures raise EInOutError.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/AccountDb.h"
#include "accounts/IpRange.h"

namespace zq {

enum class TBanKind { Name, Address, Range };

struct TBanTarget {
  TBanKind Kind = TBanKind::Name;
  // The name (its bytes), or the address or range as TIpRange::Text writes it; bans are keyed
  // by kind and text, names without regard to the letter case of A to Z.
  std::string Text;
  TIpRange Range;  // Address and Range: the addresses covered
};

// "name", "address" or "range", as the file and the listings write the kind.
std::string_view BanKindName(TBanKind kind);

// How a target text is read: Any as it looks (below), Name as a name whatever it looks
// like, Address as an address or range only.
enum class TBanReading { Any, Name, Address };
// "name"; "address" or "range" (the same reading); empty for anything else.
std::optional<TBanReading> ParseBanReading(std::string_view text);

// The target `text` stands for. Read as Any, an address or range (IPv4 or IPv6) is one, a /32
// (or /128) range being the address; other text that looks like one (LooksLikeIpv4,
// LooksLikeIpv6) is an invalid address or range; anything else is a name. Raises EConvertError,
// naming the text, for an invalid address or range and for a name that AccountNameProblem refuses.
TBanTarget ParseBanTarget(std::string_view text, TBanReading reading = TBanReading::Any);

// Ranges shorter than this many prefix bits ban too much to be given by mistake.
constexpr int MIN_IPV4_PREFIX = 8;
constexpr int MIN_IPV6_PREFIX = 16;
// Empty when banning `target` needs no confirmation; else why it does ("0.0.0.0/0 has fewer
// than 8 prefix bits", "127.0.0.0/8 holds your own address 127.0.0.1"): a range shorter
// than the least prefix of its family, or one holding `ownAddress` (the banning admin's, when
// it is known). Names never need one.
std::string ConfirmationNeeded(const TBanTarget& target, std::string_view ownAddress = {});

struct TBan {
  TBanTarget Target;
  std::string Reason;  // may be empty
  int64_t Created = 0;
  std::optional<int64_t> Expires;  // Unix seconds; empty: never

  // In force at `time`: up to, not including, its expiry.
  bool ActiveAt(int64_t time) const { return !Expires || time < *Expires; }
};

// A ban made at `now` that lasts `seconds` (empty: for good).
TBan NewBan(TBanTarget target, std::string reason, std::optional<int64_t> seconds, int64_t now);

class TBanList {
 public:
  explicit TBanList(TAccountDb& db) : db_(db) {}

  // Adds the ban; a ban on the same target (kind and text) is replaced by it.
  void Add(const TBan& ban);
  // False when the target has no ban.
  bool Remove(const TBanTarget& target);
  // Every ban, expired ones too: names first, then by address.
  std::vector<TBan> List();

  // The ban in force at `time` on this address (IPv4 or IPv6; any other text has none), or
  // on a range holding it. Of several, the one that lasts longest.
  std::optional<TBan> FindForAddress(std::string_view address, int64_t time);
  // The ban in force at `time` on this name, without regard to letter case.
  std::optional<TBan> FindForName(std::string_view name, int64_t time);

 private:
  // The longest ban in force at `time` (parameter 2) among those matching `condition`, whose
  // own parameter `bindFirst` binds as parameter 1.
  std::optional<TBan> FindActive(const char* condition, int64_t time,
                                 const std::function<void(TStatement&)>& bindFirst);

  TAccountDb& db_;
};

}  // namespace zq
