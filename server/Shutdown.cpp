// Shutdown: stops the listener, ends the game manager and dispatch threads in order and
// frees every object the start sequence made, except the world data.
#include "server/ZQOSrv.h"

namespace zq {

void TZQOServer::Shutdown() {
  if (!serverStarted_) return;
  Log("Server shutdown.");
  // The players' time in the game is recorded; logins still waiting for a check are told
  // so; the accounts file's last writes are done before the listener stops.
  for (const TSocketID& client : sockets_)
    if (client.InGame()) RecordPlayTime(client);
  TLoginVerdict unchecked;
  unchecked.Outcome = TLoginOutcome::CheckFailed;
  for (uint64_t serial : accounts_->Stop()) {
    if (TSocketID* client = FindBySerial(serial))
      RefuseLogin(*client, unchecked, RefusalText(unchecked.Outcome));
  }
  listener_->Stop();  // no disconnect events, no ClientGone
  // The loop goes on after shutdown here, so nothing may reach the objects freed below.
  beatTimer_->Stop();
  setupTimer_->Stop();
  if (inputTimer_) inputTimer_->Stop();
  receivingUdp_ = false;
  gameManager_->Terminate();
  gameManager_->WaitFor();  // serves the thread's log lines meanwhile
  gameManager_.reset();
  players_.reset();
  dispatch_->Terminate();
  dispatch_->WaitFor();
  dispatch_.reset();
  handler_.reset();
  dispatchQueue_.reset();
  gameQueue_.reset();
  guids_.reset();
  gameTimer_.reset();
  sockets_.Clear();  // the UDP endpoints, and nothing left pointing at closed connections
  protocol_.reset();
  accounts_.reset();
  log_.reset();
  serverStarted_ = false;
}

}  // namespace zq
