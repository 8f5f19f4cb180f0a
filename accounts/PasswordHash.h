// Password hashes: Argon2id strings from libsodium (crypto_pwhash_str), which carry their
// own salt and limits. Hashing is slow by design (tens of milliseconds and 64 MiB with the
// interactive limits): run it on a login worker, never on the main or the game thread.
// A password is never logged or shown.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zq {

// What hashes and checks passwords; tests put a slow or counting one in its place.
// Any thread, at once.
class TPasswordHasher {
 public:
  virtual ~TPasswordHasher() = default;
  virtual std::string Hash(std::string_view password) const = 0;
  // False for a wrong password and for a hash that is not one this hasher reads.
  virtual bool Verify(const std::string& hash, std::string_view password) const = 0;
};

class TArgon2Hasher : public TPasswordHasher {
 public:
  struct TLimits {
    unsigned long long Operations;
    std::size_t Memory;  // bytes
  };
  static TLimits Interactive();  // libsodium's interactive limits
  // 19 MiB and 2 passes: about a quarter of the interactive cost, so a burst of logins is
  // checked within seconds. New passwords are hashed with these; a hash keeps its own.
  static TLimits Moderate();
  static TLimits Minimum();  // the least libsodium allows: for tests only

  explicit TArgon2Hasher(TLimits limits = Interactive());
  // Raises std::runtime_error when the memory for the hash cannot be had.
  std::string Hash(std::string_view password) const override;
  bool Verify(const std::string& hash, std::string_view password) const override;

 private:
  TLimits limits_;
};

}  // namespace zq
