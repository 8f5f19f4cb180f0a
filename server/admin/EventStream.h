// TEventStream: the admin API's server-sent events. Every event gets the next id and is kept
// in a bounded history; a follower (a GET /api/events response held open) is sent the kept
// events after the id it last saw (all kept ones when it saw none), then each new one. Each
// follower may have at most FOLLOWER_BUFFER_LIMIT bytes unsent: one that falls further
// behind is closed (and counted); it can reconnect with Last-Event-ID and catch up from the
// history. Main thread.
#pragma once

#include <QByteArray>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace zq {

constexpr std::size_t EVENT_HISTORY = 200;
constexpr qint64 FOLLOWER_BUFFER_LIMIT = 256 * 1024;

class TEventStream {
 public:
  explicit TEventStream(std::size_t history = EVENT_HISTORY,
                        qint64 bufferLimit = FOLLOWER_BUFFER_LIMIT);
  ~TEventStream();  // followers still open are closed
  TEventStream(const TEventStream&) = delete;
  TEventStream& operator=(const TEventStream&) = delete;

  // Answers the request with the stream's head and the kept events after `lastId`, and
  // keeps the connection as a follower.
  void Follow(QHttpServerResponder&& responder, uint64_t lastId);
  // "id: N", "event: NAME", "data: JSON" and a blank line, to every follower.
  void Publish(const std::string& name, const QByteArray& json);
  // A comment line, so that idle connections are not taken for dead.
  void KeepAlive();

  std::size_t Followers();
  uint64_t Dropped() const { return dropped_; }
  uint64_t LastId() const { return nextId_ - 1; }

 private:
  struct TKept {
    uint64_t Id;
    QByteArray Text;
  };
  // Writes to every follower, closing those that are gone or too far behind.
  void WriteAll(const QByteArray& text);
  bool Write(QTcpSocket* socket, const QByteArray& text);

  std::size_t historySize_;
  qint64 bufferLimit_;
  std::deque<TKept> history_;
  std::vector<QPointer<QTcpSocket>> followers_;
  uint64_t nextId_ = 1;
  uint64_t dropped_ = 0;
};

}  // namespace zq
