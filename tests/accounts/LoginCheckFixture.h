// A login check on a fresh accounts file, with a real Argon2id hasher at the least cost that
// counts its slow calls (so tests say how many hashes a login cost), a clock the test sets,
// and helpers that add accounts and bans.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "accounts/BanList.h"
#include "accounts/LoginCheck.h"
#include "tests/support/TempDir.h"

namespace zq::test {

class CountingHasher : public TPasswordHasher {
 public:
  std::string Hash(std::string_view password) const override {
    ++Hashes;
    return real_.Hash(password);
  }
  bool Verify(const std::string& hash, std::string_view password) const override {
    ++Verifies;
    return real_.Verify(hash, password);
  }
  int Calls() const { return Hashes + Verifies; }

  mutable std::atomic<int> Hashes{0};
  mutable std::atomic<int> Verifies{0};

 private:
  TArgon2Hasher real_{TArgon2Hasher::Minimum()};
};

class LoginCheckFixture : public testing::Test {
 protected:
  explicit LoginCheckFixture(TAuthMode mode = TAuthMode::Open)
      : check_{store_, hasher_, limits_, mode} {}

  TLoginVerdict Login(const std::string& name, const std::string& password,
                      const std::string& address = "127.0.0.1") {
    return check_.Decide({name, password, address, ++serial_}, now_);
  }
  // Adds the account; its hash is not counted.
  void AddAccount(const std::string& name, const std::string& password, TPrivileges privileges,
                  const std::string& lastAddress = "") {
    TAccount account;
    account.Name = name;
    account.PasswordHash = password.empty() ? "" : hasher_.Hash(password);
    account.Privileges = privileges;
    account.LastAddress = lastAddress;
    ASSERT_TRUE(store_.Add(account));
    if (!password.empty()) --hasher_.Hashes;
  }
  void Ban(const std::string& target, std::optional<int64_t> expires = std::nullopt) {
    TBan ban;
    ban.Target = ParseBanTarget(target);
    ban.Expires = expires;
    ban.Reason = "test";
    store_.Bans().Add(ban);
  }

  TempDir dir_;
  TAccountStore store_{dir_ / "zqosrv.db"};
  CountingHasher hasher_;
  TLoginLimits limits_;
  TLoginCheck check_;
  int64_t now_ = 1'700'000'000;
  uint64_t serial_ = 0;
};

}  // namespace zq::test
