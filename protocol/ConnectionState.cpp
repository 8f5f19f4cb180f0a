#include "protocol/ConnectionState.h"

namespace zq {

void TSocketID::Reset() {
  Owner.Check();
  if (UDP) {
    UDP->Bind(0);
    UDP.reset();
  }
  Socket = nullptr;
  Address.clear();
  Port = 0;
  UDPPort = 0;
  GUID.store(0, std::memory_order_relaxed);
  Serial = 0;
  ReceiveBuffer.clear();
  ReceiveBuffer.shrink_to_fit();
  CanWrite = false;
  PendingOut.clear();
  PendingOut.shrink_to_fit();
  LoginRecord = TLoginRecord{};
  HeartbeatRecord = THeartbeatRecord{};
  RoundTripKnown = false;
  AcceptedAt = 0;
  StartedGame = false;
  LoginPending = false;
  PlayerName.clear();
  Admin = false;
  AdminOnly.clear();
  JoinedAt = 0;
  MessageBudget = TTokenBucket{};
  OverRate = false;
}

}  // namespace zq
