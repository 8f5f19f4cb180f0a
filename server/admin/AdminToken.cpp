#include "server/admin/AdminToken.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/Errors.h"

namespace zq {
namespace {

std::string Trimmed(std::string text) {
  const std::size_t end = text.find_last_not_of(" \t\r\n");
  text.erase(end == std::string::npos ? 0 : end + 1);
  const std::size_t begin = text.find_first_not_of(" \t");
  return begin == std::string::npos ? std::string() : text.substr(begin);
}

std::string Made(const std::string& path) {
  const std::string token = NewAdminToken();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) throw EInOutError("Cannot make " + path + ": " + std::strerror(errno));
  const std::string line = token + "\n";
  const bool written = ::fchmod(fd, 0600) == 0 &&
                       ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  const int error = errno;
  ::close(fd);
  if (!written) {
    ::unlink(path.c_str());
    throw EInOutError("Cannot write " + path + ": " + std::strerror(error));
  }
  return token;
}

}  // namespace

std::string NewAdminToken() {
  std::array<unsigned char, 32> bytes{};
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
    if (n < 0 && errno != EINTR)
      throw EInOutError(std::string("getrandom: ") + std::strerror(errno));
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  static const char* const HEX = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += HEX[b >> 4];
    token += HEX[b & 15];
  }
  return token;
}

bool TokenMatches(std::string_view expected, std::string_view given) {
  unsigned char differ = expected.size() == given.size() ? 0 : 1;
  for (std::size_t i = 0; i < expected.size(); ++i)
    differ |= static_cast<unsigned char>(expected[i] ^ (i < given.size() ? given[i] : 0));
  return differ == 0;
}

TAdminToken LoadAdminToken(const std::string& given, const std::string& gameDirectory) {
  TAdminToken result;
  if (!given.empty()) {
    if (given.size() < MIN_ADMIN_TOKEN_LEN)
      throw EConvertError("The admin token is " + std::to_string(given.size()) +
                          " characters long; it needs at least " +
                          std::to_string(MIN_ADMIN_TOKEN_LEN));
    result.Token = given;
    return result;
  }
  std::string dir = gameDirectory;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  result.Path = dir + ADMIN_TOKEN_FILE;
  struct stat info {};
  if (::stat(result.Path.c_str(), &info) != 0) {
    if (errno != ENOENT)
      throw EInOutError("Cannot read " + result.Path + ": " + std::strerror(errno));
    result.Token = Made(result.Path);
    result.Made = true;
    return result;
  }
  if ((info.st_mode & 077) != 0) {
    if (::chmod(result.Path.c_str(), 0600) != 0)
      throw EInOutError("Cannot make " + result.Path + " private: " + std::strerror(errno));
    result.Tightened = true;
  }
  std::ifstream in(result.Path);
  std::string line;
  if (!in || !std::getline(in, line)) line.clear();
  result.Token = Trimmed(line);
  if (result.Token.size() < MIN_ADMIN_TOKEN_LEN)
    throw EInOutError(result.Path + " holds no admin token of at least " +
                      std::to_string(MIN_ADMIN_TOKEN_LEN) +
                      " characters; remove it to have one made");
  return result;
}

}  // namespace zq
