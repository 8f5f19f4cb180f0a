#include "log/LogFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/Errors.h"
#include "platform/TextEscape.h"

namespace zq {
namespace {

constexpr mode_t LOG_FILE_MODE = 0640;  // the log names players and their addresses

std::string Format(const char* pattern) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[128];
  std::size_t n = std::strftime(text, sizeof text, pattern, &local);
  return std::string(text, n);
}

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " log file " + path + ": " + std::strerror(errno);
}

}  // namespace

TLogFileWriter::TLogFileWriter(const std::string& fileName)
    : logPath_((std::filesystem::current_path() / fileName).string()) {
  struct stat existing {};
  if (::stat(logPath_.c_str(), &existing) == 0) return;  // kept as it is, never truncated
  const int fd = Open();
  if (fd < 0) throw EInOutError(Failure("Cannot create", logPath_));
  const bool closed = ::close(fd) == 0;
  reserve_.Refill();
  if (!closed) throw EInOutError(Failure("Cannot close", logPath_));
}

int TLogFileWriter::Open() {
  const auto open = [&] {
    return ::open(logPath_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, LOG_FILE_MODE);
  };
  const int fd = open();
  if (fd >= 0 || errno != EMFILE || !reserve_.Release()) return fd;
  const int again = open();
  if (again < 0) {
    const int error = errno;
    reserve_.Refill();
    errno = error;
  }
  return again;
}

std::string TLogFileWriter::StampText(TLogDates dates) {
  return Format(dates == TLogDates::Iso ? "%Y-%m-%d %H:%M:%S" : "%x %X");
}

void TLogFileWriter::WriteLine(const std::string& message) {
  // Control characters (client text may carry them) are escaped: one event, one line.
  const std::string line = StampText(dates_) + " " + EscapeControl(message);
  AppendLine(line);
  if (lineCallback_) lineCallback_(line);
}

void TLogFileWriter::AppendLine(const std::string& line) {
  const int fd = Open();
  if (fd < 0) throw EInOutError(Failure("Cannot append to", logPath_));
  // One write: the line and its end arrive together, whoever else appends.
  const std::string record = line + "\r\n";
  ssize_t n;
  do n = ::write(fd, record.data(), record.size());
  while (n < 0 && errno == EINTR);
  int error = n < 0 ? errno : n != static_cast<ssize_t>(record.size()) ? ENOSPC : 0;
  if (::close(fd) != 0 && error == 0) error = errno;
  reserve_.Refill();
  if (error != 0) {
    errno = error;
    throw EInOutError(Failure("Cannot write", logPath_));
  }
}

}  // namespace zq
