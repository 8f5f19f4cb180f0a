// TServerCounters: what the server shell counts for the metrics endpoint: connections
// admitted and refused, clients dropped, heartbeats sent and missed. The reasons of refusals
// and drops are known in advance: each has a row in one table with its metric label value
// ("full", "beat_timeout") and the words the metric's help gives it, so every reason has a
// series from the start. Main thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zq {

// Why a connection was refused at once (a ServerFull, then the close).
enum class TRefusal : uint8_t { Banned, Paused, Full, PerAddress };
// Why the server closed a client it had admitted.
enum class TDrop : uint8_t {
  BeatTimeout,
  SetupTimeout,
  MessageFlood,
  LoginInputOverflow,
  OutputOverflow,
  Kick,
  Ban,
  AccountRemoved,
};

struct TReasonRow {
  std::string_view Label;  // the metric's label value
  std::string_view Words;  // what the metric's help says of it
};

constexpr std::array<TReasonRow, 4> REFUSAL_REASONS = {{
    {"banned", "the address is banned"},
    {"paused", "the server is paused"},
    {"full", "max_clients connections are open"},
    {"per_address", "max_per_address connections from the address are open"},
}};

constexpr std::array<TReasonRow, 8> DROP_REASONS = {{
    {"beat_timeout", "five heartbeats in a row unacknowledged"},
    {"setup_timeout", "the setup not done within setup_timeout"},
    {"message_flood", "messages beyond the budget, again and again"},
    {"login_input_overflow", "too much input while its login was checked"},
    {"output_overflow", "too much output left unread"},
    {"kick", "kicked by an operator"},
    {"ban", "banned while in the game"},
    {"account_removed", "its account removed while in the game"},
}};

// Counts by reason: one number for every row of the reason's table.
template <typename TReason, std::size_t N>
class TReasonCounts {
 public:
  uint64_t& operator[](TReason reason) { return counts_.at(static_cast<std::size_t>(reason)); }
  uint64_t operator[](TReason reason) const { return counts_.at(static_cast<std::size_t>(reason)); }
  // By row of the table, in its order.
  uint64_t At(std::size_t row) const { return counts_.at(row); }

 private:
  std::array<uint64_t, N> counts_{};
};

struct TServerCounters {
  uint64_t Admitted = 0;
  TReasonCounts<TRefusal, REFUSAL_REASONS.size()> Refused;
  TReasonCounts<TDrop, DROP_REASONS.size()> Dropped;
  uint64_t BeatsSent = 0;
  uint64_t BeatsMissed = 0;  // cycles that found the last BEAT unacknowledged
};

// "beat_timeout" for TDrop::BeatTimeout, and so on.
constexpr std::string_view LabelOf(TRefusal reason) {
  return REFUSAL_REASONS[static_cast<std::size_t>(reason)].Label;
}
constexpr std::string_view LabelOf(TDrop reason) {
  return DROP_REASONS[static_cast<std::size_t>(reason)].Label;
}
// The tables' rows stand in the enumerations' order.
static_assert(LabelOf(TRefusal::PerAddress) == "per_address");
static_assert(LabelOf(TDrop::AccountRemoved) == "account_removed");
static_assert(LabelOf(TDrop::OutputOverflow) == "output_overflow");

// The help of a family counted by reason: `lead`, then every row's label and words, as in
// "Connections refused at once, by reason (banned: the address is banned; ...).".
std::string ReasonsHelp(std::string_view lead, const TReasonRow* rows, std::size_t count);

}  // namespace zq
