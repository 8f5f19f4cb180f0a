#include "server/Heartbeat.h"

#include "platform/Clock.h"
#include "protocol/MessageCodec.h"
#include "protocol/MessageCodes.h"
#include "protocol/Sending.h"
#include "protocol/ZQProtocol.h"

namespace zq {

THeartbeat::THeartbeat(TSocketTable& sockets, TServerCounters& counters, DropFunction drop)
    : sockets_(sockets), counters_(counters), drop_(std::move(drop)) {}

void THeartbeat::Beat() {
  for (TSocketID& client : sockets_) {
    THeartbeatRecord& beat = client.HeartbeatRecord;
    if (!client.InUse() || !client.UDPActive()) continue;
    if (beat.AckedSeq != beat.Seq) {
      ++beat.Missed;
      ++counters_.BeatsMissed;
    }
    if (beat.Missed >= BEAT_MISS_LIMIT) {
      drop_(client, "beat timeout", TDrop::BeatTimeout);
      continue;
    }
    const uint8_t n = static_cast<uint8_t>(beat.Seq + 1);
    const uint32_t t = GetTickCount();
    SendUDP(client, FrameUDP(BEAT, EncodeBEAT(n, t)));
    ++counters_.BeatsSent;
    beat.Seq = n;
    beat.SentAt = t;
  }
}

void THeartbeat::CheckSetupDeadlines(uint32_t timeoutMs) {
  if (timeoutMs == 0) return;
  const uint32_t now = GetTickCount();
  for (TSocketID& client : sockets_) {
    if (!client.InUse() || client.SetupDone()) continue;
    if (now - client.AcceptedAt >= timeoutMs) drop_(client, "setup timeout", TDrop::SetupTimeout);
  }
}

}  // namespace zq
