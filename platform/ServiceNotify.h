// TServiceNotifier: tells the service manager (systemd, through the socket named by
// $NOTIFY_SOCKET) how the service is: ready, reloading, stopping, a status line, and the
// watchdog's keep-alive. Without $NOTIFY_SOCKET every call does nothing. Main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace zq {

class TServiceNotifier {
 public:
  // Reads the environment: the socket, and the watchdog interval the manager asks for.
  TServiceNotifier();

  bool Enabled() const { return enabled_; }
  // Microseconds within which the manager wants a keep-alive; 0 without a watchdog.
  uint64_t WatchdogUsec() const { return watchdogUsec_; }

  void Ready();      // READY=1: start-up (or a reload) is complete
  void Reloading();  // RELOADING=1 with the monotonic time
  void Stopping();   // STOPPING=1
  // STATUS=<text>, sent only when it differs from the last; line breaks become spaces.
  void Status(const std::string& text);
  // WATCHDOG=1, when the manager asked for a watchdog.
  void Watchdog();

 private:
  void Send(const std::string& state);

  bool enabled_ = false;
  uint64_t watchdogUsec_ = 0;
  std::string lastStatus_;
};

}  // namespace zq
