// TTrafficCounters: messages by code and bytes, received and sent, by TCP and by UDP, since
// the server started; the metrics endpoint reads them. The socket table owns one for all its
// connections. Main thread only (every receive and send happens there).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zq {

enum class TTransport { Tcp = 0, Udp = 1 };

class TTrafficCounters {
 public:
  // A parsed message of `type` (the code in the top byte).
  void Received(TTransport via, uint32_t type) { ++received_[Index(via)][type >> 24]; }
  void ReceivedBytes(TTransport via, std::size_t n) { receivedBytes_[Index(via)] += n; }
  // One framed message handed to a connection or endpoint.
  void Sent(TTransport via, std::string_view frame);

  uint64_t ReceivedMessages(TTransport via, uint8_t code) const {
    return received_[Index(via)][code];
  }
  uint64_t SentMessages(TTransport via, uint8_t code) const { return sent_[Index(via)][code]; }
  uint64_t ReceivedBytes(TTransport via) const { return receivedBytes_[Index(via)]; }
  uint64_t SentBytes(TTransport via) const { return sentBytes_[Index(via)]; }
  // All messages received (sent) by either transport.
  uint64_t ReceivedTotal() const;
  uint64_t SentTotal() const;

 private:
  static std::size_t Index(TTransport via) { return static_cast<std::size_t>(via); }

  using TByCode = std::array<uint64_t, 256>;
  std::array<TByCode, 2> received_{};
  std::array<TByCode, 2> sent_{};
  std::array<uint64_t, 2> receivedBytes_{};
  std::array<uint64_t, 2> sentBytes_{};
};

}  // namespace zq
