#include "accounts/LoginWorker.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>

namespace zq {
namespace {

void Wipe(std::string& secret) {
  sodium_memzero(secret.data(), secret.size());
  secret.clear();
}

}  // namespace

TLoginWorker::TLoginWorker(TLoginCheck& check, TLoginDone done, TWallClock clock, int threads,
                           std::size_t capacity)
    : check_(check), done_(std::move(done)), clock_(std::move(clock)), capacity_(capacity) {
  threads = std::clamp(threads, 1, 2);
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Run(); });
}

TLoginWorker::~TLoginWorker() {
  Stop();
}

bool TLoginWorker::Submit(TLoginRequest request) {
  {
    std::lock_guard guard(lock_);
    if (stopping_ || queue_.size() >= capacity_) {
      Wipe(request.Password);
      return false;
    }
    queue_.push_back(std::move(request));
  }
  wake_.notify_one();
  return true;
}

std::vector<uint64_t> TLoginWorker::Stop() {
  std::vector<uint64_t> dropped;
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
    for (TLoginRequest& request : queue_) {
      dropped.push_back(request.Serial);
      Wipe(request.Password);
    }
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  return dropped;
}

std::size_t TLoginWorker::Queued() {
  std::lock_guard guard(lock_);
  return queue_.size();
}

// Worker thread.
void TLoginWorker::Run() {
  for (;;) {
    TLoginRequest request;
    {
      std::unique_lock guard(lock_);
      wake_.wait(guard, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;  // Stop has taken whatever was queued
      request = std::move(queue_.front());
      queue_.pop_front();
    }
    const auto began = std::chrono::steady_clock::now();
    TLoginVerdict verdict = check_.Decide(request, clock_());
    {
      std::lock_guard guard(observeLock_);
      checkDurations_.Observe(std::chrono::steady_clock::now() - began);
    }
    Wipe(request.Password);
    done_(std::move(verdict));
  }
}

}  // namespace zq
