#include "server/admin/EventStream.h"

#include <algorithm>

namespace zq {
namespace {

constexpr std::string_view HEAD = ": zqosrv events\n\n";

}  // namespace

TEventStream::TEventStream(THttpServer& http, std::size_t history, std::size_t bufferLimit)
    : http_(http), historySize_(history), bufferLimit_(bufferLimit) {}

TEventStream::~TEventStream() {
  for (uint64_t stream : followers_) http_.CloseStream(stream);
}

void TEventStream::Follow(THttpExchange& exchange, uint64_t lastId) {
  // The newest kept events after lastId that fit in the bound, in their order.
  std::size_t room = bufferLimit_ > HEAD.size() ? bufferLimit_ - HEAD.size() : 0;
  auto first = history_.end();
  while (first != history_.begin()) {
    auto before = std::prev(first);
    if (before->Id <= lastId || before->Text.size() > room) break;
    room -= before->Text.size();
    first = before;
  }
  THttpResponse head;
  head.Body = HEAD;
  for (auto it = first; it != history_.end(); ++it) head.Body += it->Text;
  head.Headers = {{"Content-Type", "text/event-stream; charset=utf-8"},
                  {"Cache-Control", "no-store"},
                  {"X-Accel-Buffering", "no"}};
  followers_.push_back(exchange.Stream(std::move(head), bufferLimit_));
}

void TEventStream::Publish(const std::string& name, std::string_view json) {
  std::string text = "id: " + std::to_string(nextId_) + "\nevent: " + name + "\ndata: ";
  text.append(json);
  text += "\n\n";
  history_.push_back(TKept{nextId_++, text});
  if (history_.size() > historySize_) history_.pop_front();
  WriteAll(text);
}

void TEventStream::KeepAlive() {
  WriteAll(":\n\n");
}

std::size_t TEventStream::Followers() const {
  return static_cast<std::size_t>(std::count_if(followers_.begin(), followers_.end(),
                                                [&](uint64_t s) { return http_.StreamOpen(s); }));
}

std::size_t TEventStream::Unsent() const {
  std::size_t unsent = 0;
  for (uint64_t stream : followers_) unsent += http_.Unsent(stream);
  return unsent;
}

void TEventStream::WriteAll(std::string_view text) {
  auto gone = [&](uint64_t stream) {
    const TStreamWrite written = http_.Write(stream, text);
    if (written == TStreamWrite::Overflow) ++dropped_;
    return written != TStreamWrite::Queued;
  };
  followers_.erase(std::remove_if(followers_.begin(), followers_.end(), gone), followers_.end());
}

}  // namespace zq
