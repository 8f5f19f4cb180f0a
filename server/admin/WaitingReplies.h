// TWaitingReplies: admin API requests whose answer waits for the job thread (an account or
// a ban being written). Each responder is kept under a number until it is answered or its
// connection closes: an answer that comes later is dropped, never written to a socket that
// is gone. Main thread only.
#pragma once

#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <cstdint>
#include <functional>
#include <map>

namespace zq {

class TWaitingReplies {
 public:
  // Keeps the responder; the number answers it later.
  uint64_t Hold(QHttpServerResponder&& responder);
  // Writes `response` to the request kept under `id` and forgets it. False when none is kept
  // under it (answered already) or its connection has closed.
  bool Answer(uint64_t id, QHttpServerResponse&& response);
  // Answers every request kept with what `make` returns.
  void AnswerAll(const std::function<QHttpServerResponse()>& make);
  std::size_t Size() const { return held_.size(); }

 private:
  struct THeld {
    QHttpServerResponder Responder;
    QPointer<QTcpSocket> Socket;  // null once Qt has deleted the closed connection
    QMetaObject::Connection OnClose;
  };
  std::map<uint64_t, THeld> held_;
  uint64_t next_ = 1;
  QObject context_;  // ends the close connections with this object
};

}  // namespace zq
