// TNotifySocket: a service manager's end of NOTIFY_SOCKET for tests: a datagram socket on a
// file or in the abstract namespace, and the messages that arrive on it.
#pragma once

#include <string>
#include <vector>

namespace zq::test {

class TNotifySocket {
 public:
  // `abstract`: the name is in the abstract namespace ("@name" in NOTIFY_SOCKET).
  explicit TNotifySocket(const std::string& name, bool abstract = false);
  ~TNotifySocket();
  TNotifySocket(const TNotifySocket&) = delete;
  TNotifySocket& operator=(const TNotifySocket&) = delete;

  // The value of NOTIFY_SOCKET that names this socket.
  const std::string& Address() const { return address_; }
  // The next message, or "" when none comes within the time.
  std::string Next(int timeoutMs = 60000);
  // The next message that starts with `prefix`, or "" when none comes within the time; the
  // others on the way are kept in Skipped().
  std::string NextStarting(const std::string& prefix, int timeoutMs = 60000);
  const std::vector<std::string>& Skipped() const { return skipped_; }

 private:
  int fd_ = -1;
  std::string address_;
  std::vector<std::string> skipped_;
};

}  // namespace zq::test
