#include "accounts/AccountService.h"

#include <exception>

namespace zq {

TAccountService::TAccountService(TMainThreadQueue& main, TAccountServiceOptions options,
                                 std::function<void(TLoginVerdict)> onVerdict)
    : main_(main),
      reads_(std::make_unique<TAccountStore>(options.Path)),
      store_(std::make_unique<TAccountStore>(options.Path)),
      hasher_(options.Hasher ? options.Hasher
                             : std::make_shared<const TArgon2Hasher>(TArgon2Hasher::Moderate())),
      check_(std::make_unique<TLoginCheck>(*store_, *hasher_, limits_, options.Mode)),
      onVerdict_(std::move(onVerdict)) {
  jobs_ = std::make_unique<TJobThread>();
  logins_ = std::make_unique<TLoginWorker>(
      *check_,
      [this](TLoginVerdict verdict) { PostMain([this, verdict] { onVerdict_(verdict); }); },
      SystemWallClock, options.LoginThreads);
}

TAccountService::~TAccountService() {
  Stop();
}

void TAccountService::PostMain(std::function<void()> step) {
  main_.Post([running = running_, step = std::move(step)] {
    if (*running) step();
  });
}

bool TAccountService::SubmitLogin(TLoginRequest request) {
  return logins_->Submit(std::move(request));
}

void TAccountService::Run(TAccountJob job, std::function<void(const std::string&)> onError) {
  jobs_->Add([this, job = std::move(job), onError = std::move(onError)] {
    try {
      if (std::function<void()> then = job(*store_)) PostMain(std::move(then));
    } catch (const std::exception& e) {
      if (onError) PostMain([onError, text = std::string(e.what())] { onError(text); });
    }
  });
}

void TAccountService::Reopen() {
  reads_->Reopen();
  Run([](TAccountStore& store) {
    store.Reopen();
    return std::function<void()>();
  });
}

std::vector<uint64_t> TAccountService::Stop() {
  if (!*running_) return {};
  std::vector<uint64_t> dropped = logins_->Stop();
  jobs_->Stop();
  *running_ = false;
  return dropped;
}

}  // namespace zq
