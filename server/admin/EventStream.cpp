#include "server/admin/EventStream.h"

#include <algorithm>

namespace zq {

TEventStream::TEventStream(std::size_t history, qint64 bufferLimit)
    : historySize_(history), bufferLimit_(bufferLimit) {}

TEventStream::~TEventStream() {
  for (QPointer<QTcpSocket>& socket : followers_)
    if (socket) socket->disconnectFromHost();
}

void TEventStream::Follow(QHttpServerResponder&& responder, uint64_t lastId) {
  QByteArray backlog(": zqosrv events\n\n");
  for (const TKept& kept : history_)
    if (kept.Id > lastId) backlog += kept.Text;
  responder.writeStatusLine(QHttpServerResponder::StatusCode::Ok);
  responder.writeHeaders({{"Content-Type", "text/event-stream; charset=utf-8"},
                          {"Cache-Control", "no-store"},
                          {"X-Accel-Buffering", "no"}});
  // No length: the body runs until either side closes the connection.
  responder.writeBody(backlog);
  followers_.emplace_back(responder.socket());
}

void TEventStream::Publish(const std::string& name, const QByteArray& json) {
  QByteArray text = "id: " + QByteArray::number(static_cast<qulonglong>(nextId_)) +
                    "\nevent: " + QByteArray::fromStdString(name) + "\ndata: " + json + "\n\n";
  history_.push_back(TKept{nextId_++, text});
  if (history_.size() > historySize_) history_.pop_front();
  WriteAll(text);
}

void TEventStream::KeepAlive() {
  WriteAll(":\n\n");
}

std::size_t TEventStream::Followers() {
  WriteAll({});  // forgets those that are gone
  return followers_.size();
}

void TEventStream::WriteAll(const QByteArray& text) {
  auto gone = [&](QPointer<QTcpSocket>& socket) { return !Write(socket.data(), text); };
  followers_.erase(std::remove_if(followers_.begin(), followers_.end(), gone), followers_.end());
}

bool TEventStream::Write(QTcpSocket* socket, const QByteArray& text) {
  if (!socket || socket->state() != QAbstractSocket::ConnectedState) return false;
  if (socket->bytesToWrite() + text.size() > bufferLimit_) {
    ++dropped_;
    socket->abort();
    return false;
  }
  if (!text.isEmpty()) socket->write(text);
  return true;
}

}  // namespace zq
