// TRawHttp: a loopback TCP client for the admin API's attack tests that writes bytes exactly
// as given (a request never finished, a header without end, a body without end) and keeps
// every byte it reads; non-blocking, so the test's waits pump the server meanwhile. It may
// connect from any 127.0.0.0/8 address, so that tests can play many clients. Test thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zq::test {

class TRawHttp {
 public:
  // Connects (non-blocking) from `from` to 127.0.0.1:`port`; a receive buffer of
  // `receiveBuffer` bytes when not 0 (a reader that falls behind early).
  TRawHttp(uint16_t port, const char* from = "127.0.0.1", int receiveBuffer = 0);
  ~TRawHttp();
  TRawHttp(const TRawHttp&) = delete;
  TRawHttp& operator=(const TRawHttp&) = delete;

  bool Connected() const { return fd_ >= 0; }
  // Hands what the kernel takes of `bytes` over; the bytes taken (0 when its buffer is
  // full or the connection has ended).
  std::size_t SendSome(std::string_view bytes);
  // Sends all of `bytes`, waiting for room at most `timeoutMs`; false when it could not.
  bool SendAll(std::string_view bytes, int timeoutMs = 10000);
  // Reads what has arrived; Ended() once the server has closed (end of stream or reset).
  void Read();
  bool Ended() {
    Read();
    return ended_;
  }
  // What arrived, and the number of the first status line in it (0 before one).
  const std::string& Received() {
    Read();
    return received_;
  }
  int Status();
  // Bytes taken by SendSome and SendAll so far.
  std::size_t Sent() const { return sent_; }
  void Close();

 private:
  int fd_ = -1;
  bool ended_ = false;
  std::string received_;
  std::size_t sent_ = 0;
};

}  // namespace zq::test
