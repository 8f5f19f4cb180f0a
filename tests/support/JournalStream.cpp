#include "tests/support/JournalStream.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace zq::test {

TJournalStream::TJournalStream() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    throw std::runtime_error("cannot make the journal's socket pair");
  ours_ = fds[0];
  serviceEnd_ = fds[1];
  reader_ = std::thread([this] { Read(); });
}

TJournalStream::~TJournalStream() {
  ::shutdown(ours_, SHUT_RDWR);  // wakes the reader
  reader_.join();
  ::close(ours_);
  CloseServiceEnd();
}

std::string TJournalStream::Variable() const {
  struct stat st {};
  if (::fstat(serviceEnd_, &st) != 0) throw std::runtime_error("cannot stat the journal stream");
  return "JOURNAL_STREAM=" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

void TJournalStream::CloseServiceEnd() {
  if (serviceEnd_ >= 0) ::close(serviceEnd_);
  serviceEnd_ = -1;
}

void TJournalStream::Read() {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(ours_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    std::lock_guard lock(mutex_);
    if (n <= 0) {
      ended_ = true;
      changed_.notify_all();
      return;
    }
    text_.append(buffer, static_cast<std::size_t>(n));
    changed_.notify_all();
  }
}

std::string TJournalStream::Text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

bool TJournalStream::WaitFor(const std::string& piece, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return ended_ || text_.find(piece) != std::string::npos;
  }) && text_.find(piece) != std::string::npos;
}

bool TJournalStream::WaitForEnd(int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_; });
}

}  // namespace zq::test
