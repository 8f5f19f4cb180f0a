// TEventStream: the admin API's server-sent events. Every event gets the next id and is kept
// in a bounded history; a follower (a GET /api/events answered with a stream) is sent the kept
// events after the id it last saw (all kept ones when it saw none), then each new one. Each
// follower may have at most its bound (FOLLOWER_BUFFER_LIMIT) unsent, the history it is sent
// first included: it gets the newest of the history that fit, and one that falls further
// behind is closed (and counted); it can reconnect with Last-Event-ID and catch up from the
// history. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "server/admin/HttpServer.h"

namespace zq {

constexpr std::size_t EVENT_HISTORY = 200;
constexpr std::size_t FOLLOWER_BUFFER_LIMIT = 256 * 1024;

class TEventStream {
 public:
  explicit TEventStream(THttpServer& http, std::size_t history = EVENT_HISTORY,
                        std::size_t bufferLimit = FOLLOWER_BUFFER_LIMIT);
  ~TEventStream();  // followers still open are closed
  TEventStream(const TEventStream&) = delete;
  TEventStream& operator=(const TEventStream&) = delete;

  // Answers the request with the stream's head and the kept events after `lastId`, and
  // keeps it as a follower.
  void Follow(THttpExchange& exchange, uint64_t lastId);
  // "id: N", "event: NAME", "data: JSON" and a blank line, to every follower.
  void Publish(const std::string& name, std::string_view json);
  // A comment line, so that idle connections are not taken for dead.
  void KeepAlive();

  std::size_t Followers() const;
  uint64_t Dropped() const { return dropped_; }
  uint64_t LastId() const { return nextId_ - 1; }
  // Bytes written to the followers and not yet sent, all together.
  std::size_t Unsent() const;

 private:
  struct TKept {
    uint64_t Id;
    std::string Text;
  };
  // Writes to every follower, forgetting those that are gone or too far behind.
  void WriteAll(std::string_view text);

  THttpServer& http_;
  std::size_t historySize_;
  std::size_t bufferLimit_;
  std::deque<TKept> history_;
  std::vector<uint64_t> followers_;  // their streams
  uint64_t nextId_ = 1;
  uint64_t dropped_ = 0;
};

}  // namespace zq
