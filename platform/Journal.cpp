#include "platform/Journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zq {
namespace {

// "<device>:<inode>", both decimal, nothing around them.
bool ParsePair(const char* text, unsigned long long& device, unsigned long long& inode) {
  if (!text || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  device = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != ':' || end[1] < '0' || end[1] > '9') return false;
  inode = std::strtoull(end + 1, &end, 10);
  return errno == 0 && *end == '\0';
}

}  // namespace

bool IsJournalStream(int fd, const char* journalStream) {
  unsigned long long device = 0, inode = 0;
  if (!ParsePair(journalStream, device, inode)) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  return static_cast<unsigned long long>(st.st_dev) == device &&
         static_cast<unsigned long long>(st.st_ino) == inode;
}

bool StdoutIsJournal() {
  static const bool journal = IsJournalStream(STDOUT_FILENO, std::getenv("JOURNAL_STREAM"));
  return journal;
}

bool StderrIsJournal() {
  static const bool journal = IsJournalStream(STDERR_FILENO, std::getenv("JOURNAL_STREAM"));
  return journal;
}

std::string JournalLine(TLogLevel level, std::string_view line) {
  std::string text = "<" + std::to_string(static_cast<int>(level)) + ">";
  text += line;
  return text;
}

}  // namespace zq
