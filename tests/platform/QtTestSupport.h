// Helpers for tests that run the Qt event loop: one QCoreApplication for the whole test
// program (a function-local static, made on first use), a bounded event pump, and plain
// POSIX loopback clients (non-blocking, bounded waits) to drive the sockets under test.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zq::test {

// Creates the application object on first call.
void EnsureApp();

// Runs the event loop until `done` holds or `timeoutMs` pass; returns `done()`.
// Objects deleted later are deleted on the way.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000);
// Runs the event loop for about `ms` (to let things that must NOT happen show up).
void PumpFor(int ms);

// A TCP client socket on 127.0.0.1.
class TestClient {
 public:
  TestClient() = default;
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  // Connects to 127.0.0.1:port, pumping the event loop meanwhile; false on failure.
  bool Connect(uint16_t port);
  uint16_t LocalPort() const;
  // Writes all of `bytes` (pumping the event loop while the socket is full).
  bool Send(const std::string& bytes);
  // Takes whatever has arrived; notes an end of stream or an error.
  void Poll();
  // Pumps the event loop until `count` bytes have arrived (or EOF/time-out).
  bool WaitForBytes(std::size_t count, int timeoutMs = 20000);
  // Pumps until the server's close is seen (EOF or reset).
  bool WaitForClose(int timeoutMs = 20000);
  // Shrinks the receive buffer, so that a client that never reads fills up soon.
  void SetSmallReceiveBuffer();

  void CloseOrderly();
  // Closes with SO_LINGER {1, 0}: the peer sees a reset.
  void CloseWithReset();

  std::string received;
  bool eof = false;
  int error = 0;

 private:
  int fd_ = -1;
};

// A UDP socket bound to 127.0.0.1 on a free port.
class TestUdp {
 public:
  TestUdp();
  ~TestUdp();
  TestUdp(const TestUdp&) = delete;
  TestUdp& operator=(const TestUdp&) = delete;

  uint16_t Port() const { return port_; }
  bool SendTo(uint16_t port, const std::string& datagram);
  // Pumps the event loop until a datagram arrives; empty optional-like result on time-out.
  bool Receive(std::string& datagram, int timeoutMs = 20000);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace zq::test
