// TClientPool: the clients of one run, owned together and polled with one poll() over all
// their sockets; the setup of all at once, and the end of a run: goodbyes, the TCP bytes
// already sent let out, the sockets closed. One thread only, like the clients.
#pragma once

#include <poll.h>

#include <functional>
#include <memory>
#include <vector>

#include "tools/client/ZQClient.h"

namespace zq {

constexpr int POOL_FLUSH_MS = 500;

class TClientPool {
 public:
  // A new client in the pool, not yet connected; it stays where it is until removed.
  TZQClient& Add(const TClientConfig& config = {});
  // Ends `client` (its sockets closed) and takes it out; the others keep their order.
  void Remove(const TZQClient& client);
  std::size_t Size() const { return clients_.size(); }
  TZQClient& operator[](std::size_t i) const { return *clients_[i]; }

  // Waits at most timeoutMs for events on any client and handles them all; returns the
  // number of messages received.
  int Poll(int timeoutMs);
  // Polls until `done` holds or timeoutMs pass; `pump` runs between polls. Returns `done()`.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs, const PumpHook& pump = {});
  // Runs the setup dialogue on every client at once; true when all reach InGame (or Ready).
  bool RunSetup(const std::function<TSetupParams(std::size_t index)>& params, int timeoutMs,
                const PumpHook& pump = {});

  // ClientGone from every client in the game and still open.
  void SayGoodbye();
  // Polls until every client's TCP bytes already sent have left, at most timeoutMs; true when
  // they have.
  bool Flush(int timeoutMs, const PumpHook& pump = {});
  // Flush, then every client closed.
  void Close(int flushMs = POOL_FLUSH_MS, const PumpHook& pump = {});

 private:
  std::vector<std::unique_ptr<TZQClient>> clients_;
  std::vector<pollfd> fds_;
};

}  // namespace zq
