#include "log/LogFileWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/Errors.h"
#include "platform/TextEscape.h"

namespace zq {
namespace {

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

std::string TLogFileWriter::DateText() {
  return Format("%x");
}
std::string TLogFileWriter::TimeText() {
  return Format("%X");
}

TLogFileWriter::TLogFileWriter(const std::string& fileName)
    : logPath_((std::filesystem::current_path() / fileName).string()) {
  if (std::FILE* existing = std::fopen(logPath_.c_str(), "rb")) {
    std::fclose(existing);
    return;
  }
  std::FILE* created = std::fopen(logPath_.c_str(), "wb");
  if (!created) throw EInOutError(Failure("Cannot create", logPath_));
  if (std::fclose(created) != 0) throw EInOutError(Failure("Cannot close", logPath_));
}

void TLogFileWriter::WriteLine(const std::string& message) {
  std::string date = DateText();
  std::string time = TimeText();
  // Control characters (client text may carry them) are escaped: one event, one line.
  std::string line = date + " " + time + " " + EscapeControl(message);
  std::FILE* f = std::fopen(logPath_.c_str(), "ab");
  if (!f) throw EInOutError(Failure("Cannot append to", logPath_));
  bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size() &&
                 std::fwrite("\r\n", 1, 2, f) == 2;
  if (std::fclose(f) != 0 || !written) throw EInOutError(Failure("Cannot write", logPath_));
  if (lineCallback_) lineCallback_(line);
}

}  // namespace zq
