#include "platform/qt/EventPoll.h"

#include <sys/epoll.h>
#include <unistd.h>

#include "platform/Errors.h"
#include "platform/qt/EventGuard.h"

namespace zq {
namespace {

// Events handed out per turn of the event loop; the rest stay ready for the next turn.
constexpr int EVENTS_PER_TURN = 128;

}  // namespace

std::shared_ptr<TEventPoll> TEventPoll::ForThisThread() {
  thread_local std::weak_ptr<TEventPoll> current;
  std::shared_ptr<TEventPoll> poll = current.lock();
  if (!poll) {
    poll = std::make_shared<TEventPoll>();
    current = poll;
  }
  return poll;
}

TEventPoll::TEventPoll() {
  epfd_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epfd_ < 0) InternalCheckFailed("epoll_create1 failed", "EventPoll");
}

TEventPoll::~TEventPoll() {
  notifier_.reset();
  ::close(epfd_);
}

uint64_t TEventPoll::Add(int fd, uint32_t events, IPollClient& client) {
  if (!notifier_) {  // made with the first socket, when the event loop's application exists
    notifier_ = std::make_unique<QSocketNotifier>(epfd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TEventPoll::Dispatch);
  }
  const uint64_t key = nextKey_++;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = key;
  if (::epoll_ctl(epfd_, EPOLL_CTL_ADD, fd, &ev) != 0)
    InternalCheckFailed("epoll_ctl ADD failed for descriptor " + std::to_string(fd), "EventPoll");
  entries_.emplace(key, TEntry{fd, &client});
  return key;
}

void TEventPoll::Modify(uint64_t key, uint32_t events) {
  auto it = entries_.find(key);
  if (it == entries_.end()) return;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = key;
  ::epoll_ctl(epfd_, EPOLL_CTL_MOD, it->second.fd, &ev);
}

void TEventPoll::Remove(uint64_t key) {
  auto it = entries_.find(key);
  if (it == entries_.end()) return;
  ::epoll_ctl(epfd_, EPOLL_CTL_DEL, it->second.fd, nullptr);
  entries_.erase(it);
}

void TEventPoll::Dispatch() {
  epoll_event events[EVENTS_PER_TURN];
  const int n = ::epoll_wait(epfd_, events, EVENTS_PER_TURN, 0);
  for (int i = 0; i < n; ++i) {
    auto it = entries_.find(events[i].data.u64);
    if (it == entries_.end()) continue;  // removed by an earlier handler of this turn
    IPollClient* client = it->second.client;
    const uint32_t ready = events[i].events;
    RunGuarded("socket", [&] { client->OnPollEvents(ready); });
  }
}

}  // namespace zq
