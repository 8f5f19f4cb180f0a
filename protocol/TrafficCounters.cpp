#include "protocol/TrafficCounters.h"

#include <numeric>

namespace zq {

void TTrafficCounters::Sent(TTransport via, std::string_view frame) {
  sentBytes_[Index(via)] += frame.size();
  // The code is the top byte of the little-endian header word.
  if (frame.size() >= 4) ++sent_[Index(via)][static_cast<uint8_t>(frame[3])];
}

uint64_t TTrafficCounters::ReceivedTotal() const {
  uint64_t n = 0;
  for (const TByCode& codes : received_) n = std::accumulate(codes.begin(), codes.end(), n);
  return n;
}

uint64_t TTrafficCounters::SentTotal() const {
  uint64_t n = 0;
  for (const TByCode& codes : sent_) n = std::accumulate(codes.begin(), codes.end(), n);
  return n;
}

}  // namespace zq
