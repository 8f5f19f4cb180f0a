#include "accounts/BanList.h"

#include "accounts/AccountStore.h"
#include "platform/Errors.h"

namespace zq {
namespace {

const char* const BAN_COLUMNS =
    "target, kind, first_address, last_address, reason, created, expires";
// Of several bans that apply, a permanent one, else the one that ends last.
const char* const LONGEST_FIRST = " ORDER BY expires IS NULL DESC, expires DESC LIMIT 1";

TBan ReadBan(const TStatement& row) {
  TBan ban;
  ban.Target.Text = row.Text(0);
  std::string kind = row.Text(1);
  ban.Target.Kind = kind == "address" ? TBanKind::Address
                    : kind == "range" ? TBanKind::Range
                                      : TBanKind::Name;
  if (ban.Target.Kind != TBanKind::Name)
    ban.Target.Range = ParseIpRange(ban.Target.Text).value_or(TIpRange{});
  ban.Reason = row.Text(4);
  ban.Created = row.Int(5);
  ban.Expires = row.OptionalInt(6);
  return ban;
}

}  // namespace

std::optional<TBanReading> ParseBanReading(std::string_view text) {
  if (text == "name") return TBanReading::Name;
  if (text == "address" || text == "range") return TBanReading::Address;
  return std::nullopt;
}

TBanTarget ParseBanTarget(std::string_view text, TBanReading reading) {
  TBanTarget target;
  if (reading != TBanReading::Name) {
    if (std::optional<TIpRange> range = ParseIpRange(text)) {
      target.Kind = range->Single() ? TBanKind::Address : TBanKind::Range;
      target.Text = range->Text();
      target.Range = *range;
      return target;
    }
    if (reading == TBanReading::Address)
      throw EConvertError("Invalid address or range \"" + std::string(text) + "\"");
    if (LooksLikeIpv4(text))
      throw EConvertError("Invalid IPv4 address or range \"" + std::string(text) + "\"");
    if (LooksLikeIpv6(text))
      throw EConvertError("Invalid IPv6 address or range \"" + std::string(text) + "\"");
  }
  if (std::string problem = AccountNameProblem(text); !problem.empty()) {
    throw EConvertError("Invalid name \"" + std::string(text) + "\": " + problem);
  }
  target.Text = text;
  return target;
}

std::string ConfirmationNeeded(const TBanTarget& target, std::string_view ownAddress) {
  if (target.Kind == TBanKind::Name) return {};
  const int least = target.Range.Ipv4 ? MIN_IPV4_PREFIX : MIN_IPV6_PREFIX;
  if (target.Range.PrefixLength < least)
    return target.Text + " has fewer than " + std::to_string(least) + " prefix bits";
  const std::optional<TIpAddress> own = ParseIpAddress(ownAddress);
  if (own && target.Range.Contains(*own))
    return target.Text + " holds your own address " + std::string(ownAddress);
  return {};
}

std::string_view BanKindName(TBanKind kind) {
  switch (kind) {
    case TBanKind::Address:
      return "address";
    case TBanKind::Range:
      return "range";
    case TBanKind::Name:
      break;
  }
  return "name";
}

TBan NewBan(TBanTarget target, std::string reason, std::optional<int64_t> seconds, int64_t now) {
  TBan ban{std::move(target), std::move(reason), now, std::nullopt};
  if (seconds) ban.Expires = now + *seconds;
  return ban;
}

void TBanList::Add(const TBan& ban) {
  auto guard = db_.Lock();
  TStatement insert(db_,
                    "INSERT INTO bans (target, kind, first_address, last_address, reason, created,"
                    " expires) VALUES (?, ?, ?, ?, ?, ?, ?)"
                    " ON CONFLICT (kind, target) DO UPDATE SET reason = excluded.reason,"
                    " created = excluded.created, expires = excluded.expires");
  insert.Bind(1, ban.Target.Text).Bind(2, BanKindName(ban.Target.Kind));
  if (ban.Target.Kind == TBanKind::Name) {
    insert.Bind(3, std::nullopt).Bind(4, std::nullopt);
  } else {
    insert.Bind(3, AddressKey(ban.Target.Range.First)).Bind(4, AddressKey(ban.Target.Range.Last));
  }
  insert.Bind(5, ban.Reason).Bind(6, ban.Created).Bind(7, ban.Expires).Run();
}

bool TBanList::Remove(const TBanTarget& target) {
  auto guard = db_.Lock();
  TStatement remove(db_, "DELETE FROM bans WHERE target = ? AND kind = ?");
  remove.Bind(1, target.Text).Bind(2, BanKindName(target.Kind)).Run();
  return db_.Changes() > 0;
}

std::vector<TBan> TBanList::List() {
  auto guard = db_.Lock();
  TStatement query(db_, (std::string("SELECT ") + BAN_COLUMNS +
                         " FROM bans ORDER BY kind != 'name', first_address, last_address, target")
                            .c_str());
  std::vector<TBan> bans;
  while (query.Step()) bans.push_back(ReadBan(query));
  return bans;
}

std::optional<TBan> TBanList::FindActive(const char* condition, int64_t time,
                                         const std::function<void(TStatement&)>& bindFirst) {
  auto guard = db_.Lock();
  TStatement query(db_, (std::string("SELECT ") + BAN_COLUMNS + " FROM bans WHERE " + condition +
                         " AND (expires IS NULL OR expires > ?2)" + LONGEST_FIRST)
                            .c_str());
  bindFirst(query);
  query.Bind(2, time);
  if (!query.Step()) return std::nullopt;
  return ReadBan(query);
}

std::optional<TBan> TBanList::FindForAddress(std::string_view address, int64_t time) {
  std::optional<TIpAddress> parsed = ParseIpAddress(address);
  if (!parsed) return std::nullopt;
  const std::string key = AddressKey(*parsed);
  return FindActive("kind != 'name' AND first_address <= ?1 AND ?1 <= last_address", time,
                    [&](TStatement& query) { query.Bind(1, key); });
}

std::optional<TBan> TBanList::FindForName(std::string_view name, int64_t time) {
  return FindActive("kind = 'name' AND target = ?1", time,
                    [&](TStatement& query) { query.Bind(1, name); });
}

}  // namespace zq
