// TJournalStream: the journal's end of a service's standard output and error, for tests: a
// stream socket pair whose other end the service gets as descriptors 1 and 2, named in
// JOURNAL_STREAM as a service manager names it, and what arrives on this end, read by a thread
// of its own.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace zq::test {

class TJournalStream {
 public:
  TJournalStream();
  ~TJournalStream();
  TJournalStream(const TJournalStream&) = delete;
  TJournalStream& operator=(const TJournalStream&) = delete;

  // The service's end, to become its standard output and error.
  int ServiceEnd() const { return serviceEnd_; }
  // "JOURNAL_STREAM=<device>:<inode>" of the service's end.
  std::string Variable() const;
  // Closes this process's copy of the service's end (after the fork), so that the reader sees
  // the end of the stream once the service has gone.
  void CloseServiceEnd();

  std::string Text() const;
  // Waits until the text holds `piece` (bounded); false when the time ran out.
  bool WaitFor(const std::string& piece, int timeoutMs = 60000) const;
  // Waits until the service's end has been closed by all (bounded).
  bool WaitForEnd(int timeoutMs = 60000) const;

 private:
  void Read();

  int ours_ = -1, serviceEnd_ = -1;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string text_;
  bool ended_ = false;
  std::thread reader_;
};

}  // namespace zq::test
