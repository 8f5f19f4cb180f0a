// THeldPort: a TCP port on 127.0.0.1 that the test holds (bound and listening) while it
// lives, so that a server asked to listen there fails. Any thread.
#pragma once

#include <cstdint>

namespace zq::test {

class THeldPort {
 public:
  THeldPort();  // a test failure when no port can be held
  ~THeldPort();
  THeldPort(const THeldPort&) = delete;
  THeldPort& operator=(const THeldPort&) = delete;

  uint16_t Port() const { return port_; }
  // Lets the port go before the end of the scope (once).
  void Release();

 private:
  int fd_;
  uint16_t port_ = 0;
};

}  // namespace zq::test
