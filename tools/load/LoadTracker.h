// Matching for the load run. Client i's k-th key event (k from 0) is KeyDown for even k and
// KeyUp for odd k, key (k / 2) % 4 + 1, carrying k as its client value. It must cause one ack
// to i (matched by the value) and one PlayerMotion about i's GUID at every client (matched by
// count per receiver and GUID; the motion's direction and moving bit tell k mod 8, which
// skips over lost datagrams). Latencies are from the send to the arrival, in microseconds.
// One thread: the one that polls the clients.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Histogram.h"
#include "tools/client/ServerMessages.h"
#include "tools/load/KeyEvent.h"

namespace zq {

constexpr int LOAD_KEY_CYCLE = 8;  // down/up of keys 1 to 4

// Event k of any client: Value is k.
TKeyEvent LoadEventAt(uint32_t k);
// k mod 8 of the event that produced this motion, or -1 when the motion fits none.
int LoadPhaseOf(const msg::PlayerMotion& motion);

struct TLoadCounts {
  uint64_t Sent = 0;
  uint64_t AcksExpected = 0, AcksMatched = 0, AcksUnmatched = 0;
  uint64_t MotionsExpected = 0, MotionsMatched = 0, MotionsUnmatched = 0;
  uint64_t Skipped = 0;  // motions passed over when re-aligning on the phase
};

class TLoadTracker {
 public:
  explicit TLoadTracker(std::size_t clients);

  void SetGuid(std::size_t client, uint32_t guid);
  // Records the send time of client's next event and returns its number k.
  uint32_t RecordSend(std::size_t client, int64_t atMicros);
  void OnAck(std::size_t client, bool down, uint8_t key, uint32_t clientValue, int64_t atMicros);
  void OnMotion(std::size_t receiver, const msg::PlayerMotion& motion, int64_t atMicros);
  // The ack or motion among any message `receiver` got; other messages pass.
  void OnMessage(std::size_t receiver, const TReceived& message);

  TLoadCounts Counts() const;
  // Every ack and every motion expected so far has come.
  bool Complete() const;
  const THistogram& AckLatency() const { return ackLatency_; }
  const THistogram& FanOutLatency() const { return fanOutLatency_; }
  // The latencies handed over at the end of a run; the tracker's start again empty.
  THistogram TakeAckLatency() { return std::exchange(ackLatency_, THistogram()); }
  THistogram TakeFanOutLatency() { return std::exchange(fanOutLatency_, THistogram()); }

 private:
  std::size_t n_;
  std::vector<std::vector<int64_t>> sentAt_;  // [client][k]
  std::vector<std::vector<bool>> acked_;      // [client][k]
  std::vector<uint32_t> seen_;                // [receiver * n + sender]: motions counted
  std::unordered_map<uint32_t, std::size_t> byGuid_;
  uint64_t acksMatched_ = 0, acksUnmatched_ = 0;
  uint64_t motionsMatched_ = 0, motionsUnmatched_ = 0, skipped_ = 0;
  THistogram ackLatency_;
  THistogram fanOutLatency_;
};

}  // namespace zq
