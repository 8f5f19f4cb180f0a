#include "accounts/BanList.h"

#include "accounts/AccountStore.h"
#include "accounts/Ipv4.h"
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
  ban.Target.First = static_cast<uint32_t>(row.Int(2));
  ban.Target.Last = static_cast<uint32_t>(row.Int(3));
  ban.Reason = row.Text(4);
  ban.Created = row.Int(5);
  ban.Expires = row.OptionalInt(6);
  return ban;
}

}  // namespace

TBanTarget ParseBanTarget(std::string_view text) {
  TBanTarget target;
  if (LooksLikeIpv4(text)) {
    std::optional<TIpv4Range> range;
    if (std::optional<uint32_t> address = ParseIpv4(text)) {
      range = TIpv4Range{*address, *address, 32};
    } else {
      range = ParseIpv4Range(text);
    }
    if (!range) {
      throw EConvertError("Invalid IPv4 address or range \"" + std::string(text) + "\"");
    }
    target.Kind = range->PrefixLength == 32 ? TBanKind::Address : TBanKind::Range;
    target.Text = range->PrefixLength == 32 ? FormatIpv4(range->First) : range->Text();
    target.First = range->First;
    target.Last = range->Last;
    return target;
  }
  if (std::string problem = AccountNameProblem(text); !problem.empty()) {
    throw EConvertError("Invalid name \"" + std::string(text) + "\": " + problem);
  }
  target.Text = text;
  return target;
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
                    " ON CONFLICT (target) DO UPDATE SET reason = excluded.reason,"
                    " created = excluded.created, expires = excluded.expires");
  bool isName = ban.Target.Kind == TBanKind::Name;
  insert.Bind(1, ban.Target.Text)
      .Bind(2, BanKindName(ban.Target.Kind))
      .Bind(3, isName ? std::nullopt : std::optional<int64_t>(ban.Target.First))
      .Bind(4, isName ? std::nullopt : std::optional<int64_t>(ban.Target.Last))
      .Bind(5, ban.Reason)
      .Bind(6, ban.Created)
      .Bind(7, ban.Expires)
      .Run();
}

bool TBanList::Remove(const TBanTarget& target) {
  auto guard = db_.Lock();
  TStatement remove(db_, "DELETE FROM bans WHERE target = ?");
  remove.Bind(1, target.Text).Run();
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
  std::optional<uint32_t> number = ParseIpv4(address);
  if (!number) return std::nullopt;
  return FindActive("kind != 'name' AND first_address <= ?1 AND ?1 <= last_address", time,
                    [&](TStatement& query) { query.Bind(1, static_cast<int64_t>(*number)); });
}

std::optional<TBan> TBanList::FindForName(std::string_view name, int64_t time) {
  return FindActive("kind = 'name' AND target = ?1", time,
                    [&](TStatement& query) { query.Bind(1, name); });
}

}  // namespace zq
