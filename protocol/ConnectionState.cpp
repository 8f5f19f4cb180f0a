#include "protocol/ConnectionState.h"

namespace zq {

void TSocketID::Reset() {
  Owner.Check();
  if (UDP) {
    UDP->Bind(0);
    UDP.reset();
  }
  if (Socket) Socket->SetOwnerData(nullptr);
  Socket = nullptr;
  Address.clear();
  Port = 0;
  UDPPort = 0;
  GUID.store(0, std::memory_order_relaxed);
  Serial = 0;
  Stage = TStage::Greeted;
  ReceiveBuffer.clear();
  ReceiveBuffer.shrink_to_fit();
  LoginRecord = TLoginRecord{};
  HeartbeatRecord = THeartbeatRecord{};
  AcceptedAt = 0;
  SentStartGame = false;
  PlayerName.clear();
  Admin = false;
  AdminOnly = false;
  JoinedAt = 0;
  LoginMemo = TLoginMemo{};
  MessageBudget = TTokenBucket{};
  OverRate = false;
}

}  // namespace zq
