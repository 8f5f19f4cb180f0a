#include "server/admin/AdminAuth.h"

#include <cctype>

#include "server/admin/AdminToken.h"

namespace zq {

TAdminAuth::TAdminAuth(std::string token, std::function<int64_t()> clock)
    : token_(std::move(token)), clock_(std::move(clock)) {}

TAuthVerdict TAdminAuth::Check(const std::string& address, std::string_view authorization) {
  constexpr std::string_view SCHEME = "bearer ";  // the scheme's case does not matter
  auto isBearer = [&] {
    if (authorization.size() <= SCHEME.size()) return false;
    for (std::size_t i = 0; i < SCHEME.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(authorization[i])) != SCHEME[i]) return false;
    return true;
  };
  TAuthVerdict verdict;
  if (!isBearer())
    verdict.Result = TAuthResult::Missing;
  else if (!TokenMatches(token_, authorization.substr(SCHEME.size())))
    verdict.Result = TAuthResult::Wrong;
  else
    return verdict;  // the right token, blocked address or not
  const int64_t now = clock_();
  if (throttle_.Blocked(address, now)) return {TAuthResult::Blocked, false};
  throttle_.Failed(address, now);
  verdict.BlockedNow = throttle_.Blocked(address, now);
  return verdict;
}

}  // namespace zq
