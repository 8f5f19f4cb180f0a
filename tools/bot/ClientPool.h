// TClientPool: polls many clients in one thread with one poll() over all their sockets.
// The pool does not own the clients. One thread only, like the clients.
#pragma once

#include <poll.h>

#include <functional>
#include <vector>

#include "tools/bot/ZQClient.h"

namespace zq {

class TClientPool {
 public:
  void Add(TZQClient& client) { clients_.push_back(&client); }
  std::size_t Size() const { return clients_.size(); }
  TZQClient& operator[](std::size_t i) const { return *clients_[i]; }

  // Waits at most timeoutMs for events on any client and handles them all; returns the
  // number of messages received.
  int Poll(int timeoutMs);
  // Polls until `done` holds or timeoutMs pass; `pump` runs between polls.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs, const PumpHook& pump = {});
  // Runs the setup dialogue on every client at once; true when all reach InGame (or Ready).
  bool RunSetup(const std::function<TSetupParams(std::size_t index)>& params, int timeoutMs,
                const PumpHook& pump = {});

 private:
  std::vector<TZQClient*> clients_;
  std::vector<pollfd> fds_;
};

}  // namespace zq
