#include "tools/load/ClientPool.h"

#include <algorithm>

namespace zq {

TZQClient& TClientPool::Add(const TClientConfig& config) {
  clients_.push_back(std::make_unique<TZQClient>(config));
  return *clients_.back();
}

void TClientPool::Remove(const TZQClient& client) {
  std::erase_if(clients_, [&](const std::unique_ptr<TZQClient>& c) { return c.get() == &client; });
}

int TClientPool::Poll(int timeoutMs) {
  timeoutMs = std::clamp(timeoutMs, 0, 60000);
  fds_.resize(clients_.size() * 2);
  for (std::size_t i = 0; i < clients_.size(); ++i) {
    fds_[2 * i] = {clients_[i]->TcpFd(), clients_[i]->TcpEvents(), 0};
    fds_[2 * i + 1] = {clients_[i]->UdpFd(), POLLIN, 0};
  }
  if (::poll(fds_.data(), fds_.size(), timeoutMs) <= 0) return 0;
  int received = 0;
  for (std::size_t i = 0; i < clients_.size(); ++i) {
    short tcp = fds_[2 * i].revents, udp = fds_[2 * i + 1].revents;
    if (tcp || udp) received += clients_[i]->HandleEvents(tcp, udp);
  }
  return received;
}

bool TClientPool::WaitUntil(const std::function<bool()>& done, int timeoutMs,
                            const PumpHook& pump) {
  const int64_t deadline = NowMicros() + static_cast<int64_t>(std::max(timeoutMs, 0)) * 1000;
  while (!done()) {
    int64_t left = deadline - NowMicros();
    if (left <= 0) return false;
    if (pump) pump();
    Poll(pump ? 1 : static_cast<int>(std::min<int64_t>(left / 1000 + 1, 20)));
  }
  return true;
}

bool TClientPool::RunSetup(const std::function<TSetupParams(std::size_t index)>& params,
                           int timeoutMs, const PumpHook& pump) {
  for (std::size_t i = 0; i < clients_.size(); ++i) clients_[i]->BeginSetup(params(i));
  auto finished = [&] {
    return std::all_of(clients_.begin(), clients_.end(), [](const auto& c) {
      SetupState s = c->Setup();
      return s == SetupState::InGame || s == SetupState::Ready || s == SetupState::Refused ||
             s == SetupState::Failed;
    });
  };
  WaitUntil(finished, timeoutMs, pump);
  return std::all_of(clients_.begin(), clients_.end(), [](const auto& c) {
    return c->Setup() == SetupState::InGame || c->Setup() == SetupState::Ready;
  });
}

void TClientPool::SayGoodbye() {
  for (auto& c : clients_)
    if (c->Setup() == SetupState::InGame && !c->IsClosed()) c->SendClientGone();
}

bool TClientPool::Flush(int timeoutMs, const PumpHook& pump) {
  return WaitUntil(
      [&] {
        for (auto& c : clients_)
          if (c->TcpEvents() & POLLOUT) return false;
        return true;
      },
      timeoutMs, pump);
}

void TClientPool::Close(int flushMs, const PumpHook& pump) {
  Flush(flushMs, pump);
  for (auto& c : clients_) c->Close();
}

}  // namespace zq
