// TBanList: bans by account name, by IPv4 address or by IPv4 range (CIDR), each with a
// reason and an optional expiry, kept in the accounts file. The checks answer whether a
// name or an address is banned at a given time, with the ban that applies.
// Any thread: calls are serialised with the accounts'. Failures raise EInOutError.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/AccountDb.h"

namespace zq {

enum class TBanKind { Name, Address, Range };

struct TBanTarget {
  TBanKind Kind = TBanKind::Name;
  // The name, "a.b.c.d" or "a.b.c.d/n" (host bits cleared); bans are keyed by it, names
  // without regard to letter case.
  std::string Text;
  uint32_t First = 0;  // Address and Range: the addresses covered, in host order
  uint32_t Last = 0;
};

// "name", "address" or "range", as the file and the listings write the kind.
std::string_view BanKindName(TBanKind kind);

// Text that looks like an IPv4 address or range (digits, dots, a slash) is one: a /32
// range is the address. Anything else is a name. Raises EConvertError, naming the text, for
// an invalid address or range and for a name that AccountNameProblem refuses.
TBanTarget ParseBanTarget(std::string_view text);

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

  // Adds the ban; a ban on the same target is replaced by it.
  void Add(const TBan& ban);
  // False when the target has no ban.
  bool Remove(const TBanTarget& target);
  // Every ban, expired ones too: names first, then by address.
  std::vector<TBan> List();

  // The ban in force at `time` on this address (dotted IPv4; any other text has none), or on
  // a range holding it. Of several, the one that lasts longest.
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
