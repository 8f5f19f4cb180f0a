#include "tools/load/LoadTracker.h"

namespace zq {

TKeyEvent LoadEventAt(uint32_t k) {
  return TKeyEvent{k % 2 == 0, static_cast<uint8_t>((k / 2) % 4 + 1), k};
}

int LoadPhaseOf(const msg::PlayerMotion& m) {
  int key;
  if (m.DirY < -0.5) {
    key = 1;
  } else if (m.DirY > 0.5) {
    key = 2;
  } else if (m.DirX < -0.5) {
    key = 3;
  } else if (m.DirX > 0.5) {
    key = 4;
  } else {
    return -1;
  }
  bool moving = (m.MoveFlags & 1) != 0;
  return (key - 1) * 2 + (moving ? 0 : 1);
}

TLoadTracker::TLoadTracker(std::size_t clients)
    : n_(clients), sentAt_(clients), acked_(clients), seen_(clients * clients, 0) {}

void TLoadTracker::SetGuid(std::size_t client, uint32_t guid) {
  byGuid_[guid] = client;
}

uint32_t TLoadTracker::RecordSend(std::size_t client, int64_t atMicros) {
  sentAt_[client].push_back(atMicros);
  acked_[client].push_back(false);
  return static_cast<uint32_t>(sentAt_[client].size() - 1);
}

void TLoadTracker::OnAck(std::size_t client, bool down, uint8_t key, uint32_t k, int64_t atMicros) {
  TKeyEvent e = LoadEventAt(k);
  if (k >= sentAt_[client].size() || acked_[client][k] || e.Down != down || e.Key != key) {
    ++acksUnmatched_;
    return;
  }
  acked_[client][k] = true;
  ++acksMatched_;
  ackLatency_.Add(atMicros - sentAt_[client][k]);
}

void TLoadTracker::OnMotion(std::size_t receiver, const msg::PlayerMotion& motion,
                            int64_t atMicros) {
  auto it = byGuid_.find(motion.GUID);
  if (it == byGuid_.end()) {
    ++motionsUnmatched_;
    return;
  }
  std::size_t sender = it->second;
  uint32_t& seen = seen_[receiver * n_ + sender];
  uint64_t k = seen;
  int phase = LoadPhaseOf(motion);
  if (phase >= 0) {
    while (static_cast<int>(k % LOAD_KEY_CYCLE) != phase) ++k;
  }
  if (k >= sentAt_[sender].size()) {
    ++motionsUnmatched_;
    return;
  }
  skipped_ += k - seen;
  seen = static_cast<uint32_t>(k + 1);
  ++motionsMatched_;
  if (receiver != sender) fanOutLatency_.Add(atMicros - sentAt_[sender][k]);
}

void TLoadTracker::OnMessage(std::size_t receiver, const TReceived& r) {
  if (const auto* m = r.As<msg::PlayerMotion>()) {
    OnMotion(receiver, *m, r.AtMicros);
  } else if (const auto* a = r.As<msg::KeyDownAck>()) {
    OnAck(receiver, true, a->Key, a->ClientValue, r.AtMicros);
  } else if (const auto* u = r.As<msg::KeyUpAck>()) {
    OnAck(receiver, false, u->Key, u->ClientValue, r.AtMicros);
  }
}

bool TLoadTracker::Complete() const {
  const TLoadCounts c = Counts();
  return c.AcksMatched >= c.AcksExpected && c.MotionsMatched >= c.MotionsExpected;
}

TLoadCounts TLoadTracker::Counts() const {
  TLoadCounts c;
  for (const auto& s : sentAt_) c.Sent += s.size();
  c.AcksExpected = c.Sent;
  c.AcksMatched = acksMatched_;
  c.AcksUnmatched = acksUnmatched_;
  c.MotionsExpected = c.Sent * n_;
  c.MotionsMatched = motionsMatched_;
  c.MotionsUnmatched = motionsUnmatched_;
  c.Skipped = skipped_;
  return c;
}

}  // namespace zq
