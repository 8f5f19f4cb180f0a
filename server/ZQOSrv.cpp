#include "server/ZQOSrv.h"

#include "platform/Errors.h"

namespace zq {
namespace {

// Clears the flag when the start ends, however it ends.
class TStartingFlag {
 public:
  explicit TStartingFlag(bool& flag) : flag_(flag) {}
  ~TStartingFlag() { flag_ = false; }
  TStartingFlag(const TStartingFlag&) = delete;
  TStartingFlag& operator=(const TStartingFlag&) = delete;

 private:
  bool& flag_;
};

}  // namespace

TZQOServer::TZQOServer(IServerView& view, TServerOptions options)
    : view_(view), options_(std::move(options)) {}

TZQOServer::~TZQOServer() {
  Shutdown();
}

void TZQOServer::StartServer(const TServerSettings& settings) {
  if (starting_ || running_) return;
  startAttempted_ = true;
  starting_ = true;
  stopRequested_ = false;  // a stop asked for ended the start before this one
  const TStartingFlag starting(starting_);
  view_.ServerStarting();
  const TRunContext context{view_, options_, mainQueue_, teller_, [this] {
                              if (stopRequested_) throw EStopRequested();
                            }};
  auto run = std::make_unique<TRunningServer>(context, settings);
  world_ = run->World();
  run->Start();  // a failure frees the run, ending what it started
  running_ = std::move(run);
}

void TZQOServer::Shutdown() {
  if (!running_) return;
  running_->Stop();
  running_.reset();
}

void TZQOServer::Reload() {
  if (running_) running_->Reload();
}

void TZQOServer::ApplyRunningSettings(const TServerSettings& settings) {
  if (running_) running_->Apply(settings);
}

void TZQOServer::SetMaxClients(int32_t value) {
  if (running_) running_->Connections().SetMaxClients(value);
}

void TZQOServer::SetPaused(bool paused) {
  if (running_) running_->Connections().SetPaused(paused);
}

TServerStatus TZQOServer::Status() const {
  return running_ ? running_->Status() : TServerStatus{};
}

TAdministration* TZQOServer::Administration() {
  return running_ ? &running_->Administration() : nullptr;
}

void TZQOServer::Log(TLogLevel level, const std::string& message) {
  mainThread_.Check();
  if (running_) running_->Log(level, message);
}

}  // namespace zq
