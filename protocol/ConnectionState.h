// One record per connection slot (TSocketID): the socket table entry together with everything
// the server keeps for that connection (receive buffer, login and heartbeat state, setup
// deadline, message budget). Reset clears all of it at once: a slot's next connection inherits
// nothing. An admitted connection carries its record (ITcpConnection::OwnerData), so the read
// path finds it without a lookup. Main thread only, except GUID, which the game thread reads.
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
  bool RoundTripKnown = false;  // a BEATACK has been accepted since the UDP set-up
};

// The last login of a connection that the login worker checked and accepted. A StartGame with
// the same name and password soon after rejoins on it without a second check (the server's
// logins decide how soon); a change to the account or a ban in force forgets or lowers it.
struct TLoginMemo {
  bool Valid = false;
  std::string UserName;        // as the client sent it
  std::string PasswordDigest;  // a keyed digest of the password sent, never the password
  std::string PlayerName;      // the name the verdict gave
  bool Admin = false;
  uint32_t CheckedAt = 0;  // tick count of the verdict
};

// Where a connection stands in the game. The UDP path is apart from it (UDPActive): a client
// may announce its port before or after StartGame.
enum class TStage : uint8_t {
  Greeted,       // admitted and greeted; not in the game (again, after ClientGone)
  LoginPending,  // sent StartGame: its login is being checked, its TCP input waits
  InGame,        // joined under PlayerName
};

struct TSocketID {
  explicit TSocketID(int32_t number = 0) : Number(number) {}
  TSocketID(const TSocketID&) = delete;
  TSocketID& operator=(const TSocketID&) = delete;

  // Frees the UDP endpoint (releasing its port), lets go of the connection and clears every
  // field but Number.
  void Reset();
  bool InUse() const { return !Address.empty(); }
  bool InGame() const { return Stage == TStage::InGame; }
  // The client's UDP endpoint is open: heartbeats run.
  bool UDPActive() const { return UDP != nullptr; }
  // It has announced its UDP port and sent StartGame: the setup deadline no longer applies.
  bool SetupDone() const { return UDPActive() && SentStartGame; }
  // Its TCP input waits in ReceiveBuffer: its login is being checked, or it has joined and
  // its GUID is not bound yet (the game would not find its player).
  bool InputWaits() const {
    return Stage == TStage::LoginPending ||
           (Stage == TStage::InGame && GUID.load(std::memory_order_relaxed) == 0);
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
  TStage Stage = TStage::Greeted;
  std::string ReceiveBuffer;
  TLoginRecord LoginRecord;
  THeartbeatRecord HeartbeatRecord;
  uint32_t AcceptedAt = 0;     // tick count of the admission
  bool SentStartGame = false;  // at least once; with UDPActive, the setup is done
  // Once in the game: the name it plays under (compared without regard to letter case) and
  // whether it is an Admin. A connection admitted only for an Admin (past the per-address
  // limit) is refused at login unless the account is one (AdminOnly).
  std::string PlayerName;
  bool Admin = false;
  bool AdminOnly = false;
  uint32_t JoinedAt = 0;  // tick count of the join, for the time in the game
  TLoginMemo LoginMemo;
  TTokenBucket MessageBudget;
  // Its last game message was over the rate: it is read from in small steps, held between.
  bool OverRate = false;
};

}  // namespace zq
