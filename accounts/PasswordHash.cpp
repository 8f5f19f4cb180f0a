#include "accounts/PasswordHash.h"

#include <sodium.h>

#include <stdexcept>

namespace zq {

TArgon2Hasher::TLimits TArgon2Hasher::Interactive() {
  return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

TArgon2Hasher::TLimits TArgon2Hasher::Moderate() {
  return {2, 19u << 20};
}

TArgon2Hasher::TLimits TArgon2Hasher::Minimum() {
  return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

TArgon2Hasher::TArgon2Hasher(TLimits limits) : limits_(limits) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
}

std::string TArgon2Hasher::Hash(std::string_view password) const {
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(hash, password.data(), password.size(), limits_.Operations,
                            limits_.Memory, crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw std::runtime_error("out of memory for a password hash");
  }
  return hash;
}

bool TArgon2Hasher::Verify(const std::string& hash, std::string_view password) const {
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
  char terminated[crypto_pwhash_STRBYTES] = {};
  hash.copy(terminated, hash.size());
  return crypto_pwhash_str_verify(terminated, password.data(), password.size()) == 0;
}

}  // namespace zq
