#include "server/admin/WaitingReplies.h"

#include <vector>

namespace zq {

uint64_t TWaitingReplies::Hold(QHttpServerResponder&& responder) {
  const uint64_t id = next_++;
  QTcpSocket* socket = responder.socket();
  QMetaObject::Connection onClose =
      QObject::connect(socket, &QAbstractSocket::disconnected, &context_, [this, id] {
        auto it = held_.find(id);
        if (it != held_.end()) held_.erase(it);  // not answered: nobody is there to read it
      });
  held_.emplace(id, THeld{std::move(responder), socket, onClose});
  return id;
}

bool TWaitingReplies::Answer(uint64_t id, QHttpServerResponse&& response) {
  auto node = held_.extract(id);
  if (node.empty()) return false;
  THeld& held = node.mapped();
  QObject::disconnect(held.OnClose);
  // The responder keeps a plain pointer to the socket: write only while it is there.
  if (!held.Socket || held.Socket->state() != QAbstractSocket::ConnectedState) return false;
  response.write(std::move(held.Responder));
  return true;
}

void TWaitingReplies::AnswerAll(const std::function<QHttpServerResponse()>& make) {
  std::vector<uint64_t> ids;
  for (const auto& [id, held] : held_) ids.push_back(id);
  for (uint64_t id : ids) Answer(id, make());
}

}  // namespace zq
