#include "platform/Files.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/Errors.h"

namespace zq {
namespace fs = std::filesystem;

namespace {

std::string SysError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

std::string MatchComponent(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::exists(dir / name, ec)) return name;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (strcasecmp(entry.c_str(), name.c_str()) == 0) return entry;
  }
  return name;
}

}  // namespace

std::string ResolvePath(const std::string& dir, const std::string& rel) {
  fs::path result = dir.empty() ? fs::path(".") : fs::path(dir);
  std::size_t start = 0;
  while (start <= rel.size()) {
    std::size_t slash = rel.find('/', start);
    std::string part =
        rel.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!part.empty()) result /= MatchComponent(result, part);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return result.string();
}

TBinaryFile TBinaryFile::OpenRead(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw EInOutError(SysError("Cannot open", path));
  return TBinaryFile(f, path);
}

TBinaryFile TBinaryFile::Create(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw EInOutError(SysError("Cannot create", path));
  return TBinaryFile(f, path);
}

TBinaryFile::TBinaryFile(TBinaryFile&& other) noexcept
    : f_(std::exchange(other.f_, nullptr)), path_(std::move(other.path_)) {}

TBinaryFile& TBinaryFile::operator=(TBinaryFile&& other) noexcept {
  if (this != &other) {
    if (f_) std::fclose(f_);
    f_ = std::exchange(other.f_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

TBinaryFile::~TBinaryFile() {
  if (f_) std::fclose(f_);
}

int64_t TBinaryFile::Size() {
  int64_t here = Position();
  if (std::fseek(f_, 0, SEEK_END) != 0) throw EInOutError(SysError("Cannot seek in", path_));
  int64_t size = Position();
  Seek(here);
  return size;
}

int64_t TBinaryFile::Position() {
  long pos = std::ftell(f_);
  if (pos < 0) throw EInOutError(SysError("Cannot tell position in", path_));
  return pos;
}

void TBinaryFile::Seek(int64_t pos) {
  if (pos < 0 || std::fseek(f_, static_cast<long>(pos), SEEK_SET) != 0)
    throw EInOutError("Cannot seek to " + std::to_string(pos) + " in " + path_);
}

void TBinaryFile::Read(void* dest, std::size_t n) {
  if (n == 0) return;
  std::size_t got = std::fread(dest, 1, n, f_);
  if (got != n) {
    if (std::ferror(f_)) throw EInOutError(SysError("Cannot read", path_));
    throw EInOutError("Read beyond end of file in " + path_ + " (file is shorter than expected)");
  }
}

uint8_t TBinaryFile::ReadByte() {
  uint8_t b;
  Read(&b, 1);
  return b;
}

void TBinaryFile::Write(const void* src, std::size_t n) {
  if (n != 0 && std::fwrite(src, 1, n, f_) != n) throw EInOutError(SysError("Cannot write", path_));
}

void TBinaryFile::Close() {
  if (!f_) return;
  int rc = std::fclose(std::exchange(f_, nullptr));
  if (rc != 0) throw EInOutError(SysError("Cannot close", path_));
}

TDirectory TDirectory::Open(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EInOutError(SysError("Cannot open directory", path));
  return TDirectory(fd, path.empty() || path.back() == '/' ? path : path + "/");
}

TDirectory::TDirectory(TDirectory&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

TDirectory& TDirectory::operator=(TDirectory&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

TDirectory::~TDirectory() {
  if (fd_ >= 0) ::close(fd_);
}

TBinaryFile TDirectory::CreateFile(const std::string& name) {
  const std::string path = path_ + name;
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos)
    throw EInOutError("Cannot create " + path + ": not a plain file name");
  constexpr int FLAGS = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(fd_, name.c_str(), FLAGS, 0644);
  if (fd < 0 && errno == EEXIST && ::unlinkat(fd_, name.c_str(), 0) == 0)
    fd = ::openat(fd_, name.c_str(), FLAGS, 0644);
  if (fd < 0) throw EInOutError(SysError("Cannot create", path));
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    throw EInOutError(SysError("Cannot create", path));
  }
  return TBinaryFile(f, path);
}

bool TDirectory::TryLock() {
  return ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

std::string MakeTempDirectory(const std::string& prefix) {
  std::string pattern = prefix + "XXXXXX";
  if (!::mkdtemp(pattern.data())) throw EInOutError(SysError("Cannot create", pattern));
  return pattern;
}

void RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
    throw EInOutError(SysError("Cannot rename " + from + " to", to));
}

std::string ReadExactly(const std::string& path, std::size_t size) {
  TBinaryFile f = TBinaryFile::OpenRead(path);
  std::string data(size, '\0');
  f.Read(data.data(), size);
  f.Close();
  return data;
}

}  // namespace zq
