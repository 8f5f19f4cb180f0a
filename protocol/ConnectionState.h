// One record per connection slot (TSocketID): the socket table entry together with everything
// the server keeps for that connection (receive buffer, pending output, login and heartbeat
// state, setup deadline, message budget). Reset clears all of it at once: a slot's next
// connection inherits nothing. Main thread only, except GUID, which the game thread reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Sockets.h"
#include "platform/ThreadAffinity.h"
#include "protocol/TokenBucket.h"
#include "protocol/TrafficCounters.h"

namespace zq {

constexpr uint32_t BEAT_INTERVAL = 3000;  // ms
constexpr uint8_t BEAT_MISS_LIMIT = 5;

struct TLoginRecord {
  bool InGame = false;
  std::string UserName;
  std::string Password;
  uint16_t ClientCode = 0;
};

struct THeartbeatRecord {
  uint8_t AckedSeq = 0;
  uint8_t Seq = 0;
  uint32_t SentAt = 0;
  uint32_t RoundTrip = 0;
  uint8_t Missed = 0;
  uint8_t UDPActive = 0;
};

struct TSocketID {
  explicit TSocketID(int32_t number = 0) : Number(number) {}
  TSocketID(const TSocketID&) = delete;
  TSocketID& operator=(const TSocketID&) = delete;

  // Frees the UDP endpoint (releasing its port) and clears every field but Number.
  void Reset();
  bool InUse() const { return !Address.empty(); }
  // Its TCP input waits in ReceiveBuffer: its login is being checked, or it has joined and
  // its GUID is not bound yet (the game would not find its player).
  bool InputWaits() const {
    return LoginPending || (LoginRecord.InGame && GUID.load(std::memory_order_relaxed) == 0);
  }

  int32_t Number;                       // the socket number, 1..63
  TThreadAffinity Owner;                // the main thread, which made the table
  TTrafficCounters* Traffic = nullptr;  // the table's counters; kept by Reset

  // The socket table entry.
  ITcpConnection* Socket = nullptr;   // none when the slot is free
  std::unique_ptr<IUdpEndpoint> UDP;  // the client's UDP endpoint, once announced
  std::string Address;                // empty marks a free slot
  uint16_t Port = 0;
  uint16_t UDPPort = 0;
  std::atomic<uint32_t> GUID{0};  // written on the main thread, read by the game thread

  // The connection's own state.
  uint64_t Serial = 0;  // unique for each connection the server admits; never reused
  std::string ReceiveBuffer;
  bool CanWrite = false;
  std::string PendingOut;
  TLoginRecord LoginRecord;
  THeartbeatRecord HeartbeatRecord;
  bool RoundTripKnown = false;  // a BEATACK has been accepted since the UDP set-up
  uint32_t AcceptedAt = 0;      // tick count of the admission
  bool StartedGame = false;     // has sent StartGame at least once
  // Login: StartGame waits for the check, the rest of the TCP input with it (LoginPending);
  // once in, the name it plays under (compared without regard to letter case) and whether it
  // is an Admin. A connection admitted only for an Admin (past the pause or the per-address
  // limit) keeps the text it is refused with otherwise (AdminOnly).
  bool LoginPending = false;
  std::string PlayerName;
  bool Admin = false;
  std::string AdminOnly;
  int64_t JoinedAt = 0;  // steady milliseconds, for the time in the game
  TTokenBucket MessageBudget;
  // Its last game message was over the rate: it is read from in small steps, held between.
  bool OverRate = false;
};

}  // namespace zq
