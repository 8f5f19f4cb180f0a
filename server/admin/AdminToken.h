// The admin API's token: the one given (command line or configuration), or the one kept in
// ADMIN_TOKEN_FILE in the game directory, which the first start makes (mode 0600, 64 hex
// digits from the kernel's random source). Main thread.
#pragma once

#include <string>
#include <string_view>

namespace zq {

constexpr const char* ADMIN_TOKEN_FILE = "zqosrv-admin.token";
constexpr std::size_t MIN_ADMIN_TOKEN_LEN = 16;

struct TAdminToken {
  std::string Token;
  std::string Path;        // the file's path; empty for a given token
  bool Made = false;       // the file was made now
  bool Tightened = false;  // others could read the file; its mode is 0600 now
};

// Raises EConvertError for a given token shorter than MIN_ADMIN_TOKEN_LEN, and EInOutError
// naming the file when it cannot be made or read, or holds no token that long.
TAdminToken LoadAdminToken(const std::string& given, const std::string& gameDirectory);

// 32 random bytes in hex.
std::string NewAdminToken();

// Compares in time that does not depend on where the texts differ.
bool TokenMatches(std::string_view expected, std::string_view given);

}  // namespace zq
