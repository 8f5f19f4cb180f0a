// TAdminAuth: the admin API's check of "Authorization: Bearer TOKEN", with wrong ones slowed
// per address: the fifth wrong or missing token within a minute blocks the address for a
// minute, during which its wrong and missing tokens are refused unchecked. The right token
// is never refused: whoever shares the address (a web page sending token-less posts, every
// client behind a proxy) cannot lock the admin out. Main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "accounts/LoginThrottle.h"

namespace zq {

enum class TAuthResult { Ok, Missing, Wrong, Blocked };

struct TAuthVerdict {
  TAuthResult Result = TAuthResult::Ok;
  bool BlockedNow = false;  // this failure blocked the address
};

class TAdminAuth {
 public:
  // `clock` gives Unix seconds (tests pass their own).
  TAdminAuth(std::string token, std::function<int64_t()> clock);

  // `authorization` is the request's Authorization header (empty: none).
  TAuthVerdict Check(const std::string& address, std::string_view authorization);

  static constexpr int64_t BLOCK_SECONDS = TLoginThrottle::BLOCK_SECONDS;
  static constexpr int FAILURES = TLoginThrottle::FAILURES;

 private:
  std::string token_;
  std::function<int64_t()> clock_;
  TLoginThrottle throttle_;
};

}  // namespace zq
