// A real Argon2id hasher at the least cost that counts its slow calls, for tests that say how
// many hashes a login cost.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "accounts/PasswordHash.h"

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

}  // namespace zq::test
