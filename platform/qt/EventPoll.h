// TEventPoll: one epoll set for the sockets of a thread, watched by one QSocketNotifier, so
// the Qt event loop waits on one descriptor however many sockets there are, and each turn
// costs what is ready rather than what is open. A socket registers a client that is handed
// its ready events (level-triggered). One per thread, shared by its users; that thread only.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace zq {

class IPollClient {
 public:
  // `events` holds EPOLLIN, EPOLLOUT, EPOLLERR and EPOLLHUP bits as epoll reported them.
  virtual void OnPollEvents(uint32_t events) = 0;

 protected:
  ~IPollClient() = default;
};

class TEventPoll : public QObject {
 public:
  // The poll of the calling thread, made on first use; it lives while a user holds it.
  static std::shared_ptr<TEventPoll> ForThisThread();

  TEventPoll();  // raises EInternalCheck when no epoll set can be made
  ~TEventPoll() override;
  TEventPoll(const TEventPoll&) = delete;
  TEventPoll& operator=(const TEventPoll&) = delete;

  // Watches `fd` for `events` (EPOLLIN, EPOLLOUT); returns the key of the registration.
  uint64_t Add(int fd, uint32_t events, IPollClient& client);
  void Modify(uint64_t key, uint32_t events);
  // Ends a registration; events already fetched for it are not handed out. Call it before
  // closing the descriptor.
  void Remove(uint64_t key);

 private:
  struct TEntry {
    int fd;
    IPollClient* client;
  };

  void Dispatch();

  int epfd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::unordered_map<uint64_t, TEntry> entries_;
  uint64_t nextKey_ = 1;
};

}  // namespace zq
